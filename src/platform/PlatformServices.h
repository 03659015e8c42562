#pragma once

class Clock;
class ClockSetter;
class MessageBox;
class Program;
class RunKey;
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
};
