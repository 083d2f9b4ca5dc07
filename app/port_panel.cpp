#include "app/port_panel.h"

#include "app/command_button.h"
#include "app/form1.h"

#include <QFrame>
#include <QMessageBox>
#include <QRadioButton>

namespace {
const char *portOptionName(int number)
{
    return number == 1 ? "Option1" : "Option2";
}
} // namespace

PortPanel::PortPanel(Form1 &form) : QObject(&form), form_(form)
{
    connect(form.control<CommandButton>("Command33"), &QPushButton::clicked, this, &PortPanel::showPanel);
    connect(&form.timer(3), &WindowTimer::tick, this, &PortPanel::hidePanel);
    connect(form.control<QRadioButton>("Option1"), &QRadioButton::clicked, this,
            [this] { choosePort(1, 2); });
    connect(form.control<QRadioButton>("Option2"), &QRadioButton::clicked, this,
            [this] { choosePort(2, 1); });
    connect(form.control<QRadioButton>("Option9"), &QRadioButton::clicked, this,
            [this] { chooseSpeed(QStringLiteral("19200,N,8,1")); });
    connect(form.control<QRadioButton>("Option10"), &QRadioButton::clicked, this,
            [this] { chooseSpeed(QStringLiteral("9600,N,8,1")); });
}

void PortPanel::showPanel()
{
    form_.control<QFrame>("Frame8")->setVisible(true);
    form_.timer(3).setEnabled(true);
}

void PortPanel::hidePanel()
{
    form_.control<QFrame>("Frame8")->setVisible(false);
    form_.timer(3).setEnabled(false);
}

void PortPanel::choosePort(int chosen, int fallback)
{
    SerialControl &comm = form_.comm();
    bool wasOpen = false;
    if (comm.portOpen()) {
        comm.setPortOpen(false);
        wasOpen = true;
    }
    SerialError error = comm.setCommPort(chosen);
    if (!error && wasOpen)
        error = comm.setPortOpen(true);
    if (error) {
        QMessageBox box(QMessageBox::Warning, Form1::applicationTitle(), error.description, QMessageBox::Ok,
                        &form_);
        box.setObjectName(QStringLiteral("PortWarning"));
        box.exec();
        comm.setCommPort(fallback);
        return;
    }
    form_.control<QFrame>("Frame8")->setVisible(false);
}

void PortPanel::chooseSpeed(const QString &settings)
{
    form_.state().PortSettings = settings;
    form_.comm().setSettings(form_.state().PortSettings);
    form_.control<QFrame>("Frame8")->setVisible(false);
}

void PortPanel::selectPortOptionByCode(int number)
{
    form_.control<QRadioButton>(portOptionName(number))->setChecked(true);
    choosePort(number, number == 1 ? 2 : 1);
}
