#pragma once

#include "platform/RunKey.h"

// The list lives in the XDG autostart folder: one desktop entry per value,
// named after the value.
class XdgRunKey : public RunKey
{
public:
    // folder empty: $XDG_CONFIG_HOME/autostart, by default ~/.config/autostart.
    explicit XdgRunKey(const QString& folder = {});

    int QueryValue(const QString& name) const override;
    int CreateKey() override;
    int SetValue(const QString& name, const QString& data) override;
    int DeleteValue(const QString& name) override;

    QString EntryPath(const QString& name) const;

    // The desktop entry that starts the program at path.
    static QByteArray DesktopEntry(const QString& name, const QString& path);

    // path as one argument of an Exec line, quoted and escaped so that it
    // comes back unchanged whatever characters it holds.
    static QString ExecArgument(const QString& path);

private:
    QString folder;
};
