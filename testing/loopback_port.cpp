// SPDX-License-Identifier: GPL-3.0-or-later
#include "testing/loopback_port.h"

#include <QTcpServer>

quint16 unusedLoopbackPort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}
