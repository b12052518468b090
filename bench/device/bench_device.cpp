#include "device/configureddevice.h"
#include "device/serialdevice.h"
#include "device/telnetdevice.h"
#include "store/pendingrowqueue.h"
#include "tests/support/simprocess.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTimer>

#include <cstdio>

namespace {

struct DecodeResult
{
    double nsPerLine;
    int lines;
};

// linesPerReply > 1 spreads the one conversion of the request time over several lines.
DecodeResult benchDecode(int lines, bool recording, int linesPerReply = 1)
{
    ConfiguredDevice device(QStringLiteral("KX0001"), LINK_TCP);
    device.setAlarmRange(10.0f, 30.0f, 20.0f, 80.0f);
    PendingRowQueue rows;
    if (recording)
        device.startRecording(rows);
    const QDateTime first = QDateTime::fromSecsSinceEpoch(1700000000);
    const QDateTime second = first.addSecs(1);
    const QString replies[2] = {QStringLiteral("23.45,56.78\n").repeated(linesPerReply),
                                QStringLiteral("31.02,----\n").repeated(linesPerReply)};
    const int replyCount = qMax(1, lines / linesPerReply);
    lines = replyCount * linesPerReply;

    rows.clear();
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < replyCount; ++i) {
        // Alternating request times make every line shift the chart buffers.
        device.setLastRequestTime((i & 1) ? second : first);
        device.readData(replies[i & 1]);
        if (recording && (i & 0x3FFF) == 0x3FFF)
            rows.clear();
    }
    const qint64 ns = timer.nsecsElapsed();
    rows.clear();
    return {double(ns) / lines, lines};
}

// Polls one link for `ms` milliseconds, sending the next poll as soon as a reply arrives.
template <typename Link> double pollsPerSecond(Link *link, int ms)
{
    int replies = 0;
    QObject::connect(link, &Link::readyRead, link, [&](const QString &) {
        ++replies;
        link->write();
    });
    QElapsedTimer timer;
    timer.start();
    link->write();
    QTimer::singleShot(ms, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    QObject::disconnect(link, &Link::readyRead, link, nullptr);
    return replies * 1000.0 / double(timer.elapsed());
}

double benchTcp(const SimProcess::Logger &logger, int interval, int ms)
{
    TelnetDevice link;
    link.setPollInterval(interval);
    link.setDeviceInfo(logger.address, logger.port);
    const double rate = pollsPerSecond(&link, ms);
    link.close();
    return rate;
}

double benchSerial(const SimProcess::Logger &logger, int ms)
{
    SerialDevice link;
    link.setDeviceInfo(logger.address, 0);
    if (!link.open())
        return 0;
    const double rate = pollsPerSecond(&link, ms);
    link.close();
    return rate;
}

} // namespace

int main(int argc, char **argv)
{
    // The device loads its list icons, which needs a GUI application but no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Device layer benchmark: decode + alarm + chart-buffer cost per reply line (ns/line),\n"
        "and polls per second of one TCP link and one serial link against kestrelix-sim,\n"
        "each reply triggering the next poll. Loopback and a pseudo-terminal only.");
    parser.addHelpOption();
    QCommandLineOption linesOption("lines", "Reply lines decoded per run.", "n", "1000000");
    QCommandLineOption secondsOption("seconds", "Duration of each poll run.", "s", "3");
    QCommandLineOption simOption("sim", "Path of kestrelix-sim.", "path",
                                 QStringLiteral(KESTRELIX_SIM_PATH));
    parser.addOptions({linesOption, secondsOption, simOption});
    parser.process(app);

    const int lines = qMax(1, parser.value(linesOption).toInt());
    const int ms = qBound(100, int(parser.value(secondsOption).toDouble() * 1000), 10000);

    benchDecode(lines / 10, false); // warm-up
    const DecodeResult plain = benchDecode(lines, false);
    const DecodeResult recorded = benchDecode(lines, true);
    std::printf("decode+alarm+buffer            %8.1f ns/line (%d lines)\n", plain.nsPerLine,
                plain.lines);
    std::printf("decode+alarm+buffer+queued row %8.1f ns/line (%d lines)\n", recorded.nsPerLine,
                recorded.lines);
    const DecodeResult multi = benchDecode(lines, true, 10);
    std::printf("same, 10-line replies (one time conversion per reply) %8.1f ns/line\n",
                multi.nsPerLine);
    std::fflush(stdout);

    SimProcess sim(parser.value(simOption));
    if (!sim.start({"--tcp", "1", "--tcp-base-port", "0", "--usb", "1"})) {
        std::fprintf(stderr, "cannot start the simulator\n");
        return 1;
    }
    std::printf("TCP link, 500 ms class (one connection)   %8.0f polls/s\n",
                benchTcp(sim.logger(QStringLiteral("tcp0")), 500, ms));
    std::printf("TCP link, 10 s class (connect per poll)   %8.0f polls/s\n",
                benchTcp(sim.logger(QStringLiteral("tcp0")), 10000, ms));
    std::printf("serial link over a pty                    %8.0f polls/s\n",
                benchSerial(sim.logger(QStringLiteral("usb0")), ms));
    sim.stop();
    return 0;
}
