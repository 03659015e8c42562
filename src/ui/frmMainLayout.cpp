#include "ui/frmMainLayout.h"

#include "ui/CheckBox.h"
#include "ui/ClickLabel.h"
#include "ui/ColourRules.h"
#include "ui/LineWidget.h"
#include "ui/ServerBox.h"
#include "ui/ShapeWidget.h"
#include "ui/StatusLine.h"

#include <QPushButton>
#include <QTimer>

// The pictures live in the core library, which the linker would otherwise
// leave out of the program.
static void LoadPictures()
{
    Q_INIT_RESOURCE(assets);
}

namespace
{
using Colour = ColourRules;

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

} // namespace

template <class T>
T* frmMainLayout::Add(T* control, const char* name, const char* kind, const QRect& twips,
                      const QFont& font)
{
    control->setObjectName(QString::fromLatin1(name));
    control->setProperty("Kind", QString::fromLatin1(kind));
    controls.append(control);
    if constexpr (std::is_base_of_v<QWidget, T>) {
        if (twips.isNull())
            return control;
        control->setGeometry(Px(twips.x()), Px(twips.y()), Px(twips.width()), Px(twips.height()));
        control->setFont(font);
    }
    return control;
}

QTimer* frmMainLayout::AddTimer(const char* name, int interval)
{
    auto* timer = Add(new QTimer(form), name, "Timer");
    timer->setInterval(interval);
    return timer;
}

ClickLabel* frmMainLayout::AddLabel(const char* name, const QRect& twips, const QFont& font,
                                    const QString& text, bool panel)
{
    auto* label = Add(new ClickLabel(form), name, "Label", twips, font);
    label->setText(text);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    if (panel)
        label->MakePanel();
    return label;
}

void frmMainLayout::CreateControls(QWidget* window)
{
    form = window;
    form->setObjectName(QStringLiteral("frmMain"));
    form->setWindowTitle(QStringLiteral(" Quorvane v" QUORVANE_VERSION));
    form->setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                         Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    form->setFixedSize(Px(5400), Px(2955));
    LoadPictures();
    form->setWindowIcon(QIcon(QStringLiteral(":/quorvane.png")));
    form->setFont(SansFont(8.25, false));
    const QFont regular = SansFont(8.25, false);
    const QFont bold = SansFont(8.25, true);

    Timer2 = AddTimer("Timer2", 1010);
    Timer3 = AddTimer("Timer3", 1000);
    // Nine ticks must make nine seconds, not up to 5 % less.
    Timer3->setTimerType(Qt::PreciseTimer);
    AutoCloseQuorvane = Add(new CheckBox(QStringLiteral("Auto Close Quorvane"), form),
                            "AutoCloseQuorvane", "CheckBox", {240, 2280, 2655, 195}, regular);
    AutoCloseQuorvane->setValue(CheckBox::Checked);
    chkRun = Add(new CheckBox(QStringLiteral("Launch at start up"), form), "chkRun", "CheckBox",
                 {3000, 2280, 1935, 195}, regular);
    Timer1 = AddTimer("Timer1", 250);

    cboServers =
        Add(new ServerBox(form), "cboServers", "ComboBox", {2760, 240, 2535, 315}, regular);
    cmdSynchTime = Add(new QPushButton(QStringLiteral("Set Time && Date"), form), "cmdSynchTime",
                       "CommandButton", {240, 1440, 2055, 495}, bold);
    // Enter presses it too, as in a dialog.
    cmdSynchTime->setAutoDefault(true);

    Label3 = AddLabel("Label3", {3480, 2640, 1935, 375}, regular, QStringLiteral(" "), true);
    Label2 = AddLabel("Label2", {-120, 2640, 735, 375}, regular, QStringLiteral("   Status"), true);
    Image1 = Add(new ClickLabel(form), "Image1", "Image", {3240, 840, 1890, 1050}, regular);
    Image1->setPixmap(QPixmap(QStringLiteral(":/logo.png")));
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setAccessibleName(QStringLiteral("Quorvane logo"));
    Label1 = AddLabel("Label1", {405, 120, 1740, 495}, SansFont(19.5, true),
                      QStringLiteral("00:00:00"), false);
    Label1->SetTextColour(Colour::FromColourNumber(Colour::White));
    Line1 = Add(new LineWidget(QPoint(Px(2760), Px(720)), QPoint(Px(2760), Px(2160)), form),
                "Line1", "Line");
    Shape1 = Add(new ShapeWidget(ShapeWidget::Kind::RoundedRectangle,
                                 Colour::FromColourNumber(Colour::DarkGreen), form),
                 "Shape1", "Shape", {120, 120, 2295, 495});
    lblStatus = Add(new StatusLine(form), "lblStatus", "Label", {600, 2640, 4935, 375}, regular);
    lblStatus->setText(QStringLiteral(" Quorvane"));
    lblStatus->MakePanel();
    lblPcTime = AddLabel("lblPcTime", {120, 960, 2295, 255}, bold, {}, false);
    lblPcTime->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Shape2 = Add(new ShapeWidget(ShapeWidget::Kind::Rectangle, QColor(), form), "Shape2", "Shape",
                 {0, 720, 5535, 1455});
    ApplyColours(form->palette());

    // Earlier controls lie in front of later ones.
    for (auto it = controls.crbegin(); it != controls.crend(); ++it) {
        if (auto* widget = qobject_cast<QWidget*>(*it))
            widget->raise();
    }
    QWidget::setTabOrder(cmdSynchTime, cboServers);
    QWidget::setTabOrder(cboServers, chkRun);
    QWidget::setTabOrder(chkRun, AutoCloseQuorvane);
    cmdSynchTime->setFocus();
}

void frmMainLayout::ApplyColours(const QPalette& palette)
{
    Line1->SetColour(palette.color(QPalette::Window));
    Shape2->SetFill(palette.color(QPalette::Base));
    lblPcTime->SetTextColour(Colour::Shown(Colour::Black, palette));
    lblStatus->SetColour(lblStatus->Colour());
}
