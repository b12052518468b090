#include "app/commandline.h"
#include "app/velmoranmain.h"
#include "store/insertserialdata.h"
#include "store/logcategories.h"
#include "tests/app/appfixture.h"
#include "tests/app/loggerproject.h"
#include "tests/support/simprocess.h"
#include "tests/support/tempproject.h"
#include "tests/support/testsettings.h"

#include <QApplication>
#include <QTest>

#include <memory>

using namespace AppFixture;

namespace {
QStringList g_debugLines; // "category: text" of every debug line that reached the terminal

void captureDebug(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type == QtDebugMsg)
        g_debugLines << QString::fromLatin1(context.category) + QStringLiteral(": ") + text;
}
} // namespace

// What a recording writes to the terminal, by default and with --verbose.
class TestAppLogging : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        isolateSettings();
        QVERIFY(m_sim.start({"--tcp", "1", "--tcp-base-port", "0"}));
        m_dir = std::make_unique<TempProjectDir>();
    }

    void cleanup()
    {
        qInstallMessageHandler(nullptr);
        QLoggingCategory::setFilterRules(QString());
    }

    void aRecordingWritesDiagnosticLinesOnlyWhenVerbose_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("verbose");
        QTest::newRow("default") << QStringList{"velmoran-lite"} << false;
        QTest::newRow("--verbose") << QStringList{"velmoran-lite", "--verbose"} << true;
    }

    void aRecordingWritesDiagnosticLinesOnlyWhenVerbose()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, verbose);
        clearAppSettings();
        processCommandLine(arguments);
        const QString path = m_dir->projectPath(verbose ? "Verbose" : "Quiet");
        QVERIFY(writeLoggerProject(path, {m_sim.logger("tcp0")}, 1000));

        {
            VelmoranMain window;
            g_debugLines.clear();
            qInstallMessageHandler(captureDebug);
            window.projectLoaded(path);
            window.slotStartRecord();
            QTRY_VERIFY_WITH_TIMEOUT(window.pendingRows().count() >= 2, 5000);
            window.slotStopRecord(); // writes the queued rows in one batch
            QVERIFY(window.store()->totalRow() >= 3);
        }
        qInstallMessageHandler(nullptr);

        if (verbose) {
            QVERIFY(!g_debugLines.filter("velmoran.device: TelnetDevice::readData").isEmpty());
            QVERIFY(!g_debugLines.filter("velmoran.store: InsertSerialData::insertNow").isEmpty());
        } else {
            QVERIFY2(g_debugLines.isEmpty(), qPrintable(g_debugLines.mid(0, 5).join('\n')));
        }
        for (const auto category : {&lcApp, &lcDevice, &lcDiscovery, &lcProject, &lcStore}) {
            QCOMPARE(category().isDebugEnabled(), verbose);
            QVERIFY(category().isWarningEnabled());
        }
    }

private:
    SimProcess m_sim;
    std::unique_ptr<TempProjectDir> m_dir;
};

int main(int argc, char **argv)
{
    // The test environment silences debug output; here the program's own defaults are tested.
    qunsetenv("QT_LOGGING_RULES");
    QApplication app(argc, argv);
    TestAppLogging test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_app_logging.moc"
