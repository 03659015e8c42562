#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <cerrno>
#include <sys/mount.h>

// A tmpfs over a folder for as long as it lives. Root of the sandbox's user
// namespace may mount in the sandbox's own mount namespace.
class Tmpfs
{
public:
    Tmpfs(const QString& folder, const QByteArray& options) : folder(QFile::encodeName(folder))
    {
        QDir().mkpath(folder);
        mounted = ::mount("quorvane-test", this->folder.constData(), "tmpfs", 0,
                          options.constData()) == 0;
        error = mounted ? 0 : errno;
    }
    ~Tmpfs()
    {
        if (mounted)
            ::umount2(folder.constData(), MNT_DETACH);
    }
    Tmpfs(const Tmpfs&) = delete;
    Tmpfs& operator=(const Tmpfs&) = delete;

    bool MakeReadOnly()
    {
        return ::mount(nullptr, folder.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

    // Writes until no byte more fits.
    bool Fill()
    {
        QFile filler(QFile::decodeName(folder) + QStringLiteral("/filler"));
        if (!filler.open(QIODevice::WriteOnly))
            return false;
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
        return filler.error() != QFileDevice::NoError;
    }

    QByteArray folder;
    bool mounted = false;
    int error = 0;
};
