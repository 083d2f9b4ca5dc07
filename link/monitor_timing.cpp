#include "link/monitor_timing.h"

#include "app/form1.h"

void assignMonitorTiming(Form1 &form, const MonitorTiming &timing)
{
    form.timer(2).setInterval(timing.replyWindowMs);
    form.timer(4).setInterval(timing.clearDelayMs);
}
