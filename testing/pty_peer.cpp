// SPDX-License-Identifier: GPL-3.0-or-later
#include "testing/pty_peer.h"

#include "sim/raw_pty.h"
#include "testing/wait.h"

#include <cerrno>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

PtyPeer::PtyPeer()
{
    const sim::RawPty pty = sim::openRawPtyOrThrow();
    master_ = pty.master;
    slave_ = pty.slave;
    path_ = QString::fromStdString(pty.path);
}

PtyPeer::~PtyPeer()
{
    vanish();
}

void PtyPeer::write(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            throw std::runtime_error("write to pty master failed");
    }
}

QByteArray PtyPeer::readAvailable()
{
    QByteArray out;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0)
            break;
        out.append(buf, n);
    }
    return out;
}

QByteArray PtyPeer::readAtLeast(int count, int timeoutMs)
{
    QByteArray out;
    waitUntil(
        [&] {
            out += readAvailable();
            return out.size() >= count;
        },
        timeoutMs);
    return out;
}

QByteArray PtyPeer::readLines(int lines, int timeoutMs)
{
    QByteArray out;
    waitUntil(
        [&] {
            out += readAvailable();
            return out.count('\r') >= lines;
        },
        timeoutMs);
    return out;
}

QByteArray PtyPeer::readFor(int ms)
{
    pumpEvents(ms);
    return readAvailable();
}

int PtyPeer::lineSpeed() const
{
    termios tio{};
    if (::tcgetattr(slave_, &tio) != 0)
        return 0;
    switch (cfgetospeed(&tio)) {
    case B9600: return 9600;
    case B19200: return 19200;
    default: return 0;
    }
}

void PtyPeer::vanish()
{
    if (master_ >= 0)
        ::close(master_);
    if (slave_ >= 0)
        ::close(slave_);
    master_ = slave_ = -1;
}
