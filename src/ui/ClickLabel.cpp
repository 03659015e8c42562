#include "ui/ClickLabel.h"

#include <QMouseEvent>

ClickLabel::ClickLabel(QWidget* parent) : QLabel(parent) {}

void ClickLabel::mousePressEvent(QMouseEvent* event)
{
    pressed = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = pressed && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed = false;
    QLabel::mouseReleaseEvent(event);
    if (click)
        emit Click();
}

void ClickLabel::SetTextColour(const QColor& colour)
{
    QPalette shown = palette();
    shown.setColor(QPalette::WindowText, colour);
    setPalette(shown);
}

void ClickLabel::MakePanel()
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
}
