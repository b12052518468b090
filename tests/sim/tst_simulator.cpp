#include "tests/support/simprocess.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QNetworkDatagram>
#include <QProcess>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtEndian>
#include <QtTest>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

QByteArray formula(const char *marker, int index, int n, double drift = 0.0)
{
    return QByteArray(marker) + ' ' +
           QByteArray::number(20 + index + (n % 10) * 0.1 + n * drift, 'f', 2) + ',' +
           QByteArray::number(40 + index + (n % 5) * 0.5, 'f', 2) + "\r\n";
}

// Reads until the received bytes end with CR LF (or 3 s pass).
QByteArray readReply(int fd)
{
    QByteArray data;
    const QDeadlineTimer deadline(3000);
    while (!data.endsWith("\r\n") && !deadline.hasExpired()) {
        pollfd p = {fd, POLLIN, 0};
        char buffer[8192];
        if (::poll(&p, 1, int(qMax<qint64>(1, deadline.remainingTime()))) <= 0)
            break;
        const ssize_t n = ::read(fd, buffer, sizeof(buffer));
        if (n <= 0)
            break;
        data.append(buffer, int(n));
    }
    return data;
}

QByteArray ask(int fd, const QByteArray &request)
{
    return ::write(fd, request.constData(), request.size()) == request.size() ? readReply(fd)
                                                                              : "<write failed>";
}

// A plain socket, which tells a reset (ECONNRESET) from an orderly close (read returns 0).
int connectTo(const SimProcess::Logger &logger)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(logger.port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0)
        return fd;
    ::close(fd);
    return -1;
}

int openRawPort(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY);
    termios t;
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
    return fd;
}

} // namespace

// The logger simulator the other suites stand on, spoken to byte by byte: one simulator for
// every scene, whose loggers keep counting their answers from scene to scene.
class TestSimulator : public QObject
{
    Q_OBJECT

private:
    SimProcess m_sim;
    QTemporaryDir m_links;

    void sim(const QString &line) { QCOMPARE(m_sim.command(line), QStringLiteral("ok")); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_sim.start({"--tcp", "3", "--drift", "tcp1:1.5", "--usb", "2", "--usb-link-dir",
                             m_links.path(), "--discovery", "--discovery-bind", "127.0.0.1"}));
        QCOMPARE(m_sim.loggers().size(), 5);
    }

    // Faults that the device suites drive through the program's links (split, NUL, long line,
    // no answer, close, stop, refused setup) are asserted there.
    void networkLoggerAnswersAsToldAndFaults()
    {
        const SimProcess::Logger logger = m_sim.logger("tcp2");
        QCOMPARE(logger.kind + ' ' + logger.address + ' ' + logger.deviceNumber,
                 "TCP 127.0.0.1 024B58000002");
        const int tcp2 = connectTo(logger), tcp1 = connectTo(m_sim.logger("tcp1"));
        for (int n = 0; n < 12; ++n)
            QCOMPARE(ask(tcp2, "ATDC\r\n"), formula("ATDC", 2, n));
        for (int n = 0; n < 3; ++n)
            QCOMPARE(ask(tcp1, "ATDC\r\n"), formula("ATDC", 1, n, 1.5));
        ::close(tcp1);
        ::close(tcp2);
        QCOMPARE(m_sim.command("count tcp2"), QString("ok 12"));

        const int fd = connectTo(m_sim.logger("tcp0"));
        // A request arriving in pieces is answered once complete.
        for (const char *piece : {"AT", "DC\r", "\n"}) {
            QCOMPARE(::write(fd, piece, strlen(piece)), ssize_t(strlen(piece)));
            QTest::qWait(20);
        }
        QCOMPARE(readReply(fd), formula("ATDC", 0, 0));
        QCOMPARE(m_sim.command("received tcp0"), QString("ok ATDC"));
        sim("values tcp0 ---- 12a");
        QCOMPARE(ask(fd, "ATDC\r\n"), QByteArray("ATDC ----,12a\r\n"));
        sim("auto tcp0");
        QCOMPARE(ask(fd, "ATDC\r\n"), formula("ATDC", 0, 2));
        sim("raw tcp0 X\\x41\\0Y \\r\\n");
        QCOMPARE(ask(fd, "ATDC\r\n"), QByteArray("XA\0Y \r\n", 7));
        sim("auto tcp0");

        // Garbage corrupts only the poll answer; slow delays every answer.
        sim("fault tcp0 garbage");
        const QByteArray garbage = ask(fd, "ATDC\r\n");
        const QList<QByteArray> fields = garbage.mid(5).trimmed().split(',');
        bool number = true;
        fields.at(0).toDouble(&number);
        QVERIFY2(garbage.startsWith("ATDC ") && fields.size() == 2 && !number, garbage.constData());
        QCOMPARE(ask(fd, "ATBSET\r\n"), QByteArray("OK\r\n"));
        sim("fault tcp0 slow 300");
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(ask(fd, "ATBSET\r\n"), QByteArray("OK\r\n"));
        QVERIFY(clock.elapsed() >= 250);
        QCOMPARE(m_sim.command("setup tcp0").right(6), QString(" SET=2"));

        // A reset drops the connection with RST.
        sim("reset tcp0");
        pollfd p = {fd, POLLIN, 0};
        QVERIFY(::poll(&p, 1, 3000) > 0);
        char byte;
        const ssize_t n = ::read(fd, &byte, 1);
        const int error = errno;
        ::close(fd);
        QCOMPARE(n, ssize_t(-1));
        QCOMPARE(error, ECONNRESET);
    }

    void usbLoggerAnswersOnItsPtyAndHangsUpWhenStopped()
    {
        const SimProcess::Logger logger = m_sim.logger("usb1");
        QCOMPARE(logger.kind + ' ' + logger.deviceNumber, "USB KX0002");
        QCOMPARE(logger.address, m_links.filePath("ttyKX1"));
        QVERIFY(QFileInfo(logger.address).symLinkTarget().startsWith("/dev/pts/"));
        const int fd = openRawPort(logger.address);
        QCOMPARE(::write(fd, "ATC", 3), ssize_t(3));
        QCOMPARE(ask(fd, "D\r\n"), formula("ATCD", 1, 0));
        QCOMPARE(ask(fd, "ATCD\r\n"), formula("ATCD", 1, 1));
        ::close(fd);
        QCOMPARE(m_sim.command("count usb1"), QString("ok 2"));

        const int first = openRawPort(m_sim.logger("usb0").address);
        sim("stop usb0");
        pollfd p = {first, POLLIN, 0};
        QVERIFY(::poll(&p, 1, 3000) > 0);
        QVERIFY(p.revents & (POLLHUP | POLLERR | POLLIN));
        char byte;
        QVERIFY(::read(first, &byte, 1) <= 0);
        ::close(first);
        sim("start usb0");
        const int second = openRawPort(m_sim.logger("usb0").address);
        QVERIFY(second >= 0);
        QCOMPARE(ask(second, "ATCD\r\n"), formula("ATCD", 0, 0));
        ::close(second);
    }

    void discoveryAnswersEveryRunningNetworkLogger()
    {
        sim("stop tcp1");
        QUdpSocket socket;
        QVERIFY(socket.bind(QHostAddress::LocalHost, 0));
        socket.writeDatagram(QByteArray(49, '\x01'), QHostAddress::LocalHost, 50000);
        socket.writeDatagram(QByteArray(50, '\x01'), QHostAddress::LocalHost, 50000);
        QList<QByteArray> replies;
        const auto collect = [&] {
            while (socket.hasPendingDatagrams())
                replies << socket.receiveDatagram().data();
            return replies.size() >= 2;
        };
        QTRY_VERIFY(collect());
        // Both answers are sent in one go: anything more would already be here.
        QVERIFY(!socket.hasPendingDatagrams());
        for (int i = 0; i < 2; ++i) {
            const SimProcess::Logger logger = m_sim.logger(i == 0 ? "tcp0" : "tcp2");
            const QByteArray &reply = replies.at(i);
            QCOMPARE(reply.size(), 28);
            QCOMPARE(reply.left(16), QByteArray("KESTRELIX\0\0\0\x7F\0\0\x01", 16));
            QCOMPARE(reply.mid(16, 6).toHex().toUpper(), logger.deviceNumber.toLatin1());
            QCOMPARE(quint8(reply.at(23)), quint8(0));
            QCOMPARE(qFromLittleEndian<quint32>(reply.constData() + 24), quint32(logger.port));
        }
        sim("start tcp1");
        for (const char *command :
             {"frobnicate tcp0", "count tcp9", "fault tcp0 split 3", "reset usb0"})
            QVERIFY(m_sim.command(command).startsWith("err "));
    }

    // End of standard input does not end the simulator; a signal ends it with exit code 0.
    void signalEndsTheSimulatorWithExitZero_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    void signalEndsTheSimulatorWithExitZero()
    {
        QFETCH(int, signalNumber);
        QProcess process;
        process.start(KESTRELIX_SIM_PATH, {"--tcp", "1", "--usb", "1"});
        QByteArray output;
        while (!output.contains("READY") && process.waitForReadyRead(3000))
            output += process.readAllStandardOutput();
        const QList<QByteArray> words = output.split('\n').first().split(' ');
        process.closeWriteChannel();
        SimProcess::Logger logger;
        logger.port = words.value(4).toUShort();
        const int fd = connectTo(logger);
        QCOMPARE(ask(fd, "ATDC\r\n"), formula("ATDC", 0, 0));
        ::close(fd);
        QVERIFY(!process.waitForFinished(100));
        QCOMPARE(::kill(pid_t(process.processId()), signalNumber), 0);
        QVERIFY(process.waitForFinished(3000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
