#include "ui/LineWidget.h"

#include <QPainter>

LineWidget::LineWidget(QPoint from, QPoint to, QWidget* parent)
    : QWidget(parent), from(from), to(to)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setGeometry(QRect(from, to).normalized());
}

void LineWidget::SetColour(const QColor& colour)
{
    this->colour = colour;
    update();
}

void LineWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(QPen(colour, 1));
    painter.drawLine(from - pos(), to - pos());
}
