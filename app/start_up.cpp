#include "app/start_up.h"

#include "app/form1.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

int runControlPanel(QApplication &app)
{
    Form1 form;
    if (const SerialError error = form.startUp()) {
        const QString message =
            QObject::tr("Run-time error %1:\n\n%2").arg(error.number).arg(error.description);
        // Also on stderr, where a log or the script that started the program
        // keeps it after the box is gone.
        std::fprintf(stderr, "velno-control: %s\n",
                     qPrintable(QString(message).replace(QLatin1String("\n\n"), QLatin1String(" "))));
        std::fflush(stderr);
        QMessageBox box(QMessageBox::Critical, Form1::applicationTitle(), message, QMessageBox::Ok);
        box.setObjectName(QStringLiteral("StartUpError"));
        box.exec();
        return 1;
    }
    form.show();
    return app.exec();
}
