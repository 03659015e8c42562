#include "ui/LineWidget.h"

#include <QPainter>

LineWidget::LineWidget(QPoint from, QPoint to, const QColor& colour, QWidget* parent)
    : QWidget(parent), from(from), to(to), colour(colour)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setGeometry(QRect(from, to).normalized());
}

void LineWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(QPen(colour, 1));
    painter.drawLine(from - pos(), to - pos());
}
