#pragma once

#include <QObject>
#include <QTcpSocket>

// The never-shown host of one query's socket: each query gets its own, and
// destroying it takes down the socket with any connection it still holds.
class frmWinsock : public QObject
{
    Q_OBJECT
public:
    explicit frmWinsock(QObject* parent = nullptr);

    QTcpSocket Winsock1;
};
