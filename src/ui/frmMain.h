#pragma once

#include "persist/ControlValues.h"
#include "persist/RunAtStartup.h"
#include "time/NetworkWait.h"
#include "time/Outcome.h"
#include "time/Synchronisation.h"
#include "ui/Countdown.h"
#include "ui/frmMainLayout.h"

#include <QList>
#include <QWidget>
#include <memory>

struct PlatformServices;

// The program's one window: the PC's clock, the server list, the synchronise
// button, the status line and the two check boxes.
class frmMain : public QWidget, public frmMainLayout
{
    Q_OBJECT
public:
    explicit frmMain(PlatformServices& services, const QString& settingsFile = {},
                     QWidget* parent = nullptr);
    ~frmMain() override;

    // Starts the timers that run from the start and runs Form_Load.
    void Load();

    bool LoadingSettings = false;
    std::unique_ptr<Countdown> countdown;
    Synchronisation synchronisation;

public slots:
    void Form_Load();
    void Form_Activate() { Synchronise(NetworkWait::LimitSecs); }
    void Form_Unload() { SaveAndExit(); }
    void SaveAndExit();
    void cmdSynchTime_Click() { Synchronise(0); }
    // One synchronisation; at start-up with the patience to wait that many
    // seconds for the network.
    void Synchronise(double patienceSecs);
    void synchronisation_WaitingForNetwork();
    void synchronisation_SettingClock();
    void synchronisation_Finished(const Outcome& outcome);
    void Timer1_Timer();
    void Timer3_Timer();
    void StopAutoClose() { countdown->Stop(); }
    void Label3_Click() { StopAutoClose(); }
    void Label1_Click() { StopAutoClose(); }
    void lblStatus_Click() { StopAutoClose(); }
    void Image1_Click() { StopAutoClose(); }
    void AutoCloseQuorvane_Click() { StopAutoClose(); }
    void cboServers_Click();
    void chkRun_Click();
    // The program was started again while this window is open: someone is
    // at the machine, so the window comes to the front and stays.
    void SecondStart();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void ConnectEvents();
    void FillServerList();

    PlatformServices& services;
    ControlValues controlValues;
    RunAtStartup runAtStartup;
    bool activated = false;
};
