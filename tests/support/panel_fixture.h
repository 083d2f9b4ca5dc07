#pragma once
// A started control panel whose COM1 is a pseudo-terminal held by the test.

#include "app/form1.h"
#include "support/pty_peer.h"

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
        form = std::make_unique<Form1>();
        const SerialError error = form->startUp();
        ASSERT_FALSE(error) << error.description.toStdString();
        form->show();
    }
    void TearDown() override
    {
        form.reset();
        qunsetenv("VELNO_COM1");
        qunsetenv("VELNO_COM2");
    }

    template <class T = QWidget> T *control(const char *name) const { return form->control<T>(name); }
    PanelState &state() { return form->state(); }

    // Clicks a button as an operator would: with the mouse where it is in
    // view, otherwise (below the window's edge) through its click.
    void click(const char *name)
    {
        auto *button = control<QAbstractButton>(name);
        const QRect inWindow(button->mapTo(form.get(), QPoint(0, 0)), button->size());
        if (form->rect().contains(inWindow.center()))
            QTest::mouseClick(button, Qt::LeftButton);
        else
            button->click();
    }

    PtyPeer com1;
    std::unique_ptr<Form1> form;
};
