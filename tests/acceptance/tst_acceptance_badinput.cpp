#include "app/velmoranmain.h"
#include "device/configureddevice.h"
#include "device/devicetypes.h"
#include "project/messagedialog.h"
#include "project/projectfile.h"
#include "project/projectmain.h"
#include "store/insertserialdata.h"
#include "tests/acceptance/recordeddata.h"
#include "tests/acceptance/userdriver.h"
#include "tests/support/simprocess.h"
#include "tests/support/simulatorproject.h"
#include "tests/support/testsettings.h"
#include "view/projectcenter.h"

#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include <cmath>
#include <memory>
#include <vector>

using namespace UserDriver;

// What other writers and other devices hand the program: project files it did not write,
// database files that are no databases, loggers that answer nonsense. Each gets a clear
// message or is taken for what it is worth; nothing crashes and nothing on disk is lost.
class TestAcceptanceBadInput : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void aProjectFileFromABrokenWriterOpensWhatItCanOrSaysWhy_data();
    void aProjectFileFromABrokenWriterOpensWhatItCanOrSaysWhy();
    void aDatabaseThatCannotBeOpenedEndsTheProgramAfterSayingSo_data();
    void aDatabaseThatCannotBeOpenedEndsTheProgramAfterSayingSo();
    void loggersAnsweringNonsenseDoNotHoldUpTheOthers();

private:
    void writeSettings(const QString &name, const QString &path, bool autoLoad);
    bool writeLoggerProject(const QString &path, int interval);
    void openFromRecentList(VelmoranMain *window);

    SimProcess m_sim;
    std::unique_ptr<QTemporaryDir> m_dir;
};

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QJsonObject deviceEntry(const QString &number, int dashboard)
{
    return QJsonObject{{"DeviceName", "Probe " + number},
                       {"Ch1Name", "T"},
                       {"Ch2Name", "H"},
                       {"DeviceNumber", number},
                       {"DeviceType", "TELNET"},
                       {"DeviceInterface", "127.0.0.1"},
                       {"DevicePort", "1"},
                       {"ch1_unit", "1"},
                       {"ch1_min", "0.00"},
                       {"ch1_max", "0.00"},
                       {"ch1_custom", ""},
                       {"ch2_unit", "3"},
                       {"ch2_min", "0.00"},
                       {"ch2_max", "0.00"},
                       {"ch2_custom", ""},
                       {"buzzerAlarm", "OFF"},
                       {"DashboardNumber", dashboard}};
}

QByteArray devicesJson(const QJsonArray &devices)
{
    return QJsonDocument(QJsonObject{{"devices", devices}}).toJson(QJsonDocument::Compact);
}

// Answers the next modal message box with OK, as the user at the screen would.
class BoxAnswerer : public QObject
{
public:
    explicit BoxAnswerer(QObject *parent = nullptr) : QObject(parent)
    {
        auto *timer = new QTimer(this);
        QObject::connect(timer, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            texts.append(box->windowTitle() + QLatin1Char('|') + box->text());
            box->button(QMessageBox::Ok)->click();
        });
        timer->start(20);
    }
    QStringList texts;
};

} // namespace

void TestAcceptanceBadInput::initTestCase()
{
    isolateSettings();
    QVERIFY(m_sim.start({"--tcp", "3", "--tcp-base-port", "0"}));
}

void TestAcceptanceBadInput::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestAcceptanceBadInput::cleanup()
{
    QSettings settings(QStringLiteral("VelmoranLite"), QStringLiteral("Velmoran Lite"));
    settings.clear();
}

void TestAcceptanceBadInput::writeSettings(const QString &name, const QString &path, bool autoLoad)
{
    QSettings settings(QStringLiteral("VelmoranLite"), QStringLiteral("Velmoran Lite"));
    settings.clear();
    settings.beginGroup(QStringLiteral("RecentProjects"));
    settings.setValue(QStringLiteral("list"), QStringList{name});
    settings.setValue(QStringLiteral("projects"), QVariant(QHash<QString, QVariant>{{name, path}}));
    settings.setValue(QStringLiteral("autoLoad"), autoLoad);
    settings.endGroup();
    settings.sync();
}

bool TestAcceptanceBadInput::writeLoggerProject(const QString &path, int interval)
{
    return writeSimulatorProject(path, m_sim.loggers(), interval);
}

void TestAcceptanceBadInput::openFromRecentList(VelmoranMain *window)
{
    QVERIFY(window->projectMain());
    auto *recent = child<QListWidget>(window->projectMain(), QStringLiteral("listWidget"));
    QVERIFY(recent && recent->count() == 1);
    doubleClickItem(recent, recent->item(0));
}

void TestAcceptanceBadInput::aProjectFileFromABrokenWriterOpensWhatItCanOrSaysWhy_data()
{
    QTest::addColumn<QByteArray>("deviceList");
    QTest::addColumn<QByteArray>("rawFile");
    QTest::addColumn<int>("devicesOpened");

    QJsonArray twenty;
    for (int i = 0; i < 20; ++i)
        twenty.append(deviceEntry(QStringLiteral("CROWD%1").arg(i), 0));
    QJsonArray sixtyFive;
    for (int i = 0; i < 65; ++i)
        sixtyFive.append(deviceEntry(QStringLiteral("MANY%1").arg(i), i % 4));
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

    QTest::newRow("truncated JSON")
        << QByteArray(R"({"devices": [{"DeviceName": "Fr)") << QByteArray() << -1;
    QTest::newRow("an array instead of an object") << QByteArray("[1, 2, 3]") << QByteArray() << -1;
    QTest::newRow("binary noise instead of INI")
        << QByteArray() << QByteArray("\x00\xff\xfe[[[=\n\x01\x02\x03", 12) << -1;
    QTest::newRow("devices is not an array")
        << QByteArray(R"({"devices": {"a": 1}})") << QByteArray() << 0;
    QTest::newRow("entries of every wrong type")
        << devicesJson({wrongTypes, "text", 17, QJsonValue(), QJsonObject{{"DeviceNumber", "X"}},
                        numberAsNumber, farAway, longName})
        << QByteArray() << 4;
    QTest::newRow("twenty loggers on one dashboard") << devicesJson(twenty) << QByteArray() << 20;
    QTest::newRow("sixty-five loggers") << devicesJson(sixtyFive) << QByteArray() << 65;
}

void TestAcceptanceBadInput::aProjectFileFromABrokenWriterOpensWhatItCanOrSaysWhy()
{
    QFETCH(QByteArray, deviceList);
    QFETCH(QByteArray, rawFile);
    QFETCH(int, devicesOpened);

    const QString path = m_dir->filePath(QStringLiteral("Foreign.tpc"));
    if (!rawFile.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(rawFile);
    } else {
        QSettings file(path, QSettings::IniFormat);
        file.setValue(QStringLiteral("projectName"), QStringLiteral("Foreign"));
        file.setValue(QStringLiteral("DataInterval"), QStringLiteral("often"));
        file.setValue(QStringLiteral("databaseName"), QStringLiteral("Foreign.dat"));
        file.setValue(QStringLiteral("DeviceList"), deviceList);
    }
    const QByteArray before = fileBytes(path);
    writeSettings(QStringLiteral("Foreign"), path, false);

    VelmoranMain window;
    window.show();
    openFromRecentList(&window);

    if (devicesOpened < 0) {
        QVERIFY(window.projectMain());
        QVERIFY(!window.projectCenter());
        bool told = false;
        for (const MessageDialog *dialog : window.findChildren<MessageDialog *>()) {
            const auto *text = dialog->findChild<QTextBrowser *>(QStringLiteral("textBrowser"));
            told = told || (text && text->toPlainText() == "There is no device information!");
        }
        QVERIFY(told);
    } else {
        QTRY_VERIFY(window.projectCenter());
        QCOMPARE(window.configuredDevices().size(), devicesOpened);
        // The unreadable interval falls back to one that does not poll back to back.
        QCOMPARE(window.pollInterval(), 10000);
        // A few rounds of connection attempts to the odd addresses and ports.
        QTest::qWait(1200);
        QVERIFY(window.projectCenter());
        QVERIFY(chooseProjectMenuEntry(&window, QStringLiteral("actClose")));
        QTRY_VERIFY(window.projectMain());
    }
    // Opening reads; it never rewrites what another program wrote.
    QCOMPARE(fileBytes(path), before);
}

void TestAcceptanceBadInput::aDatabaseThatCannotBeOpenedEndsTheProgramAfterSayingSo_data()
{
    QTest::addColumn<bool>("directory");
    QTest::addColumn<bool>("autoLoad");
    QTest::newRow("folder, opened by hand") << true << false;
    QTest::newRow("not a database, opened by hand") << false << false;
    QTest::newRow("folder, loaded at start-up") << true << true;
    QTest::newRow("not a database, loaded at start-up") << false << true;
}

void TestAcceptanceBadInput::aDatabaseThatCannotBeOpenedEndsTheProgramAfterSayingSo()
{
    QFETCH(bool, directory);
    QFETCH(bool, autoLoad);
    const QString path = m_dir->filePath(QStringLiteral("Broken.tpc"));
    const QString databasePath = m_dir->filePath(QStringLiteral("Broken.dat"));
    QVERIFY(writeLoggerProject(path, 1000));
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

    BoxAnswerer answerer;
    VelmoranMain window;
    if (!autoLoad) {
        window.show();
        QVERIFY(!window.exitRequested());
        openFromRecentList(&window);
    }
    QTRY_VERIFY(window.exitRequested());
    QVERIFY2(answerer.texts.contains(QStringLiteral("ERROR|Create database error!\nExit program.")),
             qPrintable(answerer.texts.join(" / ")));
    QVERIFY(!window.isVisible());
    QVERIFY(!window.store());
    QVERIFY(!window.isProjectOpen());
    QVERIFY(window.configuredDevices().isEmpty());

    if (directory) {
        QVERIFY(QFileInfo(databasePath).isDir());
        QVERIFY(QDir(databasePath).isEmpty());
    } else {
        QCOMPARE(fileBytes(databasePath), foreign);
    }
    QCOMPARE(fileBytes(path), projectBefore);
    // The window asked the application to quit; with no event loop running here, that would
    // make every later modal box return at once. A short run of the loop takes the request.
    QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

void TestAcceptanceBadInput::loggersAnsweringNonsenseDoNotHoldUpTheOthers()
{
    const QString path = m_dir->filePath(QStringLiteral("Noise.tpc"));
    const QString databasePath = m_dir->filePath(QStringLiteral("Noise.dat"));
    QVERIFY(writeLoggerProject(path, 1000));
    writeSettings(QStringLiteral("Noise"), path, false);
    const QString good = m_sim.logger(QStringLiteral("tcp0")).deviceNumber;
    const QString noisy = m_sim.logger(QStringLiteral("tcp1")).deviceNumber;
    const QString strange = m_sim.logger(QStringLiteral("tcp2")).deviceNumber;

    VelmoranMain window;
    window.show();
    openFromRecentList(&window);
    QTRY_VERIFY(window.projectCenter());
    QVERIFY(click(window.projectCenter(), QStringLiteral("btn_record")));
    QVERIFY(window.isRecording());

    QVERIFY(m_sim.command("fault tcp1 garbage").startsWith("ok"));
    const QStringList strangeAnswers = {R"(raw tcp2 ATDC 1e999,-1e999\r\n)",
                                        R"(raw tcp2 ATDC nan,inf\r\n)",
                                        R"(raw tcp2 \xff\xfe\x00ATDC 1,2\r\n)",
                                        R"(raw tcp2 ATDC 1'); drop table kestrelix;--,2\r\n)",
                                        R"(raw tcp2 ATDC ,,,,,,\n\n\n,\r\n)"};
    for (const QString &answer : strangeAnswers) {
        QVERIFY(m_sim.command(answer).startsWith("ok"));
        const int asked = m_sim.command("count tcp2").mid(3).toInt();
        QTRY_VERIFY_WITH_TIMEOUT(m_sim.command("count tcp2").mid(3).toInt() >= asked + 2, 5000);
    }
    QVERIFY(m_sim.command("fault tcp2 longline").startsWith("ok"));
    QVERIFY(m_sim.command("auto tcp2").startsWith("ok"));

    QTRY_VERIFY_WITH_TIMEOUT(storedRowCount(databasePath, good) >= 12, 20000);
    QVERIFY(click(window.projectCenter(), QStringLiteral("btn_record")));
    QVERIFY(!window.isRecording());
    QCOMPARE(window.pendingRows().count(), 0);

    QList<StoredRow> rows;
    QVERIFY(readStoredRows(databasePath, &rows));
    for (const StoredRow &row : rows) {
        QVERIFY(!row.channel1 || std::isfinite(*row.channel1));
        QVERIFY(!row.channel2 || std::isfinite(*row.channel2));
    }
    QVERIFY(rowsOf(rows, good).size() >= 13);
    QVERIFY(rowsOf(rows, noisy).size() >= 2);
    QVERIFY(rowsOf(rows, strange).size() >= 2);
    for (const StoredRow &row : rowsOf(rows, good)) {
        if (!row.isBreak())
            QVERIFY(*row.channel1 >= 20.0 && *row.channel1 <= 20.9 + 1e-9);
    }
}

QTEST_MAIN(TestAcceptanceBadInput)
#include "tst_acceptance_badinput.moc"
