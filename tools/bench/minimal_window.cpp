// Shows an empty 360x197 window, prints "shown" once it has been shown and the
// event loop runs, and exits: the start-up that any Qt Widgets program of
// Quorvane's size pays before it can do anything.

#include <QApplication>
#include <QMetaObject>
#include <QWidget>
#include <cstdio>

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
    window.show();
    window.repaint();
    return QApplication::exec();
}
