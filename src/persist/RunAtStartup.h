#pragma once

#include <QString>

class MessageBox;
class RunKey;

// The program's registration to start when the user logs on.
class RunAtStartup
{
public:
    RunAtStartup(RunKey& key, MessageBox& messages);

    // Whether a registration of that name exists, whatever it holds.
    bool IsRunAtStartup(const QString& name) const;

    // Registers the program at path under name, or removes the registration;
    // failures are shown in a message box.
    void SetRunAtStartup(const QString& name, const QString& path, bool enable);

private:
    RunKey& key;
    MessageBox& messages;
};
