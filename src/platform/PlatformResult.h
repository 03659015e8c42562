#pragma once

#include <QString>

// What a system service answers: success, or a short reason in words that the
// window may show to the user.
struct PlatformResult {
    bool ok = true;
    QString reason;

    static PlatformResult Success() { return {}; }
    static PlatformResult Failure(const QString& why) { return {false, why}; }
};
