#include "window/start_up.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velno-control"));
    return runControlPanel(app);
}
