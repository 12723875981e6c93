// glimvq: the desktop workstation.
#include "core/app.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_platform.h"
#include "ui/qt/workstation.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Glimmerix:V/q");
    return ws::run_workstation(argc, argv);
}
