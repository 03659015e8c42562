#include "ui/ShapeWidget.h"

#include <QPainter>

ShapeWidget::ShapeWidget(Kind kind, const QColor& fill, QWidget* parent)
    : QWidget(parent), kind(kind), fill(fill)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ShapeWidget::SetFill(const QColor& colour)
{
    fill = colour;
    update();
}

void ShapeWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    if (kind == Kind::Rectangle) {
        painter.drawRect(rect());
        return;
    }
    // Corners a sixth of the shorter side, like a classic rounded rectangle.
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal radius = qMin(width(), height()) / 6.0;
    painter.drawRoundedRect(QRectF(rect()), radius, radius);
}
