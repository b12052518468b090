#include "tests/support/simprocess.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QNetworkDatagram>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtEndian>
#include <QtTest>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <memory>

namespace {

constexpr int IO_TIMEOUT = 3000;

QByteArray expectedPoll(const char *marker, int index, int n, double drift = 0.0)
{
    return QByteArray(marker) + ' ' +
           QByteArray::number(20 + index + (n % 10) * 0.1 + n * drift, 'f', 2) + ',' +
           QByteArray::number(40 + index + (n % 5) * 0.5, 'f', 2) + "\r\n";
}

// Reads until the received bytes end with CR LF (or the time runs out).
QByteArray readReply(QTcpSocket &socket, int timeoutMs = IO_TIMEOUT)
{
    QByteArray data;
    const QDeadlineTimer deadline(timeoutMs);
    while (!data.endsWith("\r\n") && !deadline.hasExpired()) {
        if (socket.bytesAvailable() == 0 &&
            !socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            break;
        data += socket.readAll();
    }
    return data;
}

QByteArray ask(QTcpSocket &socket, const QByteArray &request)
{
    socket.write(request);
    return readReply(socket);
}

bool connectTo(QTcpSocket &socket, const SimProcess::Logger &logger)
{
    socket.connectToHost(QHostAddress(logger.address), logger.port);
    return socket.waitForConnected(IO_TIMEOUT);
}

QByteArray readFd(int fd, int timeoutMs = IO_TIMEOUT)
{
    QByteArray data;
    const QDeadlineTimer deadline(timeoutMs);
    while (!data.endsWith("\r\n") && !deadline.hasExpired()) {
        pollfd p = {fd, POLLIN, 0};
        if (::poll(&p, 1, int(qMax<qint64>(1, deadline.remainingTime()))) <= 0)
            break;
        char buffer[512];
        const ssize_t n = ::read(fd, buffer, sizeof(buffer));
        if (n <= 0)
            break;
        data.append(buffer, int(n));
    }
    return data;
}

int openRawPort(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return fd;
    termios t;
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
    return fd;
}

} // namespace

class TestSimulator : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<SimProcess> m_sim;
    std::unique_ptr<QTcpSocket> m_socket;

    // Starts a simulator and connects to one of its network loggers.
    bool startAndConnect(const QStringList &args, const QString &id = "tcp0")
    {
        m_sim = std::make_unique<SimProcess>();
        m_socket = std::make_unique<QTcpSocket>();
        return m_sim->start(args) && connectTo(*m_socket, m_sim->logger(id));
    }

private slots:
    void cleanup()
    {
        m_socket.reset();
        m_sim.reset();
    }

    void pollAnswersFollowTheValueFormula()
    {
        SimProcess sim;
        QVERIFY(sim.start({"--tcp", "3"}));
        QCOMPARE(sim.loggers().size(), 3);
        const SimProcess::Logger logger = sim.logger("tcp2");
        QCOMPARE(logger.kind, QString("TCP"));
        QCOMPARE(logger.address, QString("127.0.0.1"));
        QCOMPARE(logger.deviceNumber, QString("024B58000002"));
        QVERIFY(logger.port != 0);

        QTcpSocket socket;
        QVERIFY(connectTo(socket, logger));
        for (int n = 0; n < 12; ++n)
            QCOMPARE(ask(socket, "ATDC\r\n"), expectedPoll("ATDC", 2, n));
        QCOMPARE(sim.command("count tcp2"), QString("ok 12"));
        QCOMPARE(sim.command("count tcp0"), QString("ok 0"));
    }

    void driftMakesChannelOneClimbEveryAnswer()
    {
        QVERIFY(startAndConnect({"--tcp", "2", "--drift", "tcp1:1.5"}, "tcp1"));
        for (int n = 0; n < 3; ++n)
            QCOMPARE(ask(*m_socket, "ATDC\r\n"), expectedPoll("ATDC", 1, n, 1.5));
    }

    void requestArrivingInPiecesIsAnsweredOnceComplete()
    {
        QVERIFY(startAndConnect({"--tcp", "1"}));
        for (const QByteArray &piece : {QByteArray("AT"), QByteArray("DC\r"), QByteArray("\n")}) {
            m_socket->write(piece);
            QVERIFY(m_socket->waitForBytesWritten(IO_TIMEOUT));
            QTest::qWait(20);
        }
        QCOMPARE(readReply(*m_socket), expectedPoll("ATDC", 0, 0));
        QCOMPARE(m_sim->command("received tcp0"), QString("ok ATDC"));
        QCOMPARE(m_sim->command("count tcp0"), QString("ok 1"));
    }

    void fixedValuesAndRawRepliesAreSentAsGiven()
    {
        QVERIFY(startAndConnect({"--tcp", "1"}));

        QCOMPARE(m_sim->command("values tcp0 ---- 12a"), QString("ok"));
        QCOMPARE(ask(*m_socket, "ATDC\r\n"), QByteArray("ATDC ----,12a\r\n"));
        QCOMPARE(m_sim->command("values tcp0  5"), QString("ok"));
        QCOMPARE(ask(*m_socket, "ATDC\r\n"), QByteArray("ATDC ,5\r\n"));
        QCOMPARE(m_sim->command("auto tcp0"), QString("ok"));
        QCOMPARE(ask(*m_socket, "ATDC\r\n"), expectedPoll("ATDC", 0, 2));

        QCOMPARE(m_sim->command("raw tcp0 X\\x41\\0Y \\r\\n"), QString("ok"));
        QCOMPARE(ask(*m_socket, "ATDC\r\n"), QByteArray("XA\0Y \r\n", 7));
    }

    void setupCommandsAreAnsweredOkAndReadBack()
    {
        QVERIFY(startAndConnect({"--tcp", "1"}));
        for (const char *command : {"ATBMIN1 20.00\r\n", "ATBMAX1 30.00\r\n", "ATBMIN2 -10.00\r\n",
                                    "ATBMAX2 85.50\r\n", "ATBAL OR\r\n", "ATBSET\r\n"})
            QCOMPARE(ask(*m_socket, command), QByteArray("OK\r\n"));
        QCOMPARE(
            m_sim->command("setup tcp0"),
            QString("ok ATBMIN1=20.00 ATBMAX1=30.00 ATBMIN2=-10.00 ATBMAX2=85.50 ATBAL=OR SET=1"));
        QCOMPARE(m_sim->command("count tcp0"), QString("ok 0"));
    }

    void notOkFaultRefusesSetupCommands()
    {
        QVERIFY(startAndConnect({"--tcp", "1"}));
        QCOMPARE(m_sim->command("fault tcp0 notok"), QString("ok"));
        QCOMPARE(ask(*m_socket, "ATBMIN1 20.00\r\n"), QByteArray("ERR\r\n"));
        QCOMPARE(ask(*m_socket, "ATDC\r\n"), expectedPoll("ATDC", 0, 0));
        QCOMPARE(m_sim->command("setup tcp0"),
                 QString("ok ATBMIN1= ATBMAX1= ATBMIN2= ATBMAX2= ATBAL= SET=0"));
    }

    void splitReplyArrivesInTwoPieces()
    {
        QVERIFY(startAndConnect({"--tcp", "1"}));
        QCOMPARE(m_sim->command("fault tcp0 split 7 300"), QString("ok"));
        m_socket->write("ATDC\r\n");
        QVERIFY(m_socket->waitForReadyRead(IO_TIMEOUT));
        QCOMPARE(m_socket->readAll(), QByteArray("ATDC 20"));
        QCOMPARE(readReply(*m_socket), QByteArray(".00,40.00\r\n"));
    }

    void slowFaultDelaysTheAnswer()
    {
        QVERIFY(startAndConnect({"--tcp", "1"}));
        QCOMPARE(m_sim->command("fault tcp0 slow 300"), QString("ok"));
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(ask(*m_socket, "ATBSET\r\n"), QByteArray("OK\r\n"));
        QVERIFY2(clock.elapsed() >= 250, qPrintable(QString::number(clock.elapsed())));
    }

    void noAnswerFaultReceivesButNeverAnswers()
    {
        QVERIFY(startAndConnect({"--tcp", "1"}));
        QCOMPARE(m_sim->command("fault tcp0 noanswer"), QString("ok"));
        m_socket->write("ATDC\r\n");
        QVERIFY(m_socket->waitForBytesWritten(IO_TIMEOUT));
        // `received` empties the list, so collect until the request shows up.
        QString received;
        const QDeadlineTimer deadline(IO_TIMEOUT);
        while (received != QLatin1String("ok ATDC") && !deadline.hasExpired())
            received = m_sim->command("received tcp0");
        QCOMPARE(received, QString("ok ATDC"));
        // The answer would have been written before `received` was answered.
        QVERIFY(!m_socket->waitForReadyRead(100));
        QCOMPARE(m_sim->command("count tcp0"), QString("ok 0"));

        QCOMPARE(m_sim->command("fault tcp0 none"), QString("ok"));
        QCOMPARE(ask(*m_socket, "ATDC\r\n"), expectedPoll("ATDC", 0, 0));
    }

    void contentFaultsCorruptOnlyThePollAnswer()
    {
        QVERIFY(startAndConnect({"--tcp", "1"}));

        QCOMPARE(m_sim->command("fault tcp0 garbage"), QString("ok"));
        const QByteArray garbage = ask(*m_socket, "ATDC\r\n");
        QVERIFY2(garbage.startsWith("ATDC ") && garbage.endsWith("\r\n"), garbage.constData());
        const QList<QByteArray> fields = garbage.mid(5).trimmed().split(',');
        QCOMPARE(fields.size(), 2);
        bool number = true;
        fields.at(0).toDouble(&number);
        QVERIFY2(!number, garbage.constData());
        QCOMPARE(ask(*m_socket, "ATBSET\r\n"), QByteArray("OK\r\n"));

        QCOMPARE(m_sim->command("fault tcp0 nul"), QString("ok"));
        m_socket->write("ATDC\r\n");
        QByteArray nul = readReply(*m_socket);
        while (nul.count("\r\n") < 2 && m_socket->waitForReadyRead(IO_TIMEOUT))
            nul += m_socket->readAll();
        QCOMPARE(nul, expectedPoll("ATDC", 0, 1) + QByteArray(1, '\0') + "ATDC 999.00,999.00\r\n");

        QCOMPARE(m_sim->command("fault tcp0 longline"), QString("ok"));
        const QByteArray longLine = ask(*m_socket, "ATDC\r\n");
        QCOMPARE(longLine, "ATDC " + QByteArray(2000, '1') + ',' + QByteArray(2000, '2') + "\r\n");
    }

    void closeFaultClosesTheConnectionAfterTheReply()
    {
        QVERIFY(startAndConnect({"--tcp", "1"}));
        QCOMPARE(m_sim->command("fault tcp0 close"), QString("ok"));
        QCOMPARE(ask(*m_socket, "ATDC\r\n"), expectedPoll("ATDC", 0, 0));
        QVERIFY(m_socket->state() == QAbstractSocket::UnconnectedState ||
                m_socket->waitForDisconnected(IO_TIMEOUT));
        QCOMPARE(m_socket->error(), QAbstractSocket::RemoteHostClosedError);
    }

    void stoppedLoggerRefusesConnectionsUntilStarted()
    {
        SimProcess sim;
        QVERIFY(sim.start({"--tcp", "1"}));
        QTcpSocket open;
        QVERIFY(connectTo(open, sim.logger("tcp0")));
        QCOMPARE(sim.command("stop tcp0"), QString("ok"));
        QVERIFY(open.state() == QAbstractSocket::UnconnectedState ||
                open.waitForDisconnected(IO_TIMEOUT));

        QTcpSocket refused;
        QVERIFY(!connectTo(refused, sim.logger("tcp0")));
        QCOMPARE(refused.error(), QAbstractSocket::ConnectionRefusedError);

        QCOMPARE(sim.command("start tcp0"), QString("ok"));
        QTcpSocket again;
        QVERIFY(connectTo(again, sim.logger("tcp0")));
        QCOMPARE(ask(again, "ATDC\r\n"), expectedPoll("ATDC", 0, 0));
    }

    void resetDropsConnectionsWithRst()
    {
        SimProcess sim;
        QVERIFY(sim.start({"--tcp", "1"}));
        const SimProcess::Logger logger = sim.logger("tcp0");

        // A plain socket tells a reset (ECONNRESET) from an orderly close (read returns 0).
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        QVERIFY(fd >= 0);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_port = htons(logger.port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        QCOMPARE(::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
        QCOMPARE(::write(fd, "ATDC\r\n", 6), ssize_t(6));
        QCOMPARE(readFd(fd), expectedPoll("ATDC", 0, 0));

        QCOMPARE(sim.command("reset tcp0"), QString("ok"));
        pollfd p = {fd, POLLIN, 0};
        QVERIFY(::poll(&p, 1, IO_TIMEOUT) > 0);
        char byte;
        const ssize_t n = ::read(fd, &byte, 1);
        const int error = errno;
        ::close(fd);
        QCOMPARE(n, ssize_t(-1));
        QCOMPARE(error, ECONNRESET);
    }

    void usbLoggerAnswersAtcdOnItsPty()
    {
        QTemporaryDir links;
        SimProcess sim;
        QVERIFY(sim.start({"--usb", "2", "--usb-link-dir", links.path()}));
        const SimProcess::Logger logger = sim.logger("usb1");
        QCOMPARE(logger.kind, QString("USB"));
        QCOMPARE(logger.deviceNumber, QString("KX0002"));
        QCOMPARE(logger.address, links.filePath("ttyKX1"));
        QVERIFY(QFileInfo(logger.address).symLinkTarget().startsWith("/dev/pts/"));

        const int fd = openRawPort(logger.address);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, "ATC", 3), ssize_t(3));
        QCOMPARE(::write(fd, "D\r\n", 3), ssize_t(3));
        QCOMPARE(readFd(fd), expectedPoll("ATCD", 1, 0));
        QCOMPARE(::write(fd, "ATCD\r\n", 6), ssize_t(6));
        QCOMPARE(readFd(fd), expectedPoll("ATCD", 1, 1));
        ::close(fd);
        QCOMPARE(sim.command("count usb1"), QString("ok 2"));
    }

    void usbStopHangsUpAndStartMakesANewPty()
    {
        SimProcess sim;
        QVERIFY(sim.start({"--usb", "1"}));
        const QString firstPath = sim.logger("usb0").address;
        QVERIFY(firstPath.startsWith("/dev/pts/"));
        const int fd = openRawPort(firstPath);
        QVERIFY(fd >= 0);

        QCOMPARE(sim.command("stop usb0"), QString("ok"));
        pollfd p = {fd, POLLIN, 0};
        QVERIFY(::poll(&p, 1, IO_TIMEOUT) > 0);
        QVERIFY(p.revents & (POLLHUP | POLLERR | POLLIN));
        char byte;
        QVERIFY(::read(fd, &byte, 1) <= 0);
        ::close(fd);

        QCOMPARE(sim.command("start usb0"), QString("ok"));
        const QString secondPath = sim.logger("usb0").address;
        QVERIFY(secondPath.startsWith("/dev/pts/"));
        const int second = openRawPort(secondPath);
        QVERIFY(second >= 0);
        QCOMPARE(::write(second, "ATCD\r\n", 6), ssize_t(6));
        QCOMPARE(readFd(second), expectedPoll("ATCD", 0, 0));
        ::close(second);
    }

    void discoveryAnswersEveryRunningNetworkLogger()
    {
        SimProcess sim;
        QVERIFY(sim.start({"--tcp", "3", "--discovery", "--discovery-bind", "127.0.0.1"}));
        QCOMPARE(sim.command("stop tcp1"), QString("ok"));

        QUdpSocket socket;
        QVERIFY(socket.bind(QHostAddress::LocalHost, 0));
        QCOMPARE(socket.writeDatagram(QByteArray(49, '\x01'), QHostAddress::LocalHost, 50000),
                 qint64(49));
        QCOMPARE(socket.writeDatagram(QByteArray(50, '\x01'), QHostAddress::LocalHost, 50000),
                 qint64(50));

        QList<QByteArray> replies;
        const QDeadlineTimer deadline(IO_TIMEOUT);
        while (replies.size() < 2 && !deadline.hasExpired()) {
            if (!socket.hasPendingDatagrams() && !socket.waitForReadyRead(100))
                continue;
            replies << socket.receiveDatagram().data();
        }
        QCOMPARE(replies.size(), 2);
        // Both answers are sent in one go: anything more would already be here.
        QVERIFY(!socket.hasPendingDatagrams());

        for (int i = 0; i < 2; ++i) {
            const int index = i == 0 ? 0 : 2;
            const QByteArray &reply = replies.at(i);
            QCOMPARE(reply.size(), 28);
            QCOMPARE(reply.left(12), QByteArray("KESTRELIX\0\0\0", 12));
            QCOMPARE(reply.mid(12, 4), QByteArray("\x7F\x00\x00\x01", 4));
            QCOMPARE(reply.mid(16, 6).toHex().toUpper(),
                     sim.logger(QString("tcp%1").arg(index)).deviceNumber.toLatin1());
            QCOMPARE(quint8(reply.at(23)), quint8(0));
            QCOMPARE(qFromLittleEndian<quint32>(reply.constData() + 24),
                     quint32(sim.logger(QString("tcp%1").arg(index)).port));
        }
    }

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
        process.start(KESTRELIX_SIM_PATH, {"--tcp", "2", "--usb", "1"});
        QVERIFY(process.waitForStarted());
        while (!process.readAllStandardOutput().contains("READY") || false)
            QVERIFY(process.waitForReadyRead(IO_TIMEOUT));
        QCOMPARE(::kill(pid_t(process.processId()), signalNumber), 0);
        QVERIFY(process.waitForFinished(IO_TIMEOUT));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
    }

    void endOfStdinDoesNotEndTheSimulator()
    {
        QProcess process;
        process.start(KESTRELIX_SIM_PATH, {"--tcp", "1"});
        QVERIFY(process.waitForStarted());
        QByteArray output;
        while (!output.contains("READY")) {
            QVERIFY(process.waitForReadyRead(IO_TIMEOUT));
            output += process.readAllStandardOutput();
        }
        const QList<QByteArray> words = output.split('\n').first().split(' ');
        process.closeWriteChannel();

        QTcpSocket socket;
        socket.connectToHost(QHostAddress(QString::fromLatin1(words.at(3))),
                             words.at(4).toUShort());
        QVERIFY(socket.waitForConnected(IO_TIMEOUT));
        for (int n = 0; n < 3; ++n)
            QCOMPARE(ask(socket, "ATDC\r\n"), expectedPoll("ATDC", 0, n));
        QVERIFY(!process.waitForFinished(200));
        QCOMPARE(process.state(), QProcess::Running);
        process.terminate();
        QVERIFY(process.waitForFinished(IO_TIMEOUT));
        QCOMPARE(process.exitCode(), 0);
    }

    void unknownCommandsAndLoggersAreRefused()
    {
        SimProcess sim;
        QVERIFY(sim.start({"--tcp", "1", "--usb", "1"}));
        QVERIFY(sim.command("frobnicate tcp0").startsWith("err "));
        QVERIFY(sim.command("count tcp9").startsWith("err "));
        QVERIFY(sim.command("fault tcp0 split 3").startsWith("err "));
        QVERIFY(sim.command("reset usb0").startsWith("err "));
        QCOMPARE(sim.command("count tcp0"), QString("ok 0"));
    }
};

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
