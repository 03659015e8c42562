#pragma once

class Clock;
class ClockSetter;
class Journal;
class MessageBox;
class NetworkMonitor;
class Notifier;
class Program;
class RunKey;
class SessionEnd;
class TimeZone;

// The operating-system services the program uses, built once by main() (or
// by a test) and handed down by reference.
struct PlatformServices {
    const Clock& clock;
    const TimeZone& zone;
    ClockSetter& clockSetter;
    MessageBox& messages;
    Program& program;
    RunKey& runKey;
    Journal& journal;
    SessionEnd& sessionEnd;
    NetworkMonitor& network;
    Notifier& notifier;
};
