#include "app/commandline.h"

#include "app/historycommand.h"
#include "store/logcategories.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLoggingCategory>

void processCommandLine(const QStringList &arguments)
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
    parser.process(arguments);
    // QT_LOGGING_RULES still has the last word: it is applied after these rules.
    if (parser.isSet(verbose))
        QLoggingCategory::setFilterRules(QString::fromLatin1(LogCategories::kVerboseRule));
}
