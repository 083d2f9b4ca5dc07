// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/start_up.h"

#include "session/panel_session.h"
#include "window/application_title.h"
#include "window/control_panel_window.h"

#include <QApplication>
#include <QMessageBox>

int runControlPanel(QApplication &app, const PanelLog &log, const PanelPorts &ports)
{
    PanelSession session;
    if (ports.com1)
        session.setPortDevice(1, *ports.com1);
    if (ports.com2)
        session.setPortDevice(2, *ports.com2);
    // What the window cannot show goes to the log, where the script that
    // started the program keeps it.
    QObject::connect(&session, &PanelSession::error, &session, log);
    QObject::connect(&session, &PanelSession::portLost, &session, [&](const QString &description) {
        log(QObject::tr("device %1 lost (%2); port closed").arg(session.deviceName(), description));
    });
    ControlPanelWindow form(session);
    const auto reportStartUpFailure = [&log](const SerialError &error) {
        const QString message =
            QObject::tr("Run-time error %1:\n\n%2").arg(error.number).arg(error.description);
        log(QString(message).replace(QLatin1String("\n\n"), QLatin1String(" ")));
        QMessageBox box(QMessageBox::Critical, applicationTitle(), message, QMessageBox::Ok);
        box.setObjectName(QStringLiteral("StartUpError"));
        box.exec();
    };
    QObject::connect(&form, &ControlPanelWindow::startedUp, &form, &QWidget::show);
    QObject::connect(&form, &ControlPanelWindow::startUpFailed, &form, [&](const SerialError &error) {
        reportStartUpFailure(error);
        QCoreApplication::exit(1);
    });
    if (const SerialError error = form.startUp()) {
        reportStartUpFailure(error);
        return 1;
    }
    return app.exec();
}
