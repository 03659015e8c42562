// Control values kept between runs, on plain controls outside any window.
#include "persist/ControlValues.h"
#include "ui/CheckBox.h"

#include "doubles/Files.h"
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <QtTest>
#include <cerrno>

namespace
{
const QStringList Servers{QStringLiteral("time.nist.gov"), QStringLiteral("time-a-g.nist.gov"),
                          QStringLiteral("time-b-g.nist.gov")};

template <class T> T* Named(T* control, const char* name, const char* kind)
{
    control->setObjectName(QString::fromLatin1(name));
    control->setProperty("Kind", QString::fromLatin1(kind));
    return control;
}

// Two value-bearing controls as on the main window, and one control of each
// kind that is never stored, each with a value of its own that would show up
// in the store if it were.
struct Form {
    Form()
    {
        box = Named(new CheckBox(QStringLiteral("box"), &window), "Box", "CheckBox");
        box->setValue(CheckBox::Checked);
        list = Named(new QComboBox(&window), "List", "ComboBox");
        list->addItems(Servers);
        list->setCurrentIndex(-1);
        text = Named(new QLineEdit(QStringLiteral("typed"), &window), "Text1", "TextBox");
        controls = {box, list, text};
        for (const QString& kind : ControlValues::SkippedControlKinds()) {
            auto* skipped = new CheckBox(kind, &window);
            skipped->setObjectName(QStringLiteral("Skipped") + kind);
            skipped->setProperty("Kind", kind);
            skipped->setValue(CheckBox::Checked);
            controls << skipped;
        }
    }

    QWidget window;
    CheckBox* box;
    QComboBox* list;
    QLineEdit* text;
    QList<QObject*> controls;
};
} // namespace

class tst_ControlValues : public QObject
{
    Q_OBJECT

private:
    QString File() const { return dir->filePath(QStringLiteral("SaveFormSettings.ini")); }

    std::unique_ptr<QTemporaryDir> dir;

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
    }

    void cleanup() { dir.reset(); }

    void skippedKinds()
    {
        QCOMPARE(ControlValues::SkippedControlKinds(),
                 QStringList({"PictureBox", "Image", "Line", "Shape", "Timer", "CommandButton",
                              "Label", "Winsock", "TextBox"}));
    }

    void storedKinds_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("stored");
        for (const char* kind : {"PictureBox", "Image", "Line", "Shape", "Timer", "CommandButton",
                                 "Label", "Winsock", "TextBox"})
            QTest::newRow(kind) << kind << false;
        QTest::newRow("CheckBox") << "CheckBox" << true;
        QTest::newRow("ComboBox") << "ComboBox" << true;
        QTest::newRow("OptionButton") << "OptionButton" << true;
        QTest::newRow("no kind") << "" << true;
        QTest::newRow("label in lower case") << "label" << true;
        QTest::newRow("LABEL") << "LABEL" << true;
        QTest::newRow("Label with a space") << "Label " << true;
        QTest::newRow("Timers") << "Timers" << true;
    }

    // The kind alone decides, compared exactly.
    void storedKinds()
    {
        QFETCH(QString, kind);
        QFETCH(bool, stored);
        QWidget window;
        auto* probe = new CheckBox(QStringLiteral("probe"), &window);
        probe->setObjectName(QStringLiteral("Probe"));
        if (!kind.isEmpty())
            probe->setProperty("Kind", kind);
        probe->setValue(CheckBox::Greyed);

        const ControlValues values(File());
        values.SaveControlValues({probe});
        QSettings saved(File(), QSettings::IniFormat);
        QCOMPARE(saved.contains(QStringLiteral("Values/Probe")), stored);
        if (stored)
            QCOMPARE(saved.value(QStringLiteral("Values/Probe")), QVariant(QStringLiteral("2")));

        saved.setValue(QStringLiteral("Values/Probe"), QStringLiteral("1"));
        saved.sync();
        values.RestoreControlValues({probe});
        QCOMPARE(probe->Value(), stored ? CheckBox::Checked : CheckBox::Greyed);
    }

    void keyName_data()
    {
        QTest::addColumn<QVariant>("index");
        QTest::addColumn<QString>("key");
        QTest::newRow("single control") << QVariant() << "Opt";
        QTest::newRow("first of an array") << QVariant(0) << "Opt(0)";
        QTest::newRow("array") << QVariant(3) << "Opt(3)";
        QTest::newRow("array, two digits") << QVariant(12) << "Opt(12)";
    }

    void keyName()
    {
        QFETCH(QVariant, index);
        QFETCH(QString, key);
        QWidget window;
        auto* control = Named(new CheckBox(QStringLiteral("opt"), &window), "Opt", "CheckBox");
        if (index.isValid())
            control->setProperty("Index", index);
        control->setValue(CheckBox::Checked);
        QCOMPARE(ControlValues::ControlKeyName(control), key);

        const ControlValues values(File());
        values.SaveControlValues({control});
        QSettings saved(File(), QSettings::IniFormat);
        QCOMPARE(saved.childGroups(), QStringList{QStringLiteral("Values")});
        saved.beginGroup(QStringLiteral("Values"));
        QCOMPARE(saved.childKeys(), QStringList{key});
        saved.setValue(key, QStringLiteral("2"));
        saved.sync();
        values.RestoreControlValues({control});
        QCOMPARE(control->Value(), CheckBox::Greyed);
    }

    void save_data()
    {
        QTest::addColumn<int>("box");
        QTest::addColumn<int>("server");
        QTest::addColumn<QString>("boxText");
        QTest::addColumn<QString>("listText");
        QTest::newRow("cleared, nothing selected") << 0 << -1 << "0"
                                                   << "";
        QTest::newRow("checked, first server") << 1 << 0 << "1"
                                               << "time.nist.gov";
        QTest::newRow("greyed, last server") << 2 << 2 << "2"
                                             << "time-b-g.nist.gov";
    }

    void save()
    {
        QFETCH(int, box);
        QFETCH(int, server);
        QFETCH(QString, boxText);
        QFETCH(QString, listText);
        Form form;
        form.box->setValue(box);
        form.list->setCurrentIndex(server);

        ControlValues(File()).SaveControlValues(form.controls);
        QSettings saved(File(), QSettings::IniFormat);
        QCOMPARE(saved.childGroups(), QStringList{QStringLiteral("Values")});
        saved.beginGroup(QStringLiteral("Values"));
        QCOMPARE(saved.childKeys(), QStringList({"Box", "List"}));
        // As text, also the numbers of the check box.
        QCOMPARE(saved.value(QStringLiteral("Box")), QVariant(boxText));
        QCOMPARE(saved.value(QStringLiteral("List")), QVariant(listText));
        const QByteArray raw = ReadFile(File());
        QVERIFY2(raw.contains("\nBox=" + boxText.toUtf8() + "\n"), raw.constData());
    }

    void restore_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("box");
        QTest::addColumn<int>("server");

        // The design values: box checked, nothing selected.
        QTest::newRow("no file") << QByteArray() << 1 << -1;
        QTest::newRow("empty file") << QByteArray("") << 1 << -1;
        QTest::newRow("other section")
            << QByteArray("[General]\nBox=0\nList=time.nist.gov\n") << 1 << -1;
        QTest::newRow("cleared") << QByteArray("[Values]\nBox=0\n") << 0 << -1;
        QTest::newRow("checked") << QByteArray("[Values]\nBox=1\n") << 1 << -1;
        QTest::newRow("greyed") << QByteArray("[Values]\nBox=2\n") << 2 << -1;
        QTest::newRow("quoted") << QByteArray("[Values]\nBox=\"0\"\n") << 0 << -1;
        QTest::newRow("out of range") << QByteArray("[Values]\nBox=3\n") << 1 << -1;
        QTest::newRow("negative") << QByteArray("[Values]\nBox=-1\n") << 1 << -1;
        QTest::newRow("letters") << QByteArray("[Values]\nBox=no\nList=time-a-g.nist.gov\n") << 1
                                 << 1;
        QTest::newRow("fraction") << QByteArray("[Values]\nBox=0.5\n") << 1 << -1;
        QTest::newRow("empty value") << QByteArray("[Values]\nBox=\n") << 1 << -1;
        QTest::newRow("server") << QByteArray("[Values]\nList=time-b-g.nist.gov\n") << 1 << 2;
        QTest::newRow("unknown server") << QByteArray("[Values]\nList=pool.example\n") << 1 << -1;
        QTest::newRow("server in other case")
            << QByteArray("[Values]\nList=TIME.NIST.GOV\n") << 1 << -1;
        QTest::newRow("key in other case")
            << QByteArray("[Values]\nbox=0\nlist=time.nist.gov\n") << 1 << -1;
        // Damaged stores are tried on the whole window.
    }

    void restore()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, box);
        QFETCH(int, server);
        if (!file.isNull())
            QVERIFY(WriteFile(File(), file));

        Form form;
        QSignalSpy boxChanges(form.box, &QCheckBox::stateChanged);
        ControlValues(File()).RestoreControlValues(form.controls);
        QCOMPARE(form.box->Value(), box);
        QCOMPARE(form.list->currentIndex(), server);
        // A value equal to the one the box has is no change.
        QCOMPARE(boxChanges.size(), box == 1 ? 0 : 1);
        QCOMPARE(form.text->text(), QStringLiteral("typed"));
        // Looking changes nothing on disk.
        if (!file.isNull())
            QCOMPARE(ReadFile(File()), file);
        else
            QVERIFY(!QFileInfo::exists(File()));
    }

    // Stored values of skipped kinds are never put back either.
    void skippedControlsAreNotRestored()
    {
        QByteArray content = "[Values]\nText1=changed\n";
        for (const QString& kind : ControlValues::SkippedControlKinds())
            content += "Skipped" + kind.toUtf8() + "=0\n";
        QVERIFY(WriteFile(File(), content));
        Form form;
        ControlValues(File()).RestoreControlValues(form.controls);
        QCOMPARE(form.text->text(), QStringLiteral("typed"));
        for (QObject* control : form.controls.mid(3))
            QCOMPARE(qobject_cast<CheckBox*>(control)->Value(), CheckBox::Checked);
    }

    void restoreInCreationOrder()
    {
        QVERIFY(WriteFile(File(), "[Values]\nC=0\nA=0\nB=0\n"));
        QWidget window;
        QStringList order;
        QList<QObject*> controls;
        for (const char* name : {"B", "C", "A"}) {
            auto* box = Named(new CheckBox(QString(), &window), name, "CheckBox");
            box->setValue(CheckBox::Checked);
            connect(box, &QCheckBox::stateChanged, &window,
                    [&order, name] { order << QString::fromLatin1(name); });
            controls << box;
        }
        ControlValues(File()).RestoreControlValues(controls);
        QCOMPARE(order, QStringList({"B", "C", "A"}));
    }

    // Without a file name the store is the user's own, in a folder of its own.
    void userStore()
    {
        const QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
        QVERIFY2(qEnvironmentVariableIsSet("QUORVANE_SANDBOX") && !configHome.isEmpty(),
                 "runs only in the sandbox, which gives it a configuration folder of its own");
        const QString folder = configHome + QStringLiteral("/Quorvane");
        const QString file = folder + QStringLiteral("/SaveFormSettings.ini");
        QDir(folder).removeRecursively();

        Form form;
        form.box->setValue(CheckBox::Cleared);
        ControlValues().SaveControlValues(form.controls);
        QVERIFY(QFileInfo::exists(file));
        QCOMPARE(QSettings(file, QSettings::IniFormat).value(QStringLiteral("Values/Box")),
                 QVariant(QStringLiteral("0")));

        Form next;
        ControlValues().RestoreControlValues(next.controls);
        QCOMPARE(next.box->Value(), CheckBox::Cleared);
        QDir(folder).removeRecursively();
    }
};

QTEST_MAIN(tst_ControlValues)
#include "tst_ControlValues.moc"
