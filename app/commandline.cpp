#include "app/commandline.h"

#include "app/historycommand.h"
#include "store/logcategories.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLoggingCategory>

#include <cstring>

bool wantsHeadless(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--headless") == 0 ||
            std::strncmp(argv[i], "--headless=", 11) == 0)
            return true;
    }
    return false;
}

CommandLineOptions processCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral(
            "Records temperature and humidity from Kestrelix loggers.\n\n"
            "The terminal shows warnings and errors only. --verbose adds the diagnostic lines of\n"
            "every subsystem; QT_LOGGING_RULES chooses them one by one, e.g.\n"
            "QT_LOGGING_RULES=\"velmoran.device.debug=true\" (categories: velmoran.app,\n"
            "velmoran.device, velmoran.discovery, velmoran.project, velmoran.store).\n\n"
            "Exports, with no window and no display:\n") +
        QString::fromUtf8(HistoryCommand::usage()));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption verbose(
        QStringLiteral("verbose"),
        QStringLiteral("Write the diagnostic lines of polling, storing and discovery to the "
                       "terminal."));
    parser.addOption(verbose);
    const QCommandLineOption headless(
        QStringLiteral("headless"),
        QStringLiteral("Record the project PROJECT.tpc with no window and no display, until "
                       "SIGTERM or SIGINT. Alarms and errors are written to standard error. Exit "
                       "codes: 2 the project file is missing, unreadable or has no devices; 3 the "
                       "database cannot be opened; 4 another program records the project."),
        QStringLiteral("PROJECT.tpc"));
    parser.addOption(headless);
    parser.process(arguments);
    // QT_LOGGING_RULES still has the last word: it is applied after these rules.
    if (parser.isSet(verbose))
        QLoggingCategory::setFilterRules(QString::fromLatin1(LogCategories::kVerboseRule));
    CommandLineOptions options;
    options.headlessProject = parser.value(headless);
    return options;
}
