#pragma once
#include "app/form1.h"
#include "link/monitor_label.h"

// The caption of a traffic monitor line.
inline QString monitorText(const Form1 &form, const char *name)
{
    return form.control<MonitorLabel>(name)->text();
}
