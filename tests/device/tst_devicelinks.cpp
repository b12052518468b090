#include "device/abstractdevice.h"
#include "device/configureddevice.h"
#include "device/devicedisplay.h"
#include "device/serialdevice.h"
#include "device/telnetdevice.h"
#include "store/insertserialdata.h"
#include "store/pendingrowqueue.h"
#include "tests/support/simprocess.h"

#include <QFileInfo>
#include <QProcess>
#include <QSerialPort>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <memory>
#include <utility>

namespace {
const QString SERIAL_NO = QStringLiteral("KX0001");
const qint64 T0 = 1700000000;

QString shown(double value)
{
    return value == NO_VALUE ? QStringLiteral("----") : QString::number(value, 'f', 2);
}

// A tile or detail view that writes what the device pushed into one log shared across views.
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
    QString m_name;
    QStringList *m_log;
};
// The logger's end of a pseudo-terminal: the test writes replies into the master and reads back
// what the link sent, while the link opens the slave as its serial port.
struct PtyPair
{
    int master = -1, slave = -1;
    QString slavePath;
    PtyPair()
    {
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return;
        termios raw;
        tcgetattr(slave, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave, TCSANOW, &raw);
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        slavePath = QString::fromLocal8Bit(name);
    }
    ~PtyPair() { closeMaster(), ::close(slave); }
    void closeMaster() { ::close(std::exchange(master, -1)); }
    QByteArray takeReceived()
    {
        char buffer[512];
        const ssize_t n = ::read(master, buffer, sizeof(buffer));
        return n > 0 ? QByteArray(buffer, int(n)) : QByteArray();
    }
};
QByteArray formula(const char *marker, int index, int n)
{
    return QByteArray(marker) + ' ' + QByteArray::number(20 + index + (n % 10) * 0.1, 'f', 2) +
           ',' + QByteArray::number(40 + index + (n % 5) * 0.5, 'f', 2) + "\r\n";
}

// Writes the request and reads until the received bytes end with CR LF (or 3 s pass).
QByteArray ask(QIODevice &io, const QByteArray &request)
{
    QByteArray data;
    io.write(request);
    while (!data.endsWith("\r\n") && io.waitForReadyRead(3000))
        data += io.readAll();
    return data;
}

} // namespace

// A configured device's decoding, alarms, charts and rows (in real SQLite), the simulator, and the
// links (serial on a real pty, TCP to the simulator) under the poll and setup engine.
class TestDeviceLinks : public QObject
{
    Q_OBJECT

    QTemporaryDir m_links;
    SimProcess m_sim;
    std::unique_ptr<InsertSerialData> m_store;
    PendingRowQueue m_rows;
    QStringList m_collected;

    std::unique_ptr<PtyPair> m_pty;
    std::unique_ptr<SerialDevice> m_serial;
    std::unique_ptr<ConfiguredDevice> m_device;
    std::unique_ptr<QSignalSpy> m_arrivals, m_replies, m_samples, m_reports, m_success, m_failure,
        m_connections;
    QTcpSocket *m_socket = nullptr;

    template <typename... Owned> static void resetInOrder(Owned &...owned) { (owned.reset(), ...); }

    void sim(const QString &line) { QCOMPARE(m_sim.command(line).left(2), QStringLiteral("ok")); }

    QString received(const QString &id = "tcp0") { return m_sim.command("received " + id).mid(3); }

    QString receivedUntil(const QString &expected, const QString &id = "tcp0")
    {
        QStringList lines;
        const auto done = [&] {
            (lines << received(id)).removeAll(QString());
            return lines.join('|') == expected;
        };
        return QTest::qWaitFor(done) ? expected : lines.join('|');
    }

    void openSerial()
    {
        m_pty = std::make_unique<PtyPair>();
        QVERIFY(m_pty->master >= 0);
        m_serial = std::make_unique<SerialDevice>();
        m_replies = std::make_unique<QSignalSpy>(m_serial.get(), &SerialDevice::readyRead);
        m_serial->setDeviceInfo(m_pty->slavePath, 23);
        QVERIFY(m_serial->open());
        m_arrivals = std::make_unique<QSignalSpy>(m_serial->findChild<QSerialPort *>(),
                                                  &QSerialPort::readyRead);
    }

    void arrive(const QByteArray &bytes)
    {
        const int before = m_arrivals->count();
        QCOMPARE(::write(m_pty->master, bytes.constData(), bytes.size()), ssize_t(bytes.size()));
        QTRY_VERIFY(m_arrivals->count() > before);
    }

    QString replies()
    {
        QStringList texts;
        while (!m_replies->isEmpty())
            texts << m_replies->takeFirst().at(0).toString();
        return texts.join('|');
    }

    void makeDevice(const QString &id, int interval = 10000)
    {
        const SimProcess::Logger logger = m_sim.logger(id);
        m_device = std::make_unique<ConfiguredDevice>(
            logger.deviceNumber, logger.kind == QLatin1String("USB") ? LINK_SERIAL : LINK_TCP);
        m_device->setPollInterval(interval);
        m_device->setConnection("Line 1", "Temp", "Hum", logger.address, logger.port);
        const auto spy = [this](auto signal) {
            return std::make_unique<QSignalSpy>(m_device.get(), signal);
        };
        m_samples = spy(&ConfiguredDevice::sampleReceived);
        m_reports = spy(&ConfiguredDevice::connectionReported);
        m_success = spy(&ConfiguredDevice::buzzerSyncSuccess);
        m_failure = spy(&ConfiguredDevice::buzzerSyncError);
        m_socket = dynamic_cast<QObject *>(m_device->link())->findChild<QTcpSocket *>();
        if (m_socket)
            m_connections = std::make_unique<QSignalSpy>(m_socket, &QTcpSocket::connected);
    }

    TelnetDevice *deviceTelnet() const { return static_cast<TelnetDevice *>(m_device->link()); }

    int disconnections() const { return int(m_reports->count(QVariantList{false})); }

    bool answeredPoll()
    {
        const int before = m_samples->count();
        m_device->requestData();
        return QTest::qWaitFor([&] { return m_samples->count() > before; }, 3000);
    }

    void startSetup()
    {
        m_device->setPendingAlarmRange(20, 30, -10, 85.5f);
        m_device->setPendingBuzzerAlarm(QStringLiteral("OR"));
        m_device->startSyncTelnet();
    }

    void requestAt(qint64 seconds, int msec = 0)
    {
        m_device->setLastRequestTime(QDateTime::fromMSecsSinceEpoch(seconds * 1000 + msec));
    }

    // The queued rows written into the store, read back and removed: "serial ch1/ch2@(s - T0)".
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

public Q_SLOTS:
    void collect(const QString &text) { m_collected << text; }

private Q_SLOTS:
    void cleanupTestCase() { m_store.reset(); }
    void initTestCase()
    {
        QVERIFY(m_sim.start({"--tcp", "3", "--tcp-base-port", "0", "--usb", "2", "--usb-link-dir",
                             m_links.path()}));
        m_store = std::make_unique<InsertSerialData>(m_links.filePath("rows.dat"), "decoding");
        m_store->setRowQueue(&m_rows);
        QVERIFY(m_store->createConnection());
        QSqlQuery(QSqlDatabase::database(m_store->connectionName())).exec("pragma synchronous=off");
        QVERIFY(m_sim.logger("tcp0").port != 0 && !m_sim.logger("usb0").address.isEmpty());
    }

    void init()
    {
        for (const QString id : {"tcp0", "usb0"}) {
            sim(QStringLiteral("fault %1 none").arg(id));
            sim(QStringLiteral("values %1 21.5 40.2").arg(id));
            received(id);
        }
        m_rows.clear();
        m_device = std::make_unique<ConfiguredDevice>(SERIAL_NO, LINK_TCP);
        requestAt(T0, 250);
    }

    void cleanup()
    {
        resetInOrder(m_success, m_failure, m_reports, m_samples, m_device, m_connections, m_replies,
                     m_arrivals, m_serial, m_pty);
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
        const char *const rows[][4] = {
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
            {"equal limits mean no range", "5 5 5 5", "999,-999", "999.00 -999.00 00 1"},
            {"lower above upper alarms always", "30 10 30 10", "20,20", "20.00 20.00 11 1"},
        };
        for (const auto &r : rows)
            QTest::newRow(r[0]) << QString(r[1]) << QString(r[2]) + '\n' << QString(r[3]);
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
        QTEST(texts + QString::asprintf(" %d%d %d", int(m_device->alarm1()),
                                        int(m_device->alarm2()), int(rows.size())),
              "decoded");
        QCOMPARE(m_device->timeData()[CHART_POINTS - 2], NO_VALUE);
        QCOMPARE(m_device->timeData()[CHART_POINTS - 1], rows.isEmpty() ? NO_VALUE : T0 + 0.25);
        if (rows.isEmpty())
            return;
        QCOMPARE(shown(m_device->ch1Data()[CHART_POINTS - 1]) + ' ' +
                     shown(m_device->ch2Data()[CHART_POINTS - 1]),
                 texts);
        QCOMPARE(rows.last(), SERIAL_NO + ' ' + texts.split(' ').join('/') + "@0");
    }

    // Recording over time: a manual refresh is shown, not stored; nothing is stored while not
    // recording; the charts keep the newest 240 samples; a break row follows the last sample.
    // Then the views and connection reports of a fresh device.
    void recordingKeepsTimedSamplesOnlyThenViewsAndReports()
    {
        for (int i = 0; i <= CHART_POINTS; ++i) {
            requestAt(T0 + i);
            m_device->readData(QStringLiteral("%1,%2\n").arg(i).arg(-i));
        }
        QCOMPARE(m_rows.count(), 0);
        double time[CHART_POINTS], ch1[CHART_POINTS], ch2[CHART_POINTS];
        m_device->chartData(time, ch1, ch2);
        QCOMPARE(QList<double>({time[0] - T0, ch1[0], ch2[0], time[239] - T0, ch1[239], ch2[239]}),
                 QList<double>({1, 1, -1, 240, 240, -240}));

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

        m_device = std::make_unique<ConfiguredDevice>(SERIAL_NO, LINK_TCP);
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
        QCOMPARE(reports, QList<QVariantList>({{true}, {true}, {false}}));

        m_device->clearDashboardItems();
        log.clear();
        m_device->readData(QStringLiteral("23.4,45.1\n"));
        QVERIFY(log.isEmpty());

        ConfiguredDevice none(QStringLiteral("X"), LINK_NONE);
        QVERIFY(none.link()->deviceType() == LINK_TCP && !none.open());
        none.requestData();
        QCOMPARE(none.unansweredPolls(), 0);
    }
    // The simulator's loggers byte by byte; end of standard input does not end a simulator, a
    // signal does, with exit code 0.
    void simulatorLoggersAnswerAsTold()
    {
        const SimProcess::Logger logger = m_sim.logger("tcp2"), usb = m_sim.logger("usb1");
        QCOMPARE(logger.kind + ' ' + logger.address + ' ' + logger.deviceNumber,
                 "TCP 127.0.0.1 024B58000002");
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, logger.port);
        QVERIFY(socket.waitForConnected(3000));
        // A request arriving in pieces is answered once complete.
        for (const char *piece : {"AT", "DC\r"}) {
            QVERIFY(socket.write(piece) && socket.flush());
            QTest::qWait(20);
        }
        QCOMPARE(ask(socket, "\n"), formula("ATDC", 2, 0));
        QCOMPARE(m_sim.command("received tcp2"), QString("ok ATDC"));
        for (int n = 1; n < 12; ++n)
            QCOMPARE(ask(socket, "ATDC\r\n"), formula("ATDC", 2, n));
        sim("raw tcp2 X\\x41\\0Y \\r\\n");
        QCOMPARE(ask(socket, "ATDC\r\n"), QByteArray("XA\0Y \r\n", 7));
        sim("auto tcp2");
        QCOMPARE(ask(socket, "ATBSET\r\n"), QByteArray("OK\r\n"));
        socket.close();
        QCOMPARE(m_sim.command("count tcp2") + m_sim.command("setup tcp2").right(6), "ok 13 SET=1");
        for (const char *command :
             {"frobnicate tcp0", "count tcp9", "fault tcp0 split 3", "reset usb0"})
            QVERIFY(m_sim.command(command).startsWith("err "));

        QCOMPARE(usb.kind + ' ' + usb.deviceNumber + ' ' + usb.address,
                 "USB KX0002 " + m_links.filePath("ttyKX1"));
        QVERIFY(QFileInfo(usb.address).symLinkTarget().startsWith("/dev/pts/"));
        QSerialPort port(usb.address);
        QVERIFY(port.open(QIODevice::ReadWrite) && port.write("ATC") == 3 && port.flush());
        QCOMPARE(ask(port, "D\r\n"), formula("ATCD", 1, 0));
        QCOMPARE(ask(port, "ATCD\r\n"), formula("ATCD", 1, 1));
        port.close();
        QCOMPARE(m_sim.command("count usb1"), QString("ok 2"));

        QProcess process;
        process.start(KESTRELIX_SIM_PATH, {"--tcp", "1", "--usb", "1"});
        QByteArray output;
        while (!output.contains("READY") && process.waitForReadyRead(3000))
            output += process.readAllStandardOutput();
        process.closeWriteChannel();
        socket.connectToHost(QHostAddress::LocalHost, output.split(' ').value(4).toUShort());
        QVERIFY(socket.waitForConnected(3000));
        QCOMPARE(ask(socket, "ATDC\r\n"), formula("ATDC", 0, 0));
        QVERIFY(!process.waitForFinished(100));
        QCOMPARE(::kill(pid_t(process.processId()), SIGTERM), 0);
        QVERIFY(process.waitForFinished(3000));
        QVERIFY(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0);
    }

    void serialLinkOnAPseudoTerminal()
    {
        openSerial();
        QSignalSpy lost(m_serial.get(), &SerialDevice::disconnected);
        QCOMPARE(m_serial->deviceInfo(), m_pty->slavePath.mid(5)); // Qt drops the "/dev/"
        // A refused modem-line ioctl (no DTR on a pty) is no failure.
        QSerialPort *port = m_serial->findChild<QSerialPort *>();
        QVERIFY(!port->setDataTerminalReady(true));
        QCOMPARE(port->error(), QSerialPort::UnsupportedOperationError);
        QVERIFY(lost.isEmpty() && m_serial->isOpen());

        // A holder of the interface connects by signature texts.
        AbstractDevice *link =
            qobject_cast<AbstractDevice *>(static_cast<QObject *>(m_serial.get()));
        QVERIFY(link && link->deviceType() == LINK_SERIAL);
        QVERIFY(link->connect(SIGNAL(readyRead(QString)), this, SLOT(collect(QString))));
        link->write();
        QByteArray sent;
        QTRY_VERIFY((sent += m_pty->takeReceived()).size() >= 6);
        QCOMPARE(sent, QByteArray("ATCD\r\n"));
        arrive("ATCD 1,2\r\n");
        QVERIFY(link->disconnect(SIGNAL(readyRead(QString)), this, SLOT(collect(QString))));
        arrive("ATCD 3,4\r\n");
        QCOMPARE(m_collected, QStringList{"1,2\n"});
        QCOMPARE(replies(), "1,2\n|3,4\n");

        // A vanished logger is reported once, not again on every event-loop turn.
        m_pty->closeMaster();
        QTRY_VERIFY(lost.count() >= 1);
        QVERIFY(!m_serial->isOpen());
        for (int turn = 0; turn < 20; ++turn)
            QCoreApplication::processEvents();
        QCOMPARE(lost.count(), 1);

        // A port that cannot be written or opened reports disconnected at every poll.
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("\\[ERROR\\] SerialDevice::writeCommand"));
        m_serial->write();
        m_serial->write();
        QCOMPARE(lost.count(), 3);
        m_serial->setDeviceInfo("/dev/velmoran-no-such-port", 0);
        QVERIFY(!m_serial->open() && !m_serial->isOpen());
        QCOMPARE(lost.count(), 4);
    }

    // The arrivals ('|' between them, '~' for a NUL; "<reopen>" closes and opens the link,
    // "<poll>" sends the next request) and the reply texts after each ("" for none).
    void serialArrivalsBecomeReplyTexts_data()
    {
        QTest::addColumn<QString>("arrivals");
        QTest::addColumn<QString>("replies");
        const char *const rows[][3] = {
            {"marker, CR and spaces go", "ATCD 23.4,45.6\r\n", "23.4,45.6\n"},
            {"two markers in one arrival give one text", "ATCD1,2\nATCD3,4\n", "1,2\n3,4\n"},
            {"bytes after a NUL are ignored", "ATCD 1,2\r\n~ATCD 999,999\r\n", "1,2\n"},
            {"a NUL ends an unfinished reply", "ATCD 1,2~junk|ATCD 3,4\r\n", "1,2|3,4\n"},
            {"a complete line goes on while the next waits", "ATCD 1,2\r\nATCD 3,|4\r\n",
             "1,2\n|3,4\n"},
            {"a reply without marker is dropped", "23.4,45.6\r\n|ATCD 1,2\r\n", "|1,2\n"},
            {"a lone CR ends a line", "ATCD 1,2\rATCD 3,4\r", "1,2\n3,4\n"},
            {"a CR LF split between arrivals ends one line", "ATCD 1,2\r|\nATCD 3,4\r\n",
             "1,2\n|3,4\n"},
            {"an overlong line is dropped up to its end", "ATCD <long>|7,12\r\n|ATCD 1,2\r\n",
             "||1,2\n"},
            {"closing drops an unfinished piece", "ATCD 23.4,|<reopen>|ATCD 1,2\r\n", "||1,2\n"},
            {"the next request drops an unfinished piece", "ATCD 23.4,|<poll>|ATCD 1,2\r\n",
             "||1,2\n"},
        };
        for (const auto &r : rows)
            QTest::newRow(r[0]) << QString(r[1]) << QString(r[2]);
    }

    void serialArrivalsBecomeReplyTexts()
    {
        QFETCH(QString, arrivals);
        QFETCH(QString, replies);
        openSerial();
        const QStringList expected = replies.split('|');
        for (int i = 0; i < expected.size(); ++i) {
            const QString arrival = arrivals.section('|', i, i);
            if (arrival == "<reopen>") {
                m_serial->close();
                QVERIFY(m_serial->open());
            } else if (arrival == "<poll>") {
                m_serial->write();
            } else {
                arrive(
                    arrival.toLatin1().replace('~', '\0').replace("<long>", QByteArray(5000, '7')));
            }
            QCOMPARE(this->replies(), expected[i]);
        }
    }

    // A silent network logger polled above one second is marked gone at its third unanswered
    // poll (at one second at its sixth, which the fault suite records); a USB logger never is.
    void unansweredPollsDisconnectOnlyANetworkLogger_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("connected"); // after each unanswered poll
        QTest::newRow("network") << QString("tcp0") << QString("++--");
        QTest::newRow("USB") << QString("usb0") << QString("++++++++");
    }

    void unansweredPollsDisconnectOnlyANetworkLogger()
    {
        QFETCH(QString, id);
        QFETCH(QString, connected);
        makeDevice(id, 1001);
        m_device->setKeepAlive(true);
        QVERIFY(!m_device->isConnected());
        if (id == "usb0") {
            // No setup exchange and no keep-alive on a USB logger.
            QVERIFY(!m_device->keepAlive());
            startSetup();
            QCOMPARE(m_device->syncState(), int(ConfiguredDevice::STATE_IDLE));
            // A manual refresh reopens a closed port.
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression("\\[ERROR\\] SerialDevice::writeCommand"));
            m_device->refreshData();
            QVERIFY(m_device->link()->isOpen());
        }
        QVERIFY(answeredPoll());
        QCOMPARE(m_device->ch1Value(), QStringLiteral("21.50"));
        received(id);
        const int lostBefore = disconnections();
        sim("fault " + id + " noanswer");
        QString seen;
        for (int poll = 0; poll < connected.size(); ++poll) {
            m_device->requestData();
            const QString request = id == "usb0" ? "ATCD" : "ATDC";
            QCOMPARE(receivedUntil(request, id), request);
            seen += m_device->isConnected() ? '+' : '-';
        }
        QCOMPARE(seen, connected);
        QCOMPARE(disconnections() - lostBefore, int(connected.count('-')));
        QCOMPARE(m_device->ch1Value().isEmpty(), connected.endsWith('-'));
        sim("fault " + id + " none");
        QVERIFY(answeredPoll() && m_device->isConnected());
        QCOMPARE(m_device->unansweredPolls(), 0);
    }

    // Polls keep the link open at one second or kept alive up to one minute, else a connection
    // per poll; each setup command goes out after an exact "OK" line to the one before.
    void setupExchangeWritesEachCommandAfterAnOK_data()
    {
        QTest::addColumn<int>("interval");
        QTest::addColumn<bool>("keepAlive");
        QTest::addColumn<bool>("pollsKeepOpen");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QString>("fault");
        const auto row = [](const char *name, int interval, bool keepAlive, bool pollsKeepOpen,
                            const char *outcome, const char *fault) {
            QTest::newRow(name) << interval << keepAlive << pollsKeepOpen << QString(outcome)
                                << QString(fault);
        };
        row("1 s", 1000, false, true, "open", "none");
        row("1001 ms", 1001, false, false, "closed", "none");
        row("10 s keep-alive", 10000, true, true, "open", "none");
        row("60 s keep-alive", 60000, true, true, "open", "none");
        row("60.001 s keep-alive", 60001, true, false, "open", "none");
        row("OK split", 10000, false, false, "closed", "split 1 30");
        row("error reply", 10000, false, false, "failed", "notok");
        row("lower-case ok", 10000, false, false, "failed", "raw ok\\r\\n");
        row("OK twice", 10000, false, false, "failed", "raw OK\\r\\nOK\\r\\n");
        row("OK and a space", 10000, false, false, "failed", "raw OK \\r\\n");
    }

    void setupExchangeWritesEachCommandAfterAnOK()
    {
        QFETCH(int, interval);
        QFETCH(bool, keepAlive);
        QFETCH(QString, fault);
        QFETCH(QString, outcome);
        QFETCH(bool, pollsKeepOpen);
        makeDevice("tcp0", interval);
        m_device->setKeepAlive(keepAlive);
        QVERIFY(!m_device->link()->isOpen());
        for (int i = 0; i < 2; ++i) {
            QVERIFY(answeredPoll());
            QCOMPARE(m_device->link()->isOpen(), pollsKeepOpen);
            QCOMPARE(m_socket->state() == QAbstractSocket::ConnectedState, pollsKeepOpen);
        }
        QCOMPARE(m_connections->count(), pollsKeepOpen ? 1 : 2);
        QCOMPARE(received(), QStringLiteral("ATDC|ATDC"));
        sim(fault.startsWith("raw") ? fault.insert(3, " tcp0") : "fault tcp0 " + fault);
        startSetup();
        QVERIFY(deviceTelnet()->buzzerFlag());
        QTRY_COMPARE(m_success->count() + m_failure->count(), 1);
        QCOMPARE(m_device->syncState(), int(ConfiguredDevice::STATE_IDLE));
        QVERIFY(!deviceTelnet()->buzzerFlag());
        QCOMPARE(m_device->link()->isOpen(), outcome == "open");
        if (outcome == "failed") {
            QCOMPARE(m_failure->at(0).at(0).toString(), QStringLiteral("Device Setup Failed."));
            QCOMPARE(received(), QStringLiteral("ATBMIN1 20.00"));
            return;
        }
        QCOMPARE(received(), QStringLiteral("ATBMIN1 20.00|ATBMAX1 30.00|ATBMIN2 -10.00|"
                                            "ATBMAX2 85.50|ATBAL OR|ATBSET"));
        QCOMPARE(m_sim.command("setup tcp0").section(' ', 0, -2),
                 "ok ATBMIN1=20.00 ATBMAX1=30.00 ATBMIN2=-10.00 ATBMAX2=85.50 ATBAL=OR");

        // The committed limits change only when the dialog applies them.
        float limits[4];
        m_device->alarmRange(limits);
        QCOMPARE(limits[1], 0.0f);
        m_device->applyPendingSettings();
        m_device->alarmRange(limits);
        QCOMPARE(limits[3], 85.5f);
        QCOMPARE(m_device->buzzerAlarm(), QStringLiteral("OR"));
        sim("fault tcp0 none");
        QVERIFY(answeredPoll());
    }

    // An exchange whose first write fails, or that goes unanswered, ends without a signal; polls
    // send and store nothing while it waits. Then replies and lost connections of that link.
    void failedExchangesThenTcpRepliesAndLostConnections()
    {
        // At short intervals the exchange writes at once, before the link is connected.
        makeDevice("tcp0", 500);
        startSetup();
        QCOMPARE(m_device->syncState(), int(ConfiguredDevice::STATE_IDLE));
        QTRY_COMPARE(m_connections->count(), 1);
        // The link still turns polls into setup starts, which the idle device ignores.
        m_device->requestData();
        QVERIFY(received().isEmpty());
        m_device->stopSyncTelnet();
        QVERIFY(!deviceTelnet()->buzzerFlag() && answeredPoll());

        makeDevice("tcp0");
        m_device->startRecording(m_rows);
        received();
        sim("fault tcp0 noanswer");
        for (const bool stop : {false, true}) {
            startSetup();
            QCOMPARE(receivedUntil("ATBMIN1 20.00"), QStringLiteral("ATBMIN1 20.00"));
            m_device->requestData();
            m_device->refreshData();
            QCOMPARE(m_device->unansweredPolls(), 0);
            QCOMPARE(m_device->syncState(), int(ConfiguredDevice::STATE_START));
            QVERIFY(received().isEmpty());
            if (stop) {
                m_device->stopSyncTelnet();
                QVERIFY(!deviceTelnet()->buzzerFlag() && !m_device->link()->isOpen());
            } else {
                m_device->deviceDisconnected();
            }
            QCOMPARE(m_device->syncState(), int(ConfiguredDevice::STATE_IDLE));
        }
        QCOMPARE(m_success->count() + m_failure->count(), 0);
        sim("fault tcp0 none");
        QVERIFY(answeredPoll());
        QCOMPARE(received(), QStringLiteral("ATDC"));
        QCOMPARE(m_rows.count(), 1);

        // Splits, NULs and long lines on TCP are driven end to end by the fault suite.
        m_device->setKeepAlive(true);
        QVERIFY(answeredPoll());
        QSignalSpy arrivals(m_socket, &QTcpSocket::readyRead);
        sim("raw tcp0 ATDC 1,2\\r\\nATDC 3,4\\r\\n");
        const int rows = m_rows.count();
        m_device->requestData();
        QTRY_COMPARE(m_rows.count(), rows + 2);
        QCOMPARE(m_device->ch1Value(), QStringLiteral("3.00"));
        sim("raw tcp0 ATDC 99.9,");
        m_device->requestData();
        QTRY_COMPARE(arrivals.count(), 2);
        m_device->link()->close(); // drops the unfinished reply
        sim("values tcp0 21.5 40.2");
        QVERIFY(answeredPoll());
        QCOMPARE(m_device->ch1Value(), QStringLiteral("21.50"));

        // At long intervals the link closes after each reply, but not after its first piece.
        m_device->setKeepAlive(false);
        received();
        const int connections = m_connections->count();
        sim("fault tcp0 split 10 80");
        QVERIFY(answeredPoll());
        QCOMPARE(arrivals.count(), 5);
        QCOMPARE(m_connections->count(), connections);
        QCOMPARE(m_device->ch2Value(), QStringLiteral("40.20"));
        // A reply without marker is dropped, but still closes the link.
        sim("fault tcp0 none");
        sim("raw tcp0 hello\\r\\n");
        const int samples = m_samples->count();
        m_device->requestData();
        QCOMPARE(receivedUntil("ATDC|ATDC"), QStringLiteral("ATDC|ATDC"));
        QTRY_COMPARE(m_socket->state(), QAbstractSocket::UnconnectedState);
        QVERIFY(!m_device->link()->isOpen());
        QCOMPARE(m_samples->count(), samples);
        sim("values tcp0 21.5 40.2");

        // A remote close leaves a kept-alive link open and the next poll reconnects.
        m_device->setKeepAlive(true);
        sim("fault tcp0 close");
        QVERIFY(answeredPoll());
        QTRY_COMPARE(m_socket->state(), QAbstractSocket::UnconnectedState);
        QVERIFY(m_device->link()->isOpen());
        sim("fault tcp0 none");
        QVERIFY(answeredPoll());
    }
};

QTEST_GUILESS_MAIN(TestDeviceLinks)
#include "tst_devicelinks.moc"
