#include "device/abstractdevice.h"
#include "device/configureddevice.h"
#include "device/devicedisplay.h"
#include "store/insertserialdata.h"
#include "store/pendingrowqueue.h"

#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {
const QString SERIAL_NO = QStringLiteral("KX0001");
const qint64 T0 = 1700000000;

// A value as the device shows it.
QString shown(double value)
{
    return value == NO_VALUE ? QStringLiteral("----") : QString::number(value, 'f', 2);
}

// A tile or detail view that writes down what the device pushed into it, in one shared log, so
// that the order of the pushes can be checked across views.
class RecordingView : public DeviceTileView, public DeviceDetailView
{
public:
    RecordingView(const QString &name, QStringList *log) : m_name(name + ' '), m_log(log) {}
    void setValue(const QString &text) override { *m_log << m_name + "value " + text; }
    void updateData(const double *, const double *ch1, const double *, const QString &text1,
                    const QString &text2) override
    {
        *m_log << m_name + text1 + " " + text2 + " " + shown(ch1[CHART_POINTS - 1]);
    }
    void deviceConnected(const QString &n) override { *m_log << m_name + "connected " + n; }
    void deviceDisconnected(const QString &n) override { *m_log << m_name + "disconnected " + n; }

private:
    QString m_name;
    QStringList *m_log;
};
} // namespace

// The data side of a configured device: reply texts as a link hands them over, decoded into
// value texts, chart buffers, alarm flags and rows in a real SQLite store.
class TestMeasurementDecoding : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<InsertSerialData> m_store;
    PendingRowQueue m_rows;
    std::unique_ptr<ConfiguredDevice> m_device;

    void requestAt(qint64 seconds, int msec = 0)
    {
        m_device->setLastRequestTime(QDateTime::fromMSecsSinceEpoch(seconds * 1000 + msec));
    }

    // The queued rows written into the store, read back and removed: "serial ch1/ch2@seconds
    // after T0".
    QStringList storedRows()
    {
        if (!m_store->insertNow())
            return {QStringLiteral("<insert failed>")};
        QStringList rows;
        QSqlQuery query(QSqlDatabase::database(m_store->connectionName()));
        query.exec("select serialno, channel1, channel2, pointDate from kestrelix "
                   "order by pointDate, id");
        while (query.next()) {
            const auto value = [&](int column) {
                return shown(query.isNull(column) ? NO_VALUE : query.value(column).toDouble());
            };
            rows << query.value(0).toString() + ' ' + value(1) + '/' + value(2) + '@' +
                        QString::number(query.value(3).toLongLong() - T0);
        }
        query.exec("delete from kestrelix");
        return rows;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_store = std::make_unique<InsertSerialData>(m_dir.filePath("rows.dat"), "decoding");
        m_store->setRowQueue(&m_rows);
        QVERIFY(m_store->createConnection());
        QSqlQuery(QSqlDatabase::database(m_store->connectionName())).exec("pragma synchronous=off");
    }

    void cleanupTestCase() { m_store.reset(); }

    void init()
    {
        m_rows.clear();
        m_device = std::make_unique<ConfiguredDevice>(SERIAL_NO, LINK_TCP);
        requestAt(T0, 250);
    }

    void cleanup()
    {
        m_device.reset();
        m_rows.clear();
    }

    // One recorded reply under alarm limits (ch1 min, max, ch2 min, max): "<texts> <alarm
    // flags> <rows stored>"; the newest chart point and the last row hold the texts' values.
    void replyIsDecodedIntoTextsAlarmsChartAndRows_data()
    {
        QTest::addColumn<QString>("limits");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("decoded");
        // A channel read as 0.00 would be below the "wide" limits and alarm.
        const char *none = "0 0 0 0", *wide = "10 30 10 60", *range = "10 30 10 30";
        const char *twoDecimals = "10.1 25.3 -10.1 85.55";
        const struct
        {
            const char *row, *limits, *reply, *decoded;
        } rows[] = {
            {"one line", none, "23.4,45.1", "23.40 45.10 00 1"},
            {"no-value marker", wide, "----,45.1", "---- 45.10 00 1"},
            {"letters after digits", wide, "12a,45.1", "---- 45.10 00 1"},
            {"empty second field", wide, "23.4,", "23.40 ---- 00 1"},
            {"empty first field", wide, ",45.1", "---- 45.10 00 1"},
            {"locale comma is no decimal point", wide, "23.4,45;1", "23.40 ---- 00 1"},
            {"not finite", wide, "inf,nan", "---- ---- 00 1"},
            {"two lines: two rows, one chart point", none, "23.4,45.1\n23.5,45.2",
             "23.50 45.20 00 2"},
            {"no valid line", range, "\n23.4\nOK", "  00 0"},
            {"below, above", range, "9.99,30.01", "9.99 30.01 11 1"},
            {"at the limits, inside", twoDecimals, "25.30,-10.10", "25.30 -10.10 00 1"},
            {"at the other limits, inside", twoDecimals, "10.10,85.55", "10.10 85.55 00 1"},
            {"just past the limits", twoDecimals, "25.31,-10.11", "25.31 -10.11 11 1"},
            {"no range set", none, "999,-999", "999.00 -999.00 00 1"},
            {"equal limits mean no range", "5 5 5 5", "999,-999", "999.00 -999.00 00 1"},
            {"lower above upper alarms always", "30 10 30 10", "20,20", "20.00 20.00 11 1"},
        };
        for (const auto &r : rows)
            QTest::newRow(r.row) << r.limits << QString(r.reply) + '\n' << r.decoded;
    }

    void replyIsDecodedIntoTextsAlarmsChartAndRows()
    {
        QFETCH(QString, limits);
        QFETCH(QString, reply);
        const QStringList l = limits.split(' ');
        m_device->startRecording(m_rows);
        m_device->setAlarmRange(l[0].toFloat(), l[1].toFloat(), l[2].toFloat(), l[3].toFloat());
        // A manual refresh left unanswered must not keep the next timed answer from the store.
        m_device->refreshData();
        m_device->requestData();
        requestAt(T0, 250);
        QCOMPARE(m_device->unansweredPolls(), 2);
        m_device->readData(reply);

        QVERIFY(m_device->isConnected());
        QCOMPARE(m_device->unansweredPolls(), 0);
        const QStringList rows = storedRows();
        const QString texts = m_device->ch1Value() + ' ' + m_device->ch2Value();
        QTEST(QStringLiteral("%1 %2%3 %4")
                  .arg(texts)
                  .arg(int(m_device->alarm1()))
                  .arg(int(m_device->alarm2()))
                  .arg(rows.size()),
              "decoded");
        if (rows.isEmpty()) {
            QCOMPARE(m_device->timeData()[CHART_POINTS - 1], NO_VALUE);
            return;
        }
        QCOMPARE(m_device->timeData()[CHART_POINTS - 2], NO_VALUE);
        QCOMPARE(m_device->timeData()[CHART_POINTS - 1], double(T0) + 0.25);
        QCOMPARE(shown(m_device->ch1Data()[CHART_POINTS - 1]) + ' ' +
                     shown(m_device->ch2Data()[CHART_POINTS - 1]),
                 texts);
        QCOMPARE(rows.last(), SERIAL_NO + ' ' + texts.split(' ').join('/') + "@0");
    }

    // Recording over time: a manual refresh is shown, not stored; nothing is stored while not
    // recording; the charts keep the newest 240 samples; a break row follows the last sample.
    void recordingKeepsTimedSamplesOnly()
    {
        for (int i = 0; i <= CHART_POINTS; ++i) {
            requestAt(T0 + i);
            m_device->readData(QStringLiteral("%1,%2\n").arg(i).arg(-i));
        }
        QCOMPARE(m_rows.count(), 0);
        double time[CHART_POINTS], ch1[CHART_POINTS], ch2[CHART_POINTS];
        m_device->chartData(time, ch1, ch2);
        QCOMPARE(QStringLiteral("%1 %2 %3").arg(time[0] - T0).arg(ch1[0]).arg(ch2[0]), "1 1 -1");
        QCOMPARE(
            QStringLiteral("%1 %2 %3").arg(time[CHART_POINTS - 1] - T0).arg(ch1[239]).arg(ch2[239]),
            "240 240 -240");

        m_device = std::make_unique<ConfiguredDevice>(SERIAL_NO, LINK_TCP);
        // A recording in which the logger stored nothing has no line to break.
        m_device->insertNoValue(m_rows);
        QCOMPARE(m_rows.count(), 0);
        m_device->startRecording(m_rows);
        requestAt(T0, 500);
        m_device->readData(QStringLiteral("23.4,45.1\n"));
        m_device->refreshData();
        QCOMPARE(m_device->lastRequestTime().toMSecsSinceEpoch(), T0 * 1000 + 500);
        m_device->readData(QStringLiteral("24.0,46.0\n"));
        QVERIFY(!m_device->isRefreshPoll());
        QCOMPARE(m_device->ch1Value(), QStringLiteral("24.00"));
        QCOMPARE(m_device->ch1Data()[239], 24.0);
        QCOMPARE(m_device->timeData()[238], NO_VALUE);
        QCOMPARE(m_rows.count(), 1);
        requestAt(T0 + 10); // a poll that was never answered
        m_device->insertNoValue(m_rows);
        QCOMPARE(storedRows(), QStringList({"KX0001 23.40/45.10@0", "KX0001 ----/----@1"}));
        m_device->insertNoValue(m_rows);
        QCOMPARE(m_rows.count(), 0);
    }

    void displaysAlarmsAndConnectionReports()
    {
        QStringList log;
        RecordingView chart("chart", &log), tile1("tile1", &log), tile2("tile2", &log);
        QSignalSpy reports(m_device.get(), &ConfiguredDevice::connectionReported);
        m_device->setChartView(&chart);
        m_device->setDashboardItems(&tile1, &tile2);
        m_device->setAlarmRange(10, 30, 10, 30);
        m_device->readData(QStringLiteral("25,----\n"));
        QCOMPARE(log, QStringList({"chart connected KX0001", "tile1 connected KX0001",
                                   "tile2 connected KX0001", "chart 25.00 ---- 25.00",
                                   "tile1 value 25.00", "tile2 value ----"}));

        // New limits apply to the shown values at once.
        m_device->setAlarmRange(10, 20, 10, 20);
        m_device->checkAlarmAll();
        QVERIFY(m_device->alarm1() && !m_device->alarm2());
        m_device->setAlarmRange(10, 25, 10, 20);
        m_device->checkAlarmAll();
        QVERIFY(!m_device->alarm1());

        m_device->readData(QStringLiteral("40,50\n"));
        QVERIFY(m_device->alarm1() && m_device->alarm2());
        m_device->clearChartView();
        log.clear();
        m_device->deviceDisconnected();
        QVERIFY(!m_device->isConnected() && !m_device->alarm1() && !m_device->alarm2());
        QVERIFY(m_device->ch1Value().isEmpty());
        QCOMPARE(m_device->ch1Data()[239], 40.0);
        QCOMPARE(log, QStringList({"tile1 disconnected KX0001", "tile2 disconnected KX0001"}));
        // Every report of the link is announced, also without a change.
        QCOMPARE(reports.count(), 3);
        QCOMPARE(reports.at(1).at(0).toBool(), true);
        QCOMPARE(reports.at(2).at(0).toBool(), false);

        m_device->clearDashboardItems();
        log.clear();
        m_device->readData(QStringLiteral("23.4,45.1\n"));
        QVERIFY(log.isEmpty());

        ConfiguredDevice none(QStringLiteral("X"), LINK_NONE);
        QCOMPARE(none.link()->deviceType(), LINK_TCP);
        QVERIFY(!none.open());
        none.requestData();
        QCOMPARE(none.unansweredPolls(), 0);
    }
};

QTEST_MAIN(TestMeasurementDecoding)
#include "tst_measurementdecoding.moc"
