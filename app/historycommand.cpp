#include "app/historycommand.h"

#include "store/historycsvwriter.h"
#include "store/historydatabase.h"
#include "store/historyscan.h"
#include "store/historysummary.h"
#include "view/historyproject.h"
#include "view/historyreport.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDate>
#include <QDateTime>
#include <QSaveFile>
#include <QSettings>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

const char USAGE[] =
    "Usage: velmoran-lite [--export-csv PROJECT.tpc | --report-pdf PROJECT.tpc]\n"
    "                     [--from T] [--to T] [--logger SERIAL]... -o FILE\n"
    "\n"
    "Without options the program opens its window.\n"
    "\n"
    "  --export-csv PROJECT.tpc  write the samples of the project's database as CSV\n"
    "                            (time, serial number, logger name, channel 1 value,\n"
    "                            channel 1 unit, channel 2 value, channel 2 unit)\n"
    "  --report-pdf PROJECT.tpc  write a PDF report: charts, statistics, alarm events\n"
    "  --from T, --to T          range; T is an ISO 8601 date-time, local time unless it\n"
    "                            carries an offset (2026-03-01T08:00, 2026-03-01T08:00+01:00);\n"
    "                            default: the whole recorded range\n"
    "  --logger SERIAL           a logger to include, repeatable; default: every logger\n"
    "  -o, --output FILE         the file to write\n"
    "  -h, --help                this text\n"
    "\n"
    "No display is needed. Exit code 0: file written (an empty range gives a header-only CSV\n"
    "and a note on standard error); 2: bad arguments or unreadable project; 1: FILE could not\n"
    "be written.\n";

bool hasArgument(int argc, char *argv[], const char *name)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0)
            return true;
    }
    return false;
}

void note(const QString &text)
{
    std::fprintf(stderr, "velmoran-lite: %s\n", qPrintable(text));
}

bool parseTime(const QString &text, qint64 *out)
{
    QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!time.isValid())
        time = QDateTime::fromString(text, Qt::ISODate);
    if (!time.isValid())
        time = QDate::fromString(text, Qt::ISODate).startOfDay();
    if (!time.isValid())
        return false;
    *out = time.toSecsSinceEpoch();
    return true;
}

int runExport(const QCommandLineParser &parser, bool pdf)
{
    const QString projectFile =
        parser.value(pdf ? QStringLiteral("report-pdf") : QStringLiteral("export-csv"));
    const QString output = parser.value(QStringLiteral("output"));
    if (output.isEmpty()) {
        note(QStringLiteral("no output file: give -o FILE"));
        return 2;
    }
    HistoryProject project;
    if (!project.load(projectFile)) {
        note(QStringLiteral("cannot read the project file ") + projectFile);
        return 2;
    }
    HistoryDatabase database(project.databasePath);
    if (!database.open()) {
        note(QStringLiteral("cannot read the project's database: ") + database.lastError());
        return 2;
    }
    QStringList serials = parser.values(QStringLiteral("logger"));
    if (serials.isEmpty()) {
        for (const HistoryLogger &l : project.loggers)
            serials.append(l.serial);
    }
    serials.removeDuplicates();
    for (const QString &serial : serials) {
        if (!project.logger(serial))
            note(QStringLiteral("logger ") + serial + QStringLiteral(" is not in the project"));
    }
    qint64 from = 0;
    qint64 to = 0;
    const bool recorded = database.recordedRange(serials, &from, &to);
    if (parser.isSet(QStringLiteral("from")) &&
        !parseTime(parser.value(QStringLiteral("from")), &from)) {
        note(QStringLiteral("--from is not an ISO 8601 date-time: ") +
             parser.value(QStringLiteral("from")));
        return 2;
    }
    if (parser.isSet(QStringLiteral("to")) && !parseTime(parser.value(QStringLiteral("to")), &to)) {
        note(QStringLiteral("--to is not an ISO 8601 date-time: ") +
             parser.value(QStringLiteral("to")));
        return 2;
    }
    // A --from after the last sample is an empty range, not a reversed one.
    if (!parser.isSet(QStringLiteral("to")) && (!recorded || to < from))
        to = from;
    if (to < from) {
        note(QStringLiteral("--to lies before --from"));
        return 2;
    }
    qint64 rows = 0;
    if (!pdf) {
        QSaveFile file(output);
        if (!file.open(QIODevice::WriteOnly)) {
            note(QStringLiteral("cannot write ") + output);
            return 1;
        }
        HistoryCsvWriter writer(&file, project.labels());
        writer.writeHeader();
        HistoryScan scan(&database, serials, from, to, [&](const QVector<HistoryRow> &chunk) {
            rows += chunk.size();
            for (const HistoryRow &row : chunk) {
                if (!writer.writeRow(row))
                    return false;
            }
            return true;
        });
        const bool ok = serials.isEmpty() || scan.runToEnd();
        if (!ok || !file.commit()) {
            note(QStringLiteral("cannot write ") + output + QStringLiteral(": ") + scan.error());
            return 1;
        }
    } else {
        HistoryStatisticsSet statistics;
        statistics.reset(project, serials,
                         QSettings()
                             .value(QStringLiteral("History/activationEnergy"),
                                    HistoryStatistics::DEFAULT_ACTIVATION_ENERGY)
                             .toDouble());
        HistoryScan scan(&database, serials, from, to, [&](const QVector<HistoryRow> &chunk) {
            rows += chunk.size();
            return statistics.consume(chunk);
        });
        if (!serials.isEmpty() && !scan.runToEnd()) {
            note(QStringLiteral("cannot read the database: ") + scan.error());
            return 2;
        }
        auto summary = std::make_unique<HistorySummary>(
            &database, HistorySummary::defaultCachePath(project.databasePath));
        if (summary->open()) {
            while (!summary->catchUp(1000000) && summary->isOpen()) {
            }
        }
        HistoryReportInput input;
        input.project = &project;
        input.database = &database;
        input.summary = summary.get();
        input.statistics = &statistics;
        input.serials = serials;
        input.from = from;
        input.to = to;
        QString error;
        if (!writeHistoryReport(output, input, &error)) {
            note(error);
            return 1;
        }
    }
    if (rows == 0)
        note(QStringLiteral("no samples in the range; ") + output +
             (pdf ? QStringLiteral(" has no data") : QStringLiteral(" holds only the header")));
    return 0;
}

} // namespace

namespace HistoryCommand {

const char *usage()
{
    return USAGE;
}

bool wanted(int argc, char *argv[])
{
    for (const char *name : {"--export-csv", "--report-pdf"}) {
        if (hasArgument(argc, argv, name))
            return true;
    }
    return false;
}

int run(int argc, char *argv[])
{
    const bool pdf = hasArgument(argc, argv, "--report-pdf");
    std::unique_ptr<QCoreApplication> app;
    if (pdf) {
        // The report draws its charts with widgets; with no display, draw them off screen.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
            qEnvironmentVariableIsEmpty("DISPLAY") &&
            qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setOrganizationName(QStringLiteral("VelmoranLite"));
    QCoreApplication::setApplicationName(QStringLiteral("Velmoran Lite"));

    QCommandLineParser parser;
    parser.addOption({QStringLiteral("export-csv"), QString(), QStringLiteral("project")});
    parser.addOption({QStringLiteral("report-pdf"), QString(), QStringLiteral("project")});
    parser.addOption({QStringLiteral("from"), QString(), QStringLiteral("time")});
    parser.addOption({QStringLiteral("to"), QString(), QStringLiteral("time")});
    parser.addOption({QStringLiteral("logger"), QString(), QStringLiteral("serial")});
    parser.addOption(
        {{QStringLiteral("o"), QStringLiteral("output")}, QString(), QStringLiteral("file")});
    parser.addOption({{QStringLiteral("h"), QStringLiteral("help")}, QString()});
    if (!parser.parse(QCoreApplication::arguments())) {
        note(parser.errorText());
        std::fputs(USAGE, stderr);
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(USAGE, stdout);
        return 0;
    }
    if (parser.isSet(QStringLiteral("export-csv")) == parser.isSet(QStringLiteral("report-pdf")) ||
        !parser.positionalArguments().isEmpty()) {
        note(QStringLiteral("give exactly one of --export-csv and --report-pdf"));
        std::fputs(USAGE, stderr);
        return 2;
    }
    return runExport(parser, pdf);
}

} // namespace HistoryCommand
