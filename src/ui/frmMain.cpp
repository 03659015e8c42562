#include "ui/frmMain.h"

#include "platform/Clock.h"
#include "platform/DateValue.h"
#include "platform/Journal.h"
#include "platform/Notifier.h"
#include "platform/PlatformServices.h"
#include "platform/Program.h"
#include "platform/SessionEnd.h"
#include "time/cInetTime.h"
#include "ui/Announcer.h"
#include "ui/CheckBox.h"
#include "ui/ClickLabel.h"
#include "ui/LineWidget.h"
#include "ui/NetworkWait.h"
#include "ui/ServerList.h"
#include "ui/ShapeWidget.h"
#include "ui/modMain.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <cmath>
#include <memory>

// The pictures live in the core library, which the linker would otherwise
// leave out of the program.
static void LoadPictures()
{
    Q_INIT_RESOURCE(assets);
}

namespace
{
constexpr int Black = 0;
constexpr int Red = 255;
constexpr int White = 0xFFFFFF;
constexpr int DarkGreen = 0x004000;

QRect Twips(int left, int top, int width, int height)
{
    return {frmMain::Px(left), frmMain::Px(top), frmMain::Px(width), frmMain::Px(height)};
}

// A common sans face in the sizes and weights of the classic dialog fonts.
QFont SansFont(qreal points, bool bold)
{
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans"),
                      QStringLiteral("Sans Serif")});
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

// Relative luminance of an sRGB colour, as WCAG defines it.
double Luminance(const QColor& colour)
{
    auto linear = [](double c) {
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
           0.0722 * linear(colour.blueF());
}

void SetTextColour(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

void MakeStatusPanel(ClickLabel* label)
{
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setLineWidth(1);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}
} // namespace

frmMain::frmMain(PlatformServices& services, const QString& settingsFile, QWidget* parent)
    : QWidget(parent), services(services), controlValues(settingsFile),
      runAtStartup(services.runKey, services.messages), pace(services.clock)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral(" Quorvane v" QUORVANE_VERSION));
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(Px(5400), Px(2955));
    LoadPictures();
    setWindowIcon(QIcon(QStringLiteral(":/quorvane.png")));
    setFont(SansFont(8.25, false));
    CreateControls();
    ConnectEvents();
}

QColor frmMain::FromColourNumber(int number)
{
    // Red in the low byte, then green, then blue.
    return QColor(number & 0xFF, (number >> 8) & 0xFF, (number >> 16) & 0xFF);
}

double frmMain::Contrast(const QColor& one, const QColor& other)
{
    const double a = Luminance(one) + 0.05;
    const double b = Luminance(other) + 0.05;
    return a > b ? a / b : b / a;
}

QColor frmMain::ShownColour(int number) const
{
    // Black text on the window's own background was the system's ordinary
    // text colour: under a dark theme it becomes the theme's, and red is
    // lightened to 5:1, so that its anti-aliased strokes still read at 4.5:1.
    const QColor background = palette().color(QPalette::Window);
    const QColor text = palette().color(QPalette::WindowText);
    if (background.lightness() >= text.lightness())
        return FromColourNumber(number);
    if (number == Black)
        return text;
    QColor colour = FromColourNumber(number);
    for (int lift = 0; number == Red && lift <= 255 && Contrast(colour, background) < 5; lift += 5)
        colour.setRgb(255, lift, lift);
    return colour;
}

void frmMain::ApplyColours()
{
    Line1->SetColour(palette().color(QPalette::Window));
    Shape2->SetFill(palette().color(QPalette::Base));
    SetTextColour(lblPcTime, ShownColour(Black));
    SetTextColour(lblStatus, ShownColour(statusColour));
}

void frmMain::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        ApplyColours();
}

template <class T> T* frmMain::Add(T* control, const char* name, const char* kind)
{
    control->setObjectName(QString::fromLatin1(name));
    control->setProperty("Kind", QString::fromLatin1(kind));
    controls.append(control);
    return control;
}

void frmMain::CreateControls()
{
    const QFont regular = SansFont(8.25, false);
    const QFont bold = SansFont(8.25, true);

    Timer2 = Add(new QTimer(this), "Timer2", "Timer");
    Timer2->setInterval(1010);

    Timer3 = Add(new QTimer(this), "Timer3", "Timer");
    Timer3->setInterval(1000);
    // Nine ticks must make nine seconds, not up to 5 % less.
    Timer3->setTimerType(Qt::PreciseTimer);

    AutoCloseQuorvane = Add(new CheckBox(QStringLiteral("Auto Close Quorvane"), this),
                            "AutoCloseQuorvane", "CheckBox");
    AutoCloseQuorvane->setGeometry(Twips(240, 2280, 2655, 195));
    AutoCloseQuorvane->setFont(regular);
    AutoCloseQuorvane->setValue(CheckBox::Checked);

    chkRun = Add(new CheckBox(QStringLiteral("Launch at start up"), this), "chkRun", "CheckBox");
    chkRun->setGeometry(Twips(3000, 2280, 1935, 195));
    chkRun->setFont(regular);
    chkRun->setValue(CheckBox::Cleared);

    Timer1 = Add(new QTimer(this), "Timer1", "Timer");
    Timer1->setInterval(250);

    cboServers = Add(new QComboBox(this), "cboServers", "ComboBox");
    cboServers->setGeometry(Twips(2760, 240, 2535, 315));
    cboServers->setFont(regular);
    cboServers->setEditable(false);
    QPalette listColours = cboServers->palette();
    listColours.setColor(QPalette::Base, FromColourNumber(White));
    listColours.setColor(QPalette::Button, FromColourNumber(White));
    listColours.setColor(QPalette::Text, FromColourNumber(Black));
    listColours.setColor(QPalette::ButtonText, FromColourNumber(Black));
    cboServers->setPalette(listColours);
    // Screen readers on Linux name a list by the label it is the buddy of,
    // never by an accessible name; the window shows no such label.
    auto* listName = new QLabel(QStringLiteral("Time server"), this);
    listName->setBuddy(cboServers);
    listName->hide();
    cboServers->setAccessibleDescription(QStringLiteral("The time server to ask"));

    cmdSynchTime = Add(new QPushButton(QStringLiteral("Set Time && Date"), this), "cmdSynchTime",
                       "CommandButton");
    cmdSynchTime->setGeometry(Twips(240, 1440, 2055, 495));
    cmdSynchTime->setFont(bold);
    // Enter presses it too, as in a dialog.
    cmdSynchTime->setAutoDefault(true);

    Label3 = Add(new ClickLabel(this), "Label3", "Label");
    Label3->setGeometry(Twips(3480, 2640, 1935, 375));
    Label3->setFont(regular);
    Label3->setText(QStringLiteral(" "));
    MakeStatusPanel(Label3);

    Label2 = Add(new ClickLabel(this), "Label2", "Label");
    Label2->setGeometry(Twips(-120, 2640, 735, 375));
    Label2->setFont(regular);
    Label2->setText(QStringLiteral("   Status"));
    MakeStatusPanel(Label2);

    Image1 = Add(new ClickLabel(this), "Image1", "Image");
    Image1->setGeometry(Twips(3240, 840, 1890, 1050));
    Image1->setPixmap(QPixmap(QStringLiteral(":/logo.png")));
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setAccessibleName(QStringLiteral("Quorvane logo"));

    Label1 = Add(new ClickLabel(this), "Label1", "Label");
    Label1->setGeometry(Twips(405, 120, 1740, 495));
    Label1->setFont(SansFont(19.5, true));
    Label1->setText(QStringLiteral("00:00:00"));
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    SetTextColour(Label1, FromColourNumber(White));

    Line1 = Add(new LineWidget(QPoint(Px(2760), Px(720)), QPoint(Px(2760), Px(2160)), this),
                "Line1", "Line");

    Shape1 =
        Add(new ShapeWidget(ShapeWidget::Kind::RoundedRectangle, FromColourNumber(DarkGreen), this),
            "Shape1", "Shape");
    Shape1->setGeometry(Twips(120, 120, 2295, 495));

    lblStatus = Add(new ClickLabel(this), "lblStatus", "Label");
    lblStatus->setGeometry(Twips(600, 2640, 4935, 375));
    lblStatus->setFont(regular);
    lblStatus->setText(QStringLiteral(" Quorvane"));
    lblStatus->setAccessibleDescription(QStringLiteral("The outcome of the last synchronisation"));
    MakeStatusPanel(lblStatus);
    announcer = new Announcer(lblStatus);

    lblPcTime = Add(new ClickLabel(this), "lblPcTime", "Label");
    lblPcTime->setGeometry(Twips(120, 960, 2295, 255));
    lblPcTime->setFont(bold);
    lblPcTime->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    Shape2 = Add(new ShapeWidget(ShapeWidget::Kind::Rectangle, QColor(), this), "Shape2", "Shape");
    Shape2->setGeometry(Twips(0, 720, 5535, 1455));
    ApplyColours();

    // Earlier controls lie in front of later ones.
    for (auto it = controls.crbegin(); it != controls.crend(); ++it) {
        if (auto* widget = qobject_cast<QWidget*>(*it))
            widget->raise();
    }

    setTabOrder(cmdSynchTime, cboServers);
    setTabOrder(cboServers, chkRun);
    setTabOrder(chkRun, AutoCloseQuorvane);
    cmdSynchTime->setFocus();
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
    // A box's Click comes with every change of its value, also the program's own.
#if QT_VERSION >= QT_VERSION_CHECK(6, 7, 0)
    connect(AutoCloseQuorvane, &QCheckBox::checkStateChanged, this,
            &frmMain::AutoCloseQuorvane_Click);
    connect(chkRun, &QCheckBox::checkStateChanged, this, &frmMain::chkRun_Click);
#else
    connect(AutoCloseQuorvane, &QCheckBox::stateChanged, this, &frmMain::AutoCloseQuorvane_Click);
    connect(chkRun, &QCheckBox::stateChanged, this, &frmMain::chkRun_Click);
#endif
    connect(cboServers, &QComboBox::activated, this, &frmMain::cboServers_Click);
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
    SetStatusColour(Black);
    AutoCloseCount = 9;
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

void frmMain::Form_Activate()
{
    NetworkWait network(services.network, services.clock);
    Synchronise(&network);
}

void frmMain::closeEvent(QCloseEvent* event)
{
    Form_Unload();
    event->accept();
}

void frmMain::Form_Unload()
{
    SaveAndExit();
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

void frmMain::SetStatusColour(int colourNumber)
{
    statusColour = colourNumber;
    SetTextColour(lblStatus, ShownColour(colourNumber));
}

void frmMain::cmdSynchTime_Click()
{
    Synchronise(nullptr);
}

void frmMain::Synchronise(NetworkWait* network)
{
    outcome.reset();
    Timer1->stop();
    ShowStatus({QStringLiteral(" Contacting Server...")}, false);
    cmdSynchTime->setEnabled(false);
    const QString server = modMain::CurrentServer;
    const auto attempt = [this, &server, network] { return Query(server, network != nullptr); };
    const auto waiting = [this] { // the clock runs while the network comes up
        if (lblStatus->text() != NetworkWait::Status)
            ShowStatus({NetworkWait::Status}, true);
        Timer1->start();
    };
    networkWait = network;
    auto query = network ? network->Run(attempt, waiting) : attempt();
    networkWait = nullptr;
    outcome = OutcomeOf(*query, network);
    outcome->server = server;
    ShowStatus(*outcome, true);
    WriteJournal(*outcome, network);
    cmdSynchTime->setEnabled(true);
    cmdSynchTime->setFocus();
    query.reset();
    Timer1->start();
    KeepOutcomeReadable();
}

std::unique_ptr<cInetTime> frmMain::Query(const QString& server, bool retrying)
{
    pace.WaitFor(server);
    auto query = std::make_unique<cInetTime>(services.clock, services.zone, services.clockSetter);
    query->setTimeServer(server);
    query->setRetrying(retrying);
    runningQuery = query.get();
    query->SetTime();
    runningQuery = nullptr;
    if (const auto connected = query->ConnectedAt())
        pace.Connected(server, *connected);
    return query;
}

void frmMain::KeepOutcomeReadable()
{
    // The countdown ran out while the outcome was pending, or would end the
    // program before the outcome could be read: it goes on from three.
    const bool tooSoon =
        Timer3->isActive() &&
        Timer3->remainingTime() + (AutoCloseCount - 1) * Timer3->interval() < ReadableSecs * 1000;
    if (!exitAfterSynch && !tooSoon)
        return;
    exitAfterSynch = false;
    AutoCloseCount = ReadableSecs;
    ShowAutoCloseCount();
    Timer3->start();
}

Outcome frmMain::OutcomeOf(const cInetTime& query, const NetworkWait* network) const
{
    const QString notFound = QStringLiteral(" Cannot find Server.");
    if (network && network->GaveUp())
        return {notFound, Red, network->GiveUpReason()};
    if (query.ErrorCheck() != 0)
        return {notFound, Red};
    if (query.BadReply())
        return {QStringLiteral(" Bad reply from Server."), Red};
    if (!query.Replied())
        return {QStringLiteral(" No reply from Server."), Red};
    if (!query.ClockResult().ok)
        return {QStringLiteral(" Cannot set Clock."), Red,
                QStringLiteral("Offset %1 Sec; the clock was not set: %2")
                    .arg(query.AdjustedSecs())
                    .arg(query.ClockResult().reason)};
    return {QStringLiteral(" Time Adjusted by ") + QString::number(query.AdjustedSecs()) +
            QStringLiteral(" Sec")};
}

void frmMain::ShowStatus(const Outcome& status, bool announce)
{
    SetStatusColour(status.colour);
    lblStatus->setText(status.text);
    lblStatus->setToolTip(status.reason);
    if (announce)
        announcer->Announce(status.Said(), status.Failed());
}

void frmMain::WriteJournal(const Outcome& told, const NetworkWait* network)
{
    QString line = told.Server() + QLatin1Char(':') + told.text;
    if (!told.reason.isEmpty())
        line += QLatin1Char(' ') + told.reason;
    if (network && network->Waiting())
        line += QStringLiteral(" (after waiting %1 s for the network)")
                    .arg(network->Waited(), 0, 'f', 1);
    services.journal.Write(line);
}

void frmMain::Timer1_Timer()
{
    lblPcTime->setText(DateValue::Format(services.clock.Now(), QStringLiteral("dddd dd mmm yyyy")));
    Label1->setText(DateValue::Format(services.clock.Now(), QStringLiteral("hh:mm:ss")));
}

void frmMain::Timer3_Timer()
{
    --AutoCloseCount;
    ShowAutoCloseCount();
    if (AutoCloseCount != 0)
        return;
    // Ending now would leave the outcome untold, and whoever typed a password
    // for the clock would never see whether it worked: end once it is shown.
    if (Pending()) {
        Timer3->stop();
        exitAfterSynch = true;
        return;
    }
    // Nobody stopped the countdown, so nobody may have read a failure before
    // the window goes: the desktop keeps it.
    if (outcome && outcome->Failed())
        services.notifier.Notify(
            QStringLiteral("Quorvane"),
            outcome->text.trimmed() + QLatin1Char('\n') + outcome->Server() +
                (outcome->reason.isEmpty() ? QString() : QLatin1Char('\n') + outcome->reason));
    SaveAndExit();
}

void frmMain::ShowAutoCloseCount()
{
    Label3->setText(QStringLiteral("Auto Close ") + QString::number(AutoCloseCount) +
                    QStringLiteral(" seconds."));
}

bool frmMain::Pending() const
{
    return (runningQuery && runningQuery->SettingClock()) ||
           (networkWait && networkWait->Waiting());
}

void frmMain::StopAutoClose()
{
    Timer3->stop();
    exitAfterSynch = false;
    Label3->setText(QStringLiteral(" Auto Close Stopped."));
}

void frmMain::Label3_Click()
{
    StopAutoClose();
}
void frmMain::Label1_Click()
{
    StopAutoClose();
}
void frmMain::lblStatus_Click()
{
    StopAutoClose();
}
void frmMain::Image1_Click()
{
    StopAutoClose();
}
void frmMain::AutoCloseQuorvane_Click()
{
    StopAutoClose();
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
