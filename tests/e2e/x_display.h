// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A private X server for tests that run the program with real windows, and
// the xdotool calls through which the test acts as the operator on it.

#include <QPoint>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

class XDisplay {
public:
    XDisplay() = default;
    ~XDisplay();
    XDisplay(const XDisplay &) = delete;
    XDisplay &operator=(const XDisplay &) = delete;

    // The tools this needs that are not installed, or empty.
    static QStringList missingTools();

    // Starts Xvfb on a display number it picks itself, so that tests running
    // side by side never share one. On failure says why.
    bool start(QString *error);
    QString name() const { return name_; }
    // The given environment, with its windows sent to this display.
    QProcessEnvironment environmentFor(QProcessEnvironment base) const;

    // Ids of the windows whose title matches the (case-insensitive) regular
    // expression; only the mapped ones when onlyVisible.
    QStringList windows(const QString &titlePattern, bool onlyVisible) const;
    // Polls rather than `search --sync`, which would wait forever for a
    // window that never comes. Empty when none appears in time.
    QString waitForWindow(const QString &titlePattern, int timeoutMs) const;
    // A left click at a point of the window, in its own pixels.
    void click(const QString &window, QPoint at) const;
    // The left button pressed there and held, and let go again.
    void press(const QString &window, QPoint at) const;
    void release() const;
    // Focuses the window and presses a key on the keyboard.
    void pressKey(const QString &window, const QString &key) const;

private:
    QString xdotool(const QStringList &args) const;

    QProcess server_;
    QString name_;
};
