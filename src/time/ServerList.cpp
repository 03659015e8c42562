#include "time/ServerList.h"

#include <QRegularExpression>

const QStringList& ServerList::Servers()
{
    // Each answers the Time Protocol on TCP port 37; names are used exactly
    // as written.
    static const QStringList servers{
        QStringLiteral("time.nist.gov"),         QStringLiteral("time-a-g.nist.gov"),
        QStringLiteral("time-b-g.nist.gov"),     QStringLiteral("time-c-g.nist.gov"),
        QStringLiteral("time-d-g.nist.gov"),     QStringLiteral("time-e-g.nist.gov"),
        QStringLiteral("time-a-wwv.nist.gov"),   QStringLiteral("time-b-wwv.nist.gov"),
        QStringLiteral("time-c-wwv.nist.gov"),   QStringLiteral("time-d-wwv.nist.gov"),
        QStringLiteral("time-e-wwv.nist.gov"),   QStringLiteral("time-a-b.nist.gov"),
        QStringLiteral("time-b-b.nist.gov"),     QStringLiteral("time-c-b.nist.gov"),
        QStringLiteral("time-d-b.nist.gov"),     QStringLiteral("time-e-b.nist.gov"),
        QStringLiteral("utcnist.colorado.edu"),  QStringLiteral("utcnist2.colorado.edu"),
        QStringLiteral("utcnist3.colorado.edu"), QStringLiteral("time-a.nist.gov"),
        QStringLiteral("time-nw.nist.gov"),
    };
    return servers;
}

QString ServerList::Site(const QString& server)
{
    // "-g", "-wwv" and "-b" name three sites, "utcnist" a fourth; the round
    // robin name and the old names say none.
    static const QRegularExpression named(
        QStringLiteral(R"(^(?:time-[a-z]-(g|wwv|b)\.nist\.gov|(utcnist)\d*\.colorado\.edu)$)"));
    const QRegularExpressionMatch match = named.match(server);
    return match.captured(1) + match.captured(2);
}

QStringList ServerList::Others(const QString& server, qsizetype most)
{
    QStringList others, sites{Site(server)};
    for (const QString& name : Servers()) {
        if (others.size() < most && !Site(name).isEmpty() && !sites.contains(Site(name))) {
            others << name;
            sites << Site(name);
        }
    }
    for (const QString& name : Servers()) {
        if (others.size() < most && name != server && !others.contains(name))
            others << name;
    }
    return others;
}
