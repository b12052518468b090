#include "tests/support/simprocess.h"
#include "tests/support/testsettings.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QtTest>

#include <csignal>

class TestSupport : public QObject
{
    Q_OBJECT

private slots:
    void settingsOfATestLandInTheTemporaryFolder();
    void simProcessWithoutProgramRefusesToStart();
    void simProcessFailsWhenTheSimulatorRejectsItsArguments();
    void destroyingSimProcessEndsTheSimulator();
};

void TestSupport::settingsOfATestLandInTheTemporaryFolder()
{
    isolateSettings();
    const QString dir = isolatedSettingsDir();
    QVERIFY(!dir.isEmpty());
    QVERIFY(QStandardPaths::isTestModeEnabled());
    {
        QSettings native("VelmoranLite", "Velmoran Lite");
        native.setValue("RecentProjects/list", QStringList{"a.tpc"});
        native.sync();
        QVERIFY2(native.fileName().startsWith(dir), qPrintable(native.fileName()));
        QVERIFY(QFile::exists(native.fileName()));

        QSettings ini(QSettings::IniFormat, QSettings::UserScope, "VelmoranLite", "Velmoran Lite");
        QVERIFY2(ini.fileName().startsWith(dir), qPrintable(ini.fileName()));
    }
    QCOMPARE(QSettings("VelmoranLite", "Velmoran Lite").value("RecentProjects/list").toStringList(),
             QStringList{"a.tpc"});
}

void TestSupport::simProcessWithoutProgramRefusesToStart()
{
    SimProcess sim{QString()};
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("no simulator program"));
    QVERIFY(!sim.start({"--tcp", "1"}));
    QVERIFY(!sim.isRunning());
    QVERIFY(sim.command("count tcp0").isEmpty());
}

void TestSupport::simProcessFailsWhenTheSimulatorRejectsItsArguments()
{
    SimProcess sim;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("no READY"));
    QVERIFY(!sim.start({"--tcp", "not-a-number"}, 3000));
    QVERIFY(!sim.isRunning());
}

void TestSupport::destroyingSimProcessEndsTheSimulator()
{
    qint64 pid = 0;
    {
        SimProcess sim;
        QVERIFY(sim.start({"--tcp", "1"}));
        pid = sim.processId();
        QVERIFY(pid > 0);
        QCOMPARE(::kill(pid_t(pid), 0), 0);
    }
    // The process has been waited for, so its id no longer exists.
    QCOMPARE(::kill(pid_t(pid), 0), -1);
}

QTEST_GUILESS_MAIN(TestSupport)
#include "tst_testsupport.moc"
