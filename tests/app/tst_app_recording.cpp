#include "app/velmoranmain.h"
#include "device/configureddevice.h"
#include "store/insertserialdata.h"
#include "tests/app/appfixture.h"
#include "tests/app/loggerproject.h"
#include "tests/support/simprocess.h"
#include "tests/support/tempproject.h"
#include "tests/support/testsettings.h"
#include "view/projectcenter.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace AppFixture;

namespace {
struct Sample
{
    quint32 pointDate = 0;
    bool hasValue = false;
};

// Rows of one logger as the sibling programs would read them, in insertion order.
QList<Sample> storedSamples(const QString &databasePath, const QString &serial)
{
    QList<Sample> samples;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "reader");
        db.setDatabaseName(databasePath);
        if (db.open()) {
            QSqlQuery query(db);
            query.prepare("select pointDate, channel1 from kestrelix where serialno = ? "
                          "order by id");
            query.addBindValue(serial);
            if (query.exec()) {
                while (query.next())
                    samples.append({query.value(0).toUInt(), !query.value(1).isNull()});
            }
        }
    }
    QSqlDatabase::removeDatabase("reader");
    return samples;
}

QString timeText(quint32 seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds).toString("yyyy-MM-dd hh:mm:ss");
}

// Watches the row count of the store while the event loop runs; a flush below the threshold
// shows up as a count between 1 and threshold - 1.
class RowCountWatch
{
public:
    explicit RowCountWatch(InsertSerialData *store)
    {
        QObject::connect(&m_timer, &QTimer::timeout,
                         [this, store] { m_seen.append(store->totalRow()); });
        m_timer.start(100);
    }
    QList<int> seen() const { return m_seen; }

private:
    QTimer m_timer;
    QList<int> m_seen;
};
} // namespace

class TestAppRecording : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        isolateSettings();
        clearAppSettings();
        QVERIFY(m_sim.start({"--tcp", "2", "--tcp-base-port", "0"}));
        m_dir = std::make_unique<TempProjectDir>();
    }

    void cleanup()
    {
        if (QTest::currentTestFailed() && m_window) {
            if (m_window->isRecording())
                m_window->slotStopRecord();
            m_window.reset();
        }
    }

    void oneLoggerIsFlushedOnceEightRowsWaitAndStopWritesTheRest()
    {
        const SimProcess::Logger logger = m_sim.logger("tcp0");
        const QString path = m_dir->projectPath("One");
        QVERIFY(writeLoggerProject(path, {logger}, 1000));
        m_window = std::make_unique<VelmoranMain>();
        m_window->projectLoaded(path);
        QCOMPARE(m_window->configuredDevices().size(), 1);
        InsertSerialData *store = m_window->store();
        QVERIFY(store && store->isConnected());
        m_window->slotStartRecord();
        QVERIFY(m_window->isRecording());

        RowCountWatch watch(store);
        QTRY_VERIFY_WITH_TIMEOUT(store->totalRow() >= 8, 15000);
        for (int count : watch.seen())
            QVERIFY2(count == 0 || count >= 8, qPrintable(QString::number(count)));

        QTRY_VERIFY_WITH_TIMEOUT(m_window->pendingRows().count() > 0, 3000);
        const int stored = store->totalRow();
        const int queued = m_window->pendingRows().count();
        m_window->slotStopRecord();
        QCOMPARE(m_window->pendingRows().count(), 0);
        QCOMPARE(store->totalRow(), stored + queued + 1);

        const QList<Sample> samples = storedSamples(store->databasePath(), logger.deviceNumber);
        QCOMPARE(samples.size(), stored + queued + 1);
        QVERIFY(!samples.last().hasValue);
        QCOMPARE(samples.last().pointDate, samples[samples.size() - 2].pointDate + 1);
        for (int i = 0; i + 1 < samples.size(); ++i)
            QVERIFY(samples[i].hasValue);

        const QString start = timeText(samples.first().pointDate);
        const QString end = timeText(samples.last().pointDate);
        QCOMPARE(ProjectFile::readString(path, "record_start_time"), start);
        QCOMPARE(ProjectFile::readString(path, "record_stop_time"), end);
        QCOMPARE(m_window->projectCenter()->recordStartText(), start);
        QCOMPARE(m_window->projectCenter()->recordEndText(), end);
        m_strFirstStart = start;
    }

    void aSecondRecordingKeepsTheStartText()
    {
        QVERIFY2(m_window, "needs the project of the test before");
        const QString path = m_window->projectFile();
        m_window->slotStartRecord();
        QVERIFY(m_window->isRecording());
        QCOMPARE(m_window->projectCenter()->recordStartText(), m_strFirstStart);
        QCOMPARE(ProjectFile::readString(path, "record_start_time"), m_strFirstStart);

        m_window->slotStopRecord();
        QCOMPARE(ProjectFile::readString(path, "record_start_time"), m_strFirstStart);
        m_window->slotCloseProject();
        QVERIFY(!m_window->store());
        m_window.reset();
    }

    void twoLoggersAreFlushedOnceSixteenRowsWait()
    {
        const QString path = m_dir->projectPath("Two");
        QVERIFY(writeLoggerProject(path, {m_sim.logger("tcp0"), m_sim.logger("tcp1")}, 1000));
        m_window = std::make_unique<VelmoranMain>();
        m_window->projectLoaded(path);
        QCOMPARE(m_window->configuredDevices().size(), 2);
        InsertSerialData *store = m_window->store();
        m_window->slotStartRecord();

        RowCountWatch watch(store);
        QTRY_VERIFY_WITH_TIMEOUT(store->totalRow() >= 16, 15000);
        for (int count : watch.seen())
            QVERIFY2(count == 0 || count >= 16, qPrintable(QString::number(count)));

        m_window->slotStopRecord();
        const QList<Sample> first =
            storedSamples(store->databasePath(), m_sim.logger("tcp0").deviceNumber);
        const QList<Sample> second =
            storedSamples(store->databasePath(), m_sim.logger("tcp1").deviceNumber);
        QVERIFY(first.size() >= 9);
        QVERIFY(second.size() >= 9);
        QVERIFY(!first.last().hasValue);
        QVERIFY(!second.last().hasValue);
        m_window->slotCloseProject();
        m_window.reset();
    }

    void anEntryWithoutSerialAndASilentLoggerHoldUpNoRow()
    {
        // tcp0's entry has lost its DeviceNumber; tcp1 does not listen and stores nothing.
        const QString path = m_dir->projectPath("Unnamed");
        const QString serial0 = m_sim.logger("tcp0").deviceNumber;
        const QString serial1 = m_sim.logger("tcp1").deviceNumber;
        QVERIFY(writeLoggerProject(path, {m_sim.logger("tcp0"), m_sim.logger("tcp1")}, 1000));
        {
            QSettings settings(path, QSettings::IniFormat);
            QJsonObject root =
                QJsonDocument::fromJson(settings.value("DeviceList").toByteArray()).object();
            QJsonArray devices = root.value("devices").toArray();
            for (int i = 0; i < devices.size(); ++i) {
                QJsonObject entry = devices.at(i).toObject();
                if (entry.value("DeviceNumber").toString() == serial0)
                    entry.insert("DeviceNumber", QJsonValue::Null);
                devices.replace(i, entry);
            }
            root.insert("devices", devices);
            settings.setValue("DeviceList", QJsonDocument(root).toJson(QJsonDocument::Compact));
        }
        QCOMPARE(m_sim.command("stop tcp1"), QStringLiteral("ok"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("WARNING.*DeviceNumber"));
        m_window = std::make_unique<VelmoranMain>();
        m_window->projectLoaded(path);
        InsertSerialData *store = m_window->store();
        QVERIFY(store);
        m_window->slotStartRecord();
        QTRY_VERIFY_WITH_TIMEOUT(m_window->pendingRows().count() >= 2, 5000);
        m_window->slotStopRecord();
        QCOMPARE(m_sim.command("start tcp1"), QStringLiteral("ok"));

        QCOMPARE(m_window->pendingRows().count(), 0);
        const QList<Sample> unnamed = storedSamples(store->databasePath(), QStringLiteral(""));
        QVERIFY(unnamed.size() >= 3);
        QVERIFY(!unnamed.last().hasValue);
        QCOMPARE(unnamed.last().pointDate, unnamed[unnamed.size() - 2].pointDate + 1);
        QVERIFY(storedSamples(store->databasePath(), serial1).isEmpty());
        QCOMPARE(ProjectFile::readString(path, "record_start_time"),
                 timeText(unnamed.first().pointDate));
        m_window->slotCloseProject();
        m_window.reset();
    }

private:
    SimProcess m_sim;
    std::unique_ptr<TempProjectDir> m_dir;
    std::unique_ptr<VelmoranMain> m_window;
    QString m_strFirstStart;
};

QTEST_MAIN(TestAppRecording)
#include "tst_app_recording.moc"
