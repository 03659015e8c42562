#pragma once

#include <QString>

struct PlatformServices;
class frmMain;

namespace modMain
{
// The host name that the next synchronisation asks.
inline QString CurrentServer;

// Creates, loads and shows the main window, and returns it; the program then
// lives on in the event loop until the window ends it.
frmMain* Main(PlatformServices& services);
} // namespace modMain
