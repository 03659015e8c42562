#pragma once

#include "platform/SessionEnd.h"

// SIGTERM (logout), SIGINT (Ctrl+C), SIGHUP (a closed terminal) and the
// session manager's end-of-session request. Signals are only noted in their
// handler and acted on in the event loop, where anything may run.
class LinuxSessionEnd : public SessionEnd
{
    Q_OBJECT
public:
    LinuxSessionEnd();
};
