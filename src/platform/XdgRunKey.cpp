#include "platform/XdgRunKey.h"

#include <QFile>
#include <QStandardPaths>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
QString DefaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart");
}

// Creates the folder and its parents, like mkdir -p, and reports errno.
int MakePath(const QByteArray& path)
{
    struct stat st {
    };
    if (::stat(path.constData(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    const qsizetype slash = path.lastIndexOf('/');
    if (slash > 0) {
        if (const int parent = MakePath(path.left(slash)))
            return parent;
    }
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return errno;
    return 0;
}

// A value of the general string type: backslash and line ends escaped.
QString EscapeString(const QString& text)
{
    QString out;
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\':
            out += QStringLiteral("\\\\");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        case '\t':
            out += QStringLiteral("\\t");
            break;
        case '\r':
            out += QStringLiteral("\\r");
            break;
        default:
            out += c;
        }
    }
    return out;
}
} // namespace

XdgRunKey::XdgRunKey(const QString& folder) : folder(folder.isEmpty() ? DefaultFolder() : folder) {}

QString XdgRunKey::EntryPath(const QString& name) const
{
    return folder + QLatin1Char('/') + name + QStringLiteral(".desktop");
}

int XdgRunKey::QueryValue(const QString& name) const
{
    // lstat: an entry that is a dangling link still exists, and SetValue and
    // DeleteValue act on the link itself.
    struct stat st {
    };
    return ::lstat(QFile::encodeName(EntryPath(name)).constData(), &st) == 0 ? 0 : errno;
}

int XdgRunKey::CreateKey()
{
    const QByteArray path = QFile::encodeName(folder);
    if (const int error = MakePath(path))
        return error;
    return ::access(path.constData(), W_OK | X_OK) == 0 ? 0 : errno;
}

int XdgRunKey::SetValue(const QString& name, const QString& data)
{
    // Written beside the entry and renamed over it, so that a crash or a full
    // disk never leaves a half-written entry behind.
    const QByteArray target = QFile::encodeName(EntryPath(name));
    QByteArray temporary = target + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        return errno;
    const QByteArray content = DesktopEntry(name, data);
    int error = 0;
    for (qsizetype done = 0; done < content.size() && error == 0;) {
        const ssize_t n = ::write(fd, content.constData() + done, content.size() - done);
        if (n < 0 && errno != EINTR)
            error = errno;
        else if (n > 0)
            done += n;
    }
    if (error == 0 && (::fchmod(fd, 0644) != 0 || ::fsync(fd) != 0))
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temporary.constData(), target.constData()) != 0)
        error = errno;
    if (error != 0)
        ::unlink(temporary.constData());
    return error;
}

int XdgRunKey::DeleteValue(const QString& name)
{
    return ::unlink(QFile::encodeName(EntryPath(name)).constData()) == 0 ? 0 : errno;
}

QString XdgRunKey::ExecArgument(const QString& path)
{
    // Inside double quotes, ", `, $ and \ take a backslash; % is doubled as
    // a field code would otherwise begin there.
    QString quoted = QStringLiteral("\"");
    for (const QChar c : path) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
        if (c == QLatin1Char('%'))
            quoted += QLatin1Char('%');
    }
    return quoted + QLatin1Char('"');
}

QByteArray XdgRunKey::DesktopEntry(const QString& name, const QString& path)
{
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=%1\n"
                                         "Exec=%2\n"
                                         "Terminal=false\n")
                              .arg(EscapeString(name), EscapeString(ExecArgument(path)));
    return entry.toUtf8();
}
