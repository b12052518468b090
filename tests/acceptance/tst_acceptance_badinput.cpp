#include "app/velmoranmain.h"
#include "project/projectfile.h"
#include "project/projectmain.h"
#include "store/insertserialdata.h"
#include "tests/acceptance/recordeddata.h"
#include "tests/acceptance/userdriver.h"
#include "tests/support/messageprobe.h"
#include "tests/support/simulatorproject.h"
#include "tests/support/testsettings.h"
#include "view/projectcenter.h"

#include <QApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <cmath>
#include <memory>

using namespace UserDriver;

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QJsonObject deviceEntry(const QString &number, int dashboard)
{
    QJsonObject entry{{"DeviceName", "Probe " + number},
                      {"DeviceNumber", number},
                      {"DeviceType", "TELNET"},
                      {"DeviceInterface", "127.0.0.1"},
                      {"DevicePort", "1"},
                      {"DashboardNumber", dashboard}};
    for (const char *key : {"ch1_min", "ch1_max", "ch2_min", "ch2_max"})
        entry[key] = "0.00";
    return entry;
}

class BoxAnswerer : public QObject
{
public:
    BoxAnswerer()
    {
        auto *timer = new QTimer(this);
        QObject::connect(timer, &QTimer::timeout, this, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                texts.append(box->windowTitle() + QLatin1Char('|') + box->text());
                box->button(QMessageBox::Ok)->click();
            }
        });
        timer->start(20);
    }
    QStringList texts;
};

// Replies no logger should give, as simulator commands; moc cannot read raw strings in a class.
const char *const STRANGE_ANSWERS[] = {
    R"(raw tcp2 ATDC 1e999,-1e999\r\n)", R"(raw tcp2 ATDC nan,inf\r\n)",
    R"(raw tcp2 \xff\xfe\x00ATDC 1,2\r\n)", R"(raw tcp2 ATDC 1'); drop table kestrelix;--,2\r\n)",
    R"(raw tcp2 ATDC ,,,,,,\n\n\n,\r\n)"};

} // namespace

class TestAcceptanceBadInput : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        isolateSettings();
        QVERIFY(m_sim.start({"--tcp", "3", "--tcp-base-port", "0"}));
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void aProjectFileFromABrokenWriterOpensWhatItCanOrSaysWhy_data()
    {
        QTest::addColumn<QByteArray>("deviceList");
        QTest::addColumn<QByteArray>("rawFile");
        QTest::addColumn<QVariant>("interval");
        QTest::addColumn<int>("devicesOpened");
        QTest::addColumn<int>("intervalUsed");

        // More than sixteen on one dashboard and more than sixty-four in all, among entries of
        // every wrong type.
        QJsonArray crowd;
        for (int i = 0; i < 65; ++i)
            crowd.append(deviceEntry(QStringLiteral("MANY%1").arg(i), i < 20 ? 0 : i % 4));
        QJsonObject wrongTypes = deviceEntry(QStringLiteral("ODD1"), 0);
        wrongTypes["DevicePort"] = "telnet";
        wrongTypes["ch1_unit"] = "77";
        wrongTypes["ch1_min"] = "cold";
        wrongTypes["ch2_max"] = QJsonValue(QJsonArray{1, 2});
        wrongTypes["DashboardNumber"] = "1";
        QJsonObject numberAsNumber = deviceEntry(QString(), 1);
        numberAsNumber["DeviceNumber"] = 42;
        QJsonObject farAway = deviceEntry(QStringLiteral("FAR1"), 0);
        farAway["DashboardNumber"] = 1e12;
        QJsonObject longName = deviceEntry(QStringLiteral("LONG1"), 2);
        longName["DeviceName"] = QString(100000, QLatin1Char('x'));
        for (const QJsonValue &odd :
             {QJsonValue(wrongTypes), QJsonValue("text"), QJsonValue(17), QJsonValue(),
              QJsonValue(QJsonObject{{"DeviceNumber", "X"}}), QJsonValue(numberAsNumber),
              QJsonValue(farAway), QJsonValue(longName)})
            crowd.append(odd);
        const QByteArray crowdJson =
            QJsonDocument(QJsonObject{{"devices", crowd}}).toJson(QJsonDocument::Compact);
        const QByteArray none = "{\"devices\": []}";

        QTest::newRow("truncated JSON") << QByteArray("{\"devices\": [{\"DeviceName\": \"Fr")
                                        << QByteArray() << QVariant(1000) << -1 << 0;
        QTest::newRow("an array instead of an object")
            << QByteArray("[1, 2, 3]") << QByteArray() << QVariant(1000) << -1 << 0;
        QTest::newRow("no device list")
            << QByteArray() << QByteArray() << QVariant(1000) << -1 << 0;
        QTest::newRow("binary noise instead of INI")
            << QByteArray() << QByteArray("\x00\xff\xfe[[[=\n\x01\x02\x03", 12) << QVariant() << -1
            << 0;
        QTest::newRow("devices is not an array, interval is text")
            << QByteArray("{\"devices\": {\"a\": 1}}") << QByteArray() << QVariant("often") << 0
            << 10000;
        // An unusable interval must not make the poll timer fire back to back.
        QTest::newRow("zero interval") << none << QByteArray() << QVariant(0) << 0 << 10000;
        QTest::newRow("odd entries, seventy-three loggers")
            << crowdJson << QByteArray() << QVariant(99) << 69 << 100;
    }

    void aProjectFileFromABrokenWriterOpensWhatItCanOrSaysWhy()
    {
        QFETCH(QByteArray, deviceList);
        QFETCH(QByteArray, rawFile);
        QFETCH(QVariant, interval);
        QFETCH(int, devicesOpened);
        QFETCH(int, intervalUsed);

        const QString path = m_dir->filePath(QStringLiteral("Foreign.tpc"));
        if (!rawFile.isEmpty()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(rawFile);
        } else {
            QSettings file(path, QSettings::IniFormat);
            file.setValue(QStringLiteral("projectName"), QStringLiteral("Foreign"));
            if (interval.isValid())
                file.setValue(QStringLiteral("DataInterval"), interval);
            file.setValue(QStringLiteral("databaseName"), QStringLiteral("Foreign.dat"));
            if (!deviceList.isEmpty())
                file.setValue(QStringLiteral("DeviceList"), deviceList);
        }
        const QByteArray before = fileBytes(path);
        writeSettings(QStringLiteral("Foreign"), path, false);

        VelmoranMain window;
        window.show();
        if (intervalUsed == 100)
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression("^\\[WARNING\\] .*raised to 100"));
        openFromRecentList(&window);

        if (devicesOpened < 0) {
            QVERIFY(window.projectMain());
            QVERIFY(!window.projectCenter() && !window.store());
            QCOMPARE(countMessages(&window, "ERROR", "There is no device information!"), 1);
        } else {
            QTRY_VERIFY(window.projectCenter());
            QCOMPARE(window.configuredDevices().size(), devicesOpened);
            QCOMPARE(window.pollInterval(), intervalUsed);
            int pollTimers = 0;
            for (const QTimer *timer : window.findChildren<QTimer *>())
                pollTimers += timer->isActive() && timer->interval() == intervalUsed;
            QCOMPARE(pollTimers, 1);
            if (intervalUsed == 10000)
                QCOMPARE(child<QLabel>(&window, "label_interval")->text(), "Interval : 10 sec");
            // A few rounds of connection attempts to the odd addresses and ports.
            if (devicesOpened > 0)
                QTest::qWait(1200);
            QVERIFY(window.projectCenter());
            QVERIFY(chooseProjectMenuEntry(&window, QStringLiteral("actClose")));
            QTRY_VERIFY(window.projectMain());
            QVERIFY(child<QLabel>(&window, "label_interval")->text().isEmpty());
        }
        // Opening reads; it never rewrites what another program wrote.
        QCOMPARE(fileBytes(path), before);
    }

    void aDatabaseThatCannotBeOpenedEndsTheProgramAfterSayingSo_data()
    {
        QTest::addColumn<bool>("directory");
        QTest::addColumn<bool>("autoLoad");
        QTest::newRow("folder, opened by hand") << true << false;
        QTest::newRow("not a database, loaded at start-up") << false << true;
    }

    void aDatabaseThatCannotBeOpenedEndsTheProgramAfterSayingSo()
    {
        QFETCH(bool, directory);
        QFETCH(bool, autoLoad);
        const QString path = m_dir->filePath(QStringLiteral("Broken.tpc"));
        const QString databasePath = m_dir->filePath(QStringLiteral("Broken.dat"));
        QVERIFY(writeSimulatorProject(path, m_sim.loggers(), 1000));
        const QByteArray foreign = "somebody's notes, not a database\n";
        if (directory) {
            QVERIFY(QDir().mkpath(databasePath));
        } else {
            QFile file(databasePath);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(foreign);
        }
        const QByteArray projectBefore = fileBytes(path);
        writeSettings(QStringLiteral("Broken"), path, autoLoad);

        // The terminal names the file too, for whoever reads the session's log.
        if (!directory)
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression("Create database error.*" +
                                                    QRegularExpression::escape(databasePath)));
        BoxAnswerer answerer;
        VelmoranMain window;
        if (!autoLoad) {
            window.show();
            QVERIFY(!window.exitRequested());
            openFromRecentList(&window);
        }
        QTRY_VERIFY(window.exitRequested());
        QVERIFY2(
            answerer.texts.contains(QStringLiteral("ERROR|Create database error!\nExit program.")),
            qPrintable(answerer.texts.join(" / ")));
        QVERIFY(!window.isVisible() && !window.store() && !window.isProjectOpen());
        QVERIFY(window.configuredDevices().isEmpty());
        if (directory)
            QVERIFY(QFileInfo(databasePath).isDir() && QDir(databasePath).isEmpty());
        else
            QCOMPARE(fileBytes(databasePath), foreign);
        QCOMPARE(fileBytes(path), projectBefore);
        // The window asked the application to quit; with no event loop running here, that would
        // make every later modal box return at once. A short run of the loop takes the request.
        QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
    }

    void loggersAnsweringNonsenseDoNotHoldUpTheOthers()
    {
        const QString path = m_dir->filePath(QStringLiteral("Noise.tpc"));
        const QString databasePath = m_dir->filePath(QStringLiteral("Noise.dat"));
        QVERIFY(writeSimulatorProject(path, m_sim.loggers(), 200));
        writeSettings(QStringLiteral("Noise"), path, false);
        const QString good = m_sim.logger(QStringLiteral("tcp0")).deviceNumber;

        VelmoranMain window;
        window.show();
        openFromRecentList(&window);
        QTRY_VERIFY(window.projectCenter());
        QVERIFY(click(window.projectCenter(), QStringLiteral("btn_record")));
        QVERIFY(window.isRecording());
        const int goodAsked = answerCount(m_sim, "tcp0");

        QVERIFY(m_sim.command("fault tcp1 garbage").startsWith("ok"));
        for (const char *answer : STRANGE_ANSWERS) {
            QVERIFY(m_sim.command(answer).startsWith("ok"));
            const int asked = answerCount(m_sim, "tcp2");
            QTRY_VERIFY_WITH_TIMEOUT(answerCount(m_sim, "tcp2") >= asked + 2, 5000);
        }
        QVERIFY(m_sim.command("fault tcp2 longline").startsWith("ok"));
        QVERIFY(m_sim.command("auto tcp2").startsWith("ok"));

        QTRY_VERIFY_WITH_TIMEOUT(answerCount(m_sim, "tcp0") >= goodAsked + 14, 5000);
        QVERIFY(click(window.projectCenter(), QStringLiteral("btn_record")));
        QVERIFY(!window.isRecording());
        QCOMPARE(window.pendingRows().count(), 0);

        const QList<StoredRow> rows = storedRows(databasePath);
        for (const StoredRow &row : rows) {
            QVERIFY(!row.channel1 || std::isfinite(*row.channel1));
            QVERIFY(!row.channel2 || std::isfinite(*row.channel2));
        }
        QVERIFY(storedRows(databasePath, good).size() >= 12);
        QVERIFY(storedRows(databasePath, m_sim.logger("tcp1").deviceNumber).size() >= 2);
        QVERIFY(storedRows(databasePath, m_sim.logger("tcp2").deviceNumber).size() >= 2);
        for (const StoredRow &row : storedRows(databasePath, good))
            QVERIFY(row.isBreak() || (*row.channel1 >= 20.0 && *row.channel1 <= 20.9 + 1e-9));
    }

private:
    void writeSettings(const QString &name, const QString &path, bool autoLoad)
    {
        QSettings settings(QStringLiteral("VelmoranLite"), QStringLiteral("Velmoran Lite"));
        settings.clear();
        settings.beginGroup(QStringLiteral("RecentProjects"));
        settings.setValue(QStringLiteral("list"), QStringList{name});
        settings.setValue(QStringLiteral("projects"),
                          QVariant(QHash<QString, QVariant>{{name, path}}));
        settings.setValue(QStringLiteral("autoLoad"), autoLoad);
    }

    void openFromRecentList(VelmoranMain *window)
    {
        auto *recent = child<QListWidget>(window->projectMain(), QStringLiteral("listWidget"));
        QVERIFY(recent && recent->count() == 1);
        doubleClickItem(recent, recent->item(0));
    }

    SimProcess m_sim;
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_MAIN(TestAcceptanceBadInput)
#include "tst_acceptance_badinput.moc"
