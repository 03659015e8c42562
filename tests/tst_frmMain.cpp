// The main window with platform doubles, against a time server inside the
// test on port 37 of the sandbox's network namespace.
#include "doubles/FakeTimeServer.h"
#include "doubles/WindowHarness.h"
#include "ui/CheckBox.h"
#include "ui/ClickLabel.h"
#include "ui/LineWidget.h"
#include "ui/ShapeWidget.h"

#include <QAccessible>
#include <QComboBox>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QtTest>

namespace
{
const QByteArray June2005 = QByteArray::fromHex("C65A96C0");
constexpr qint64 June2005Unix = 1118836800;

QColor TextColour(const QWidget* widget)
{
    return widget->palette().color(QPalette::WindowText);
}
} // namespace

class tst_frmMain : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        h = std::make_unique<WindowHarness>();
        server.pieces = {June2005};
        server.gapMs = 0;
        server.end = FakeTimeServer::End::Close;
        server.connections = 0;
        // The PC is 30 s behind a server in a zone at UTC+1 in daylight time.
        h->zone.result = 2;
        h->zone.info = {0, 0, -60};
        h->clock.Set(QDate(2005, 6, 15), QTime(12, 59, 30));
    }

    void loadWithNothingSaved()
    {
        frmMain& form = h->Load();
        QCOMPARE(form.cboServers->count(), 21);
        QCOMPARE(form.cboServers->currentIndex(), -1);
        QCOMPARE(modMain::CurrentServer, QString());
        QCOMPARE(form.AutoCloseCount, qint16(9));
        QCOMPARE(TextColour(form.lblStatus), QColor(Qt::black));
        QCOMPARE(form.AutoCloseQuorvane->Value(), 1);
        QCOMPARE(form.chkRun->Value(), 0);
        QVERIFY(form.Timer3->isActive());
        QVERIFY(form.Timer1->isActive());
        QVERIFY(form.Timer2->isActive());
        QCOMPARE(form.Label3->text(), QStringLiteral(" "));
        QCOMPARE(form.lblStatus->text(), QStringLiteral(" Quorvane"));

        // The first showing still synchronises, with the empty name.
        form.show();
        QTRY_COMPARE_WITH_TIMEOUT(form.lblStatus->text(), QStringLiteral(" Cannot find Server."),
                                  7000);
        QCOMPARE(server.connections, 0);
        QVERIFY(form.cmdSynchTime->isEnabled());
    }

    void firstShowingSynchronisesOnce()
    {
        QSettings(h->SettingsFile(), QSettings::IniFormat)
            .setValue(QStringLiteral("Values/cboServers"), QStringLiteral("time-a-g.nist.gov"));
        frmMain& form = h->Load();
        QCOMPARE(modMain::CurrentServer, QStringLiteral("time-a-g.nist.gov"));
        form.show();
        QTRY_COMPARE(form.lblStatus->text(), QStringLiteral(" Time Adjusted by 30 Sec"));
        QCOMPARE(server.connections, 1);
        // Activation coming back later is no new start.
        QEvent activate(QEvent::WindowActivate);
        QCoreApplication::sendEvent(&form, &activate);
        form.hide();
        form.show();
        QTest::qWait(200);
        QCOMPARE(server.connections, 1);
    }

    void status_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::addColumn<int>("pcSecondsLater");
        QTest::addColumn<bool>("clockRefuses");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("colour");
        QTest::addColumn<QList<qint64>>("set");

        const QString local = QStringLiteral("time-a-g.nist.gov");
        const QColor black(Qt::black);
        const QColor red(Qt::red);
        QTest::newRow("PC behind")
            << local << QList<QByteArray>{June2005} << 0 << false << " Time Adjusted by 30 Sec"
            << black << QList<qint64>{June2005Unix};
        QTest::newRow("PC an hour ahead: no separators")
            << local << QList<QByteArray>{June2005} << 3630 << false
            << " Time Adjusted by -3600 Sec" << black << QList<qint64>{June2005Unix};
        QTest::newRow("PC right") << local << QList<QByteArray>{June2005} << 30 << false
                                  << " Time Adjusted by 0 Sec" << black << QList<qint64>{};
        QTest::newRow("clock refused")
            << local << QList<QByteArray>{June2005} << 0 << true << " Cannot set Clock." << red
            << QList<qint64>{June2005Unix};
        QTest::newRow("reply of zero")
            << local << QList<QByteArray>{QByteArray(4, '\0')} << 0 << false
            << " Bad reply from Server." << red << QList<qint64>{};
        QTest::newRow("silent server") << local << QList<QByteArray>{} << 0 << false
                                       << " No reply from Server." << red << QList<qint64>{};
        QTest::newRow("refused") << QStringLiteral("127.0.0.2") << QList<QByteArray>{} << 0 << false
                                 << " Cannot find Server." << red << QList<qint64>{};
        QTest::newRow("empty name") << QString() << QList<QByteArray>{} << 0 << false
                                    << " Cannot find Server." << red << QList<qint64>{};
    }

    void status()
    {
        QFETCH(QString, host);
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(int, pcSecondsLater);
        QFETCH(bool, clockRefuses);
        QFETCH(QString, text);
        QFETCH(QColor, colour);
        QFETCH(QList<qint64>, set);

        // The reply comes late enough to look at the window while it waits.
        server.pieces = pieces;
        server.pieces.prepend(QByteArray());
        server.gapMs = 200;
        server.end = pieces.isEmpty() ? FakeTimeServer::End::StayOpen : FakeTimeServer::End::Close;
        h->clock.AddSeconds(pcSecondsLater);
        if (clockRefuses)
            h->setter.answer =
                PlatformResult::Failure(QStringLiteral("administrator rights are needed"));
        frmMain& form = h->Load();
        modMain::CurrentServer = host;

        // A failed run first: the next run must start black again.
        form.lblStatus->setPalette(QPalette(Qt::red));
        QString during;
        QColor duringColour;
        bool buttonDuring = true;
        bool clockDuring = true;
        QTimer::singleShot(50, &form, [&] {
            during = form.lblStatus->text();
            duringColour = TextColour(form.lblStatus);
            buttonDuring = form.cmdSynchTime->isEnabled();
            clockDuring = form.Timer1->isActive();
        });
        form.chkRun->setFocus();
        form.cmdSynchTime_Click();

        QCOMPARE(during, QStringLiteral(" Contacting Server..."));
        QCOMPARE(duringColour, QColor(Qt::black));
        QVERIFY(!buttonDuring);
        QVERIFY(!clockDuring);

        QCOMPARE(form.lblStatus->text(), text);
        QCOMPARE(TextColour(form.lblStatus), colour);
        QCOMPARE(h->setter.requests, set);
        QVERIFY(form.cmdSynchTime->isEnabled());
        QCOMPARE(form.focusWidget(), form.cmdSynchTime);
        QVERIFY(form.Timer1->isActive());
        if (clockRefuses) {
            QVERIFY(form.lblStatus->toolTip().contains(QStringLiteral("30")));
            QVERIFY(form.lblStatus->toolTip().contains(QStringLiteral("administrator rights")));
        } else {
            QCOMPARE(form.lblStatus->toolTip(), QString());
        }
    }

    void clockDisplay()
    {
        frmMain& form = h->Load();
        h->clock.Set(QDate(2026, 12, 6), QTime(21, 5, 9));
        QTRY_COMPARE(form.Label1->text(), QStringLiteral("21:05:09"));
        QCOMPARE(form.lblPcTime->text(), QStringLiteral("Sunday 06 Dec 2026"));
        QCOMPARE(form.Timer1->interval(), 250);
    }

    void countdown()
    {
        frmMain& form = h->Load();
        QCOMPARE(form.Timer3->interval(), 1000);
        QStringList texts;
        for (int tick = 0; tick < 9; ++tick) {
            QCOMPARE(h->program.ended, 0);
            form.Timer3_Timer();
            texts << form.Label3->text();
        }
        QCOMPARE(texts.first(), QStringLiteral("Auto Close 8 seconds."));
        QCOMPARE(texts.at(7), QStringLiteral("Auto Close 1 seconds."));
        QCOMPARE(texts.last(), QStringLiteral("Auto Close 0 seconds."));
        QCOMPARE(h->program.ended, 1);
        QVERIFY(!form.Timer1->isActive());
        QVERIFY(!form.Timer2->isActive());
        // The exit saved the values.
        QSettings saved(h->SettingsFile(), QSettings::IniFormat);
        QCOMPARE(saved.value(QStringLiteral("Values/AutoCloseQuorvane")).toString(),
                 QStringLiteral("1"));
    }

    void countdownRunsByItself()
    {
        frmMain& form = h->Load();
        QTRY_COMPARE_WITH_TIMEOUT(form.Label3->text(), QStringLiteral("Auto Close 8 seconds."),
                                  1500);
    }

    void clicks_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<bool>("stops");
        QTest::newRow("Label3") << "Label3" << true;
        QTest::newRow("Label1") << "Label1" << true;
        QTest::newRow("lblStatus") << "lblStatus" << true;
        QTest::newRow("Image1") << "Image1" << true;
        QTest::newRow("AutoCloseQuorvane") << "AutoCloseQuorvane" << true;
        QTest::newRow("chkRun") << "chkRun" << true;
        QTest::newRow("cboServers") << "cboServers" << true;
        QTest::newRow("lblPcTime") << "lblPcTime" << false;
        QTest::newRow("Label2") << "Label2" << false;
        QTest::newRow("window") << "frmMain" << false;
    }

    void clicks()
    {
        QFETCH(QString, control);
        QFETCH(bool, stops);
        frmMain& form = h->Load();
        QVERIFY(form.Timer3->isActive());
        if (control == QLatin1String("cboServers")) {
            form.cboServers->setCurrentIndex(2);
            emit form.cboServers->activated(2);
        } else {
            auto* widget = control == QLatin1String("frmMain") ? static_cast<QWidget*>(&form)
                                                               : form.findChild<QWidget*>(control);
            QVERIFY(widget);
            QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(4, 4));
        }
        QCOMPARE(form.Timer3->isActive(), !stops);
        QCOMPARE(form.Label3->text(),
                 stops ? QStringLiteral(" Auto Close Stopped.") : QStringLiteral(" "));
    }

    void buttonDoesNotStopTheCountdown()
    {
        frmMain& form = h->Load();
        modMain::CurrentServer = QStringLiteral("time-a-g.nist.gov");
        QTest::mouseClick(form.cmdSynchTime, Qt::LeftButton);
        QCOMPARE(form.lblStatus->text(), QStringLiteral(" Time Adjusted by 30 Sec"));
        QVERIFY(form.Timer3->isActive());
    }

    void pickedServerIsUsedNext()
    {
        frmMain& form = h->Load();
        const int index = form.cboServers->findText(QStringLiteral("time-a-g.nist.gov"));
        QVERIFY(index >= 0);
        form.cboServers->setCurrentIndex(index);
        emit form.cboServers->activated(index);
        QCOMPARE(modMain::CurrentServer, QStringLiteral("time-a-g.nist.gov"));
        QCOMPARE(server.connections, 0);
        form.cmdSynchTime_Click();
        QCOMPARE(server.connections, 1);
        QCOMPARE(form.lblStatus->text(), QStringLiteral(" Time Adjusted by 30 Sec"));
    }

    void closingSavesAndEnds()
    {
        frmMain& form = h->Load();
        form.AutoCloseQuorvane->setValue(0);
        form.show();
        form.close();
        QCOMPARE(h->program.ended, 1);
        QSettings saved(h->SettingsFile(), QSettings::IniFormat);
        QCOMPARE(saved.value(QStringLiteral("Values/AutoCloseQuorvane")).toString(),
                 QStringLiteral("0"));
    }

    void layout_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QRect>("rect");
        QTest::addColumn<QString>("text");

        // Twips divided by 15.
        QTest::newRow("Timer2") << "Timer2"
                                << "Timer" << QRect() << "";
        QTest::newRow("Timer3") << "Timer3"
                                << "Timer" << QRect() << "";
        QTest::newRow("AutoCloseQuorvane")
            << "AutoCloseQuorvane"
            << "CheckBox" << QRect(16, 152, 177, 13) << "Auto Close Quorvane";
        QTest::newRow("chkRun") << "chkRun"
                                << "CheckBox" << QRect(200, 152, 129, 13) << "Launch at start up";
        QTest::newRow("Timer1") << "Timer1"
                                << "Timer" << QRect() << "";
        QTest::newRow("cboServers") << "cboServers"
                                    << "ComboBox" << QRect(184, 16, 169, 21) << "";
        QTest::newRow("cmdSynchTime")
            << "cmdSynchTime"
            << "CommandButton" << QRect(16, 96, 137, 33) << "Set Time && Date";
        QTest::newRow("Label3") << "Label3"
                                << "Label" << QRect(232, 176, 129, 25) << " ";
        QTest::newRow("Label2") << "Label2"
                                << "Label" << QRect(-8, 176, 49, 25) << "   Status";
        QTest::newRow("Image1") << "Image1"
                                << "Image" << QRect(216, 56, 126, 70) << "";
        QTest::newRow("Label1") << "Label1"
                                << "Label" << QRect(27, 8, 116, 33) << "00:00:00";
        QTest::newRow("Line1") << "Line1"
                               << "Line" << QRect(184, 48, 1, 97) << "";
        QTest::newRow("Shape1") << "Shape1"
                                << "Shape" << QRect(8, 8, 153, 33) << "";
        QTest::newRow("lblStatus") << "lblStatus"
                                   << "Label" << QRect(40, 176, 329, 25) << " Quorvane";
        QTest::newRow("lblPcTime") << "lblPcTime"
                                   << "Label" << QRect(8, 64, 153, 17) << "";
        QTest::newRow("Shape2") << "Shape2"
                                << "Shape" << QRect(0, 48, 369, 97) << "";
    }

    void layout()
    {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(QRect, rect);
        QFETCH(QString, text);

        frmMain form(h->services, h->SettingsFile());
        const QList<QObject*> controls = form.Controls();
        QCOMPARE(controls.size(), 16);
        const qsizetype position = controls.indexOf(form.findChild<QObject*>(name));
        QVERIFY(position >= 0);
        QCOMPARE(controls.at(position)->objectName(), name);
        QCOMPARE(controls.at(position)->property("Kind").toString(), kind);
        if (auto* widget = qobject_cast<QWidget*>(controls.at(position))) {
            QCOMPARE(widget->geometry(), rect);
            QCOMPARE(widget->property("text").toString(), text);
        }
    }

    void creationOrderAndStacking()
    {
        frmMain form(h->services, h->SettingsFile());
        QStringList names;
        for (QObject* control : form.Controls())
            names << control->objectName();
        QCOMPARE(names,
                 QStringList({"Timer2", "Timer3", "AutoCloseQuorvane", "chkRun", "Timer1",
                              "cboServers", "cmdSynchTime", "Label3", "Label2", "Image1", "Label1",
                              "Line1", "Shape1", "lblStatus", "lblPcTime", "Shape2"}));
        // Earlier controls are in front: the widget list runs back to front.
        QList<QWidget*> backToFront;
        for (QObject* child : form.children())
            if (auto* widget = qobject_cast<QWidget*>(child))
                backToFront.prepend(widget);
        QStringList stacked;
        for (QWidget* widget : backToFront)
            stacked << widget->objectName();
        QStringList widgets = names;
        widgets.removeAll("Timer1");
        widgets.removeAll("Timer2");
        widgets.removeAll("Timer3");
        QCOMPARE(stacked, widgets);
    }

    void windowAndColours()
    {
        frmMain form(h->services, h->SettingsFile());
        QCOMPARE(form.windowTitle(), QStringLiteral(" Quorvane v3.0.2"));
        QCOMPARE(form.size(), QSize(360, 197));
        QCOMPARE(form.minimumSize(), form.maximumSize());
        QVERIFY(!(form.windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(form.windowFlags() & Qt::WindowCloseButtonHint);
        QCOMPARE(form.windowIcon().pixmap(32, 32).size(), QSize(32, 32));
        QCOMPARE(form.Image1->pixmap().size(), QSize(126, 70));
        QCOMPARE(form.Shape1->FillColor(), QColor(0, 64, 0));
        QCOMPARE(TextColour(form.Label1), QColor(Qt::white));
        QCOMPARE(TextColour(form.lblPcTime), QColor(Qt::black));
        QCOMPARE(form.cboServers->palette().color(QPalette::Base), QColor(Qt::white));
        QCOMPARE(form.Line1->LineColor(), form.palette().color(QPalette::Window));
        QVERIFY(form.Shape2->FillColor() != form.palette().color(QPalette::Window));
        QCOMPARE(form.Label1->font().pointSizeF(), 19.5);
        QVERIFY(form.Label1->font().bold());
        QVERIFY(form.cmdSynchTime->font().bold());
        QVERIFY(!form.lblStatus->font().bold());
        QCOMPARE(form.lblStatus->frameShadow(), QFrame::Sunken);
        QCOMPARE(form.cmdSynchTime->shortcut(), QKeySequence());
        QVERIFY(form.lblPcTime->alignment() & Qt::AlignHCenter);
    }

    void tabOrder()
    {
        frmMain& form = h->Load();
        QStringList order;
        QWidget* widget = form.cmdSynchTime;
        do {
            order << widget->objectName();
            do
                widget = widget->nextInFocusChain();
            while (!(widget->focusPolicy() & Qt::TabFocus) || widget == &form);
        } while (widget != form.cmdSynchTime && order.size() < 20);
        QCOMPARE(order, QStringList({"cmdSynchTime", "cboServers", "chkRun", "AutoCloseQuorvane"}));
        QCOMPARE(form.focusWidget(), form.cmdSynchTime);
    }

    void assistiveTechnologyReadsEveryText()
    {
        frmMain& form = h->Load();
        form.show();
        form.Timer1_Timer();
        form.Timer3_Timer();
        const auto read = [](QWidget* widget, QAccessible::Text kind) {
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
            return accessible ? accessible->text(kind) : QString();
        };
        QCOMPARE(read(form.lblStatus, QAccessible::Name), form.lblStatus->text());
        QCOMPARE(read(form.Label3, QAccessible::Name), QStringLiteral("Auto Close 8 seconds."));
        QCOMPARE(read(form.Label1, QAccessible::Name), form.Label1->text());
        QCOMPARE(read(form.lblPcTime, QAccessible::Name), form.lblPcTime->text());
        QCOMPARE(read(form.Label2, QAccessible::Name), QStringLiteral("   Status"));
        QCOMPARE(read(form.cmdSynchTime, QAccessible::Name), QStringLiteral("Set Time & Date"));
        QCOMPARE(read(form.chkRun, QAccessible::Name), QStringLiteral("Launch at start up"));
        QCOMPARE(read(form.AutoCloseQuorvane, QAccessible::Name),
                 QStringLiteral("Auto Close Quorvane"));
        QVERIFY(!read(form.Image1, QAccessible::Name).isEmpty());
        form.cboServers->setCurrentIndex(1);
        QCOMPARE(read(form.cboServers, QAccessible::Value), form.cboServers->itemText(1));
        QCOMPARE(read(form.cboServers, QAccessible::Name), form.cboServers->itemText(1));
    }

private:
    FakeTimeServer server;
    std::unique_ptr<WindowHarness> h;
};

QTEST_MAIN(tst_frmMain)
#include "tst_frmMain.moc"
