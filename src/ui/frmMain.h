#pragma once

#include "persist/ControlValues.h"
#include "persist/RunAtStartup.h"
#include "time/ServerPace.h"
#include "ui/Outcome.h"

#include <QList>
#include <QWidget>
#include <memory>
#include <optional>

struct PlatformServices;
class Announcer;
class CheckBox;
class ClickLabel;
class LineWidget;
class NetworkWait;
class QComboBox;
class QPushButton;
class QTimer;
class ShapeWidget;
class cInetTime;

// The program's one window: the PC's clock, the server list, the synchronise
// button, the status line and the two check boxes.
class frmMain : public QWidget
{
    Q_OBJECT
public:
    explicit frmMain(PlatformServices& services, const QString& settingsFile = {},
                     QWidget* parent = nullptr);

    // Starts the timers that run from the start and runs Form_Load.
    void Load();

    // Turns twips, the unit the layout is drawn in, into pixels at 96 dpi.
    static int Px(int twips) { return twips / 15; }
    static QColor FromColourNumber(int number);
    // Contrast ratio of two colours, as WCAG defines it: 1 to 21.
    static double Contrast(const QColor& one, const QColor& other);

    QTimer* Timer2;
    QTimer* Timer3;
    CheckBox* AutoCloseQuorvane;
    CheckBox* chkRun;
    QTimer* Timer1;
    QComboBox* cboServers;
    QPushButton* cmdSynchTime;
    ClickLabel* Label3;
    ClickLabel* Label2;
    ClickLabel* Image1;
    ClickLabel* Label1;
    LineWidget* Line1;
    ShapeWidget* Shape1;
    ClickLabel* lblStatus;
    ClickLabel* lblPcTime;
    ShapeWidget* Shape2;

    qint16 AutoCloseCount = 0;
    bool LoadingSettings = false;

public slots:
    void Form_Load();
    void Form_Activate();
    void Form_Unload();
    void SaveAndExit();
    void cmdSynchTime_Click();
    // One synchronisation; at start-up with the patience to wait for the network.
    void Synchronise(NetworkWait* network);
    void Timer1_Timer();
    void Timer3_Timer();
    void StopAutoClose();
    void Label3_Click();
    void Label1_Click();
    void lblStatus_Click();
    void Image1_Click();
    void AutoCloseQuorvane_Click();
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
    void CreateControls();
    void ConnectEvents();
    template <class T> T* Add(T* control, const char* name, const char* kind);
    void FillServerList();
    void SetStatusColour(int colourNumber);
    // The colour in which a colour number is drawn under the present theme.
    QColor ShownColour(int number) const;
    void ApplyColours();
    std::unique_ptr<cInetTime> Query(const QString& server, bool retrying);
    Outcome OutcomeOf(const cInetTime& query, const NetworkWait* network) const;
    // The status line; announced to screen readers where something new is told.
    void ShowStatus(const Outcome& status, bool announce);
    void WriteJournal(const Outcome& told, const NetworkWait* network);
    void ShowAutoCloseCount();
    // The outcome stays on screen this long before the countdown ends the program.
    void KeepOutcomeReadable();
    static constexpr int ReadableSecs = 3;
    // Whether the outcome of the synchronisation under way is still to come
    // for longer than a query's wait: the network or the clock's setting.
    bool Pending() const;

    PlatformServices& services;
    ControlValues controlValues;
    RunAtStartup runAtStartup;
    ServerPace pace;
    QList<QObject*> controls;
    bool activated = false;
    // The colour number of the status line's text.
    int statusColour = 0;
    // The synchronisation under way: its query while it runs, and the
    // start-up run's wait for the network.
    cInetTime* runningQuery = nullptr;
    const NetworkWait* networkWait = nullptr;
    // The countdown ran out while the synchronisation was pending.
    bool exitAfterSynch = false;
    // What the last synchronisation came to; none while one runs.
    std::optional<Outcome> outcome;
    Announcer* announcer;
};
