#pragma once

#include <QStringList>

// The built-in public Time Protocol servers, in the order the list shows them.
class ServerList
{
public:
    static const QStringList& Servers();

    // The site a server's name says it stands at; empty where it says none.
    static QString Site(const QString& server);
    // Other servers to ask when this one's word alone is not enough, at most
    // that many: those of sites not yet named come first, a site each, since
    // servers of one site share their fate.
    static QStringList Others(const QString& server, qsizetype most);
};
