#include "ui/modMain.h"

#include "ui/frmMain.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStyle>

frmMain* modMain::Main(PlatformServices& services)
{
    auto* form = new frmMain(services);
    form->Load();
    form->setWindowState(Qt::WindowNoState);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        form->setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, form->size(),
                                              screen->availableGeometry()));
    form->show();
    form->repaint();
    return form;
}
