// The launch-at-logon registration: desktop entries in the XDG autostart
// folder, written by XdgRunKey and managed by RunAtStartup.
#include "doubles/Files.h"
#include "doubles/RecordingMessageBox.h"
#include "doubles/Tmpfs.h"
#include "persist/RunAtStartup.h"
#include "platform/XdgRunKey.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <optional>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
const QString Title = QStringLiteral("quorvane");
const QString ProgramPath = QStringLiteral("/opt/quorvane/bin/quorvane");

bool IsLink(const QString& path)
{
    struct stat st {
    };
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

QStringList Entries(const QString& folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// The general rule for values of type string: \s, \n, \t, \r and \\ stand
// for space, line feed, tab, carriage return and backslash; any other escape
// makes the file invalid.
std::optional<QString> UnescapeString(const QString& value)
{
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != QLatin1Char('\\')) {
            out += value[i];
            continue;
        }
        if (++i == value.size())
            return std::nullopt;
        switch (value[i].unicode()) {
        case 's':
            out += QLatin1Char(' ');
            break;
        case 'n':
            out += QLatin1Char('\n');
            break;
        case 't':
            out += QLatin1Char('\t');
            break;
        case 'r':
            out += QLatin1Char('\r');
            break;
        case '\\':
            out += QLatin1Char('\\');
            break;
        default:
            return std::nullopt;
        }
    }
    return out;
}

// Splits an Exec command line into arguments by the quoting rule. An argument
// is either free of reserved characters or quoted in whole with double quotes,
// inside which ", `, $ and \ appear only with a backslash before them.
std::optional<QStringList> SplitCommandLine(const QString& line)
{
    const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    const QString escapable = QStringLiteral("\"`$\\");
    QStringList arguments;
    const qsizetype n = line.size();
    qsizetype i = 0;
    while (i < n) {
        if (line[i] == QLatin1Char(' ')) {
            ++i;
            continue;
        }
        QString argument;
        if (line[i] == QLatin1Char('"')) {
            bool closed = false;
            for (++i; i < n;) {
                QChar c = line[i++];
                if (c == QLatin1Char('"')) {
                    closed = true;
                    break;
                }
                if (c == QLatin1Char('\\')) {
                    if (i == n || !escapable.contains(line[i]))
                        return std::nullopt;
                    c = line[i++];
                } else if (escapable.contains(c)) {
                    return std::nullopt;
                }
                argument += c;
            }
            if (!closed || (i < n && line[i] != QLatin1Char(' ')))
                return std::nullopt;
        } else {
            for (; i < n && line[i] != QLatin1Char(' '); ++i) {
                if (reserved.contains(line[i]))
                    return std::nullopt;
                argument += line[i];
            }
        }
        arguments << argument;
    }
    return arguments;
}

// Field codes are expanded after unquoting: %% is a percent sign; any other
// code would be replaced by the launcher, so the argument would not survive.
std::optional<QString> ExpandFieldCodes(const QString& argument)
{
    QString out;
    for (qsizetype i = 0; i < argument.size(); ++i) {
        if (argument[i] != QLatin1Char('%')) {
            out += argument[i];
            continue;
        }
        if (i + 1 == argument.size() || argument[i + 1] != QLatin1Char('%'))
            return std::nullopt;
        out += QLatin1Char('%');
        ++i;
    }
    return out;
}

// The program and arguments a launcher runs for an Exec value as written in
// the file.
std::optional<QStringList> ExecArguments(const QString& value)
{
    const auto unescaped = UnescapeString(value);
    if (!unescaped)
        return std::nullopt;
    const auto split = SplitCommandLine(*unescaped);
    if (!split)
        return std::nullopt;
    QStringList arguments;
    for (const QString& argument : *split) {
        const auto expanded = ExpandFieldCodes(argument);
        if (!expanded)
            return std::nullopt;
        arguments << *expanded;
    }
    return arguments;
}

// The keys of the [Desktop Entry] group; a repeated key or a line that is
// neither a comment, a group header nor a key=value pair is an error.
std::optional<QMap<QString, QString>> DesktopEntryKeys(const QByteArray& content)
{
    QMap<QString, QString> keys;
    QString group;
    for (const QString& line : QString::fromUtf8(content).split(QLatin1Char('\n'))) {
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            group = line;
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0)
            return std::nullopt;
        if (group != QLatin1String("[Desktop Entry]"))
            continue;
        const QString key = line.left(equals).trimmed();
        if (keys.contains(key))
            return std::nullopt;
        keys.insert(key, line.mid(equals + 1).trimmed());
    }
    return keys;
}
} // namespace

class tst_XdgRunKey : public QObject
{
    Q_OBJECT

private:
    QString Folder() const { return dir->filePath(QStringLiteral("autostart")); }
    QString Entry(const QString& name = Title) const
    {
        return Folder() + QLatin1Char('/') + name + QStringLiteral(".desktop");
    }

    std::unique_ptr<QTemporaryDir> dir;
    QByteArray savedConfigHome;
    QByteArray savedHome;
    bool hadConfigHome = false;

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
        hadConfigHome = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
        savedConfigHome = qgetenv("XDG_CONFIG_HOME");
        savedHome = qgetenv("HOME");
    }

    void cleanup()
    {
        if (hadConfigHome)
            qputenv("XDG_CONFIG_HOME", savedConfigHome);
        else
            qunsetenv("XDG_CONFIG_HOME");
        qputenv("HOME", savedHome);
        dir.reset();
    }

    void defaultFolder_data()
    {
        QTest::addColumn<bool>("setConfigHome");
        QTest::addColumn<QString>("configHome");
        QTest::addColumn<QString>("expected");
        QTest::newRow("XDG_CONFIG_HOME") << true << "cfg"
                                         << "cfg/autostart";
        QTest::newRow("XDG_CONFIG_HOME empty") << true << ""
                                               << "home/.config/autostart";
        QTest::newRow("XDG_CONFIG_HOME unset") << false << ""
                                               << "home/.config/autostart";
    }

    void defaultFolder()
    {
        QFETCH(bool, setConfigHome);
        QFETCH(QString, configHome);
        QFETCH(QString, expected);
        QVERIFY(QDir().mkpath(dir->filePath(QStringLiteral("home"))));
        qputenv("HOME", QFile::encodeName(dir->filePath(QStringLiteral("home"))));
        if (!setConfigHome)
            qunsetenv("XDG_CONFIG_HOME");
        else if (configHome.isEmpty())
            qputenv("XDG_CONFIG_HOME", QByteArray());
        else
            qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir->filePath(configHome)));

        XdgRunKey key;
        const QString folder = dir->filePath(expected);
        QCOMPARE(key.EntryPath(Title), folder + QStringLiteral("/quorvane.desktop"));
        QCOMPARE(key.QueryValue(Title), ENOENT);
        QCOMPARE(key.CreateKey(), 0);
        QCOMPARE(key.SetValue(Title, ProgramPath), 0);
        QCOMPARE(Entries(folder), QStringList{QStringLiteral("quorvane.desktop")});
        // Created like any folder of the user's configuration: private.
        QCOMPARE(QFileInfo(folder).permissions() & 0x7777, QFile::ReadOwner | QFile::WriteOwner |
                                                               QFile::ExeOwner | QFile::ReadUser |
                                                               QFile::WriteUser | QFile::ExeUser);
        QCOMPARE(key.QueryValue(Title), 0);
    }

    void query_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("registered");

        QByteArray binary(512, '\0');
        QRandomGenerator random(868);
        for (char& c : binary)
            c = char(random.bounded(256));

        QTest::newRow("nothing") << "none"
                                 << "" << QByteArray() << false;
        QTest::newRow("no folder") << "no folder"
                                   << "" << QByteArray() << false;
        QTest::newRow("empty file") << "file"
                                    << "quorvane.desktop" << QByteArray() << true;
        QTest::newRow("garbage") << "file"
                                 << "quorvane.desktop"
                                 << QByteArray("this is not = [a desktop entry\n\\x") << true;
        QTest::newRow("binary") << "file"
                                << "quorvane.desktop" << binary << true;
        QTest::newRow("another program")
            << "file"
            << "quorvane.desktop"
            << QByteArray("[Desktop Entry]\nType=Application\nName=other\nExec=/usr/bin/other\n")
            << true;
        QTest::newRow("hidden entry")
            << "file"
            << "quorvane.desktop"
            << QByteArray("[Desktop Entry]\nType=Application\nName=quorvane\nHidden=true\n")
            << true;
        QTest::newRow("folder") << "folder"
                                << "quorvane.desktop" << QByteArray() << true;
        QTest::newRow("dangling link")
            << "link"
            << "quorvane.desktop" << QByteArray("/nonexistent/quorvane.desktop") << true;
        QTest::newRow("link to an entry")
            << "link"
            << "quorvane.desktop" << QByteArray("../elsewhere.desktop") << true;
        QTest::newRow("only another name")
            << "file"
            << "other.desktop" << QByteArray("[Desktop Entry]\n") << false;
        QTest::newRow("other case") << "file"
                                    << "Quorvane.desktop" << QByteArray() << false;
        QTest::newRow("no extension") << "file"
                                      << "quorvane" << QByteArray() << false;
        QTest::newRow("left-over temporary file")
            << "file"
            << "quorvane.desktop.Ab12Cd" << QByteArray() << false;
    }

    void query()
    {
        QFETCH(QString, kind);
        QFETCH(QString, fileName);
        QFETCH(QByteArray, content);
        QFETCH(bool, registered);

        if (kind != QLatin1String("no folder"))
            QVERIFY(QDir().mkpath(Folder()));
        QVERIFY(WriteFile(dir->filePath(QStringLiteral("elsewhere.desktop")), "x"));
        const QString path = Folder() + QLatin1Char('/') + fileName;
        if (kind == QLatin1String("file"))
            QVERIFY(WriteFile(path, content));
        else if (kind == QLatin1String("folder"))
            QVERIFY(QDir().mkpath(path));
        else if (kind == QLatin1String("link"))
            QVERIFY(QFile::link(QFile::decodeName(content), path));

        XdgRunKey key(Folder());
        RecordingMessageBox messages;
        RunAtStartup run(key, messages);
        QCOMPARE(key.QueryValue(Title) == 0, registered);
        if (!registered)
            QCOMPARE(key.QueryValue(Title), ENOENT);
        QCOMPARE(run.IsRunAtStartup(Title), registered);
        QCOMPARE(messages.shown, QStringList());
        // Looking writes nothing.
        if (kind == QLatin1String("file"))
            QCOMPARE(ReadFile(path), content);
        QCOMPARE(QFileInfo::exists(Folder()), kind != QLatin1String("no folder"));
    }

    void setValue_data()
    {
        QTest::addColumn<QString>("before");
        QTest::newRow("no folder") << "no folder";
        QTest::newRow("no entry") << "none";
        QTest::newRow("stale entry") << "file";
        QTest::newRow("dangling link") << "dangling link";
        QTest::newRow("link to a file elsewhere") << "link";
    }

    void setValue()
    {
        QFETCH(QString, before);
        const QString elsewhere = dir->filePath(QStringLiteral("elsewhere.desktop"));
        const QString kept = dir->filePath(QStringLiteral("kept.desktop"));
        const QByteArray stale = "[Desktop Entry]\nType=Application\nName=quorvane\nExec=/old/q\n";
        QVERIFY(WriteFile(elsewhere, stale));
        if (before != QLatin1String("no folder"))
            QVERIFY(QDir().mkpath(Folder()));
        if (before == QLatin1String("file")) {
            QVERIFY(WriteFile(Entry(), stale));
            // A second name for the old file shows whether it was rewritten in
            // place or replaced whole.
            QCOMPARE(
                ::link(QFile::encodeName(Entry()).constData(), QFile::encodeName(kept).constData()),
                0);
        } else if (before == QLatin1String("dangling link")) {
            QVERIFY(QFile::link(QStringLiteral("/nonexistent/quorvane.desktop"), Entry()));
        } else if (before == QLatin1String("link")) {
            QVERIFY(QFile::link(elsewhere, Entry()));
        }

        XdgRunKey key(Folder());
        QCOMPARE(key.CreateKey(), 0);
        QCOMPARE(key.SetValue(Title, ProgramPath), 0);

        QCOMPARE(ReadFile(Entry()), XdgRunKey::DesktopEntry(Title, ProgramPath));
        QVERIFY(!IsLink(Entry()));
        QVERIFY(QFileInfo(Entry()).isFile());
        QCOMPARE(QFileInfo(Entry()).permissions() & 0x7777,
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser |
                     QFile::ReadGroup | QFile::ReadOther);
        QCOMPARE(Entries(Folder()), QStringList{QStringLiteral("quorvane.desktop")});
        QCOMPARE(ReadFile(elsewhere), stale);
        if (before == QLatin1String("file"))
            QCOMPARE(ReadFile(kept), stale);
        QCOMPARE(key.QueryValue(Title), 0);

        // Again over its own entry.
        const QString other = QStringLiteral("/usr/local/bin/quorvane");
        QCOMPARE(key.SetValue(Title, other), 0);
        QCOMPARE(ReadFile(Entry()), XdgRunKey::DesktopEntry(Title, other));
        QCOMPARE(Entries(Folder()), QStringList{QStringLiteral("quorvane.desktop")});
    }

    void entryContent()
    {
        const auto keys = DesktopEntryKeys(XdgRunKey::DesktopEntry(Title, ProgramPath));
        QVERIFY(keys);
        QVERIFY(XdgRunKey::DesktopEntry(Title, ProgramPath).startsWith("[Desktop Entry]\n"));
        QCOMPARE(keys->value(QStringLiteral("Type")), QStringLiteral("Application"));
        QCOMPARE(keys->value(QStringLiteral("Name")), Title);
        QCOMPARE(ExecArguments(keys->value(QStringLiteral("Exec"))), QStringList{ProgramPath});
        QVERIFY(!keys->contains(QStringLiteral("Hidden")));
        QVERIFY(!keys->contains(QStringLiteral("TryExec")));
    }

    void deleteValue_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("result");
        QTest::newRow("entry") << "file" << 0;
        QTest::newRow("dangling link") << "dangling link" << 0;
        QTest::newRow("no entry") << "none" << ENOENT;
    }

    void deleteValue()
    {
        QFETCH(QString, before);
        QFETCH(int, result);
        QVERIFY(QDir().mkpath(Folder()));
        QVERIFY(WriteFile(Entry(QStringLiteral("other")), "keep"));
        if (before == QLatin1String("file"))
            QVERIFY(WriteFile(Entry(), "x"));
        else if (before == QLatin1String("dangling link"))
            QVERIFY(QFile::link(QStringLiteral("/nonexistent/quorvane.desktop"), Entry()));

        XdgRunKey key(Folder());
        QCOMPARE(key.DeleteValue(Title), result);
        QCOMPARE(key.QueryValue(Title), ENOENT);
        QCOMPARE(Entries(Folder()), QStringList{QStringLiteral("other.desktop")});

        // Through the registration: removing what is gone is no failure.
        RecordingMessageBox messages;
        RunAtStartup run(key, messages);
        run.SetRunAtStartup(Title, ProgramPath, false);
        QCOMPARE(messages.shown, QStringList());
        QCOMPARE(Entries(Folder()), QStringList{QStringLiteral("other.desktop")});
    }

    void registration_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<bool>("enable");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("after");

        // after: "entry" (the new entry), "stale" (the old one untouched),
        // "none", "folder" (a folder where the entry would be).
        QTest::newRow("register") << "none" << true << ""
                                  << "entry";
        QTest::newRow("register again") << "stale" << true << ""
                                        << "entry";
        QTest::newRow("unregister") << "stale" << false << ""
                                    << "none";
        QTest::newRow("unregister when not registered") << "none" << false << ""
                                                        << "none";
        QTest::newRow("folder is a file, register")
            << "folder is a file" << true << "Error 20 opening key\r\n"
            << "none";
        QTest::newRow("folder is a file, unregister")
            << "folder is a file" << false << "Error 20 opening key\r\n"
            << "none";
        QTest::newRow("parent is a file")
            << "parent is a file" << true << "Error 20 opening key\r\n"
            << "none";
        QTest::newRow("read-only file system, register")
            << "read-only" << true << "Error 30 opening key\r\n"
            << "stale";
        QTest::newRow("read-only file system, unregister")
            << "read-only" << false << "Error 30 opening key\r\n"
            << "stale";
        QTest::newRow("entry is a folder, register")
            << "entry is a folder" << true << "Error 21 setting key\r\n"
            << "folder";
        QTest::newRow("file system full, register") << "full" << true << "Error 28 setting key\r\n"
                                                    << "stale";
        QTest::newRow("file system full, unregister") << "full" << false << ""
                                                      << "none";
    }

    void registration()
    {
        QFETCH(QString, setup);
        QFETCH(bool, enable);
        QFETCH(QString, message);
        QFETCH(QString, after);

        const QByteArray stale = "[Desktop Entry]\nType=Application\nName=quorvane\nExec=/old/q\n";
        QString folder = Folder();
        std::unique_ptr<Tmpfs> tmpfs;
        if (setup == QLatin1String("stale")) {
            QVERIFY(QDir().mkpath(folder));
            QVERIFY(WriteFile(Entry(), stale));
        } else if (setup == QLatin1String("folder is a file")) {
            QVERIFY(WriteFile(folder, "not a folder"));
        } else if (setup == QLatin1String("parent is a file")) {
            QVERIFY(WriteFile(dir->filePath(QStringLiteral("config")), "not a folder"));
            folder = dir->filePath(QStringLiteral("config/autostart"));
        } else if (setup == QLatin1String("entry is a folder")) {
            QVERIFY(QDir().mkpath(Entry()));
        } else if (setup == QLatin1String("read-only") || setup == QLatin1String("full")) {
            tmpfs = std::make_unique<Tmpfs>(folder, "size=64k,mode=0700");
            QVERIFY2(tmpfs->mounted, qPrintable(QStringLiteral("mount: ") +
                                                QString::fromLocal8Bit(strerror(tmpfs->error))));
            QVERIFY(WriteFile(Entry(), stale));
            if (setup == QLatin1String("read-only"))
                QVERIFY(tmpfs->MakeReadOnly());
            else
                QVERIFY(tmpfs->Fill());
        }
        const QStringList others = QFileInfo(folder).isDir() ? Entries(folder) : QStringList();

        XdgRunKey key(folder);
        RecordingMessageBox messages;
        RunAtStartup run(key, messages);
        run.SetRunAtStartup(Title, ProgramPath, enable);

        QCOMPARE(messages.shown, message.isEmpty() ? QStringList() : QStringList{message});
        const QString entry = folder + QStringLiteral("/quorvane.desktop");
        if (after == QLatin1String("entry"))
            QCOMPARE(ReadFile(entry), XdgRunKey::DesktopEntry(Title, ProgramPath));
        else if (after == QLatin1String("stale"))
            QCOMPARE(ReadFile(entry), stale);
        else if (after == QLatin1String("folder"))
            QVERIFY(QFileInfo(entry).isDir());
        else
            QVERIFY(!QFileInfo::exists(entry));
        QCOMPARE(run.IsRunAtStartup(Title), after != QLatin1String("none"));
        // No half-written temporary file stays behind.
        if (QFileInfo(folder).isDir()) {
            QStringList expected = others;
            if (after == QLatin1String("none"))
                expected.removeAll(QStringLiteral("quorvane.desktop"));
            else if (!expected.contains(QStringLiteral("quorvane.desktop")))
                expected << QStringLiteral("quorvane.desktop");
            expected.sort();
            QCOMPARE(Entries(folder), expected);
        }
        if (setup == QLatin1String("folder is a file"))
            QCOMPARE(ReadFile(folder), QByteArray("not a folder"));
    }

    void execParser_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("plain") << "/usr/bin/q" << true << QStringList{"/usr/bin/q"};
        QTest::newRow("unquoted space splits")
            << "/opt/a b/q" << true << QStringList{"/opt/a", "b/q"};
        QTest::newRow("quoted space") << "\"/opt/a b/q\"" << true << QStringList{"/opt/a b/q"};
        QTest::newRow("escaped space") << "/opt/a\\sb" << true << QStringList{"/opt/a", "b"};
        QTest::newRow("quoted backslash")
            << "\"/opt/a\\\\\\\\b\"" << true << QStringList{"/opt/a\\b"};
        QTest::newRow("quoted dollar") << "\"/opt/a\\\\$b\"" << true << QStringList{"/opt/a$b"};
        QTest::newRow("quoted quote") << "\"/opt/a\\\\\"b\"" << true << QStringList{"/opt/a\"b"};
        QTest::newRow("dollar in quotes") << "\"/opt/a$b\"" << false << QStringList{};
        QTest::newRow("dollar outside quotes") << "/opt/a$b" << false << QStringList{};
        QTest::newRow("escape unknown to strings") << "\"/opt/a\\$b\"" << false << QStringList{};
        QTest::newRow("backslash once") << "\"/opt/a\\\\b\"" << false << QStringList{};
        QTest::newRow("percent") << "\"/opt/100%%\"" << true << QStringList{"/opt/100%"};
        QTest::newRow("lone percent") << "\"/opt/100%\"" << false << QStringList{};
        QTest::newRow("field code") << "/usr/bin/q %f" << false << QStringList{};
        QTest::newRow("unterminated quote") << "\"/opt/q" << false << QStringList{};
        QTest::newRow("quote within an argument") << "/opt/\"a b\"" << false << QStringList{};
        QTest::newRow("text after the quote") << "\"/opt/a\"b" << false << QStringList{};
        QTest::newRow("two arguments")
            << "\"/opt/a b\" --x" << true << QStringList{"/opt/a b", "--x"};
    }

    // The launcher's rules as this test reads them, so that a wrong entry
    // cannot pass by a lenient reading.
    void execParser()
    {
        QFETCH(QString, value);
        QFETCH(bool, valid);
        QFETCH(QStringList, arguments);
        const auto parsed = ExecArguments(value);
        QCOMPARE(parsed.has_value(), valid);
        if (valid)
            QCOMPARE(*parsed, arguments);
    }

    void execLine_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("path");
        QTest::newRow("plain") << Title << ProgramPath;
        QTest::newRow("spaces") << Title << "/home/a user/My Programs/quorvane";
        QTest::newRow("leading space in a folder") << Title << "/ x/ quorvane";
        QTest::newRow("double quotes") << Title << "/opt/\"q\"/\"quorvane";
        QTest::newRow("single quote") << Title << "/home/o'brien/quorvane";
        QTest::newRow("percent") << Title << "/opt/100% sure/%f %U %%/quorvane";
        QTest::newRow("dollar") << Title << "/opt/$HOME/${x}/$(id)/quorvane";
        QTest::newRow("backtick") << Title << "/opt/`id`/quorvane";
        QTest::newRow("backslash") << Title << "/opt/a\\b\\\\c\\/quorvane";
        QTest::newRow("backslash before a quote") << Title << "/opt/a\\\" --evil \"/quorvane";
        QTest::newRow("shell characters") << Title << "/opt/a;b&c|d<e>f*g?h#i(j)k~l/quorvane";
        QTest::newRow("tab") << Title << "/opt/a\tb/quorvane";
        QTest::newRow("line feed") << Title << "/opt/a\nExec=/bin/evil\n/quorvane";
        QTest::newRow("carriage return") << Title << "/opt/a\rb/quorvane";
        QTest::newRow("not ASCII") << Title << "/opt/Zeit\u00fcbung/\u6642\u8a08/quorvane";
        QTest::newRow("everything")
            << Title << "/opt/it's \"100%\" $HOME `id` \\ ~ %%f\\\\/quorvane";
        QTest::newRow("title with a space and a backslash") << "my quor\\vane"
                                                            << "/opt/q/my quor\\vane";
    }

    void execLine()
    {
        QFETCH(QString, title);
        QFETCH(QString, path);

        XdgRunKey key(Folder());
        QCOMPARE(key.CreateKey(), 0);
        QCOMPARE(key.SetValue(title, path), 0);
        const QByteArray content = ReadFile(key.EntryPath(title));
        QCOMPARE(content, XdgRunKey::DesktopEntry(title, path));
        // One line per key: nothing in the path may start a line of its own.
        QCOMPARE(content.count('\n'), XdgRunKey::DesktopEntry(Title, ProgramPath).count('\n'));

        const auto keys = DesktopEntryKeys(content);
        QVERIFY(keys);
        QCOMPARE(UnescapeString(keys->value(QStringLiteral("Name"))), title);
        const QString exec = keys->value(QStringLiteral("Exec"));
        QCOMPARE(ExecArguments(exec), QStringList{path});

        QProcess validate;
        validate.setProcessChannelMode(QProcess::MergedChannels);
        validate.start(QStringLiteral("desktop-file-validate"), {key.EntryPath(title)});
        QVERIFY2(validate.waitForFinished(30000), "desktop-file-validate did not finish");
        const QString said = QString::fromLocal8Bit(validate.readAll());
        QVERIFY2(validate.exitStatus() == QProcess::NormalExit && validate.exitCode() == 0,
                 qPrintable(said));
        // Not even a warning or a hint.
        QVERIFY2(said.trimmed().isEmpty(), qPrintable(said));
    }
};

QTEST_MAIN(tst_XdgRunKey)
#include "tst_XdgRunKey.moc"
