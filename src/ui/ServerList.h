#pragma once

#include <QStringList>

// The built-in public Time Protocol servers, in the order the list shows them.
class ServerList
{
public:
    static const QStringList& Servers();
};
