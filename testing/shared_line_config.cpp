// SPDX-License-Identifier: GPL-3.0-or-later
#include "testing/shared_line_config.h"

#include <QTcpServer>

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
}

bool SharedLineConfig::write(const QString &projectorPort)
{
    linePort_ = freeLoopbackPort();
    if (linePort_ == 0 || !file_.open())
        return false;
    const QByteArray text = QStringLiteral("[projector hall]\nport = %1\nline = 127.0.0.1:%2\n")
                                .arg(projectorPort)
                                .arg(linePort_)
                                .toUtf8();
    return file_.write(text) == text.size() && file_.flush();
}

QString SharedLineConfig::lineUrl() const
{
    return QStringLiteral("socket://127.0.0.1:%1").arg(linePort_);
}
