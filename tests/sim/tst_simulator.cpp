#include "tests/support/simprocess.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <arpa/inet.h>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

QByteArray formula(const char *marker, int index, int n)
{
    return QByteArray(marker) + ' ' + QByteArray::number(20 + index + (n % 10) * 0.1, 'f', 2) +
           ',' + QByteArray::number(40 + index + (n % 5) * 0.5, 'f', 2) + "\r\n";
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
        QVERIFY(m_sim.start({"--tcp", "3", "--usb", "2", "--usb-link-dir", m_links.path()}));
        QCOMPARE(m_sim.loggers().size(), 5);
    }

    // The faults (drift, garbage, slow, split, NUL, long line, silence, close, reset, stop) are
    // driven through the program's links by the device and fault suites and asserted there.
    void networkLoggerAnswersAsTold()
    {
        const SimProcess::Logger logger = m_sim.logger("tcp2");
        QCOMPARE(logger.kind + ' ' + logger.address + ' ' + logger.deviceNumber,
                 "TCP 127.0.0.1 024B58000002");
        const int fd = connectTo(logger);
        // A request arriving in pieces is answered once complete.
        for (const char *piece : {"AT", "DC\r", "\n"}) {
            QCOMPARE(::write(fd, piece, strlen(piece)), ssize_t(strlen(piece)));
            QTest::qWait(20);
        }
        QCOMPARE(readReply(fd), formula("ATDC", 2, 0));
        QCOMPARE(m_sim.command("received tcp2"), QString("ok ATDC"));
        for (int n = 1; n < 12; ++n)
            QCOMPARE(ask(fd, "ATDC\r\n"), formula("ATDC", 2, n));
        sim("raw tcp2 X\\x41\\0Y \\r\\n");
        QCOMPARE(ask(fd, "ATDC\r\n"), QByteArray("XA\0Y \r\n", 7));
        sim("auto tcp2");
        QCOMPARE(ask(fd, "ATBSET\r\n"), QByteArray("OK\r\n"));
        ::close(fd);
        QCOMPARE(m_sim.command("count tcp2"), QString("ok 13"));
        QCOMPARE(m_sim.command("setup tcp2").right(6), QString(" SET=1"));
    }

    void usbLoggerAnswersOnItsPty()
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
    }

    // The discovery responder is asserted through the program's discovery in its namespace.
    void unknownCommandsAndLoggersAreRefused()
    {
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
