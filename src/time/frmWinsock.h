#pragma once

#include <QList>
#include <QObject>
#include <QTcpSocket>

// The never-shown host of one query's sockets, one for each address of the
// server's name that is tried: each query gets its own, and destroying it
// takes down every socket with any connection it still holds.
class frmWinsock : public QObject
{
    Q_OBJECT
public:
    explicit frmWinsock(QObject* parent = nullptr);

    // The socket of that index, loaded on first use.
    QTcpSocket* Winsock1(qsizetype index);

private:
    QList<QTcpSocket*> sockets;
};
