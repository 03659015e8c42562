#include "persist/RunAtStartup.h"

#include "platform/MessageBox.h"
#include "platform/RunKey.h"

RunAtStartup::RunAtStartup(RunKey& key, MessageBox& messages) : key(key), messages(messages) {}

bool RunAtStartup::IsRunAtStartup(const QString& name) const
{
    return key.QueryValue(name) == 0;
}

void RunAtStartup::SetRunAtStartup(const QString& name, const QString& path, bool enable)
{
    if (const int code = key.CreateKey()) {
        messages.Show(QStringLiteral("Error ") + QString::number(code) +
                      QStringLiteral(" opening key\r\n"));
        return;
    }
    if (enable) {
        if (const int code = key.SetValue(name, path))
            messages.Show(QStringLiteral("Error ") + QString::number(code) +
                          QStringLiteral(" setting key\r\n"));
        return;
    }
    // A registration that is already gone is no failure.
    key.DeleteValue(name);
}
