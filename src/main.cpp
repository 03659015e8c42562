#include "CommandLine.h"
#include "platform/LinuxClockSetter.h"
#include "platform/LinuxNotifier.h"
#include "platform/LinuxProgram.h"
#include "platform/LinuxSessionEnd.h"
#include "platform/LinuxSingleInstance.h"
#include "platform/NetworkManagerMonitor.h"
#include "platform/PlatformServices.h"
#include "platform/QtMessageBox.h"
#include "platform/StderrJournal.h"
#include "platform/SystemClock.h"
#include "platform/SystemTimeZone.h"
#include "platform/XdgRunKey.h"
#include "ui/frmMain.h"
#include "ui/modMain.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    if (const auto status = CommandLine::Answer(argc, argv))
        return *status;
    QApplication app(argc, argv);
    if (const auto status = CommandLine::Reject(QCoreApplication::arguments()))
        return *status;
    QApplication::setApplicationName(QStringLiteral("Quorvane"));
    QApplication::setDesktopFileName(QStringLiteral(QUORVANE_APP_ID));
    QApplication::setQuitOnLastWindowClosed(false);

    // A second start only shows the window that is open: it neither
    // synchronises nor saves anything.
    LinuxSingleInstance instance(QStringLiteral(QUORVANE_APP_ID));
    if (instance.Claim() == SingleInstance::Start::HandedOver)
        return 0;

    SystemClock clock;
    SystemTimeZone zone;
    LinuxClockSetter clockSetter;
    QtMessageBox messages;
    LinuxProgram program;
    XdgRunKey runKey;
    StderrJournal journal;
    LinuxSessionEnd sessionEnd;
    NetworkManagerMonitor network;
    LinuxNotifier notifier;
    PlatformServices services{clock,  zone,    clockSetter, messages, program,
                              runKey, journal, sessionEnd,  network,  notifier};

    QObject::connect(&instance, &SingleInstance::ShowRequested, modMain::Main(services),
                     &frmMain::SecondStart);
    return QApplication::exec();
}
