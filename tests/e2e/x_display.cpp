// SPDX-License-Identifier: GPL-3.0-or-later
#include "e2e/x_display.h"

#include "testing/wait.h"

#include <QDeadlineTimer>
#include <QStandardPaths>

namespace {
constexpr int kToolTimeoutMs = 10000;
constexpr int kPollMs = 50;
} // namespace

XDisplay::~XDisplay()
{
    if (server_.state() == QProcess::NotRunning)
        return;
    server_.terminate();
    if (!server_.waitForFinished(kToolTimeoutMs))
        server_.kill();
    server_.waitForFinished(kToolTimeoutMs);
}

QStringList XDisplay::missingTools()
{
    QStringList missing;
    for (const char *tool : {"Xvfb", "xdotool"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            missing << QString::fromLatin1(tool);
    return missing;
}

bool XDisplay::start(QString *error)
{
    // -displayfd: the server takes the first free number and writes it out.
    // -noreset: no server reset each time the last client (a short xdotool
    // run) leaves, which a program connecting just then could run into.
    server_.start(QStringLiteral("Xvfb"),
                  {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                   QStringLiteral("0"), QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                   QStringLiteral("tcp"), QStringLiteral("-noreset")});
    QByteArray number;
    waitUntil(
        [&] {
            number += server_.readAllStandardOutput();
            return number.contains('\n') || server_.state() == QProcess::NotRunning;
        },
        kToolTimeoutMs);
    bool ok = false;
    number.trimmed().toInt(&ok);
    if (ok) {
        name_ = QLatin1Char(':') + QString::fromLatin1(number.trimmed());
        ok = !xdotool({QStringLiteral("getdisplaygeometry")}).isEmpty();
    }
    if (!ok)
        *error = QStringLiteral("Xvfb did not come up on display \"%1\": %2")
                     .arg(name_, QString::fromLocal8Bit(server_.readAllStandardError()));
    return ok;
}

QProcessEnvironment XDisplay::environmentFor(QProcessEnvironment base) const
{
    base.insert(QStringLiteral("DISPLAY"), name_);
    base.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    return base;
}

QString XDisplay::xdotool(const QStringList &args) const
{
    QProcess tool;
    tool.setProcessEnvironment(environmentFor(QProcessEnvironment::systemEnvironment()));
    tool.start(QStringLiteral("xdotool"), args);
    if (!tool.waitForFinished(kToolTimeoutMs))
        tool.kill();
    return QString::fromLocal8Bit(tool.readAllStandardOutput()).trimmed();
}

QStringList XDisplay::windows(const QString &titlePattern, bool onlyVisible) const
{
    QStringList args{QStringLiteral("search")};
    if (onlyVisible)
        args << QStringLiteral("--onlyvisible");
    args << QStringLiteral("--name") << titlePattern;
    return xdotool(args).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString XDisplay::waitForWindow(const QString &titlePattern, int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const QStringList found = windows(titlePattern, true);
        if (!found.isEmpty() || deadline.hasExpired())
            return found.value(0);
        pumpEvents(kPollMs);
    }
}

void XDisplay::click(const QString &window, QPoint at) const
{
    xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window, QString::number(at.x()),
             QString::number(at.y()), QStringLiteral("click"), QStringLiteral("1")});
}

void XDisplay::press(const QString &window, QPoint at) const
{
    xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window, QString::number(at.x()),
             QString::number(at.y()), QStringLiteral("mousedown"), QStringLiteral("1")});
}

void XDisplay::release() const
{
    xdotool({QStringLiteral("mouseup"), QStringLiteral("1")});
}

void XDisplay::pressKey(const QString &window, const QString &key) const
{
    // No window manager runs here, so focus is given directly rather than
    // by activating the window.
    xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window, QStringLiteral("key"), key});
}
