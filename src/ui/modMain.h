#pragma once

#include <QString>

struct PlatformServices;

namespace modMain
{
// The host name that the next synchronisation asks.
inline QString CurrentServer;

// Creates, loads and shows the main window; the program then lives on in the
// event loop until the window ends it.
void Main(PlatformServices& services);
} // namespace modMain
