#include "sim/simoptions.h"

#include "sim/stdoutwriter.h"

#include <QCommandLineParser>

namespace {

// Discovery replies carry the logger index in the last MAC byte.
constexpr int MAX_TCP = 256;
constexpr int MAX_USB = 64;

const char DESCRIPTION[] = R"(Simulates Kestrelix loggers for tests and demos.

Network loggers (tcp0, tcp1, ...) are TCP servers answering "ATDC\r\n" with
"ATDC <v1>,<v2>\r\n" and the setup commands ATBMIN1/ATBMAX1/ATBMIN2/ATBMAX2 <v>,
ATBAL <v> and ATBSET with "OK\r\n". USB loggers (usb0, ...) are pseudo-terminals
answering "ATCD\r\n" with "ATCD <v1>,<v2>\r\n". Requests are gathered until LF.

Standard output: one line per logger, then READY:
  LOGGER <id> TCP <address> <port> <mac12hex>
  LOGGER <id> USB <port-path> <serial>
  READY

Values: answer n (0-based count of poll answers) of logger index i is
  ch1 = 20 + i + (n % 10) * 0.1 (+ n * STEP with --drift), ch2 = 40 + i + (n % 5) * 0.5
printed with two decimals.

Commands on standard input, one per line, each answered by one "ok ..." or "err ..." line:
  values <id> <v1> <v2>   fixed poll values; any text, e.g. "----", "12a" or empty
  auto <id>               back to the value formula
  raw <id> <text>         every following answer (polls and setup) is exactly <text>,
                          C escapes \r \n \t \0 \\ \xNN decoded, no marker added
  fault <id> none         no fault
  fault <id> noanswer     requests are received but never answered
  fault <id> garbage      poll answers carry non-numeric fields
  fault <id> close        TCP: the connection is closed after each answer
  fault <id> notok        setup commands are answered "ERR\r\n" and not kept
  fault <id> nul          poll answers are followed by a NUL byte and a second line
                          "<marker> 999.00,999.00\r\n"
  fault <id> longline     poll answer fields of 2000 digits each
  fault <id> split <bytepos> <pause-ms>
                          each answer is written in two writes split at bytepos
  fault <id> slow <ms>    each answer is written after a delay
  received <id>           ok <line1>|<line2>|... request lines since the last call
  setup <id>              ok ATBMIN1=<v> ATBMAX1=<v> ATBMIN2=<v> ATBMAX2=<v> ATBAL=<v> SET=<n>
  count <id>              ok <number of poll answers sent> (setup answers not counted)
  connections <id>        ok <number of clients connected now> (0 for USB loggers)
  stop <id>               TCP: stop listening, drop connections (connection refused);
                          USB: close the pseudo-terminal (clients see a hang-up)
  start <id>              restart; USB: a new pseudo-terminal, its LOGGER line printed first
  reset <id>              TCP: abort open connections with a reset (RST)
  quit                    exit
End of standard input does not end the simulator; quit, SIGTERM or SIGINT do (exit 0).)";

bool parseAddress(const QString &text, QHostAddress *out)
{
    QHostAddress address;
    if (!address.setAddress(text) || address.protocol() != QAbstractSocket::IPv4Protocol)
        return false;
    *out = address;
    return true;
}

bool parseCount(const QString &text, int max, int *out)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 0 || value > max)
        return false;
    *out = value;
    return true;
}

} // namespace

ParseResult parseSimOptions(const QStringList &arguments, SimOptions *options)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(DESCRIPTION));
    const QCommandLineOption help({"h", "help"}, "Show this help and exit.");
    const QCommandLineOption tcp("tcp", "Number of network loggers (0-256, default 0).", "N");
    const QCommandLineOption bind(
        "bind", "IPv4 address the TCP servers listen on (default 127.0.0.1).", "ADDR", "127.0.0.1");
    const QCommandLineOption basePort(
        "tcp-base-port", "Port of tcp0; tcpK gets P+K. 0: any free port (default).", "P", "0");
    const QCommandLineOption advertise(
        "advertise", "Address printed and sent in discovery replies (default: --bind).", "ADDR");
    const QCommandLineOption usb("usb", "Number of USB loggers (0-64, default 0).", "N");
    const QCommandLineOption linkDir(
        "usb-link-dir", "Directory for stable links DIR/ttyKX<index> to the USB ports.", "DIR");
    const QCommandLineOption discovery("discovery",
                                       "Answer the 50-byte discovery request on UDP port 50000 "
                                       "with one 28-byte reply per running network logger.");
    const QCommandLineOption discoveryBind(
        "discovery-bind", "IPv4 address of the discovery socket (default 0.0.0.0).", "ADDR",
        "0.0.0.0");
    const QCommandLineOption drift(
        "drift", "Make logger ID's ch1 climb by STEP per answer (repeatable).", "ID:STEP");
    const QCommandLineOption seed("seed", "Seed of the garbage fault's text (default 1).", "N",
                                  "1");
    parser.addOptions({help, tcp, bind, basePort, advertise, usb, linkDir, discovery, discoveryBind,
                       drift, seed});

    const auto fail = [](const QString &message) {
        writeStderrLine(QStringLiteral("kestrelix-sim: ") + message);
        return ParseResult::ExitError;
    };
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet(help)) {
        writeStdoutLine(parser.helpText().trimmed());
        return ParseResult::ExitOk;
    }
    if (!parser.positionalArguments().isEmpty())
        return fail("unexpected argument " + parser.positionalArguments().first());
    if (parser.isSet(tcp) && !parseCount(parser.value(tcp), MAX_TCP, &options->tcpCount))
        return fail("--tcp needs a count from 0 to 256");
    if (parser.isSet(usb) && !parseCount(parser.value(usb), MAX_USB, &options->usbCount))
        return fail("--usb needs a count from 0 to 64");
    if (!parseAddress(parser.value(bind), &options->bind))
        return fail("--bind needs an IPv4 address");
    int port = 0;
    if (!parseCount(parser.value(basePort), 65535, &port) ||
        (port > 0 && port + options->tcpCount - 1 > 65535))
        return fail("--tcp-base-port needs a port that leaves room for every logger");
    options->tcpBasePort = quint16(port);
    options->advertise = options->bind;
    if (options->bind == QHostAddress(QHostAddress::AnyIPv4))
        options->advertise = QHostAddress(QHostAddress::LocalHost);
    if (parser.isSet(advertise) && !parseAddress(parser.value(advertise), &options->advertise))
        return fail("--advertise needs an IPv4 address");
    options->usbLinkDir = parser.value(linkDir);
    options->discovery = parser.isSet(discovery);
    if (!parseAddress(parser.value(discoveryBind), &options->discoveryBind))
        return fail("--discovery-bind needs an IPv4 address");
    for (const QString &entry : parser.values(drift)) {
        const int colon = entry.lastIndexOf(':');
        bool ok = false;
        const double step = colon > 0 ? entry.mid(colon + 1).toDouble(&ok) : 0.0;
        if (!ok)
            return fail("--drift needs ID:STEP, e.g. tcp3:0.4");
        options->drift.insert(entry.left(colon), step);
    }
    bool seedOk = false;
    options->seed = parser.value(seed).toUInt(&seedOk);
    if (!seedOk)
        return fail("--seed needs a non-negative number");
    return ParseResult::Run;
}
