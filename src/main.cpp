#include "platform/LinuxClockSetter.h"
#include "platform/LinuxProgram.h"
#include "platform/LinuxSessionEnd.h"
#include "platform/NetworkManagerMonitor.h"
#include "platform/PlatformServices.h"
#include "platform/QtMessageBox.h"
#include "platform/StderrJournal.h"
#include "platform/SystemClock.h"
#include "platform/SystemTimeZone.h"
#include "platform/XdgRunKey.h"
#include "ui/modMain.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvane"));
    QApplication::setQuitOnLastWindowClosed(false);

    SystemClock clock;
    SystemTimeZone zone;
    LinuxClockSetter clockSetter;
    QtMessageBox messages;
    LinuxProgram program;
    XdgRunKey runKey;
    StderrJournal journal;
    LinuxSessionEnd sessionEnd;
    NetworkManagerMonitor network;
    PlatformServices services{clock,  zone,    clockSetter, messages, program,
                              runKey, journal, sessionEnd,  network};

    modMain::Main(services);
    return QApplication::exec();
}
