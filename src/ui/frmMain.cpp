#include "ui/frmMain.h"

#include "platform/Clock.h"
#include "platform/Journal.h"
#include "platform/Notifier.h"
#include "platform/PlatformServices.h"
#include "platform/Program.h"
#include "platform/SessionEnd.h"
#include "time/DateValue.h"
#include "time/ServerList.h"
#include "ui/CheckBox.h"
#include "ui/ClickLabel.h"
#include "ui/ColourRules.h"
#include "ui/ServerBox.h"
#include "ui/StatusLine.h"
#include "ui/modMain.h"

#include <QCloseEvent>
#include <QPushButton>
#include <QTimer>

frmMain::frmMain(PlatformServices& services, const QString& settingsFile, QWidget* parent)
    : QWidget(parent),
      synchronisation(services.clock, services.zone, services.clockSetter, services.network),
      services(services), controlValues(settingsFile),
      runAtStartup(services.runKey, services.messages)
{
    CreateControls(this);
    countdown = std::make_unique<Countdown>(*Timer3, *Label3);
    ConnectEvents();
}

frmMain::~frmMain() = default;

void frmMain::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        ApplyColours(palette());
}

void frmMain::ConnectEvents()
{
    connect(Timer1, &QTimer::timeout, this, &frmMain::Timer1_Timer);
    connect(Timer3, &QTimer::timeout, this, &frmMain::Timer3_Timer);
    connect(cmdSynchTime, &QPushButton::clicked, this, &frmMain::cmdSynchTime_Click);
    connect(Label3, &ClickLabel::Click, this, &frmMain::Label3_Click);
    connect(Label1, &ClickLabel::Click, this, &frmMain::Label1_Click);
    connect(lblStatus, &ClickLabel::Click, this, &frmMain::lblStatus_Click);
    connect(Image1, &ClickLabel::Click, this, &frmMain::Image1_Click);
    connect(AutoCloseQuorvane, &CheckBox::Click, this, &frmMain::AutoCloseQuorvane_Click);
    connect(chkRun, &CheckBox::Click, this, &frmMain::chkRun_Click);
    connect(cboServers, &QComboBox::activated, this, &frmMain::cboServers_Click);
    connect(&synchronisation, &Synchronisation::WaitingForNetwork, this,
            &frmMain::synchronisation_WaitingForNetwork);
    connect(&synchronisation, &Synchronisation::SettingClock, this,
            &frmMain::synchronisation_SettingClock);
    connect(&synchronisation, &Synchronisation::Finished, this, &frmMain::synchronisation_Finished);
    // Logout, a signal or the session manager: the same way out as closing.
    connect(&services.sessionEnd, &SessionEnd::Ending, this, &frmMain::Form_Unload);
}

void frmMain::Load()
{
    Timer2->start();
    Timer1->start();
    // The PC's time from the first paint on, not only after the first
    // synchronisation.
    Timer1_Timer();
    Form_Load();
}

void frmMain::Form_Load()
{
    FillServerList();
    lblStatus->SetColour(ColourRules::Black);
    countdown->AutoCloseCount = 9;
    controlValues.RestoreControlValues(controls);
    LoadingSettings = true;
    chkRun->setValue(runAtStartup.IsRunAtStartup(services.program.FileTitle()) ? CheckBox::Checked
                                                                               : CheckBox::Cleared);
    LoadingSettings = false;
    modMain::CurrentServer = cboServers->currentText();
    if (AutoCloseQuorvane->Value() == CheckBox::Checked)
        Timer3->start();
}

void frmMain::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // The first showing counts as the first activation, also where no window
    // manager hands activation out; later activations never synchronise again.
    if (!activated) {
        activated = true;
        QMetaObject::invokeMethod(this, &frmMain::Form_Activate, Qt::QueuedConnection);
    }
}

void frmMain::closeEvent(QCloseEvent* event)
{
    Form_Unload();
    event->accept();
}

void frmMain::SaveAndExit()
{
    Timer1->setInterval(0);
    Timer1->stop();
    Timer2->setInterval(0);
    Timer2->stop();
    // A store that cannot be written must not keep the program from ending.
    controlValues.SaveControlValues(controls);
    services.program.End();
}

void frmMain::FillServerList()
{
    for (const QString& server : ServerList::Servers())
        cboServers->addItem(server);
    // Filling selects nothing.
    cboServers->setCurrentIndex(-1);
}

void frmMain::Synchronise(double patienceSecs)
{
    lblStatus->Show({QStringLiteral(" Contacting Server...")}, false);
    Timer1->stop();
    cmdSynchTime->setEnabled(false);
    synchronisation.Start(modMain::CurrentServer, patienceSecs);
}

void frmMain::synchronisation_WaitingForNetwork()
{
    lblStatus->Show({QStringLiteral(" Waiting for network...")}, true);
    Timer1->start();
}

void frmMain::synchronisation_SettingClock()
{
    // The system may ask for a password now: the clock runs meanwhile.
    Timer1->start();
}

void frmMain::synchronisation_Finished(const Outcome& outcome)
{
    lblStatus->Show(outcome, true);
    services.journal.Write(outcome.JournalLine());
    cmdSynchTime->setEnabled(true);
    cmdSynchTime->setFocus();
    Timer1->start();
    countdown->KeepReadable();
}

void frmMain::Timer1_Timer()
{
    lblPcTime->setText(DateValue::Format(services.clock.Now(), QStringLiteral("dddd dd mmm yyyy")));
    Label1->setText(DateValue::Format(services.clock.Now(), QStringLiteral("hh:mm:ss")));
}

void frmMain::Timer3_Timer()
{
    if (!countdown->Tick(synchronisation.UnderWay()))
        return;
    // Nobody stopped the countdown, so nobody may have read a failure before
    // the window goes: the desktop keeps it.
    if (const auto& last = synchronisation.Last(); last && last->Failed())
        services.notifier.Notify(QStringLiteral("Quorvane"), last->NotificationBody());
    SaveAndExit();
}

void frmMain::cboServers_Click()
{
    StopAutoClose();
    modMain::CurrentServer = cboServers->currentText();
}

void frmMain::chkRun_Click()
{
    StopAutoClose();
    if (!LoadingSettings)
        runAtStartup.SetRunAtStartup(services.program.FileTitle(), services.program.FilePath(),
                                     chkRun->Value() == CheckBox::Checked);
}

void frmMain::SecondStart()
{
    StopAutoClose();
    setWindowState(windowState() & ~Qt::WindowMinimized);
    raise();
    activateWindow();
}
