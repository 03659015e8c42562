#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>

// Whether this process runs in a user namespace, where being root gives no
// power over the clock: only the initial one maps the whole uid range.
inline bool InUserNamespace()
{
    QFile map(QStringLiteral("/proc/self/uid_map"));
    if (!map.open(QIODevice::ReadOnly))
        return false;
    const QList<QByteArray> lines = map.readAll().trimmed().split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() != 3 || fields.at(2) == "4294967295")
            return false;
    }
    return !lines.isEmpty();
}
