// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>

// The system's serial ports, one a line: device, then what the system knows
// of it (description, manufacturer, serial number, USB vendor:product).
QString serialPortListing();
