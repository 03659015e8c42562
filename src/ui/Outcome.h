#pragma once

#include <QString>

// What the status line says: its text, its colour number and, where there is
// more to say, the reason its tooltip gives; and which server was asked. The status line, the
// journal, screen readers and an unattended failure's notification all tell the same.
struct Outcome {
    QString text;
    int colour = 0; // 0 black, 255 red
    QString reason{};
    QString server{}; // the server asked

    bool Failed() const { return colour != 0; }
    QString Server() const { return server.isEmpty() ? QStringLiteral("(no server)") : server; }
    // The text and the reason in one line, as it is heard.
    QString Said() const
    {
        return reason.isEmpty() ? text.trimmed() : text.trimmed() + QLatin1Char(' ') + reason;
    }
};
