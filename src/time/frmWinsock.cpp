#include "time/frmWinsock.h"

frmWinsock::frmWinsock(QObject* parent) : QObject(parent)
{
    setObjectName(QStringLiteral("frmWinsock"));
}

QTcpSocket* frmWinsock::Winsock1(qsizetype index)
{
    while (sockets.size() <= index) {
        sockets.append(new QTcpSocket(this));
        sockets.last()->setObjectName(QStringLiteral("Winsock1(%1)").arg(sockets.size() - 1));
    }
    return sockets.at(index);
}
