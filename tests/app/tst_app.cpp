#include "app/alarmsound.h"
#include "app/commandline.h"
#include "app/velmoranmain.h"
#include "app/wavdata.h"
#include "device/configureddevice.h"
#include "project/projectfile.h"
#include "project/projectmain.h"
#include "recorder/recorder.h"
#include "store/logcategories.h"
#include "tests/acceptance/recordeddata.h"
#include "tests/acceptance/userdriver.h"
#include "tests/app/fakesink.h"
#include "tests/support/messageprobe.h"
#include "tests/support/simulatorproject.h"
#include "tests/support/tempproject.h"
#include "view/projectcenter.h"
#include "view/topcustomframe.h"

#include <QApplication>
#include <QAudioDevice>
#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMediaDevices>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QtEndian>

#include <cmath>
#include <memory>

using namespace UserDriver;

namespace {
const QString SAVE_FAILED = QStringLiteral("Unable to save the project file.\nPlease retry.");

QStringList g_debugLines; // "category: text" of every debug line that reached the terminal

void captureDebug(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type == QtDebugMsg)
        g_debugLines << QString::fromLatin1(context.category) + QStringLiteral(": ") + text;
}

std::unique_ptr<QSettings> appSettings()
{
    return std::make_unique<QSettings>("VelmoranLite", "Velmoran Lite");
}

void setRecent(const QStringList &names, const QVariantHash &paths, bool autoLoad = false)
{
    const auto settings = appSettings();
    settings->setValue("RecentProjects/list", names);
    settings->setValue("RecentProjects/projects", paths);
    settings->setValue("RecentProjects/autoLoad", autoLoad);
}

void openFromRecentList(VelmoranMain *window)
{
    auto *recent = child<QListWidget>(window->projectMain(), "listWidget");
    QVERIFY(recent && recent->count() == 1);
    doubleClickItem(recent, recent->item(0));
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray le(quint32 v, int size)
{
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b.left(size);
}

QByteArray chunk(const QByteArray &id, const QByteArray &body)
{
    return id + le(quint32(body.size()), 4) + body + QByteArray(body.size() % 2, '\0');
}

QByteArray fmt(quint16 tag, quint16 channels, quint32 rate, quint16 bits)
{
    const quint16 align = quint16(channels * bits / 8);
    return chunk("fmt ", le(tag, 2) + le(channels, 2) + le(rate, 4) + le(rate * align, 4) +
                             le(align, 2) + le(bits, 2));
}

QByteArray riff(const QByteArray &chunks)
{
    return "RIFF" + le(quint32(4 + chunks.size()), 4) + "WAVE" + chunks;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A stand-in program that writes its argument count, each argument and the project file's
// stop time (as it found it when it started) into "<name>.out" beside itself.
bool writeFakeTool(const QString &folder, const QString &name)
{
    const QString path = QDir(folder).filePath(name);
    return writeFile(path, "#!/bin/sh\nout=\"$(dirname \"$0\")/" + name.toUtf8() +
                               ".out\"\np=\"$1\"; p=\"${p#\\'}\"; p=\"${p%\\'}\"\n"
                               "{ echo \"$#\"; for a in \"$@\"; do echo \"$a\"; done;"
                               " grep '^record_stop_time' \"$p\"; } > \"$out.tmp\"\n"
                               "mv \"$out.tmp\" \"$out\"\n") &&
           QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
}

// A network logger's entry as another program writes it, with the given members changed.
QJsonObject deviceEntry(const QString &number, int dashboard, const QJsonObject &changes = {})
{
    const char *fixed = R"({"DeviceType": "TELNET", "DevicePort": "1", "ch1_min": "0.00",
        "DeviceInterface": "127.0.0.1", "ch1_max": "0.00", "ch2_min": "0.00", "ch2_max": "0.00"})";
    QJsonObject entry = QJsonDocument::fromJson(fixed).object();
    entry["DeviceName"] = "Probe " + number;
    entry["DeviceNumber"] = number;
    entry["DashboardNumber"] = dashboard;
    for (auto it = changes.begin(); it != changes.end(); ++it)
        entry[it.key()] = it.value();
    return entry;
}

// Members of a logger entry of every wrong type.
const char *const WRONG_TYPES = R"({"DevicePort": "telnet", "ch1_unit": "77", "ch1_min": "cold",
    "ch2_max": [1, 2], "DashboardNumber": "1"})";

// Replies no logger should give, as simulator commands; moc cannot read raw strings in a class.
const char *const STRANGE_ANSWERS[] = {
    R"(raw tcp2 ATDC 1e999,-1e999\r\n)", R"(raw tcp2 ATDC nan,inf\r\n)",
    R"(raw tcp2 \xff\xfe\x00ATDC 1,2\r\n)", R"(raw tcp2 ATDC 1'); drop table kestrelix;--,2\r\n)",
    R"(raw tcp2 ATDC ,,,,,,\n\n\n,\r\n)"};
} // namespace

class TestApp : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        isolateSettings();
        QVERIFY(m_bin.isValid());
        processCommandLine({"velmoran-lite"});
        m_originalPath = qgetenv("PATH");
        QVERIFY(m_sim.start({"--tcp", "3", "--tcp-base-port", "0"}));
        for (const char *id : {"tcp0", "tcp1", "tcp2"})
            m_tcp.append(m_sim.logger(id));
    }

    void init()
    {
        appSettings()->clear();
        m_dir = std::make_unique<TempProjectDir>();
        qputenv("PATH", m_bin.path().toUtf8() + ':' + m_originalPath);
    }

    void cleanup() { qputenv("PATH", m_originalPath); }

    void onlyPcmWaveIsRead_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("samples"); // none: the file is refused
        const QByteArray pcm = QByteArray::fromHex("0100ffff02000300");
        QTest::newRow("chunks before the data are skipped")
            << riff(fmt(1, 1, 8000, 16) + chunk("LIST", "INFOabc") + chunk("data", pcm)) << pcm;
        // A data chunk that claims more than the file holds plays what is there, whole frames.
        QTest::newRow("truncated data")
            << riff(fmt(1, 2, 8000, 16)) + "data" + le(1000, 4) + "abcdef" << QByteArray("abcd");
        QTest::newRow("RIFX") << QByteArray("RIFX....WAVE") << QByteArray();
        QTest::newRow("no format") << riff(chunk("data", "abcd")) << QByteArray();
        QTest::newRow("ADPCM") << riff(fmt(2, 2, 44100, 4) + chunk("data", "abcd")) << QByteArray();
        QTest::newRow("no data") << riff(fmt(1, 2, 44100, 16)) << QByteArray();
        QTest::newRow("short format") << riff(chunk("fmt ", "short")) << QByteArray();
    }

    void onlyPcmWaveIsRead()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, samples);
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        WavData wav;
        QString error;
        QCOMPARE(readWav(&buffer, &wav, &error), !samples.isEmpty());
        QCOMPARE(wav.samples, samples);
    }

    void oneSoundPlaysFromTheStartWhileAnyAlarmLastsAndStopsWhenAllClear()
    {
        auto *sink = new FakeSink;
        AlarmSound sound(":/critical.wav", sink);
        QSignalSpy states(&sound, &AlarmSound::stateChanged);
        ConfiguredDevice first("A1", LINK_TCP), second("B2", LINK_TCP), quiet("C3", LINK_TCP);
        first.setAlarm1(true);
        second.setAlarm2(true);
        const QList<ConfiguredDevice *> devices{&quiet, &first, &second, nullptr};
        for (int tick = 0; tick < 3; ++tick)
            sound.update(AlarmSound::anyAlarm(devices));
        QCOMPARE(QList<qint64>({sink->starts, sink->startPosition}), QList<qint64>({1, 0}));
        // The samples of the data chunk, without the header.
        const QByteArray bytes = fileBytes(":/critical.wav");
        const qsizetype dataAt = bytes.indexOf("data") + 8;
        const QByteArray firstPlayback = sink->played;
        QCOMPARE(firstPlayback,
                 bytes.mid(dataAt, qFromLittleEndian<quint32>(bytes.constData() + dataAt - 4)));

        sink->finishPlayback();
        QVERIFY(!sound.isActive());
        sound.update(AlarmSound::anyAlarm(devices));
        QCOMPARE(QList<qint64>({sink->starts, sink->startPosition}), QList<qint64>({2, 0}));
        QCOMPARE(sink->played, firstPlayback);
        QVERIFY(states.count() >= 3);

        first.setAlarm1(false);
        second.setAlarm2(false);
        sound.update(AlarmSound::anyAlarm(devices));
        QCOMPARE(QList<int>({sink->starts, sink->stops}), QList<int>({2, 1}));

        auto *silent = new FakeSink;
        AlarmSound missing(":/no-such.wav", silent);
        QCOMPARE(missing.problems().size(), 1);
        QCOMPARE(missing.problems()[0].title + ": " + missing.problems()[0].text,
                 "critical.wav: Could not find file \"critical.wav\"!");
        missing.update(true);
        QCOMPARE(silent->starts, 0);
    }

    void optionsRecentProjectsAndPlaceSurviveARestart()
    {
        const QString older = m_dir->projectPath("Older"), newer = m_dir->projectPath("Newer");
        QVERIFY(writeSimulatorProject(older, {}, 1000) && writeSimulatorProject(newer, {}, 5000));
        setRecent({"Gone", "Older"}, {{"Gone", m_dir->projectPath("Gone")}, {"Older", older}});
        QRect place;
        {
            VelmoranMain window;
            // An entry whose file was deleted is pruned, and the next save writes that back.
            QCOMPARE(window.recentList(), QStringList{"Older"});
            for (const char *name : {"actAutoLoad", "actAutoRecord", "actKeepAlive"})
                QVERIFY(!child<QAction>(&window, name)->isChecked());
            child<QAction>(&window, "actAutoLoad")->trigger();
            child<QAction>(&window, "actKeepAlive")->trigger();
            window.show();
            window.setGeometry(40, 30, 1000, 660);
            place = window.geometry();
            window.projectLoaded(newer);
            QVERIFY(window.isProjectOpen());
            window.slotCloseProject();
            child<QAction>(&window, "actAutoRecord")->trigger();
            QVERIFY(window.close());
        }
        QCOMPARE(appSettings()->value("RecentProjects/list").toStringList(),
                 (QStringList{"Newer", "Older"}));
        QVERIFY(!appSettings()->value("RecentProjects/projects").toHash().contains("Gone"));

        // A box that waited for a click would never let the constructor return.
        VelmoranMain restarted;
        for (const char *name : {"actAutoLoad", "actAutoRecord", "actKeepAlive"})
            QVERIFY(child<QAction>(&restarted, name)->isChecked());
        QCOMPARE(restarted.projectFile(), newer);
        QVERIFY(restarted.isRecording() && !QApplication::activeModalWidget());
        restarted.show();
        QCOMPARE(restarted.geometry(), place);
        // Two double-clicks on the title bar go to full screen and back.
        auto *title = restarted.findChild<TopCustomFrame *>("menuFrame");
        for (const bool full : {true, false}) {
            QTest::mouseDClick(title, Qt::LeftButton);
            QVERIFY(restarted.isFullScreen() == full &&
                    child<QAction>(&restarted, "actFullScreen")->isChecked() == full);
        }
        restarted.slotStopRecord();
        if (QMediaDevices::audioOutputs().isEmpty()) {
            // No sound device at all is no fault worth a box: the status bar says it quietly.
            QVERIFY(restarted.findChildren<QMessageBox *>().isEmpty());
            const auto *notice = restarted.findChild<QLabel *>("label_sound");
            QVERIFY(notice && !notice->isHidden());
            QCOMPARE(notice->text(), "Alarm sound off: no sound device");
        }
    }

    // The tools get the path whole after the stop time was written; slow intervals disable
    // keep-alive; a project recorded elsewhere is refused; a full database stops recording.
    void toolsSlowIntervalsARecordedProjectAndAFullDatabase()
    {
        const QString slow = m_dir->projectPath("Slow"), minute = m_dir->projectPath("Minute");
        QVERIFY(writeSimulatorProject(slow, {}, 300000) &&
                writeSimulatorProject(minute, {}, 60000));
        auto other = std::make_unique<Recorder>();
        QCOMPARE(other->openStore(minute), Recorder::OpenResult::Opened);
        VelmoranMain window;
        QVERIFY(QDir(m_dir->path()).mkdir("my projects"));
        const QString path = m_dir->filePath("my projects/Line 1.tpc");
        QVERIFY(writeSimulatorProject(path, {}, 1000));
        window.projectLoaded(path);
        // An empty recording: its end is the time it stopped, which no row of the database gives.
        window.slotStartRecord();
        window.slotStopRecord();
        const QString shownEnd = window.projectCenter()->recordEndText();
        QVERIFY(!shownEnd.isEmpty() && ProjectFile::readString(path, "record_stop_time").isEmpty());
        for (const auto &[program, slot] : {std::pair{QString("Plotvane"), "slotPlotvaneRecord"},
                                            {QString("Ledgerist"), "slotReportDaily"}}) {
            const QString message = "Please check the " + program + " execution file.";
            QVERIFY(ProjectFile::writeValue(path, "record_stop_time", ""));
            QVERIFY(QMetaObject::invokeMethod(&window, slot));
            QCOMPARE(countMessages(&window, "ERROR", message), 1);

            QVERIFY(writeFakeTool(m_bin.path(), program));
            const QString output = QDir(m_bin.path()).filePath(program + ".out");
            QVERIFY(QMetaObject::invokeMethod(&window, slot));
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(output), 5000);
            const QStringList lines = QString::fromUtf8(fileBytes(output)).split('\n');
            QCOMPARE(lines.mid(0, 2), QStringList({"1", "'" + path + "'"}));
            QVERIFY2(lines.value(2).contains(shownEnd), qPrintable(lines.join('|')));
            QCOMPARE(countMessages(&window, "ERROR", message), 1);
        }

        // A database that is not where the project says starts nothing and writes nothing.
        QVERIFY(ProjectFile::writeValue(path, "databaseName", "elsewhere.dat"));
        QVERIFY(ProjectFile::writeValue(path, "record_stop_time", ""));
        window.slotPlotvaneRecord();
        QCOMPARE(countMessages(&window, "ERROR", "Database does not exist."), 1);
        QVERIFY(ProjectFile::readString(path, "record_stop_time").isEmpty());
        window.slotCloseProject();

        QAction *keepAlive = child<QAction>(&window, "actKeepAlive");
        window.projectLoaded(slow);
        QVERIFY(!keepAlive->isEnabled());
        QCOMPARE(window.findChild<QLabel *>("label_interval")->text(), "Interval : 5 min");
        window.slotCloseProject();
        QVERIFY(keepAlive->isEnabled());
        QCOMPARE(window.pollInterval(), 10000);
        window.projectLoaded(minute);
        QCOMPARE(countMessages(&window, "ERROR",
                               QStringLiteral("This project is being recorded by another program "
                                              "(process %1).\nClose it there first.")
                                   .arg(QCoreApplication::applicationPid())),
                 1);
        QVERIFY(!window.projectCenter() && !window.store() && window.projectMain());
        other.reset();
        window.projectLoaded(minute);
        QVERIFY(window.projectCenter() && window.store() && keepAlive->isEnabled());

        // Recording stops when the database reaches its size limit; a project file that cannot
        // be written (a folder in its place, not even root writes it) is said so each time.
        QFile database(ProjectFile::databasePath(minute));
        QVERIFY(QFile::remove(minute) && QDir().mkdir(minute));
        window.slotUpdateProjectFile();
        QCOMPARE(countMessages(&window, "ERROR", SAVE_FAILED), 1);
        window.slotStartRecord();
        QCOMPARE(countMessages(&window, "ERROR", SAVE_FAILED), 2);
        // The limit counts the write-ahead log too, as the size shown does.
        const qint64 wal = QFileInfo(database.fileName() + "-wal").size();
        if (!database.resize(4187593113LL - wal))
            QSKIP("no sparse file of 3.9 GiB possible here");
        // The first tick marks the end of the recording; from then on each one checks the size.
        Recorder *recorder = window.findChild<Recorder *>();
        recorder->clockTick();
        recorder->clockTick();
        QVERIFY(window.isRecording() && database.resize(4187593114LL - wal));
        recorder->clockTick();
        QVERIFY(!window.isRecording() && child<QAction>(&window, "actClose")->isEnabled());
        window.slotCloseProject();
        database.resize(0);
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
        for (const QJsonValue &odd :
             {QJsonValue(deviceEntry("ODD1", 0, QJsonDocument::fromJson(WRONG_TYPES).object())),
              QJsonValue("text"), QJsonValue(17), QJsonValue(),
              QJsonValue(QJsonObject{{"DeviceNumber", "X"}}),
              QJsonValue(deviceEntry(QString(), 1, {{"DeviceNumber", 42}})),
              QJsonValue(deviceEntry("FAR1", 0, {{"DashboardNumber", 1e12}})),
              QJsonValue(deviceEntry("LONG1", 2, {{"DeviceName", QString(100000, 'x')}}))})
            crowd.append(odd);
        const QByteArray crowdJson =
            QJsonDocument(QJsonObject{{"devices", crowd}}).toJson(QJsonDocument::Compact);
        const QByteArray none = "{\"devices\": []}";

        // Truncated, an array instead of an object, none at all.
        for (const char *list : {"{\"devices\": [{\"DeviceName\": \"Fr", "[1, 2, 3]", ""})
            QTest::addRow("device list '%s'", list)
                << QByteArray(list) << QByteArray() << QVariant(1000) << -1 << 0;
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

        const QString path = m_dir->filePath("Foreign.tpc");
        if (!rawFile.isEmpty()) {
            QVERIFY(writeFile(path, rawFile));
        } else {
            QSettings file(path, QSettings::IniFormat);
            file.setValue("projectName", "Foreign");
            if (interval.isValid())
                file.setValue("DataInterval", interval);
            file.setValue("databaseName", "Foreign.dat");
            if (!deviceList.isEmpty())
                file.setValue("DeviceList", deviceList);
        }
        const QByteArray before = fileBytes(path);
        setRecent({"Foreign"}, {{"Foreign", path}});

        VelmoranMain window;
        window.show();
        if (intervalUsed == 100)
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression("^\\[WARNING\\] .*raised to 100"));
        openFromRecentList(&window);

        if (devicesOpened < 0) {
            QVERIFY(window.projectMain() && !window.projectCenter() && !window.store());
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
            QVERIFY(window.projectCenter() && chooseProjectMenuEntry(&window, "actClose"));
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
        const QString path = m_dir->filePath("Broken.tpc"),
                      databasePath = m_dir->filePath("Broken.dat");
        QVERIFY(writeSimulatorProject(path, m_tcp, 1000));
        const QByteArray foreign = "somebody's notes, not a database\n";
        QVERIFY(directory ? QDir().mkpath(databasePath) : writeFile(databasePath, foreign));
        const QByteArray projectBefore = fileBytes(path);
        setRecent({"Broken"}, {{"Broken", path}}, autoLoad);

        // The terminal names the file too, for whoever reads the session's log.
        if (!directory)
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression("Create database error.*" +
                                                    QRegularExpression::escape(databasePath)));
        // Clicks "OK" on every message box that waits for it, keeping what they said.
        QStringList said;
        QTimer answerer;
        answerer.callOnTimeout([&said] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                said.append(box->windowTitle() + '|' + box->text());
                box->button(QMessageBox::Ok)->click();
            }
        });
        answerer.start(20);
        VelmoranMain window;
        if (!autoLoad) {
            window.show();
            QVERIFY(!window.exitRequested());
            openFromRecentList(&window);
        }
        QTRY_VERIFY(window.exitRequested());
        QVERIFY2(said.contains("ERROR|Create database error!\nExit program."),
                 qPrintable(said.join(" / ")));
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
        const QString path = m_dir->filePath("Noise.tpc"),
                      databasePath = m_dir->filePath("Noise.dat");
        QVERIFY(writeSimulatorProject(path, m_tcp, 200));
        setRecent({"Noise"}, {{"Noise", path}});
        const QString good = m_sim.logger("tcp0").deviceNumber;

        VelmoranMain window;
        window.show();
        // Without --verbose, not even loggers answering nonsense put a debug line on the terminal.
        qInstallMessageHandler(captureDebug);
        const auto restoreHandler = qScopeGuard([] { qInstallMessageHandler(nullptr); });
        openFromRecentList(&window);
        QTRY_VERIFY(window.projectCenter());
        QVERIFY(click(window.projectCenter(), "btn_record") && window.isRecording());
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
        QVERIFY(click(window.projectCenter(), "btn_record") && !window.isRecording());
        QCOMPARE(window.pendingRows().count(), 0);

        QVERIFY2(g_debugLines.isEmpty(), qPrintable(g_debugLines.mid(0, 5).join('\n')));
        for (const StoredRow &row : storedRows(databasePath)) {
            QVERIFY(!row.channel1 || std::isfinite(*row.channel1));
            QVERIFY(!row.channel2 || std::isfinite(*row.channel2));
        }
        for (int i = 0; i < 3; ++i)
            QVERIFY(storedRows(databasePath, m_tcp[i].deviceNumber).size() >= (i == 0 ? 12 : 2));
        for (const StoredRow &row : storedRows(databasePath, good))
            QVERIFY(row.isBreak() || (*row.channel1 >= 20.0 && *row.channel1 <= 20.9 + 1e-9));
    }

    // Last: --verbose turns every category's debug lines on for the rest of the process.
    void verboseTurnsOnTheDiagnosticLines()
    {
        for (const bool verbose : {false, true}) {
            processCommandLine(verbose ? QStringList{"velmoran-lite", "--verbose"}
                                       : QStringList{"velmoran-lite"});
            for (const auto category : {&lcApp, &lcDevice, &lcDiscovery, &lcProject, &lcStore}) {
                QCOMPARE(category().isDebugEnabled(), verbose);
                QVERIFY(category().isWarningEnabled());
            }
        }
    }

private:
    SimProcess m_sim;
    QList<SimProcess::Logger> m_tcp;
    std::unique_ptr<TempProjectDir> m_dir;
    QByteArray m_originalPath;
    QTemporaryDir m_bin;
};

int main(int argc, char **argv)
{
    // The test environment silences debug output; the logging case tests the program's defaults.
    qunsetenv("QT_LOGGING_RULES");
    QApplication app(argc, argv);
    TestApp test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_app.moc"
