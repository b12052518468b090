// Replies that arrive in pieces or carry nonsense, through the whole recording program over
// loopback TCP: what is a sample is stored once with the value the logger sent, what is not
// is stored as no value or dropped, and the reply after it is read as if nothing happened.
#include "app/velmoranmain.h"
#include "device/configureddevice.h"
#include "device/devicetypes.h"
#include "store/insertserialdata.h"
#include "tests/faults/recordingrig.h"
#include "tests/support/simprocess.h"
#include "tests/support/tempproject.h"
#include "tests/support/testsettings.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

namespace {
constexpr int NEWEST = CHART_POINTS - 1;

bool ok(const QString &reply)
{
    return reply.startsWith(QStringLiteral("ok"));
}

// The simulator's answer n of logger tcp0 (index 0, drift 1 per answer). The drift keeps
// any two answers apart: a batch keeps one of several identical rows, and polls here come
// many to the second.
double expectedCh1(int n)
{
    return 20 + (n % 10) * 0.1 + n;
}

double expectedCh2(int n)
{
    return 40 + (n % 5) * 0.5;
}

bool near(double a, double b)
{
    return qAbs(a - b) < 1e-6;
}

struct StoredRow
{
    QVariant ch1, ch2;
};

QList<StoredRow> storedRows(const QString &databasePath, const QString &serial)
{
    QList<StoredRow> rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "replyreader");
        db.setDatabaseName(databasePath);
        if (db.open()) {
            QSqlQuery query(db);
            query.prepare(
                "select channel1, channel2 from kestrelix where serialno = ? order by id");
            query.addBindValue(serial);
            if (query.exec()) {
                while (query.next())
                    rows.append({query.value(0), query.value(1)});
            }
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("replyreader"));
    return rows;
}
} // namespace

class TestFaultsReplies : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void aReplySplitAtAnyBytePositionIsStoredAsOneSample();
    void garbageAndOversizedNumbersAreStoredAsNoValue();
    void aLineLongerThanTheBufferIsDroppedAndTheNextReplyIsRead();
    void aNulByteEndsTheReplyAndWhatFollowsIsIgnored();

private:
    int answersSoFar() { return simCount(m_sim.command("count tcp0")); }

    SimProcess m_sim;
    std::unique_ptr<TempProjectDir> m_dir;
};

void TestFaultsReplies::initTestCase()
{
    isolateSettings();
    QVERIFY(m_sim.start(
        {"--tcp", "2", "--tcp-base-port", "0", "--drift", "tcp0:1", "--drift", "tcp1:1"}));
}

void TestFaultsReplies::init()
{
    m_dir = std::make_unique<TempProjectDir>();
}

void TestFaultsReplies::cleanup()
{
    m_sim.command("fault tcp0 none");
    m_sim.command("auto tcp0");
}

void TestFaultsReplies::aReplySplitAtAnyBytePositionIsStoredAsOneSample()
{
    const int first = answersSoFar();
    RecordingRig rig(&m_sim);
    QVERIFY2(rig.open(m_dir->path(), {"tcp0", "tcp1"}), qPrintable(rig.failure()));
    ConfiguredDevice *device = rig.device("tcp0");
    // "ATDC 23.30,40.50\r\n": 18 bytes or a few more as the drift grows; the first and
    // the last position leave one of the two writes empty.
    const int length = 18 + QString::number(int(expectedCh1(first + 20))).size() - 2;
    for (int position = 0; position <= length; ++position) {
        QVERIFY(ok(m_sim.command(QStringLiteral("fault tcp0 split %1 15").arg(position))));
        QVERIFY2(rig.pollAndWait({"tcp0", "tcp1"}), qPrintable(QString::number(position)));
        const int n = answersSoFar() - 1;
        QVERIFY2(
            near(device->ch1Data()[NEWEST], expectedCh1(n)),
            qPrintable(
                QStringLiteral("split at %1: %2").arg(position).arg(device->ch1Data()[NEWEST])));
        QVERIFY(near(device->ch2Data()[NEWEST], expectedCh2(n)));
        QVERIFY(device->isConnected());
    }

    QString why;
    QVERIFY2(rig.everyAnswerStoredOnce({"tcp0", "tcp1"}, &why), qPrintable(why));
    const QList<StoredRow> rows = storedRows(rig.databasePath(), rig.serialOf("tcp0"));
    QCOMPARE(rows.size(), length + 2 + 1);
    for (int i = 0; i < length + 2; ++i) {
        QVERIFY(near(rows.at(i).ch1.toDouble(), expectedCh1(first + i)));
        QVERIFY(near(rows.at(i).ch2.toDouble(), expectedCh2(first + i)));
    }
}

void TestFaultsReplies::garbageAndOversizedNumbersAreStoredAsNoValue()
{
    RecordingRig rig(&m_sim);
    QVERIFY2(rig.open(m_dir->path(), {"tcp0", "tcp1"}), qPrintable(rig.failure()));
    ConfiguredDevice *device = rig.device("tcp0");
    InsertSerialData *store = rig.window()->store();
    QVERIFY(store->insertNow());

    // Each poll is its own batch: a batch keeps one of several identical rows, and the
    // no-value rows of one logger within one second are identical.
    for (const char *fault : {"garbage", "garbage", "longline", "garbage", "longline"}) {
        QVERIFY(ok(m_sim.command(QStringLiteral("fault tcp0 ") + QLatin1String(fault))));
        QVERIFY(rig.pollAndWait({"tcp0", "tcp1"}));
        QCOMPARE(device->ch1Value(), QStringLiteral("----"));
        QCOMPARE(device->ch1Data()[NEWEST], NO_VALUE);
        QVERIFY(device->isConnected());
        QVERIFY(store->insertNow());
    }
    QVERIFY(ok(m_sim.command("fault tcp0 none")));
    QVERIFY(rig.pollAndWait({"tcp0", "tcp1"}));
    QVERIFY(near(device->ch1Data()[NEWEST], expectedCh1(answersSoFar() - 1)));

    QString why;
    QVERIFY2(rig.everyAnswerStoredOnce({"tcp0", "tcp1"}, &why), qPrintable(why));
    const QList<StoredRow> rows = storedRows(rig.databasePath(), rig.serialOf("tcp0"));
    // The load poll, five rows without a value, one with, the gap row of the stop.
    QCOMPARE(rows.size(), 8);
    for (int i = 1; i <= 5; ++i)
        QVERIFY(rows.at(i).ch1.isNull() && rows.at(i).ch2.isNull());
    QVERIFY(!rows.at(6).ch1.isNull());
}

void TestFaultsReplies::aLineLongerThanTheBufferIsDroppedAndTheNextReplyIsRead()
{
    RecordingRig rig(&m_sim);
    QVERIFY2(rig.open(m_dir->path(), {"tcp0", "tcp1"}), qPrintable(rig.failure()));
    ConfiguredDevice *device = rig.device("tcp0");
    const double before = device->ch1Data()[NEWEST];

    const QString longLine =
        QStringLiteral("ATDC ") + QString(6000, '7') + QStringLiteral(",1\\r\\n");
    QVERIFY(ok(m_sim.command(QStringLiteral("raw tcp0 ") + longLine)));
    const int answered = answersSoFar();
    QVERIFY(rig.pollAndWait({"tcp1"}));
    QTRY_COMPARE(answersSoFar(), answered + 1);
    QVERIFY(ok(m_sim.command("auto tcp0")));
    QVERIFY(rig.pollAndWait({"tcp0", "tcp1"}));
    // Nothing of the long line is left in front of the next reply.
    QVERIFY(near(device->ch1Data()[NEWEST], expectedCh1(answersSoFar() - 1)));
    QVERIFY(near(device->ch1Data()[NEWEST - 1], before));
    QVERIFY(near(device->ch2Data()[NEWEST], expectedCh2(answersSoFar() - 1)));

    QString why;
    QVERIFY2(rig.everyAnswerStoredOnce({"tcp0", "tcp1"}, &why, {{"tcp0", 1}}), qPrintable(why));
}

void TestFaultsReplies::aNulByteEndsTheReplyAndWhatFollowsIsIgnored()
{
    RecordingRig rig(&m_sim);
    QVERIFY2(rig.open(m_dir->path(), {"tcp0", "tcp1"}), qPrintable(rig.failure()));
    ConfiguredDevice *device = rig.device("tcp0");
    QVERIFY(ok(m_sim.command("fault tcp0 nul")));
    for (int poll = 0; poll < 3; ++poll) {
        QVERIFY(rig.pollAndWait({"tcp0", "tcp1"}));
        QVERIFY(near(device->ch1Data()[NEWEST], expectedCh1(answersSoFar() - 1)));
    }

    QString why;
    QVERIFY2(rig.everyAnswerStoredOnce({"tcp0", "tcp1"}, &why), qPrintable(why));
    for (const StoredRow &row : storedRows(rig.databasePath(), rig.serialOf("tcp0")))
        QVERIFY(row.ch1.toDouble() < 999);
}

QTEST_MAIN(TestFaultsReplies)
#include "tst_faults_replies.moc"
