#include "device/abstractdevice.h"
#include "device/configureddevice.h"
#include "recordingviews.h"
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

struct StoredRow
{
    QString serialNo;
    QVariant channel1;
    QVariant channel2;
    qint64 pointDate;
};
} // namespace

// The data side of a configured device: reply texts as a link hands them over, decoded
// into value texts, chart buffers, alarm flags and rows in a real SQLite store.
class TestMeasurementDecoding : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_storeCount = 0;
    PendingRowQueue m_rows;
    std::unique_ptr<ConfiguredDevice> m_device;
    QStringList m_log;

    void requestAt(qint64 seconds, int msec = 0)
    {
        m_device->setLastRequestTime(QDateTime::fromMSecsSinceEpoch(seconds * 1000 + msec));
    }

    QList<StoredRow> storedRows()
    {
        InsertSerialData store(m_dir.filePath(QStringLiteral("rows%1.dat").arg(m_storeCount)),
                               QStringLiteral("decoding%1").arg(m_storeCount));
        ++m_storeCount;
        store.setRowQueue(&m_rows);
        if (!store.createConnection() || !store.insertNow())
            return {};
        QList<StoredRow> rows;
        QSqlQuery query(QSqlDatabase::database(store.connectionName()));
        query.exec(QStringLiteral("select serialno, channel1, channel2, pointDate from kestrelix "
                                  "order by pointDate, id"));
        while (query.next())
            rows.append({query.value(0).toString(), query.value(1), query.value(2),
                         query.value(3).toLongLong()});
        return rows;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void init()
    {
        m_rows.clear();
        m_log.clear();
        m_device = std::make_unique<ConfiguredDevice>(SERIAL_NO, LINK_TCP);
        requestAt(T0);
    }

    void cleanup()
    {
        m_device.reset();
        m_rows.clear();
    }

    void oneLineGivesTwoDecimalTextsOneChartPointAndOneRow()
    {
        m_device->startRecording(m_rows);
        requestAt(T0, 250);
        m_device->readData(QStringLiteral("23.4,45.1\n"));

        QVERIFY(m_device->isConnected());
        QCOMPARE(m_device->ch1Value(), QStringLiteral("23.40"));
        QCOMPARE(m_device->ch2Value(), QStringLiteral("45.10"));
        QCOMPARE(m_device->timeData()[239], double(T0) + 0.25);
        QCOMPARE(m_device->ch1Data()[239], 23.4);
        QCOMPARE(m_device->ch2Data()[239], 45.1);
        QCOMPARE(m_device->timeData()[238], NO_VALUE);

        const QList<StoredRow> rows = storedRows();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].serialNo, SERIAL_NO);
        QCOMPARE(rows[0].channel1.toDouble(), 23.4);
        QCOMPARE(rows[0].channel2.toDouble(), 45.1);
        QCOMPARE(rows[0].pointDate, T0);
    }

    void fieldThatIsNotANumberIsNoValueRatherThanZero_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("text1");
        QTest::addColumn<QString>("text2");
        QTest::newRow("no-value marker") << "----,45.1\n"
                                         << "----"
                                         << "45.10";
        QTest::newRow("letters after digits") << "12a,45.1\n"
                                              << "----"
                                              << "45.10";
        QTest::newRow("empty second field") << "23.4,\n"
                                            << "23.40"
                                            << "----";
        QTest::newRow("empty first field") << ",45.1\n"
                                           << "----"
                                           << "45.10";
        QTest::newRow("locale comma is not a decimal point") << "23.4,45;1\n"
                                                             << "23.40"
                                                             << "----";
        QTest::newRow("not finite") << "inf,nan\n"
                                    << "----"
                                    << "----";
    }

    void fieldThatIsNotANumberIsNoValueRatherThanZero()
    {
        QFETCH(QString, reply);
        QFETCH(QString, text1);
        QFETCH(QString, text2);
        m_device->startRecording(m_rows);
        // A channel read as 0.00 would be below these limits and alarm.
        m_device->setAlarmRange(10, 30, 10, 60);
        m_device->readData(reply);

        QCOMPARE(m_device->ch1Value(), text1);
        QCOMPARE(m_device->ch2Value(), text2);
        QCOMPARE(m_device->alarm1(), false);
        QCOMPARE(m_device->alarm2(), false);

        const QList<StoredRow> rows = storedRows();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].channel1.isNull(), text1 == QLatin1String("----"));
        QCOMPARE(rows[0].channel2.isNull(), text2 == QLatin1String("----"));
        QCOMPARE(m_device->ch1Data()[239] == NO_VALUE, text1 == QLatin1String("----"));
        QCOMPARE(m_device->ch2Data()[239] == NO_VALUE, text2 == QLatin1String("----"));
    }

    void twoLinesInOneReplyGiveTwoRowsAndOneChartPoint()
    {
        m_device->startRecording(m_rows);
        m_device->readData(QStringLiteral("23.4,45.1\n23.5,45.2\n"));

        QCOMPARE(m_device->ch1Value(), QStringLiteral("23.50"));
        QCOMPARE(m_device->ch1Data()[239], 23.5);
        QCOMPARE(m_device->timeData()[238], NO_VALUE);

        const QList<StoredRow> rows = storedRows();
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0].channel1.toDouble(), 23.4);
        QCOMPARE(rows[1].channel1.toDouble(), 23.5);
        QCOMPARE(rows[0].pointDate, rows[1].pointDate);
    }

    void refreshReplyIsChartedButNotStored()
    {
        m_device->startRecording(m_rows);
        m_device->readData(QStringLiteral("23.4,45.1\n"));
        m_device->refreshData(); // a manual refresh: its answer is shown, not stored
        m_device->readData(QStringLiteral("24.0,46.0\n"));

        QVERIFY(!m_device->isRefreshPoll());
        QCOMPARE(m_device->ch1Value(), QStringLiteral("24.00"));
        QCOMPARE(m_device->ch1Data()[239], 24.0);
        QCOMPARE(m_device->timeData()[238], NO_VALUE);
        QCOMPARE(m_rows.count(), 1);

        requestAt(T0 + 10);
        m_device->readData(QStringLiteral("25.0,47.0\n"));
        QCOMPARE(m_rows.count(), 2);
    }

    void nothingIsStoredWhileNotRecording()
    {
        m_device->readData(QStringLiteral("23.4,45.1\n"));
        QCOMPARE(m_rows.count(), 0);
        QCOMPARE(m_device->ch1Data()[239], 23.4);
    }

    void replyWithoutValidLinesOnlyMarksTheLoggerConnected()
    {
        m_device->startRecording(m_rows);
        m_device->refreshData();
        m_device->refreshData();
        QCOMPARE(m_device->unansweredPolls(), 2);
        m_device->readData(QStringLiteral("\n23.4\nOK\n"));

        QVERIFY(m_device->isConnected());
        QCOMPARE(m_device->unansweredPolls(), 0);
        QVERIFY(m_device->ch1Value().isEmpty());
        QCOMPARE(m_device->timeData()[239], NO_VALUE);
        QCOMPARE(m_rows.count(), 0);
    }

    void chartBuffersKeepTheNewest240SamplesOldestFirst()
    {
        for (int i = 0; i <= CHART_POINTS; ++i) {
            requestAt(T0 + i);
            m_device->readData(QStringLiteral("%1,%2\n").arg(i).arg(-i));
        }
        double time[CHART_POINTS], ch1[CHART_POINTS], ch2[CHART_POINTS];
        m_device->chartData(time, ch1, ch2);
        QCOMPARE(time[0], double(T0 + 1));
        QCOMPARE(ch1[0], 1.0);
        QCOMPARE(ch2[0], -1.0);
        QCOMPARE(time[239], double(T0 + CHART_POINTS));
        QCOMPARE(ch1[239], double(CHART_POINTS));
        QCOMPARE(ch2[239], -double(CHART_POINTS));
    }

    void displaysReceiveEachLineDetailViewFirst()
    {
        RecordingDetailView chart(&m_log);
        RecordingTile tile1(QStringLiteral("tile1"), &m_log);
        RecordingTile tile2(QStringLiteral("tile2"), &m_log);
        m_device->setChartView(&chart);
        m_device->setDashboardItems(&tile1, &tile2);
        m_device->readData(QStringLiteral("23.4,45.1\n"));

        const QStringList expected{"chart connected KX0001", "tile1 connected KX0001",
                                   "tile2 connected KX0001", "chart 23.40 45.10",
                                   "tile1 value 23.40",      "tile2 value 45.10"};
        QCOMPARE(m_log, expected);
        QCOMPARE(chart.lastCh1[239], 23.4);

        m_device->clearChartView();
        m_device->clearDashboardItems();
        m_log.clear();
        m_device->readData(QStringLiteral("23.4,45.1\n"));
        QVERIFY(m_log.isEmpty());
    }

    void alarmFlagsFollowTheLimits_data()
    {
        QTest::addColumn<QList<float>>("limits");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<bool>("alarm1");
        QTest::addColumn<bool>("alarm2");
        const QList<float> range{10, 30, 10, 30};
        QTest::newRow("lower limit is inside") << range << "10.00,10.00" << false << false;
        QTest::newRow("upper limit is inside") << range << "30.00,30.00" << false << false;
        QTest::newRow("inside") << range << "20.00,20.00" << false << false;
        QTest::newRow("below") << range << "9.99,9.99" << true << true;
        QTest::newRow("above") << range << "30.01,30.01" << true << true;
        const QList<float> twoDecimals{10.1f, 25.3f, -10.1f, 85.55f};
        QTest::newRow("equal to two-decimal limits, upper and lower")
            << twoDecimals << "25.30,-10.10" << false << false;
        QTest::newRow("equal to two-decimal limits, lower and upper")
            << twoDecimals << "10.10,85.55" << false << false;
        QTest::newRow("just past two-decimal limits")
            << twoDecimals << "25.31,-10.11" << true << true;
        QTest::newRow("no range set") << QList<float>{0, 0, 0, 0} << "999,-999" << false << false;
        QTest::newRow("equal limits mean no range")
            << QList<float>{5, 5, 5, 5} << "999,-999" << false << false;
        QTest::newRow("lower above upper alarms every value")
            << QList<float>{30, 10, 30, 10} << "20,20" << true << true;
    }

    void alarmFlagsFollowTheLimits()
    {
        QFETCH(QList<float>, limits);
        QFETCH(QString, reply);
        m_device->setAlarmRange(limits[0], limits[1], limits[2], limits[3]);
        m_device->readData(reply + "\n");
        QTEST(m_device->alarm1(), "alarm1");
        QTEST(m_device->alarm2(), "alarm2");
    }

    void checkAlarmAllFollowsNewLimitsAtOnce()
    {
        m_device->setAlarmRange(10, 30, 10, 30);
        m_device->readData(QStringLiteral("25,----\n"));
        QVERIFY(!m_device->alarm1());
        m_device->setAlarmRange(10, 20, 10, 20);
        m_device->checkAlarmAll();
        QVERIFY(m_device->alarm1());
        QVERIFY(!m_device->alarm2());
        m_device->setAlarmRange(10, 25, 10, 20);
        m_device->checkAlarmAll();
        QVERIFY(!m_device->alarm1());
    }

    void breakRowIsOneSecondAfterTheLastStoredSample()
    {
        m_device->startRecording(m_rows);
        requestAt(T0, 500);
        m_device->readData(QStringLiteral("23.4,45.1\n"));
        requestAt(T0 + 10); // a poll that was never answered
        m_device->insertNoValue(m_rows);

        const QList<StoredRow> rows = storedRows();
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[1].serialNo, SERIAL_NO);
        QVERIFY(rows[1].channel1.isNull());
        QVERIFY(rows[1].channel2.isNull());
        QCOMPARE(rows[1].pointDate, T0 + 1);

        // A recording in which the logger stored nothing has no line to break.
        m_device->insertNoValue(m_rows);
        QVERIFY(storedRows().isEmpty());
    }

    void disconnectionClearsValuesAndAlarmsButKeepsTheCharts()
    {
        RecordingTile tile1(QStringLiteral("tile1"), &m_log);
        m_device->setDashboardItems(&tile1, nullptr);
        m_device->setAlarmRange(10, 30, 10, 30);
        m_device->readData(QStringLiteral("40,50\n"));
        QVERIFY(m_device->alarm1());

        m_device->deviceDisconnected();
        QVERIFY(!m_device->isConnected());
        QVERIFY(!m_device->alarm1());
        QVERIFY(!m_device->alarm2());
        QVERIFY(m_device->ch1Value().isEmpty());
        QCOMPARE(m_device->ch1Data()[239], 40.0);
        QCOMPARE(m_log.last(), QStringLiteral("tile1 disconnected KX0001"));
    }

    void everyReportOfTheLinkIsAnnouncedAlsoWithoutAChange()
    {
        QSignalSpy reports(m_device.get(), &ConfiguredDevice::connectionReported);
        m_device->readData(QStringLiteral("1,2\n"));
        m_device->readData(QStringLiteral("1,2\n"));
        m_device->deviceDisconnected();
        QCOMPARE(reports.count(), 3);
        QCOMPARE(reports.at(1).at(0).toBool(), true);
        QCOMPARE(reports.at(2).at(0).toBool(), false);
    }

    void openRefusesALoggerWithoutLinkType()
    {
        ConfiguredDevice none(QStringLiteral("X"), LINK_NONE);
        QCOMPARE(none.link()->deviceType(), LINK_TCP);
        QVERIFY(!none.open());
        none.requestData();
        QCOMPARE(none.unansweredPolls(), 0);
    }
};

QTEST_MAIN(TestMeasurementDecoding)
#include "tst_measurementdecoding.moc"
