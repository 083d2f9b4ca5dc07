// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A velno-bridge settings file with one projector, "hall", on a given port
// and its shared line on a free loopback port.

#include <QString>
#include <QTemporaryFile>

class SharedLineConfig {
public:
    // False when no port was free or the file could not be written.
    bool write(const QString &projectorPort);
    QString fileName() const { return file_.fileName(); }
    quint16 linePort() const { return linePort_; }
    QString lineUrl() const;

private:
    QTemporaryFile file_;
    quint16 linePort_ = 0;
};

// A TCP port on 127.0.0.1 that was free a moment ago; 0 when none was.
quint16 freeLoopbackPort();
