#pragma once

#include "doubles/FakeClock.h"
#include "doubles/FakeProgram.h"
#include "doubles/FakeTimeZone.h"
#include "doubles/RecordingClockSetter.h"
#include "doubles/RecordingMessageBox.h"
#include "platform/PlatformServices.h"
#include "platform/XdgRunKey.h"
#include "ui/frmMain.h"
#include "ui/modMain.h"

#include <QTemporaryDir>
#include <memory>

// The main window on test doubles, with its settings file and autostart
// folder in a temporary folder of its own.
struct WindowHarness {
    WindowHarness() { modMain::CurrentServer.clear(); }

    QString SettingsFile() const { return dir.filePath(QStringLiteral("SaveFormSettings.ini")); }
    QString AutostartFolder() const { return dir.filePath(QStringLiteral("autostart")); }

    // Creates and loads the window, as the start-up does before showing it.
    frmMain& Load()
    {
        form = std::make_unique<frmMain>(services, SettingsFile());
        form->Load();
        return *form;
    }

    QTemporaryDir dir;
    FakeClock clock;
    FakeTimeZone zone;
    RecordingClockSetter setter;
    RecordingMessageBox messages;
    FakeProgram program;
    XdgRunKey runKey{AutostartFolder()};
    PlatformServices services{clock, zone, setter, messages, program, runKey};
    std::unique_ptr<frmMain> form;
};
