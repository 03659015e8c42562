#pragma once

#include <QList>
#include <QRect>

class CheckBox;
class ClickLabel;
class LineWidget;
class QFont;
class QObject;
class QPalette;
class QPushButton;
class QTimer;
class QWidget;
class ServerBox;
class ShapeWidget;
class StatusLine;

// The main window's controls as they are designed: kinds, names, places in
// twips, captions, fonts, colours and the design values of the timers and
// boxes, in creation order. The window itself gives them their behaviour.
class frmMainLayout
{
public:
    // Turns twips, the unit the layout is drawn in, into pixels at 96 dpi.
    static int Px(int twips) { return twips / 15; }

    QTimer* Timer2;
    QTimer* Timer3;
    CheckBox* AutoCloseQuorvane;
    CheckBox* chkRun;
    QTimer* Timer1;
    ServerBox* cboServers;
    QPushButton* cmdSynchTime;
    ClickLabel* Label3;
    ClickLabel* Label2;
    ClickLabel* Image1;
    ClickLabel* Label1;
    LineWidget* Line1;
    ShapeWidget* Shape1;
    StatusLine* lblStatus;
    ClickLabel* lblPcTime;
    ShapeWidget* Shape2;

protected:
    // Makes window the main window, with every control on it.
    void CreateControls(QWidget* window);
    // The colours that follow the theme, for the window's palette.
    void ApplyColours(const QPalette& palette);

    // Every control, in creation order.
    QList<QObject*> controls;

private:
    // A control of the window; a widget with a place in twips is put there
    // and given its font.
    template <class T>
    T* Add(T* control, const char* name, const char* kind, const QRect& twips = {},
           const QFont& font = {});
    QTimer* AddTimer(const char* name, int interval);
    ClickLabel* AddLabel(const char* name, const QRect& twips, const QFont& font,
                         const QString& text, bool panel);

    QWidget* form = nullptr;
};
