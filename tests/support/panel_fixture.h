// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A started control panel whose COM1 is a pseudo-terminal held by the test.
// The session runs on manual timers unless a test asks for the real clock.

#include "session/panel_session.h"
#include "testing/manual_timer.h"
#include "testing/pty_peer.h"
#include "window/control_panel_window.h"
#include "window/data_panel.h"
#include "window/monitor_label.h"

#include <QAbstractButton>
#include <QTest>
#include <QtGlobal>
#include <gtest/gtest.h>
#include <memory>

class PanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("VELNO_COM1", com1.devicePath().toLocal8Bit());
        qunsetenv("VELNO_COM2");
        session = std::make_unique<PanelSession>(nullptr, realTimers ? PanelSession::TimerFactory()
                                                                     : clock.clock().makeTimer);
        form = std::make_unique<ControlPanelWindow>(*session);
        const SerialError error = form->startUp();
        ASSERT_FALSE(error) << error.description.toStdString();
        form->show();
    }
    void TearDown() override
    {
        form.reset();
        session.reset();
        qunsetenv("VELNO_COM1");
        qunsetenv("VELNO_COM2");
    }

    template <class T = QWidget> T *control(const char *name) const
    {
        T *found = form->findChild<T *>(QLatin1String(name));
        if (!found)
            ADD_FAILURE() << "no control " << name << " of the expected kind";
        return found;
    }
    // Timer1, Timer2 and Timer4, the session's, and its line's.
    ManualTimer &timer(const char *name) const { return clock.timer(name); }
    // Timer3, the port panel's hide delay: the window's, on the same clock.
    ManualTimer &hideDelay() const { return clock.timer("Timer3"); }
    bool isUnlocked() const { return form->findChild<DataPanel *>()->isUnlocked(); }
    QString monitorText(const char *name) const { return control<MonitorLabel>(name)->text(); }

    // Whether the control's centre is inside the window's visible area.
    bool isInView(const char *name) const
    {
        const QWidget *w = control(name);
        return form->rect().contains(QRect(w->mapTo(form.get(), QPoint(0, 0)), w->size()).center());
    }
    // Clicks a button as an operator would: with the mouse where it is in
    // view, otherwise (below the window's edge) through its click.
    void click(const char *name)
    {
        auto *button = control<QAbstractButton>(name);
        if (isInView(name))
            QTest::mouseClick(button, Qt::LeftButton);
        else
            button->click();
    }

    // Set in a test's constructor for the real timers.
    bool realTimers = false;
    ManualClock clock; // the session's and the window's timers
    PtyPeer com1;
    std::unique_ptr<PanelSession> session;
    std::unique_ptr<ControlPanelWindow> form;
};
