// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A broker password kept in a file of its own: its first line, byte for
// byte (a password need not be UTF-8).

#include <QByteArray>
#include <QString>

struct PasswordRead {
    QByteArray password;           // empty: the line was empty
    QString error;                 // when it could not be read, or cannot be sent
    bool readableByOthers = false; // group or world may read the file
};

PasswordRead readPasswordFile(const QString &path);
