// Shows an empty 360x197 window, prints "shown" once it has been shown and the
// event loop runs, and exits: the start-up that any Qt Widgets program of
// Quorvane's size pays before it can do anything.
//
// With --label the window also shows one line of text, which is what it costs
// a Qt program on this desktop to draw any text at all: the font
// configuration, the font database and a font face are loaded on first use.

#include <QApplication>
#include <QLabel>
#include <QMetaObject>
#include <QWidget>
#include <cstdio>
#include <cstring>

namespace
{
class Window : public QWidget
{
protected:
    void showEvent(QShowEvent* event) override
    {
        QWidget::showEvent(event);
        // Queued like Quorvane's first synchronisation, which starts once the
        // window is shown and the event loop has taken over.
        QMetaObject::invokeMethod(
            this,
            [] {
                std::fputs("shown\n", stdout);
                std::fflush(stdout);
                QCoreApplication::quit();
            },
            Qt::QueuedConnection);
    }
};
} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    Window window;
    window.setWindowTitle(QStringLiteral("Minimal"));
    window.setFixedSize(360, 197);
    if (argc > 1 && std::strcmp(argv[1], "--label") == 0) {
        auto* label = new QLabel(QStringLiteral("Set the clock from a time server"), &window);
        label->move(8, 8);
    }
    window.show();
    window.repaint();
    return QApplication::exec();
}
