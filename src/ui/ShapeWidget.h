#pragma once

#include <QWidget>

// A filled rectangle, square-cornered or rounded, with no outline and no events.
class ShapeWidget : public QWidget
{
    Q_OBJECT
public:
    enum class Kind { Rectangle, RoundedRectangle };

    ShapeWidget(Kind kind, const QColor& fill, QWidget* parent = nullptr);

    void SetFill(const QColor& colour);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Kind kind;
    QColor fill;
};
