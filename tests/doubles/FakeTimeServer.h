#pragma once

#include <QByteArray>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

// A Time Protocol server inside the test: on each connection it sends the
// given pieces, one every gapMs, and then closes, or stays silent.
class FakeTimeServer : public QObject
{
public:
    enum class End { Close, StayOpen };

    explicit FakeTimeServer(quint16 port = 37)
    {
        connect(&server, &QTcpServer::newConnection, this, [this] { Serve(); });
        listening = server.listen(QHostAddress::LocalHost, port);
    }

    bool listening = false;
    QList<QByteArray> pieces;
    int gapMs = 0;
    End end = End::Close;
    int connections = 0;

private:
    void Serve()
    {
        while (QTcpSocket* client = server.nextPendingConnection()) {
            ++connections;
            connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
            for (qsizetype i = 0; i <= pieces.size(); ++i) {
                QTimer::singleShot(static_cast<int>(i) * gapMs, client, [this, client, i] {
                    if (i < pieces.size()) {
                        client->write(pieces.at(i));
                        client->flush();
                    } else if (end == End::Close) {
                        client->disconnectFromHost();
                    }
                });
            }
        }
    }

    QTcpServer server;
};
