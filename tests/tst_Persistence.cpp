// What the main window keeps between runs: the values of its boxes and of the
// server list, and the registration to launch at logon.
#include "doubles/Files.h"
#include "doubles/Tmpfs.h"
#include "doubles/WindowHarness.h"
#include "ui/CheckBox.h"
#include "ui/ClickLabel.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSettings>
#include <QTimer>
#include <QtTest>
#include <sys/mount.h>

namespace
{
const QString Stopped = QStringLiteral(" Auto Close Stopped.");
const QByteArray StaleEntry = "[Desktop Entry]\nType=Application\nName=quorvane\n"
                              "Exec=/old/place/quorvane\n";

QByteArray RandomBytes(quint32 seed, int size)
{
    QByteArray bytes(size, '\0');
    QRandomGenerator random(seed);
    for (char& c : bytes)
        c = char(random.bounded(256));
    return bytes;
}

constexpr QFile::Permissions ReadOnlyFolder =
    QFile::ReadOwner | QFile::ExeOwner | QFile::ReadUser | QFile::ExeUser;
constexpr QFile::Permissions OwnFolder = ReadOnlyFolder | QFile::WriteOwner | QFile::WriteUser;

// Whether permission bits hold for this process. They do not for root, who
// may write anywhere.
bool PermissionsBind()
{
    QTemporaryDir probe;
    QFile::setPermissions(probe.path(), ReadOnlyFolder);
    const bool bind = !QDir(probe.path()).mkdir(QStringLiteral("probe"));
    QFile::setPermissions(probe.path(), OwnFolder);
    return bind;
}

// Runs the current case again as nobody in a user namespace nested in the
// sandbox's: an ordinary user there, without root's powers over files.
// Returns what it printed; ok tells whether it passed.
QString RunCurrentCaseAsNobody(bool& ok)
{
    const QString testCase = QString::fromLatin1(QTest::currentTestFunction()) + QLatin1Char(':') +
                             QString::fromLatin1(QTest::currentDataTag());
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral("unshare"),
                {QStringLiteral("--user"), QStringLiteral("--map-user=65534"),
                 QStringLiteral("--map-group=65534"), QStringLiteral("--"),
                 QCoreApplication::applicationFilePath(), testCase});
    ok = child.waitForFinished(60000);
    const QString output = QString::fromLocal8Bit(child.readAll());
    ok = ok && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0 &&
         output.contains(QStringLiteral("PASS   : tst_Persistence::") +
                         testCase.section(':', 0, 0) + QLatin1Char('(') +
                         QString::fromLatin1(QTest::currentDataTag()) + QLatin1Char(')'));
    return output;
}

// How often each box's Click ran while the window loaded.
struct Clicks {
    int autoClose = 0;
    int run = 0;
    int server = 0;
};
} // namespace

// Runs the rest of the case as nobody when this process is root.
#define AS_AN_ORDINARY_USER()                                                                      \
    do {                                                                                           \
        if (!PermissionsBind()) {                                                                  \
            bool passed = false;                                                                   \
            const QString said = RunCurrentCaseAsNobody(passed);                                   \
            QVERIFY2(passed, qPrintable(said));                                                    \
            return;                                                                                \
        }                                                                                          \
    } while (false)

class tst_Persistence : public QObject
{
    Q_OBJECT

private:
    // Creates and loads the window on the given store, counting Clicks from
    // the very start.
    frmMain& Load(const QString& settingsFile = {})
    {
        clicks = {};
        h->form = std::make_unique<frmMain>(h->services, settingsFile.isEmpty() ? h->SettingsFile()
                                                                                : settingsFile);
        frmMain& form = *h->form;
        connect(form.AutoCloseQuorvane, &QCheckBox::stateChanged, &form,
                [this] { ++clicks.autoClose; });
        connect(form.chkRun, &QCheckBox::stateChanged, &form, [this] { ++clicks.run; });
        connect(form.cboServers, &QComboBox::activated, &form, [this] { ++clicks.server; });
        form.Load();
        return form;
    }

    void Store(const QByteArray& values)
    {
        QVERIFY(WriteFile(h->SettingsFile(), "[Values]\n" + values));
    }

    QString Entry() const { return h->AutostartFolder() + QStringLiteral("/quorvane.desktop"); }
    QByteArray CurrentEntry() const
    {
        return XdgRunKey::DesktopEntry(h->program.FileTitle(), h->program.FilePath());
    }

    void Click(QWidget* control) { QTest::mouseClick(control, Qt::LeftButton, {}, QPoint(4, 4)); }

    std::unique_ptr<WindowHarness> h;
    Clicks clicks;

private slots:
    void init()
    {
        h = std::make_unique<WindowHarness>();
        QVERIFY(h->dir.isValid());
        h->program.folder = QStringLiteral("/srv/new place/bin");
    }

    void cleanup()
    {
        // Folders a case made read-only must be emptied again.
        QFile::setPermissions(h->dir.path(), OwnFolder);
        if (QFileInfo(h->AutostartFolder()).isDir())
            QFile::setPermissions(h->AutostartFolder(), OwnFolder);
        h.reset();
    }

    void firstAndSecondRun_data()
    {
        QTest::addColumn<int>("autoClose");
        QTest::addColumn<int>("run");
        QTest::addColumn<QString>("server");

        QTest::newRow("nothing changed") << 1 << 0 << "";
        QTest::newRow("everything changed") << 0 << 1 << "time-e-g.nist.gov";
        QTest::newRow("auto close greyed") << 2 << 0 << "time-nw.nist.gov";
        QTest::newRow("launch only") << 1 << 1 << "";
    }

    void firstAndSecondRun()
    {
        QFETCH(int, autoClose);
        QFETCH(int, run);
        QFETCH(QString, server);

        // First run: nothing stored, nothing registered.
        frmMain& first = Load();
        QCOMPARE(first.AutoCloseQuorvane->Value(), CheckBox::Checked);
        QCOMPARE(first.chkRun->Value(), CheckBox::Cleared);
        QCOMPARE(first.cboServers->currentIndex(), -1);
        if (autoClose == CheckBox::Cleared)
            Click(first.AutoCloseQuorvane);
        else if (autoClose == CheckBox::Greyed)
            first.AutoCloseQuorvane->setValue(CheckBox::Greyed);
        if (run == CheckBox::Checked)
            Click(first.chkRun);
        if (!server.isEmpty()) {
            const int index = first.cboServers->findText(server);
            QVERIFY(index >= 0);
            first.cboServers->setCurrentIndex(index);
            emit first.cboServers->activated(index);
        }
        first.SaveAndExit();
        QCOMPARE(h->program.ended, 1);

        QSettings saved(h->SettingsFile(), QSettings::IniFormat);
        QCOMPARE(saved.childGroups(), QStringList{QStringLiteral("Values")});
        saved.beginGroup(QStringLiteral("Values"));
        QCOMPARE(saved.childKeys(), QStringList({"AutoCloseQuorvane", "cboServers", "chkRun"}));
        QCOMPARE(saved.value(QStringLiteral("AutoCloseQuorvane")),
                 QVariant(QString::number(autoClose)));
        QCOMPARE(saved.value(QStringLiteral("chkRun")), QVariant(QString::number(run)));
        QCOMPARE(saved.value(QStringLiteral("cboServers")), QVariant(server));
        QCOMPARE(QFileInfo::exists(Entry()), run == CheckBox::Checked);

        // Second run: everything comes back.
        modMain::CurrentServer = QStringLiteral("left over");
        frmMain& second = Load();
        QCOMPARE(second.AutoCloseQuorvane->Value(), autoClose);
        QCOMPARE(second.chkRun->Value(), run);
        QCOMPARE(second.cboServers->currentText(), server);
        QCOMPARE(modMain::CurrentServer, server);
        QCOMPARE(second.Timer3->isActive(), autoClose == CheckBox::Checked);
        QCOMPARE(QFileInfo::exists(Entry()), run == CheckBox::Checked);
        QCOMPARE(h->messages.shown, QStringList());
        QCOMPARE(h->program.ended, 1);
    }

    void unchangedValuesRaiseNoClick_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("no store") << QByteArray();
        QTest::newRow("empty store") << QByteArray("");
        QTest::newRow("design values")
            << QByteArray("[Values]\nAutoCloseQuorvane=1\nchkRun=0\ncboServers=\n");
        QTest::newRow("design values quoted")
            << QByteArray("[Values]\nAutoCloseQuorvane=\"1\"\nchkRun=\"0\"\ncboServers=\"\"\n");
    }

    void unchangedValuesRaiseNoClick()
    {
        QFETCH(QByteArray, file);
        if (!file.isNull())
            QVERIFY(WriteFile(h->SettingsFile(), file));
        frmMain& form = Load();
        QCOMPARE(clicks.autoClose, 0);
        QCOMPARE(clicks.run, 0);
        QCOMPARE(clicks.server, 0);
        QCOMPARE(form.Label3->text(), QStringLiteral(" "));
        QVERIFY(form.Timer3->isActive());
        QCOMPARE(form.AutoCloseCount, qint16(9));
        QVERIFY(!QFileInfo::exists(h->AutostartFolder()));
        QCOMPARE(h->messages.shown, QStringList());
    }

    void restoredValues_data()
    {
        QTest::addColumn<QByteArray>("values");
        QTest::addColumn<bool>("entryBefore");
        QTest::addColumn<int>("autoClose");
        QTest::addColumn<int>("run");
        QTest::addColumn<QString>("server");
        QTest::addColumn<int>("autoCloseClicks");
        QTest::addColumn<int>("runClicks");
        QTest::addColumn<bool>("entryAfter");

        QTest::newRow("auto close off")
            << QByteArray("AutoCloseQuorvane=0\n") << false << 0 << 0 << "" << 1 << 0 << false;
        QTest::newRow("auto close greyed")
            << QByteArray("AutoCloseQuorvane=2\n") << false << 2 << 0 << "" << 1 << 0 << false;
        QTest::newRow("auto close refused")
            << QByteArray("AutoCloseQuorvane=7\n") << false << 1 << 0 << "" << 0 << 0 << false;
        // Registers again at once, then the box-setting step finds the entry.
        QTest::newRow("launch") << QByteArray("chkRun=1\n") << false << 1 << 1 << "" << 0 << 1
                                << true;
        QTest::newRow("launch, registered already")
            << QByteArray("chkRun=1\n") << true << 1 << 1 << "" << 0 << 1 << true;
        // Greyed removes the registration; the step then clears the box.
        QTest::newRow("launch greyed, registered")
            << QByteArray("chkRun=2\n") << true << 1 << 0 << "" << 0 << 2 << false;
        QTest::newRow("launch greyed")
            << QByteArray("chkRun=2\n") << false << 1 << 0 << "" << 0 << 2 << false;
        QTest::newRow("launch as letters")
            << QByteArray("chkRun=yes\ncboServers=time-b-g.nist.gov\n") << false << 1 << 0
            << "time-b-g.nist.gov" << 0 << 0 << false;
        QTest::newRow("launch as letters, registered")
            << QByteArray("chkRun=yes\ncboServers=time-b-g.nist.gov\n") << true << 1 << 1
            << "time-b-g.nist.gov" << 0 << 1 << true;
        QTest::newRow("server") << QByteArray("cboServers=utcnist3.colorado.edu\n") << false << 1
                                << 0 << "utcnist3.colorado.edu" << 0 << 0 << false;
        QTest::newRow("unknown server") << QByteArray("cboServers=pool.example.org\n") << false << 1
                                        << 0 << "" << 0 << 0 << false;
        QTest::newRow("everything")
            << QByteArray("AutoCloseQuorvane=0\nchkRun=1\ncboServers=time.nist.gov\n") << false << 0
            << 1 << "time.nist.gov" << 1 << 1 << true;
    }

    void restoredValues()
    {
        QFETCH(QByteArray, values);
        QFETCH(bool, entryBefore);
        QFETCH(int, autoClose);
        QFETCH(int, run);
        QFETCH(QString, server);
        QFETCH(int, autoCloseClicks);
        QFETCH(int, runClicks);
        QFETCH(bool, entryAfter);

        Store(values);
        if (entryBefore) {
            QVERIFY(QDir().mkpath(h->AutostartFolder()));
            QVERIFY(WriteFile(Entry(), StaleEntry));
        }
        modMain::CurrentServer = QStringLiteral("left over");
        frmMain& form = Load();

        QCOMPARE(form.AutoCloseQuorvane->Value(), autoClose);
        QCOMPARE(form.chkRun->Value(), run);
        QCOMPARE(form.cboServers->currentText(), server);
        QCOMPARE(form.cboServers->currentIndex(), form.cboServers->findText(server));
        QCOMPARE(modMain::CurrentServer, server);
        QCOMPARE(clicks.autoClose, autoCloseClicks);
        QCOMPARE(clicks.run, runClicks);
        QCOMPARE(clicks.server, 0);
        // Every Click stops the countdown; it is armed afterwards only when the
        // box is checked.
        QCOMPARE(form.Label3->text(),
                 autoCloseClicks + runClicks > 0 ? Stopped : QStringLiteral(" "));
        QCOMPARE(form.Timer3->isActive(), autoClose == CheckBox::Checked);
        QCOMPARE(form.AutoCloseCount, qint16(9));
        if (autoClose == CheckBox::Greyed)
            QCOMPARE(form.AutoCloseQuorvane->checkState(), Qt::PartiallyChecked);
        if (!entryAfter)
            QVERIFY(!QFileInfo::exists(Entry()));
        else if (runClicks == 1 && QByteArray(values).contains("chkRun=1"))
            QCOMPARE(ReadFile(Entry()), CurrentEntry());
        else
            QCOMPARE(ReadFile(Entry()), StaleEntry);
        QCOMPARE(h->messages.shown, QStringList());
    }

    void storedLaunchRegistersPresentPath_data()
    {
        QTest::addColumn<QByteArray>("entryBefore");
        QTest::newRow("no entry") << QByteArray();
        QTest::newRow("entry for an old place") << StaleEntry;
        QTest::newRow("garbage entry") << QByteArray("\x01\x02garbage\n[");
    }

    void storedLaunchRegistersPresentPath()
    {
        QFETCH(QByteArray, entryBefore);
        Store("chkRun=1\n");
        if (!entryBefore.isNull()) {
            QVERIFY(QDir().mkpath(h->AutostartFolder()));
            QVERIFY(WriteFile(Entry(), entryBefore));
        }
        frmMain& form = Load();
        QCOMPARE(ReadFile(Entry()), CurrentEntry());
        QVERIFY(ReadFile(Entry()).contains("Exec=\"/srv/new place/bin/quorvane\"\n"));
        QCOMPARE(QDir(h->AutostartFolder())
                     .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{QStringLiteral("quorvane.desktop")});
        QCOMPARE(form.chkRun->Value(), CheckBox::Checked);
        QCOMPARE(h->messages.shown, QStringList());
    }

    void existingEntryChecksBox_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("content");
        const QByteArray other = "[Desktop Entry]\nType=Application\nName=other\nExec=/usr/bin/x\n";
        for (const char* stored : {"", "chkRun=0\n"}) {
            const QString suffix = QString::fromLatin1(*stored ? ", stored cleared" : "");
            auto row = [&](const QString& name) -> QTestData& {
                return QTest::newRow(qPrintable(name + suffix));
            };
            row(QStringLiteral("empty file")) << QByteArray(stored) << "file" << QByteArray("");
            row(QStringLiteral("garbage"))
                << QByteArray(stored) << "file" << QByteArray("garbage = [ \\x\n");
            row(QStringLiteral("binary")) << QByteArray(stored) << "file" << RandomBytes(868, 300);
            row(QStringLiteral("another program")) << QByteArray(stored) << "file" << other;
            row(QStringLiteral("stale entry")) << QByteArray(stored) << "file" << StaleEntry;
            row(QStringLiteral("folder")) << QByteArray(stored) << "folder" << QByteArray();
            row(QStringLiteral("dangling link"))
                << QByteArray(stored) << "link" << QByteArray("/nonexistent/q.desktop");
        }
    }

    void existingEntryChecksBox()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QString, kind);
        QFETCH(QByteArray, content);
        Store(stored);
        QVERIFY(QDir().mkpath(h->AutostartFolder()));
        if (kind == QLatin1String("file"))
            QVERIFY(WriteFile(Entry(), content));
        else if (kind == QLatin1String("folder"))
            QVERIFY(QDir().mkpath(Entry()));
        else
            QVERIFY(QFile::link(QFile::decodeName(content), Entry()));

        frmMain& form = Load();
        QCOMPARE(form.chkRun->Value(), CheckBox::Checked);
        // The step's own change raises Click, which only stops the countdown;
        // the countdown is armed again right after.
        QCOMPARE(clicks.run, 1);
        QCOMPARE(form.Label3->text(), Stopped);
        QVERIFY(form.Timer3->isActive());
        QCOMPARE(h->messages.shown, QStringList());
        // Nothing was written while the box was set from the registration.
        if (kind == QLatin1String("file"))
            QCOMPARE(ReadFile(Entry()), content);
        else if (kind == QLatin1String("folder"))
            QVERIFY(QFileInfo(Entry()).isDir());
        else
            QCOMPARE(QFile::symLinkTarget(Entry()), QFile::decodeName(content));

        form.SaveAndExit();
        QCOMPARE(QSettings(h->SettingsFile(), QSettings::IniFormat)
                     .value(QStringLiteral("Values/chkRun")),
                 QVariant(QStringLiteral("1")));
    }

    void checkingAndClearing()
    {
        frmMain& form = Load();
        Click(form.chkRun);
        QCOMPARE(form.chkRun->Value(), CheckBox::Checked);
        QCOMPARE(ReadFile(Entry()), CurrentEntry());
        QCOMPARE(form.Label3->text(), Stopped);
        QVERIFY(!form.Timer3->isActive());

        Click(form.chkRun);
        QCOMPARE(form.chkRun->Value(), CheckBox::Cleared);
        QVERIFY(!QFileInfo::exists(Entry()));

        // Also a program-made change registers and unregisters; greyed is off.
        form.chkRun->setValue(CheckBox::Checked);
        QCOMPARE(ReadFile(Entry()), CurrentEntry());
        form.chkRun->setValue(CheckBox::Greyed);
        QVERIFY(!QFileInfo::exists(Entry()));
        QCOMPARE(h->messages.shown, QStringList());
        QVERIFY(QFileInfo(h->AutostartFolder()).isDir());
    }

    void damagedStore_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("garbage text")
            << QByteArray("AutoCloseQuorvane\n[Values\n==\n[Values]\nchkRun\n\\\\\\\n=1\n");
        QTest::newRow("random binary") << RandomBytes(37, 4096);
        QTest::newRow("binary with a Values section")
            << QByteArray("[Values]\n") + RandomBytes(1900, 2048);
        QTest::newRow("typed values")
            << QByteArray("[Values]\nAutoCloseQuorvane=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\0)\n"
                          "chkRun=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x1)\n"
                          "cboServers=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x5Qxyz\\0)\n");
        QTest::newRow("truncated typed value")
            << QByteArray("[Values]\nchkRun=@Variant(\\0\\0\\0\\xc\\xff\\xff\\xff\\xf0)\n");
        QTest::newRow("lists") << QByteArray("[Values]\nAutoCloseQuorvane=0, 0\nchkRun=1, 1\n"
                                             "cboServers=time.nist.gov, time-a-g.nist.gov\n");
        QTest::newRow("byte arrays")
            << QByteArray("[Values]\nAutoCloseQuorvane=@ByteArray(0)\nchkRun=@ByteArray(1)\n"
                          "cboServers=@ByteArray(time.nist.gov)\n");
        QTest::newRow("other types")
            << QByteArray("[Values]\nAutoCloseQuorvane=@Rect(0 0 1 1)\nchkRun=@Invalid()\n"
                          "cboServers=@Size(1 2)\n");
        QTest::newRow("store is a folder") << QByteArray();
    }

    void damagedStore()
    {
        QFETCH(QByteArray, file);
        if (file.isNull())
            QVERIFY(QDir().mkpath(h->SettingsFile()));
        else
            QVERIFY(WriteFile(h->SettingsFile(), file));

        frmMain& form = Load();
        QCOMPARE(form.AutoCloseQuorvane->Value(), CheckBox::Checked);
        QCOMPARE(form.chkRun->Value(), CheckBox::Cleared);
        QCOMPARE(form.cboServers->currentIndex(), -1);
        QCOMPARE(modMain::CurrentServer, QString());
        QVERIFY(form.Timer3->isActive());
        QCOMPARE(form.Label3->text(), QStringLiteral(" "));
        QVERIFY(!QFileInfo::exists(h->AutostartFolder()));
        QCOMPARE(h->messages.shown, QStringList());

        // The next exit mends the store.
        Click(form.AutoCloseQuorvane);
        form.SaveAndExit();
        QCOMPARE(h->program.ended, 1);
        if (file.isNull())
            return;
        frmMain& next = Load();
        QCOMPARE(next.AutoCloseQuorvane->Value(), CheckBox::Cleared);
        QCOMPARE(next.chkRun->Value(), CheckBox::Cleared);
        QCOMPARE(next.cboServers->currentIndex(), -1);
    }

    void unknownKeysStay()
    {
        QVERIFY(WriteFile(h->SettingsFile(), "[General]\nTop=1\n\n[Values]\nchkRun=0\n"
                                             "Text1=typed\nLabel3=x, y\nOption(2)=1\n\n"
                                             "[Other]\nAutoCloseQuorvane=0\n"));
        frmMain& form = Load();
        QCOMPARE(form.AutoCloseQuorvane->Value(), CheckBox::Checked);
        form.SaveAndExit();
        QSettings saved(h->SettingsFile(), QSettings::IniFormat);
        QCOMPARE(saved.value(QStringLiteral("Top")), QVariant(QStringLiteral("1")));
        QCOMPARE(saved.value(QStringLiteral("Values/Text1")), QVariant(QStringLiteral("typed")));
        QCOMPARE(saved.value(QStringLiteral("Values/Label3")), QVariant(QStringList({"x", "y"})));
        QCOMPARE(saved.value(QStringLiteral("Values/Option(2)")), QVariant(QStringLiteral("1")));
        QCOMPARE(saved.value(QStringLiteral("Other/AutoCloseQuorvane")),
                 QVariant(QStringLiteral("0")));
        QCOMPARE(saved.value(QStringLiteral("Values/AutoCloseQuorvane")),
                 QVariant(QStringLiteral("1")));
    }

    void unsavableStore_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("exit");
        QTest::newRow("store is a folder") << "folder"
                                           << "SaveAndExit";
        QTest::newRow("read-only file system") << "read-only"
                                               << "SaveAndExit";
        QTest::newRow("read-only file system, countdown") << "read-only"
                                                          << "countdown";
        QTest::newRow("file system full") << "full"
                                          << "SaveAndExit";
        QTest::newRow("file system full, window closed") << "full"
                                                         << "close";
        QTest::newRow("folder not writable") << "folder not writable"
                                             << "SaveAndExit";
        QTest::newRow("store not writable") << "store not writable"
                                            << "close";
    }

    void unsavableStore()
    {
        QFETCH(QString, setup);
        QFETCH(QString, exit);
        const bool permissions = setup.endsWith(QLatin1String("not writable"));
        if (permissions)
            AS_AN_ORDINARY_USER();

        const QString folder = h->dir.filePath(QStringLiteral("config"));
        const QString file = folder + QStringLiteral("/SaveFormSettings.ini");
        const QByteArray before = "[Values]\nAutoCloseQuorvane=1\ncboServers=time.nist.gov\n";
        std::unique_ptr<Tmpfs> tmpfs;
        if (setup == QLatin1String("folder")) {
            QVERIFY(QDir().mkpath(file));
        } else if (permissions) {
            QVERIFY(QDir().mkpath(folder));
            QVERIFY(WriteFile(file, before));
            if (setup == QLatin1String("folder not writable"))
                QVERIFY(QFile::setPermissions(folder, ReadOnlyFolder));
            else
                QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadUser));
        } else {
            tmpfs = std::make_unique<Tmpfs>(folder, "size=64k,mode=0700");
            QVERIFY2(tmpfs->mounted, "mounting a tmpfs needs the sandbox");
            QVERIFY(WriteFile(file, before));
            QVERIFY(setup == QLatin1String("read-only") ? tmpfs->MakeReadOnly() : tmpfs->Fill());
        }

        frmMain& form = Load(file);
        if (setup != QLatin1String("folder"))
            QCOMPARE(form.cboServers->currentText(), QStringLiteral("time.nist.gov"));
        form.cboServers->setCurrentIndex(3);
        if (exit == QLatin1String("countdown")) {
            for (int tick = 0; tick < 9; ++tick)
                form.Timer3_Timer();
        } else if (exit == QLatin1String("close")) {
            QVERIFY(form.close());
        } else {
            form.SaveAndExit();
        }
        QCOMPARE(h->program.ended, 1);
        QVERIFY(!form.Timer1->isActive());
        QVERIFY(!form.Timer2->isActive());
        if (setup == QLatin1String("folder")) {
            QVERIFY(QFileInfo(file).isDir());
        } else {
            QCOMPARE(ReadFile(file), before);
            QFile::setPermissions(folder, OwnFolder);
        }
        QCOMPARE(h->messages.shown, QStringList());
    }

    void autostartFailures_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<bool>("entryBefore");
        QTest::addColumn<bool>("click");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<int>("run");
        QTest::addColumn<bool>("entryAfter");

        const QStringList denied{QStringLiteral("Error 13 opening key\r\n")};
        QTest::newRow("folder not writable, user checks")
            << "folder not writable" << QByteArray() << false << true << denied << 1 << false;
        QTest::newRow("folder not writable, user clears")
            << "folder not writable" << QByteArray() << true << true << denied << 0 << true;
        QTest::newRow("parent not writable, user checks")
            << "parent not writable" << QByteArray() << false << true << denied << 1 << false;
        QTest::newRow("folder not writable, launch stored")
            << "folder not writable" << QByteArray("chkRun=1\n") << false << false << denied << 0
            << false;
        QTest::newRow("folder not writable, launch stored, registered")
            << "folder not writable" << QByteArray("chkRun=1\n") << true << false << denied << 1
            << true;
        const QStringList full{QStringLiteral("Error 28 setting key\r\n")};
        QTest::newRow("file system full, user checks")
            << "full" << QByteArray() << false << true << full << 1 << false;
        QTest::newRow("file system full, launch stored")
            << "full" << QByteArray("chkRun=1\n") << false << false << full << 0 << false;
        QTest::newRow("file system full, user clears")
            << "full" << QByteArray() << true << true << QStringList() << 0 << false;
        const QStringList readOnly{QStringLiteral("Error 30 opening key\r\n")};
        QTest::newRow("read-only file system, user checks")
            << "read-only" << QByteArray() << false << true << readOnly << 1 << false;
        QTest::newRow("read-only file system, user clears")
            << "read-only" << QByteArray() << true << true << readOnly << 0 << true;
    }

    void autostartFailures()
    {
        QFETCH(QString, setup);
        QFETCH(QByteArray, stored);
        QFETCH(bool, entryBefore);
        QFETCH(bool, click);
        QFETCH(QStringList, messages);
        QFETCH(int, run);
        QFETCH(bool, entryAfter);
        const bool permissions = setup.endsWith(QLatin1String("not writable"));
        if (permissions)
            AS_AN_ORDINARY_USER();

        if (!stored.isNull())
            Store(stored);
        std::unique_ptr<Tmpfs> tmpfs;
        if (permissions) {
            if (setup != QLatin1String("parent not writable"))
                QVERIFY(QDir().mkpath(h->AutostartFolder()));
        } else {
            tmpfs = std::make_unique<Tmpfs>(h->AutostartFolder(), "size=64k,mode=0700");
            QVERIFY2(tmpfs->mounted, "mounting a tmpfs needs the sandbox");
        }
        if (entryBefore)
            QVERIFY(WriteFile(Entry(), StaleEntry));
        if (setup == QLatin1String("folder not writable"))
            QVERIFY(QFile::setPermissions(h->AutostartFolder(), ReadOnlyFolder));
        else if (setup == QLatin1String("parent not writable"))
            QVERIFY(QFile::setPermissions(h->dir.path(), ReadOnlyFolder));
        else if (setup == QLatin1String("read-only"))
            QVERIFY(tmpfs->MakeReadOnly());
        else if (setup == QLatin1String("full"))
            QVERIFY(tmpfs->Fill());

        frmMain& form = Load();
        QCOMPARE(form.chkRun->Value(), entryBefore ? CheckBox::Checked : CheckBox::Cleared);
        if (click) {
            QCOMPARE(h->messages.shown, QStringList());
            Click(form.chkRun);
        }
        QCOMPARE(h->messages.shown, messages);
        // The box stays as the user set it.
        QCOMPARE(form.chkRun->Value(), run);
        QCOMPARE(QFileInfo::exists(Entry()), entryAfter);
        if (entryAfter)
            QCOMPARE(ReadFile(Entry()), StaleEntry);
        // No half-written entry stays behind.
        const QStringList left =
            QDir(h->AutostartFolder()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
        for (const QString& name : left)
            QVERIFY2(name == QLatin1String("quorvane.desktop") || name == QLatin1String("filler"),
                     qPrintable(name));
    }
};

QTEST_MAIN(tst_Persistence)
#include "tst_Persistence.moc"
