#include "time/frmWinsock.h"

frmWinsock::frmWinsock(QObject* parent) : QObject(parent), Winsock1(this)
{
    setObjectName(QStringLiteral("frmWinsock"));
    Winsock1.setObjectName(QStringLiteral("Winsock1"));
}
