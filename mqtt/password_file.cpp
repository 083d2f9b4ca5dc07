// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqtt/password_file.h"

#include <QFile>

PasswordRead readPasswordFile(const QString &path)
{
    PasswordRead read;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        read.error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return read;
    }
    QByteArray line = file.readLine();
    if (line.isEmpty() && file.error() != QFileDevice::NoError) {
        read.error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return read;
    }
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    // The broker library takes a C string: a NUL would cut the password short.
    if (line.contains('\0')) {
        read.error =
            QStringLiteral("the password in %1 holds a NUL byte, which the broker library cannot send")
                .arg(path);
        return read;
    }
    read.password = line;
    read.readableByOthers = file.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther);
    return read;
}
