#include "platform/QtMessageBox.h"

#include <QMessageBox>

void QtMessageBox::Show(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Quorvane"), text, QMessageBox::Ok);
    box.exec();
}
