#include "app/alarmsound.h"
#include "app/velmoranmain.h"
#include "device/abstractdevice.h"
#include "device/configureddevice.h"
#include "dialogs/sensingoptiontelnetdialog.h"
#include "project/filechooser.h"
#include "project/manualconfigdevicedialog.h"
#include "project/projectfile.h"
#include "project/projectmain.h"
#include "project/projectmanager.h"
#include "store/insertserialdata.h"
#include "tests/acceptance/recordeddata.h"
#include "tests/acceptance/userdriver.h"
#include "tests/app/fakesink.h"
#include "tests/discovery/netnsguard.h"
#include "tests/support/messageprobe.h"
#include "tests/support/simulatorproject.h"
#include "tests/support/testsettings.h"
#include "view/chartview.h"
#include "view/dashboard.h"
#include "view/dashboarddeviceitem.h"
#include "view/dashboardtab.h"
#include "view/projectcenter.h"

#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QSettings>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>

#include <algorithm>
#include <memory>

using namespace UserDriver;

namespace {
const QString LOCAL_ADDRESS = QStringLiteral("10.99.0.1");
// Typed as a user copies it from a label: lower case, with colons.
const QString MANUAL_MAC_TYPED = QStringLiteral("02:4b:58:00:00:aa");
const QString MANUAL_NAME = QStringLiteral("Hidden");
const double NO_VALUE_CH2 = 55.5;
} // namespace

// One user's run through the program; each step builds on the one before.
class TestAcceptanceGui : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        REQUIRE_DISCOVERY_NAMESPACE();
        isolateSettings();
        QLocale::setDefault(QLocale::c());
        QVERIFY(m_dir.isValid());
        m_projectPath = m_dir.filePath("Accept.tpc");
        m_databasePath = m_dir.filePath("Accept.dat");

        QVERIFY(m_sim.start(
            {"--bind", LOCAL_ADDRESS, "--discovery", "--tcp", "4", "--tcp-base-port", "0"}));
        // A logger on a network the broadcast does not reach: only its address and port are known.
        QVERIFY(m_hiddenSim.start({"--bind", LOCAL_ADDRESS, "--tcp", "1", "--tcp-base-port", "0"}));
        for (int i = 0; i < 4; ++i)
            m_discovered.append(m_sim.logger(QStringLiteral("tcp%1").arg(i)).deviceNumber);
        m_manualId = QString(MANUAL_MAC_TYPED).remove(QLatin1Char(':')).toUpper();
        m_manualPort = m_hiddenSim.logger("tcp0").port;
        QVERIFY(m_manualPort != 0);

        FileChooser::setOverride([this](QWidget *, const QString &, const QString &,
                                        const QString &,
                                        bool save) { return save ? m_projectPath : QString(); });
        m_window = std::make_unique<VelmoranMain>();
        m_sink = new FakeSink;
        m_window->alarmSound()->setSink(m_sink);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void cleanupTestCase()
    {
        FileChooser::setOverride({});
        if (m_window && m_window->isRecording())
            m_window->slotStopRecord();
        m_window.reset();
    }

    // The installed program started by a session with nobody at the keyboard: its settings say
    // "Auto Load Recent Project" and "Auto Start Record". It runs before this window has a
    // project, so that every answer of the two loggers is its own.
    void theLastProjectRecordsUnattendedUntilTheSessionEnds()
    {
        QTemporaryDir home;
        const QString projectPath = QDir(home.path()).filePath("Night.tpc");
        const QList<SimProcess::Logger> loggers{m_sim.logger("tcp0"), m_sim.logger("tcp1")};
        QVERIFY(writeSimulatorProject(projectPath, loggers, 1000, {}, {"Night", "B", "C", "D"}));
        QSettings settings(home.filePath(".config/VelmoranLite/Velmoran Lite.conf"),
                           QSettings::IniFormat);
        settings.setValue("RecentProjects/list", QStringList{"Night"});
        settings.setValue("RecentProjects/projects", QVariantHash{{"Night", projectPath}});
        settings.setValue("RecentProjects/autoLoad", true);
        settings.setValue("RecentProjects/autoRecord", true);
        settings.sync();
        const int answersBefore[] = {answerCount(m_sim, "tcp0"), answerCount(m_sim, "tcp1")};

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const auto &[name, value] : {std::pair{"HOME", home.path()},
                                          {"XDG_CONFIG_HOME", home.filePath(".config")},
                                          {"XDG_DATA_HOME", home.filePath(".local/share")},
                                          {"QT_QPA_PLATFORM", "offscreen"},
                                          {"QT_LOGGING_RULES", "*.debug=true"}})
            env.insert(name, value);
        QProcess night;
        night.setProcessEnvironment(env);
        night.setWorkingDirectory(home.path());
        night.setProcessChannelMode(QProcess::MergedChannels);
        night.start(VELMORAN_LITE_PATH, {});
        QVERIFY(night.waitForStarted(5000));

        // Start-up pauses 2.5 s; then both loggers answer a few polls.
        QTRY_VERIFY2_WITH_TIMEOUT(answerCount(m_sim, loggers[0].id) >= answersBefore[0] + 4 &&
                                      answerCount(m_sim, loggers[1].id) >= answersBefore[1] + 4,
                                  qPrintable(QString::fromLocal8Bit(night.readAll())), 15000);
        QCOMPARE(night.state(), QProcess::Running);
        QVERIFY(!ProjectFile::readString(projectPath, "record_start_time").isEmpty());

        // Nobody stops the recording: the session ends and asks the program to stop. What was
        // still queued is written, with the break row, before it goes.
        night.terminate();
        QVERIFY(night.waitForFinished(10000));
        QCOMPARE(night.exitStatus(), QProcess::NormalExit);
        QCOMPARE(night.exitCode(), 0);
        quint32 last = 0;
        for (int i = 0; i < 2; ++i) {
            const QList<StoredRow> own =
                storedRows(home.filePath("Night.dat"), loggers[i].deviceNumber);
            QVERIFY(own.size() >= 4 && own.last().isBreak());
            for (const StoredRow &row : own.mid(0, own.size() - 1)) {
                QVERIFY(row.channel1 && row.channel2 && *row.channel1 >= 20 + i &&
                        *row.channel1 <= 20.9 + i + 1e-9 && *row.channel2 >= 40 + i &&
                        *row.channel2 <= 42 + i);
                last = std::max(last, row.pointDate);
            }
            // Every answer but one in flight at the end is stored.
            const int answers = answerCount(m_sim, loggers[i].id) - answersBefore[i];
            QVERIFY2(own.size() - 1 >= answers - 1,
                     qPrintable(QString("%1 rows, %2 answers").arg(own.size() - 1).arg(answers)));
        }
        QCOMPARE(ProjectFile::readString(projectPath, "record_stop_time"), timeText(last + 1));
    }

    void aNewProjectOfBroadcastAndHandEnteredLoggersOpensOnNamedDashboards()
    {
        QVERIFY(click(m_window->projectMain(), "btn_create"));
        QTRY_VERIFY(m_window->projectManager());
        // A new project starts at ten seconds with no logger and no database open yet.
        ProjectInfo info;
        QVERIFY(ProjectFile::readInfo(m_projectPath, &info));
        QCOMPARE(info.dataInterval, 10000);
        QCOMPARE(info.databaseName, "Accept.dat");
        QVERIFY(ProjectFile::readDeviceList(m_projectPath).isEmpty() && !m_window->store());

        ProjectManager *panel = m_window->projectManager();
        auto *available = child<QListWidget>(panel, "availlable_list");
        const auto sorted = [](QStringList ids) { return (ids.sort(), ids); };
        QTRY_COMPARE_WITH_TIMEOUT(sorted(toolTips(available)), sorted(m_discovered), 5000);
        const SimProcess::Logger tcp0 = m_sim.logger("tcp0");
        QCOMPARE(
            available->item(toolTips(available).indexOf(tcp0.deviceNumber))->text(),
            QStringLiteral("%1\t[%2:%3]").arg(tcp0.deviceNumber, LOCAL_ADDRESS).arg(tcp0.port));

        QVERIFY(click(panel, "pushButton_refresh"));
        QTest::qWait(300);
        QTRY_COMPARE(available->count(), 4);

        // The loggers are placed on two dashboards, one of them entered by hand.
        auto *first = child<QListWidget>(panel, "configured_list_1");
        auto *second = child<QListWidget>(panel, "configured_list_2");
        QVERIFY(available && first && second);

        clickTab(panel, 0);
        QCOMPARE(selectByToolTip(available, {m_discovered[0], m_discovered[1]}), 2);
        QVERIFY(click(panel, "btn_add"));
        QCOMPARE(toolTips(first), (QStringList{m_discovered[0], m_discovered[1]}));

        clickTab(panel, 1);
        doubleClickItem(available, available->item(toolTips(available).indexOf(m_discovered[2])));
        QCOMPARE(toolTips(second), QStringList{m_discovered[2]});
        QCOMPARE(toolTips(available), QStringList{m_discovered[3]});

        QVERIFY(click(panel, "btn_manual"));
        QPointer<ManualConfigDeviceDialog> dialog;
        QTRY_VERIFY((dialog = panel->findChild<ManualConfigDeviceDialog *>()) &&
                    dialog->isVisible());
        typeInto(child<QLineEdit>(dialog, "lineEdit_devicename"), MANUAL_NAME);
        auto *mac = child<QLineEdit>(dialog, "lineEdit_macaddr");
        mac->setFocus();
        mac->setCursorPosition(0);
        QTest::keyClicks(mac, QString(MANUAL_MAC_TYPED).remove(QLatin1Char(':')));
        const QStringList octets = LOCAL_ADDRESS.split(QLatin1Char('.'));
        for (int i = 0; i < 4; ++i)
            typeInto(child<QSpinBox>(dialog, QStringLiteral("spinBox_ipaddr%1").arg(i + 1)),
                     octets[i]);
        typeInto(child<QSpinBox>(dialog, "spinBox_port"), QString::number(m_manualPort));
        QVERIFY(click(dialog, "pushButton_confirm"));
        QTRY_VERIFY(!dialog);
        QCOMPARE(toolTips(second), (QStringList{m_discovered[2], m_manualId}));
        QCOMPARE(second->item(1)->text(),
                 QStringLiteral("%1\t[%2:%3]").arg(MANUAL_NAME, LOCAL_ADDRESS).arg(m_manualPort));

        // Named dashboards at one second, confirmed, open the project.
        typeInto(child<QLineEdit>(panel, "lineEdit_dashboard_1"), "Cold Room");
        typeInto(child<QLineEdit>(panel, "lineEdit_dashboard_2"), "Lab");

        QVERIFY(click(panel, "btn_timeInterval"));
        QAction *oneSecond = panel->intervalMenu()->actions().value(0);
        QCOMPARE(oneSecond->text(), "1 sec");
        QVERIFY(chooseFromMenu(panel->intervalMenu(), oneSecond));
        QCOMPARE(m_window->pollInterval(), 1000);
        QCOMPARE(child<QLabel>(panel, "label_interval")->text(), "1 sec");

        QVERIFY(click(panel, "btn_confirm"));
        QTRY_VERIFY(m_window->projectCenter());
        QTRY_VERIFY(!m_window->projectManager());
        QVERIFY(m_window->isProjectOpen());
        // The status bar's label, not the one of the panel that is still being deleted.
        QCOMPARE(
            child<QLabel>(child<QFrame>(m_window.get(), "statusFrame"), "label_interval")->text(),
            "Interval : 1 sec");

        QStringList ids;
        for (const ConfiguredDevice *device : m_window->configuredDevices())
            ids.append(device->deviceNumber());
        QCOMPARE(ids, (QStringList{m_discovered[0], m_discovered[1], m_discovered[2], m_manualId}));
        QCOMPARE(device(m_manualId)->deviceName(), MANUAL_NAME);
        QCOMPARE(device(m_manualId)->dashboardNumber(), 1);

        DashboardTab *boards = m_window->projectCenter()->dashboardTab();
        QCOMPARE(boards->dashboardName(0), "Cold Room");
        QCOMPARE(boards->dashboardName(1), "Lab");
        QCOMPARE(boards->dashboard(0)->items().size(), 4);
        QCOMPARE(boards->dashboard(1)->items().size(), 4);
        for (const QString &id : {m_discovered[0], m_discovered[1], m_discovered[2], m_manualId})
            QTRY_VERIFY2_WITH_TIMEOUT(device(id)->isConnected(), qPrintable(id), 5000);
    }

    void recordingStoresEveryLoggerWhileTheUserWorksWithThemUntilStopped()
    {
        ProjectCenter *center = m_window->projectCenter();
        QVERIFY(click(center, "btn_record"));
        QVERIFY(m_window->isRecording());
        QVERIFY(!center->recordStartText().isEmpty());
        QCOMPARE(ProjectFile::readString(m_projectPath, "record_start_time"),
                 center->recordStartText());
        // While recording, neither the program nor the project may be closed under it.
        for (const char *name : {"actExit", "actAddDelete", "actClose"})
            QVERIFY2(!action(name)->isEnabled(), name);
        QVERIFY(!m_window->close());
        QVERIFY(m_window->isVisible() && m_window->store());
        QCOMPARE(
            countMessages(m_window.get(), "WARNING",
                          "Recording is running.\nStop the recording before closing the program."),
            1);
        closeMessages(m_window.get());
        // Two timed messages; the first closed early must not take the second along, nor may its
        // timer reach the deleted dialog. The second closes itself before the recording ends.
        m_window->showTimedMessage("ERROR", "first");
        m_window->showTimedMessage("WARNING", "second");
        for (MessageDialog *dialog : m_window->findChildren<MessageDialog *>()) {
            if (dialog->findChild<QGroupBox *>("groupBox_message")->title() == "ERROR")
                dialog->close();
        }
        QTRY_COMPARE(m_window->findChildren<MessageDialog *>().size(), 1);
        QCOMPARE(countMessages(m_window.get(), "WARNING", "second"), 1);

        ConfiguredDevice *edited = device(m_discovered[0]);
        auto *tile = static_cast<DashBoardDeviceItem *>(edited->ch1Item());
        QVERIFY(center->dashboardTab()->dashboard(0)->items().contains(tile));
        QTest::mouseClick(tile, Qt::LeftButton, {}, tile->rect().center());
        ChartView *detail = center->chartView();
        QTRY_VERIFY(detail->isVisible());
        QCOMPARE(detail->device(), edited);
        QTRY_VERIFY(child<QLabel>(detail, "label_ch1_number")->text().startsWith("20."));

        // New alarm limits go to the logger before the program adopts them.
        QVERIFY(click(detail, "btn_setting"));
        QPointer<SensingOptionTelnetDialog> options;
        QTRY_VERIFY((options = center->findChild<SensingOptionTelnetDialog *>()) &&
                    options->isVisible());
        const QList<std::pair<const char *, double>> limitsTyped{
            {"min_ch1", 10.0}, {"max_ch1", 20.05}, {"min_ch2", 30.0}, {"max_ch2", 60.0}};
        for (const auto &[field, value] : limitsTyped)
            typeInto(child<QDoubleSpinBox>(options, QStringLiteral("doubleSpinBox_") + field),
                     QString::number(value));
        QVERIFY(click(options, "pushButton_confirm"));
        QTRY_VERIFY_WITH_TIMEOUT(!options, 5000);
        const QString setup = m_sim.command("setup tcp0");
        for (const char *value :
             {" ATBMIN1=10.00 ", " ATBMAX1=20.05 ", " ATBMIN2=30.00 ", " ATBMAX2=60.00 "})
            QVERIFY2(setup.contains(value) && setup.endsWith(" SET=1"), qPrintable(setup));

        ConfiguredDevice *broken = device(m_discovered[1]);
        QVERIFY(m_sim.command(QStringLiteral("values tcp1 ---- %1").arg(NO_VALUE_CH2))
                    .startsWith("ok"));
        QTRY_COMPARE_WITH_TIMEOUT(broken->ch1Value(), "----", 5000);
        const int askedWithoutValue = answerCount(m_sim, "tcp1");
        QTRY_VERIFY_WITH_TIMEOUT(answerCount(m_sim, "tcp1") >= askedWithoutValue + 2, 5000);
        QVERIFY(m_sim.command("auto tcp1").startsWith("ok"));

        // Channel 1 runs 20.00 to 20.90: most of its readings are now above the upper limit, and
        // the alarm sounds.
        QTRY_VERIFY_WITH_TIMEOUT(edited->alarm1(), 12000);
        QVERIFY(!edited->alarm2());
        QTRY_VERIFY(m_sink->starts >= 1);
        QTRY_VERIFY_WITH_TIMEOUT(rows(m_manualId).size() >= 3, 10000);

        // Stopping writes one break row per logger.
        QVERIFY(click(center, "btn_record"));
        QVERIFY(!m_window->isRecording());
        QCOMPARE(m_window->pendingRows().count(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(m_window->findChildren<MessageDialog *>().size(), 0, 7000);
        // Rows of one batch need not keep their queue order; the break row comes in a batch of
        // its own, after every sample (its time is checked at the end).
        for (const QString &id : {m_discovered[0], m_discovered[1], m_discovered[2], m_manualId})
            QVERIFY2(rows(id).size() >= 4 && rows(id).last().isBreak(), qPrintable(id));
        QCOMPARE(center->recordStartText(), timeText(span().first));
        QCOMPARE(ProjectFile::readString(m_projectPath, "record_stop_time"),
                 timeText(span().second));
    }

    void aLoggerRemovedIsNoLongerRecordedAndTheReopenedProjectAndItsFilesHoldWhatWasDone()
    {
        ConfiguredDevice *kept = device(m_discovered[0]);
        QVERIFY(chooseProjectMenuEntry(m_window.get(), "actAddDelete"));
        QTRY_VERIFY(m_window->projectManager());
        // Editing the list stops polling and releases the database and the views until confirmed.
        QVERIFY(!m_window->projectCenter() && !m_window->store());
        QVERIFY(!kept->link() || !kept->link()->isOpen());
        QVERIFY(!kept->ch1Item() && !kept->chartView());
        ProjectManager *panel = m_window->projectManager();
        auto *second = child<QListWidget>(panel, "configured_list_2");
        auto *available = child<QListWidget>(panel, "availlable_list");
        QCOMPARE(toolTips(second), (QStringList{m_discovered[2], m_manualId}));
        QCOMPARE(child<QLineEdit>(panel, "lineEdit_dashboard_2")->text(), "Lab");

        clickTab(panel, 1);
        QCOMPARE(selectByToolTip(second, {m_discovered[2]}), 1);
        QVERIFY(click(panel, "btn_remove"));
        QCOMPARE(toolTips(second), QStringList{m_manualId});
        QTRY_VERIFY(toolTips(available).contains(m_discovered[2]));

        m_lastIdBeforeRemoval = rows().last().id;
        m_removedAtSecs = QDateTime::currentSecsSinceEpoch();
        QVERIFY(click(panel, "btn_confirm"));
        QTRY_VERIFY(m_window->projectCenter());
        QVERIFY(m_window->store() && m_window->store()->isConnected());
        QCOMPARE(m_window->configuredDevices().size(), 3);
        QCOMPARE(device(m_discovered[0]), kept);
        QVERIFY(!device(m_discovered[2]));

        const int removedAnswers = answerCount(m_sim, "tcp2");
        const int keptAnswers = answerCount(m_sim, "tcp0");
        QVERIFY(click(m_window->projectCenter(), "btn_record"));
        QVERIFY(m_window->isRecording());
        QTRY_VERIFY_WITH_TIMEOUT(answerCount(m_sim, "tcp0") >= keptAnswers + 3, 8000);
        QVERIFY(click(m_window->projectCenter(), "btn_record"));
        QVERIFY(!m_window->isRecording());
        // The removed logger is not even asked any more.
        QVERIFY(answerCount(m_sim, "tcp2") <= removedAnswers + 1);

        // The closed project opens again from the recent list.
        QVERIFY(chooseProjectMenuEntry(m_window.get(), "actClose"));
        QTRY_VERIFY(m_window->projectMain());
        QVERIFY(!m_window->projectCenter() && !m_window->store());
        QVERIFY(m_window->configuredDevices().isEmpty());

        auto *recent = child<QListWidget>(m_window->projectMain(), "listWidget");
        QCOMPARE(recent->count(), 1);
        QVERIFY(recent->item(0)->text().startsWith("Accept\t["));
        QCOMPARE(recent->item(0)->toolTip(), m_projectPath);
        doubleClickItem(recent, recent->item(0));
        QTRY_VERIFY(m_window->projectCenter());
        QCOMPARE(m_window->projectFile(), m_projectPath);
        QCOMPARE(m_window->pollInterval(), 1000);
        QCOMPARE(m_window->configuredDevices().size(), 3);
        float limits[4];
        device(m_discovered[0])->alarmRange(limits);
        QCOMPARE(QList<float>(limits, limits + 4), (QList<float>{10.0f, 20.05f, 30.0f, 60.0f}));
        QCOMPARE(device(m_manualId)->deviceName() + device(m_manualId)->deviceInterface(),
                 MANUAL_NAME + LOCAL_ADDRESS);
        QCOMPARE(device(m_manualId)->devicePort(), m_manualPort);
        QVERIFY(!m_window->projectCenter()->recordStartText().isEmpty());
        // Reports without a tool of their own stay off while everything else is on.
        for (const char *name : {"actWeeklyReport", "actMonthlyReport", "actHaccpReport"})
            QVERIFY2(!action(name)->isEnabled(), name);
        QVERIFY(action("actDailyReport")->isEnabled() && action("actAddDelete")->isEnabled());
        action("actHistory")->trigger();
        QVERIFY(m_window->projectCenter()->historyView()->isVisible());
        for (const QString &id : {m_discovered[0], m_discovered[1], m_manualId})
            QTRY_VERIFY2_WITH_TIMEOUT(device(id)->isConnected(), qPrintable(id), 5000);

        QVERIFY(chooseProjectMenuEntry(m_window.get(), "actClose"));
        QTRY_VERIFY(m_window->projectMain());

        // The database and the project file hold what was done.
        const QHash<QString, int> breaksExpected{
            {m_discovered[0], 2}, {m_discovered[1], 2}, {m_discovered[2], 1}, {m_manualId, 2}};
        for (auto it = breaksExpected.cbegin(); it != breaksExpected.cend(); ++it) {
            int breaks = 0;
            quint32 lastSample = 0;
            for (const StoredRow &row : rows(it.key())) {
                if (row.isBreak()) {
                    ++breaks;
                    QCOMPARE(row.pointDate, lastSample + 1);
                } else {
                    lastSample = std::max(lastSample, row.pointDate);
                }
            }
            QVERIFY2(breaks == it.value(),
                     qPrintable(it.key() + " breaks: " + QString::number(breaks)));
        }
        QVERIFY(rows(m_discovered[3]).isEmpty());

        // The deterministic values of the simulator, and NULL exactly where it sent "----".
        for (const StoredRow &row : rows(m_discovered[0]))
            QVERIFY(row.isBreak() || (*row.channel1 >= 20.0 && *row.channel1 <= 20.9 + 1e-9 &&
                                      *row.channel2 >= 40.0 && *row.channel2 <= 42.0));
        int withoutValue = 0;
        for (const StoredRow &row : rows(m_discovered[1])) {
            withoutValue += !row.isBreak() && !row.channel1;
            QVERIFY(row.isBreak() ||
                    (row.channel2 &&
                     (row.channel1 ? *row.channel1 >= 21.0 && *row.channel1 <= 21.9 + 1e-9
                                   : *row.channel2 == NO_VALUE_CH2)));
        }
        QVERIFY(withoutValue >= 2);

        for (const StoredRow &row : rows(m_discovered[2])) {
            QVERIFY(row.id <= m_lastIdBeforeRemoval);
            QVERIFY(qint64(row.pointDate) <= m_removedAtSecs + 1);
        }
        for (const QString &id : {m_discovered[0], m_discovered[1], m_manualId}) {
            const QList<StoredRow> own = rows(id);
            QVERIFY(std::any_of(own.begin(), own.end(), [this](const StoredRow &row) {
                return row.id > m_lastIdBeforeRemoval && !row.isBreak();
            }));
        }

        // What the reopened project showed came from the file; the names of the dashboards nobody
        // named are stored too.
        ProjectInfo info;
        QVERIFY(ProjectFile::readInfo(m_projectPath, &info));
        QCOMPARE(info.dashboardNames,
                 (QStringList{"Cold Room", "Lab", "Dashboard 3", "Dashboard 4"}));
        // The list before the removal is kept as the backup.
        QSettings file(m_projectPath, QSettings::IniFormat);
        QList<DeviceRecord> previous;
        QVERIFY(ProjectFile::parseDeviceList(file.value("Backup").toByteArray(), &previous));
        QCOMPARE(previous.size(), 4);
        QCOMPARE(previous[2].deviceNumber, m_discovered[2]);
        QCOMPARE(file.value("record_start_time").toString(), timeText(span().first));
        QCOMPARE(file.value("record_stop_time").toString(), timeText(span().second));
    }

private:
    ConfiguredDevice *device(const QString &id) const
    {
        for (ConfiguredDevice *device : m_window->configuredDevices()) {
            if (device && device->deviceNumber() == id)
                return device;
        }
        return nullptr;
    }

    void clickTab(QWidget *panel, int index)
    {
        QTabBar *bar = child<QTabWidget>(panel, "tabWidget")->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
        QCOMPARE(bar->currentIndex(), index);
    }

    QAction *action(const char *name) const { return child<QAction>(m_window.get(), name); }
    QList<StoredRow> rows(const QString &id = {}) const { return storedRows(m_databasePath, id); }
    std::pair<quint32, quint32> span() const
    {
        const QList<StoredRow> all = rows();
        const auto [first, last] = std::minmax_element(
            all.begin(), all.end(), [](auto &a, auto &b) { return a.pointDate < b.pointDate; });
        return {first->pointDate, last->pointDate};
    }

    SimProcess m_sim;
    SimProcess m_hiddenSim;
    QTemporaryDir m_dir;
    QString m_projectPath;
    QString m_databasePath;
    std::unique_ptr<VelmoranMain> m_window;
    FakeSink *m_sink = nullptr;
    QStringList m_discovered;
    QString m_manualId;
    quint16 m_manualPort = 0;
    qint64 m_lastIdBeforeRemoval = -1;
    qint64 m_removedAtSecs = 0;
};

QTEST_MAIN(TestAcceptanceGui)
#include "tst_acceptance_gui.moc"
