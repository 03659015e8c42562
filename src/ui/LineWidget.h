#pragma once

#include <QWidget>

// A solid line one pixel wide between two points of its parent, without events.
class LineWidget : public QWidget
{
    Q_OBJECT
public:
    LineWidget(QPoint from, QPoint to, QWidget* parent = nullptr);

    void SetColour(const QColor& colour);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPoint from;
    QPoint to;
    QColor colour;
};
