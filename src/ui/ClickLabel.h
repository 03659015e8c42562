#pragma once

#include <QLabel>

// A label, or a picture, that raises Click like a button does: on release of
// the left button over it.
class ClickLabel : public QLabel
{
    Q_OBJECT
public:
    explicit ClickLabel(QWidget* parent = nullptr);

    void SetTextColour(const QColor& colour);
    // A sunken panel, as the status bar's parts are.
    void MakePanel();

signals:
    void Click();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool pressed = false;
};
