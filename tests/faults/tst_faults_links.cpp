// Loggers that go away while the program records: silent, refusing connections, resetting a
// setup exchange, or a USB port that disappears and comes back on another pseudo-terminal.
#include "app/alarmsound.h"
#include "app/velmoranmain.h"
#include "device/alarmeventlog.h"
#include "device/configureddevice.h"
#include "dialogs/sensingoptiontelnetdialog.h"
#include "discovery/usbenumerator.h"
#include "project/projectfile.h"
#include "recorder/recorder.h"
#include "store/eventtable.h"
#include "store/insertserialdata.h"
#include "tests/faults/recordingrig.h"
#include "tests/support/simprocess.h"
#include "tests/support/tempproject.h"
#include "tests/support/testsettings.h"
#include "view/dashboarddeviceitem.h"
#include "view/eventsview.h"
#include "view/projectcenter.h"

#include <QDoubleSpinBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

namespace {
class FakeUsbBus : public UsbEnumerator
{
public:
    QList<UsbPortPair> enumerateUsbLoggers() override { return pairs; }
    QList<UsbPortPair> pairs;
};

bool ok(const QString &reply)
{
    return reply.startsWith(QStringLiteral("ok"));
}

SensingOptionTelnetDialog *openOptionDialog(RecordingRig &rig, ConfiguredDevice *device)
{
    ProjectCenter *center = rig.window()->projectCenter();
    center->slotDeviceClicked(device);
    center->slotPopupSensingOption();
    return center->findChild<SensingOptionTelnetDialog *>();
}

// The logger's events, oldest first, read afresh from the file.
QList<EventRecord> loggedEvents(const QString &databasePath, const QString &serial)
{
    QList<EventRecord> events;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "eventreader");
        db.setDatabaseName(databasePath);
        EventFilter filter;
        filter.serialNo = serial;
        if (db.open())
            events = EventTable::read(db, filter, 1000, 0);
    }
    QSqlDatabase::removeDatabase("eventreader");
    std::reverse(events.begin(), events.end());
    return events;
}

QStringList kinds(const QList<EventRecord> &events)
{
    QStringList list;
    for (const EventRecord &event : events)
        list << event.row.kind;
    return list;
}

qint64 scalar(const QString &databasePath, const QString &sql, const QString &serial)
{
    qint64 value = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "rowreader");
        db.setDatabaseName(databasePath);
        if (db.open()) {
            QSqlQuery query(db);
            query.prepare(sql);
            query.addBindValue(serial);
            if (query.exec() && query.next())
                value = query.value(0).toLongLong();
        }
    }
    QSqlDatabase::removeDatabase("rowreader");
    return value;
}

// The limits the device holds (committed), not the ones staged in a dialog.
float committedCh1Min(const ConfiguredDevice *device)
{
    float limits[4];
    device->alarmRange(limits);
    return limits[0];
}
} // namespace

class TestFaultsLinks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void aSilentLoggerIsMarkedDisconnectedAndRecordedAgainWhenItAnswers();
    void aRefusingLoggerIsMarkedDisconnectedUntilItListensAgain();
    void aResetInTheMiddleOfASetupExchangeEndsItAndPollingGoesOn();
    void closingTheOptionDialogMidExchangeWaitsForTheLoggersOk();
    void aUsbPortThatDisappearsIsReopenedWhereItReappears();
    void aLoggerOutOfRangeAndBackLeavesOneAcknowledgedAlarmInTheLog();

private:
    SimProcess m_sim;
    std::unique_ptr<TempProjectDir> m_dir;
};

void TestFaultsLinks::initTestCase()
{
    isolateSettings();
    // Drifting values keep any two answers of a logger apart, however fast the polls come.
    QVERIFY(m_sim.start({"--tcp", "2", "--tcp-base-port", "0", "--usb", "1", "--drift", "tcp0:1",
                         "--drift", "tcp1:1", "--drift", "usb0:1"}));
}

void TestFaultsLinks::init()
{
    m_dir = std::make_unique<TempProjectDir>();
}

void TestFaultsLinks::cleanup()
{
    for (const char *id : {"tcp0", "tcp1", "usb0"}) {
        m_sim.command(QStringLiteral("fault %1 none").arg(QLatin1String(id)));
        m_sim.command(QStringLiteral("start %1").arg(QLatin1String(id)));
    }
}

void TestFaultsLinks::aSilentLoggerIsMarkedDisconnectedAndRecordedAgainWhenItAnswers()
{
    const qint64 begin = QDateTime::currentSecsSinceEpoch();
    RecordingRig rig(&m_sim);
    QVERIFY2(rig.open(m_dir->path(), {"tcp0", "tcp1"}), qPrintable(rig.failure()));
    QVERIFY(rig.pollAndWait({"tcp0", "tcp1"}));
    ConfiguredDevice *silent = rig.device("tcp0");
    QVERIFY(silent->isConnected());

    QVERIFY(ok(m_sim.command("fault tcp0 noanswer")));
    // Five unanswered polls are a short gap at one second; the sixth marks it gone.
    for (int poll = 0; poll < 5; ++poll) {
        QVERIFY(rig.pollAndWait({"tcp1"}));
        QVERIFY(silent->isConnected());
    }
    QVERIFY(rig.pollAndWait({"tcp1"}));
    QVERIFY(!silent->isConnected());
    QVERIFY(rig.device("tcp1")->isConnected());
    QVERIFY(silent->ch1Value().isEmpty());
    auto *tile = dynamic_cast<DashBoardDeviceItem *>(silent->ch1Item());
    QVERIFY(tile && tile->isCommunicationLost());
    QVERIFY(rig.window()->eventLog()->wantsSound(false));
    rig.window()->eventLog()->setCommunicationLossSound(false);
    QVERIFY(!rig.window()->eventLog()->wantsSound(false));
    rig.window()->eventLog()->setCommunicationLossSound(true);

    QVERIFY(ok(m_sim.command("fault tcp0 none")));
    QVERIFY(rig.pollAndWait({"tcp0", "tcp1"}));
    QVERIFY(silent->isConnected());
    QVERIFY(!silent->ch1Value().isEmpty());
    QVERIFY(!tile->isCommunicationLost());
    QVERIFY(!rig.window()->eventLog()->wantsSound(false));

    QString why;
    QVERIFY2(rig.everyAnswerStoredOnce({"tcp0", "tcp1"}, &why), qPrintable(why));
    QCOMPARE(integrityCheck(rig.databasePath()), QStringLiteral("ok"));

    const QString serial = rig.serialOf("tcp0");
    const QList<EventRecord> events = loggedEvents(rig.databasePath(), serial);
    QCOMPARE(kinds(events), QStringList({"communication lost", "communication restored"}));
    for (const EventRecord &event : events)
        QVERIFY(event.row.pointDate >= begin &&
                event.row.pointDate <= QDateTime::currentSecsSinceEpoch());
    QVERIFY(loggedEvents(rig.databasePath(), rig.serialOf("tcp1")).isEmpty());
    // The break: both channels empty, a second after the last sample before the loss.
    const qint64 breakTime = scalar(rig.databasePath(),
                                    "select min(pointDate) from kestrelix where serialno = ? and "
                                    "channel1 is null and channel2 is null",
                                    serial);
    QCOMPARE(scalar(rig.databasePath(),
                    QStringLiteral("select max(pointDate) from kestrelix where serialno = ? and "
                                   "channel1 is not null and pointDate < %1")
                        .arg(breakTime),
                    serial) +
                 1,
             breakTime);
    QVERIFY(breakTime - 1 <= events.first().row.pointDate);
    QCOMPARE(scalar(rig.databasePath(),
                    "select count(*) from kestrelix where serialno = ? and channel1 is null",
                    serial),
             2); // the loss and the end of the recording
}

void TestFaultsLinks::aRefusingLoggerIsMarkedDisconnectedUntilItListensAgain()
{
    RecordingRig rig(&m_sim);
    QVERIFY2(rig.open(m_dir->path(), {"tcp0", "tcp1"}), qPrintable(rig.failure()));
    QVERIFY(rig.pollAndWait({"tcp0", "tcp1"}));
    ConfiguredDevice *gone = rig.device("tcp0");

    QVERIFY(ok(m_sim.command("stop tcp0")));
    for (int poll = 0; poll < 6; ++poll)
        QVERIFY(rig.pollAndWait({"tcp1"}));
    QVERIFY(!gone->isConnected());
    QCOMPARE(rig.answeredSinceOpen("tcp1"), 8);

    QVERIFY(ok(m_sim.command("start tcp0")));
    // The poll finds the connection closed and opens a new one; the request follows it.
    QVERIFY(rig.pollAndWait({"tcp0", "tcp1"}));
    QVERIFY(gone->isConnected());
    QVERIFY(rig.pollAndWait({"tcp0", "tcp1"}));

    QString why;
    QVERIFY2(rig.everyAnswerStoredOnce({"tcp0", "tcp1"}, &why), qPrintable(why));
}

void TestFaultsLinks::aResetInTheMiddleOfASetupExchangeEndsItAndPollingGoesOn()
{
    RecordingRig rig(&m_sim);
    QVERIFY2(rig.open(m_dir->path(), {"tcp0", "tcp1"}), qPrintable(rig.failure()));
    QVERIFY(rig.pollAndWait({"tcp0", "tcp1"}));
    ConfiguredDevice *device = rig.device("tcp0");
    QPointer<SensingOptionTelnetDialog> dialog = openOptionDialog(rig, device);
    QVERIFY(dialog);

    // Each "OK" comes late, so the reset lands while the logger is still answering.
    QVERIFY(ok(m_sim.command("fault tcp0 slow 400")));
    dialog->findChild<QDoubleSpinBox *>("doubleSpinBox_min_ch1")->setValue(5);
    auto *confirm = dialog->findChild<QPushButton *>("pushButton_confirm");
    QTest::mouseClick(confirm, Qt::LeftButton);
    QTRY_VERIFY(m_sim.command("setup tcp0").contains("ATBMIN1=5.00"));
    QVERIFY(ok(m_sim.command("reset tcp0")));
    QVERIFY(ok(m_sim.command("fault tcp0 none")));

    const QString timedOut = QStringLiteral("This command has exceeded the time limit.\n"
                                            "Please retry.");
    QTRY_COMPARE_WITH_TIMEOUT(rig.shownMessages("ERROR", timedOut), 1, 4000);
    QCOMPARE(committedCh1Min(device), -1000.0f);
    QVERIFY(confirm->isEnabled());

    // The exchange is over: the logger is polled again on a new connection.
    QVERIFY(rig.pollAndWait({"tcp0", "tcp1"}));
    QVERIFY(device->isConnected());

    QTest::mouseClick(confirm, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(dialog.isNull(), 4000);
    QCOMPARE(committedCh1Min(device), 5.0f);
    QVERIFY(m_sim.command("setup tcp0").endsWith("SET=1"));
    QVERIFY(rig.pollAndWait({"tcp0", "tcp1"}));

    QString why;
    QVERIFY2(rig.everyAnswerStoredOnce({"tcp0", "tcp1"}, &why), qPrintable(why));
}

void TestFaultsLinks::closingTheOptionDialogMidExchangeWaitsForTheLoggersOk()
{
    RecordingRig rig(&m_sim);
    QVERIFY2(rig.open(m_dir->path(), {"tcp0"}), qPrintable(rig.failure()));
    QVERIFY(rig.pollAndWait({"tcp0"}));
    ConfiguredDevice *device = rig.device("tcp0");
    QPointer<SensingOptionTelnetDialog> dialog = openOptionDialog(rig, device);
    QVERIFY(dialog);

    QVERIFY(ok(m_sim.command("fault tcp0 slow 150")));
    dialog->findChild<QDoubleSpinBox *>("doubleSpinBox_min_ch1")->setValue(7);
    QTest::mouseClick(dialog->findChild<QPushButton *>("pushButton_confirm"), Qt::LeftButton);
    QTest::keyClick(dialog, Qt::Key_Escape);
    dialog->close();
    QVERIFY(dialog && dialog->isVisible());

    QTRY_VERIFY_WITH_TIMEOUT(dialog.isNull(), 4000);
    QCOMPARE(committedCh1Min(device), 7.0f);
    QVERIFY(m_sim.command("setup tcp0").contains("ATBMIN1=7.00"));
    QList<DeviceRecord> saved;
    QVERIFY(ProjectFile::parseDeviceList(ProjectFile::readDeviceList(rig.projectPath()), &saved));
    QCOMPARE(saved.size(), 1);
    QCOMPARE(saved.first().ch1Min, 7.0f);
}

void TestFaultsLinks::aUsbPortThatDisappearsIsReopenedWhereItReappears()
{
    auto *bus = new FakeUsbBus;
    const SimProcess::Logger usb = m_sim.logger("usb0");
    bus->pairs = {{usb.address, usb.deviceNumber}};
    RecordingRig rig(&m_sim);
    QVERIFY2(rig.open(m_dir->path(), {"usb0", "tcp0"}, bus), qPrintable(rig.failure()));
    ConfiguredDevice *device = rig.device("usb0");
    QVERIFY(rig.pollAndWait({"usb0", "tcp0"}));
    QVERIFY(device->isConnected());

    QVERIFY(ok(m_sim.command("stop usb0")));
    QTRY_VERIFY_WITH_TIMEOUT(!device->isConnected(), 3000);
    bus->pairs.clear();
    rig.window()->checkConnection();
    QVERIFY(rig.pollAndWait({"tcp0"}));
    QVERIFY(rig.pollAndWait({"tcp0"}));
    QVERIFY(!device->isConnected());

    QVERIFY(ok(m_sim.command("start usb0")));
    // A new pseudo-terminal, which may or may not get the old number back.
    const SimProcess::Logger back = m_sim.logger("usb0");
    bus->pairs = {{back.address, back.deviceNumber}};
    rig.window()->checkConnection();
    QCOMPARE(device->deviceInterface(), back.address);
    QVERIFY(rig.pollAndWait({"usb0", "tcp0"}));
    QVERIFY(device->isConnected());

    QString why;
    QVERIFY2(rig.everyAnswerStoredOnce({"usb0", "tcp0"}, &why), qPrintable(why));
}

QTEST_MAIN(TestFaultsLinks)
void TestFaultsLinks::aLoggerOutOfRangeAndBackLeavesOneAcknowledgedAlarmInTheLog()
{
    const qint64 begin = QDateTime::currentSecsSinceEpoch();
    RecordingRig rig(&m_sim);
    QVERIFY2(rig.open(m_dir->path(), {"tcp1"}), qPrintable(rig.failure()));
    ConfiguredDevice *device = rig.device("tcp1");
    float limits[4];
    device->alarmRange(limits);
    device->setAlarmRange(0, 30, limits[2], limits[3]);
    rig.window()->recorder()->clockTick();
    QVERIFY(ok(m_sim.command("values tcp1 24 40")));
    QVERIFY(rig.pollAndWait({"tcp1"}));
    QVERIFY(!device->alarm1());
    for (const char *value : {"31.50", "36.00", "33.00"}) {
        QVERIFY(ok(m_sim.command(QStringLiteral("values tcp1 %1 40").arg(QLatin1String(value)))));
        QVERIFY(rig.pollAndWait({"tcp1"}));
    }
    QVERIFY(device->alarm1());
    AlarmEventLog *log = rig.window()->eventLog();
    QVERIFY(log->wantsSound(AlarmSound::anyAlarm({device})));

    // Acknowledged in the events window: quiet, while the tile stays red.
    QVERIFY(rig.window()->store()->insertNow()); // the batch a full queue would write
    rig.window()->slotStdTimer();
    rig.window()->projectCenter()->slotShowEvents();
    EventsView *view = rig.window()->projectCenter()->eventsView();
    QVERIFY(view && view->isDatabaseOpen());
    QCOMPARE(kinds(view->shownRecords()),
             QStringList({"alarm started", "limits changed", "recording started"}));
    QCOMPARE(rig.window()->alarmCountLabel()->text(), QStringLiteral("Unacknowledged alarms: 1"));
    view->setOperatorName(QStringLiteral("night shift"));
    view->acknowledgeAll();
    QVERIFY(!log->wantsSound(true));
    QVERIFY(device->alarm1());

    QVERIFY(ok(m_sim.command("values tcp1 25 40")));
    QVERIFY(rig.pollAndWait({"tcp1"}));
    QVERIFY(ok(m_sim.command("auto tcp1")));
    rig.window()->slotStopRecord();
    QCOMPARE(rig.window()->recorder()->pendingEvents().count(), 0);

    const QList<EventRecord> events = loggedEvents(rig.databasePath(), rig.serialOf("tcp1"));
    QCOMPARE(kinds(events),
             QStringList({"limits changed", "alarm started", "alarm peak", "alarm ended"}));
    QCOMPARE(events.at(1).row.value, 31.5);
    QCOMPARE(events.at(2).row.value, 36.0);
    QCOMPARE(events.at(3).row.value, 25.0);
    for (const EventRecord &event : events) {
        QCOMPARE(event.row.channel, 1);
        QCOMPARE(event.row.upperLimit, 30.0);
        QVERIFY(event.row.pointDate >= begin &&
                event.row.pointDate <= QDateTime::currentSecsSinceEpoch());
    }
    QCOMPARE(events.at(1).ackBy, QStringLiteral("night shift"));
    QVERIFY(events.at(1).ackDate >= begin);
}

#include "tst_faults_links.moc"
