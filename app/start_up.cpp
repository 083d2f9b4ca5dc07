#include "app/start_up.h"

#include "app/form1.h"

#include <QApplication>
#include <QMessageBox>

int runControlPanel(QApplication &app)
{
    Form1 form;
    if (const SerialError error = form.startUp()) {
        QMessageBox box(QMessageBox::Critical, Form1::applicationTitle(),
                        QObject::tr("Run-time error %1:\n\n%2").arg(error.number).arg(error.description),
                        QMessageBox::Ok);
        box.setObjectName(QStringLiteral("StartUpError"));
        box.exec();
        return 1;
    }
    form.show();
    return app.exec();
}
