#include "app/velmoranmain.h"
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
#include "tests/discovery/netnsguard.h"
#include "tests/support/simprocess.h"
#include "tests/support/testsettings.h"
#include "view/chartview.h"
#include "view/dashboard.h"
#include "view/dashboarddeviceitem.h"
#include "view/dashboardtab.h"
#include "view/projectcenter.h"

#include <QDateTime>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QSettings>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

using namespace UserDriver;

// The whole program as a user meets it, in one run inside a private network namespace: a new
// project finds the simulated loggers by broadcast, one more is entered by hand, two named
// dashboards are recorded at one second, a logger is edited, one goes without value, one is
// removed, and the project is closed and opened again from the recent list. Each step builds
// on the one before; the last two read what was left on disk.
class TestAcceptanceGui : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void aNewProjectListsTheLoggersThatAnswerTheBroadcast();
    void loggersArePlacedOnTwoDashboardsOneOfThemEnteredByHand();
    void confirmingNamedDashboardsAtOneSecondOpensTheProject();
    void recordingStoresEveryLoggerWhileTheUserWorksWithThem();
    void stoppingWritesOneBreakRowPerLogger();
    void aLoggerRemovedWithAddDeleteIsNoLongerRecorded();
    void theClosedProjectOpensAgainFromTheRecentList();
    void theDatabaseHoldsWhatTheLoggersSent();
    void theProjectFileHoldsDevicesNamesIntervalRangeAndBackup();

private:
    ConfiguredDevice *device(const QString &id) const;
    QString dashboardListOwner(int dashboard) const;
    bool chooseProjectMenuEntry(const QString &objectName);
    void clickTab(QWidget *panel, int index);
    QList<StoredRow> storedRows() const;
    int storedCount(const QString &id) const;

    SimProcess m_sim;
    SimProcess m_hiddenSim;
    QTemporaryDir m_dir;
    QString m_projectPath;
    QString m_databasePath;
    std::unique_ptr<VelmoranMain> m_window;
    QStringList m_discovered;
    QString m_manualId;
    quint16 m_manualPort = 0;
    qint64 m_lastIdBeforeRemoval = -1;
    qint64 m_removedAtSecs = 0;
};

namespace {
const QString LOCAL_ADDRESS = QStringLiteral("10.99.0.1");
// Typed as a user copies it from a label: lower case, with colons.
const QString MANUAL_MAC_TYPED = QStringLiteral("02:4b:58:00:00:aa");
const QString MANUAL_NAME = QStringLiteral("Hidden");
const float NEW_CH1_MIN = 10.0f;
const float NEW_CH1_MAX = 20.45f;
const float NEW_CH2_MIN = 30.0f;
const float NEW_CH2_MAX = 60.0f;
const double NO_VALUE_CH2 = 55.5;

QString timeText(quint32 secs)
{
    return QDateTime::fromSecsSinceEpoch(secs).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

// "ok ATBMIN1=10.00 ATBMAX1=..." -> key -> value
QHash<QString, QString> setupValues(const QString &reply)
{
    QHash<QString, QString> values;
    const QStringList parts = reply.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        const int eq = part.indexOf(QLatin1Char('='));
        if (eq > 0)
            values.insert(part.left(eq), part.mid(eq + 1));
    }
    return values;
}
} // namespace

void TestAcceptanceGui::initTestCase()
{
    REQUIRE_DISCOVERY_NAMESPACE();
    isolateSettings();
    QLocale::setDefault(QLocale::c());
    QVERIFY(m_dir.isValid());
    m_projectPath = m_dir.filePath(QStringLiteral("Accept.tpc"));
    m_databasePath = m_dir.filePath(QStringLiteral("Accept.dat"));

    QVERIFY(m_sim.start(
        {"--bind", LOCAL_ADDRESS, "--discovery", "--tcp", "4", "--tcp-base-port", "0"}));
    // A logger on a network the broadcast does not reach: only its address and port are known.
    QVERIFY(m_hiddenSim.start({"--bind", LOCAL_ADDRESS, "--tcp", "1", "--tcp-base-port", "0"}));
    for (int i = 0; i < 4; ++i)
        m_discovered.append(m_sim.logger(QStringLiteral("tcp%1").arg(i)).deviceNumber);
    m_manualId = QString(MANUAL_MAC_TYPED).remove(QLatin1Char(':')).toUpper();
    m_manualPort = m_hiddenSim.logger(QStringLiteral("tcp0")).port;
    QVERIFY(m_manualPort != 0);

    FileChooser::setOverride([this](QWidget *, const QString &, const QString &, const QString &,
                                    bool save) { return save ? m_projectPath : QString(); });
    m_window = std::make_unique<VelmoranMain>();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestAcceptanceGui::cleanupTestCase()
{
    FileChooser::setOverride({});
    if (m_window && m_window->isRecording())
        m_window->slotStopRecord();
    m_window.reset();
}

ConfiguredDevice *TestAcceptanceGui::device(const QString &id) const
{
    const QList<ConfiguredDevice *> devices = m_window->configuredDevices();
    for (ConfiguredDevice *device : devices) {
        if (device && device->deviceNumber() == id)
            return device;
    }
    return nullptr;
}

bool TestAcceptanceGui::chooseProjectMenuEntry(const QString &objectName)
{
    return UserDriver::chooseProjectMenuEntry(m_window.get(), objectName);
}

void TestAcceptanceGui::clickTab(QWidget *panel, int index)
{
    auto *tabs = child<QTabWidget>(panel, QStringLiteral("tabWidget"));
    QVERIFY(tabs);
    QTabBar *bar = tabs->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    QCOMPARE(tabs->currentIndex(), index);
}

QList<StoredRow> TestAcceptanceGui::storedRows() const
{
    QList<StoredRow> rows;
    readStoredRows(m_databasePath, &rows);
    return rows;
}

int TestAcceptanceGui::storedCount(const QString &id) const
{
    return storedRowCount(m_databasePath, id);
}

void TestAcceptanceGui::aNewProjectListsTheLoggersThatAnswerTheBroadcast()
{
    QVERIFY(m_window->projectMain());
    QVERIFY(click(m_window->projectMain(), QStringLiteral("btn_create")));
    QTRY_VERIFY(m_window->projectManager());
    QVERIFY(QFileInfo::exists(m_projectPath));

    ProjectManager *panel = m_window->projectManager();
    auto *available = child<QListWidget>(panel, QStringLiteral("availlable_list"));
    QVERIFY(available);
    QStringList expected = m_discovered;
    expected.sort();
    QTRY_COMPARE_WITH_TIMEOUT(
        [available] {
            QStringList ids = toolTips(available);
            ids.sort();
            return ids;
        }(),
        expected, 5000);
    const SimProcess::Logger first = m_sim.logger(QStringLiteral("tcp0"));
    QCOMPARE(available->item(toolTips(available).indexOf(first.deviceNumber))->text(),
             first.deviceNumber + QStringLiteral("\t[") + LOCAL_ADDRESS + QLatin1Char(':') +
                 QString::number(first.port) + QLatin1Char(']'));

    // Asking again finds the same loggers once each.
    QVERIFY(click(panel, QStringLiteral("pushButton_refresh")));
    QTest::qWait(300);
    QTRY_COMPARE(available->count(), 4);
}

void TestAcceptanceGui::loggersArePlacedOnTwoDashboardsOneOfThemEnteredByHand()
{
    ProjectManager *panel = m_window->projectManager();
    QVERIFY(panel);
    auto *available = child<QListWidget>(panel, QStringLiteral("availlable_list"));
    auto *first = child<QListWidget>(panel, QStringLiteral("configured_list_1"));
    auto *second = child<QListWidget>(panel, QStringLiteral("configured_list_2"));
    QVERIFY(available && first && second);

    clickTab(panel, 0);
    QCOMPARE(selectByToolTip(available, {m_discovered[0], m_discovered[1]}), 2);
    QVERIFY(click(panel, QStringLiteral("btn_add")));
    QCOMPARE(toolTips(first), (QStringList{m_discovered[0], m_discovered[1]}));

    clickTab(panel, 1);
    QListWidgetItem *third = available->item(toolTips(available).indexOf(m_discovered[2]));
    QVERIFY(third);
    doubleClickItem(available, third);
    QCOMPARE(toolTips(second), QStringList{m_discovered[2]});
    QCOMPARE(toolTips(available), QStringList{m_discovered[3]});

    QVERIFY(click(panel, QStringLiteral("btn_manual")));
    QPointer<ManualConfigDeviceDialog> dialog;
    QTRY_VERIFY((dialog = panel->findChild<ManualConfigDeviceDialog *>()) && dialog->isVisible());
    replaceText(child<QLineEdit>(dialog, QStringLiteral("lineEdit_devicename")), MANUAL_NAME);
    auto *mac = child<QLineEdit>(dialog, QStringLiteral("lineEdit_macaddr"));
    mac->setFocus();
    mac->setCursorPosition(0);
    QTest::keyClicks(mac, QString(MANUAL_MAC_TYPED).remove(QLatin1Char(':')));
    const QStringList octets = LOCAL_ADDRESS.split(QLatin1Char('.'));
    for (int i = 0; i < 4; ++i)
        typeNumber(child<QSpinBox>(dialog, QStringLiteral("spinBox_ipaddr%1").arg(i + 1)),
                   octets[i]);
    typeNumber(child<QSpinBox>(dialog, QStringLiteral("spinBox_port")),
               QString::number(m_manualPort));
    QVERIFY(click(dialog, QStringLiteral("pushButton_confirm")));
    QTRY_VERIFY(!dialog);
    QCOMPARE(toolTips(second), (QStringList{m_discovered[2], m_manualId}));
    QCOMPARE(second->item(1)->text(), MANUAL_NAME + QStringLiteral("\t[") + LOCAL_ADDRESS +
                                          QLatin1Char(':') + QString::number(m_manualPort) +
                                          QLatin1Char(']'));
}

void TestAcceptanceGui::confirmingNamedDashboardsAtOneSecondOpensTheProject()
{
    ProjectManager *panel = m_window->projectManager();
    QVERIFY(panel);
    replaceText(child<QLineEdit>(panel, QStringLiteral("lineEdit_dashboard_1")),
                QStringLiteral("Cold Room"));
    replaceText(child<QLineEdit>(panel, QStringLiteral("lineEdit_dashboard_2")),
                QStringLiteral("Lab"));

    QVERIFY(click(panel, QStringLiteral("btn_timeInterval")));
    QMenu *menu = panel->intervalMenu();
    QTRY_VERIFY(menu && menu->isVisible());
    QVERIFY(chooseFromMenu(menu, menuEntry(menu, QStringLiteral("1 sec"))));
    QCOMPARE(m_window->pollInterval(), 1000);
    QCOMPARE(child<QLabel>(panel, QStringLiteral("label_interval"))->text(),
             QStringLiteral("1 sec"));

    QVERIFY(click(panel, QStringLiteral("btn_confirm")));
    QTRY_VERIFY(m_window->projectCenter());
    QTRY_VERIFY(!m_window->projectManager());
    QVERIFY(m_window->isProjectOpen());
    // The status bar's label, not the one of the panel that is still being deleted.
    QCOMPARE(child<QLabel>(child<QFrame>(m_window.get(), QStringLiteral("statusFrame")),
                           QStringLiteral("label_interval"))
                 ->text(),
             QStringLiteral("Interval : 1 sec"));

    QStringList ids;
    for (const ConfiguredDevice *device : m_window->configuredDevices())
        ids.append(device->deviceNumber());
    QCOMPARE(ids, (QStringList{m_discovered[0], m_discovered[1], m_discovered[2], m_manualId}));
    QCOMPARE(device(m_manualId)->deviceName(), MANUAL_NAME);
    QCOMPARE(device(m_manualId)->dashboardNumber(), 1);

    DashboardTab *boards = m_window->projectCenter()->dashboardTab();
    QCOMPARE(boards->dashboardName(0), QStringLiteral("Cold Room"));
    QCOMPARE(boards->dashboardName(1), QStringLiteral("Lab"));
    QCOMPARE(boards->dashboard(0)->items().size(), 4);
    QCOMPARE(boards->dashboard(1)->items().size(), 4);

    for (const QString &id : {m_discovered[0], m_discovered[1], m_discovered[2], m_manualId})
        QTRY_VERIFY2_WITH_TIMEOUT(device(id)->isConnected(), qPrintable(id), 5000);
}

void TestAcceptanceGui::recordingStoresEveryLoggerWhileTheUserWorksWithThem()
{
    ProjectCenter *center = m_window->projectCenter();
    QVERIFY(center);
    const QDateTime started = QDateTime::currentDateTime();
    QVERIFY(click(center, QStringLiteral("btn_record")));
    QVERIFY(m_window->isRecording());
    QVERIFY(!center->recordStartText().isEmpty());

    // The detail view of the first logger, from its channel 1 tile.
    ConfiguredDevice *edited = device(m_discovered[0]);
    DashBoardDeviceItem *tile = nullptr;
    for (DashBoardDeviceItem *item : center->dashboardTab()->dashboard(0)->items()) {
        if (item->device() == edited && item->isChannel1())
            tile = item;
    }
    QVERIFY(tile);
    QTest::mouseClick(tile, Qt::LeftButton, {}, tile->rect().center());
    ChartView *detail = center->chartView();
    QTRY_VERIFY(detail->isVisible());
    QCOMPARE(detail->device(), edited);
    QTRY_VERIFY(child<QLabel>(detail, QStringLiteral("label_ch1_number"))
                    ->text()
                    .startsWith(QStringLiteral("20.")));

    // New alarm limits go to the logger before the program adopts them.
    QVERIFY(click(detail, QStringLiteral("btn_setting")));
    QPointer<SensingOptionTelnetDialog> options;
    QTRY_VERIFY((options = center->findChild<SensingOptionTelnetDialog *>()) &&
                options->isVisible());
    typeNumber(child<QDoubleSpinBox>(options, QStringLiteral("doubleSpinBox_min_ch1")), "10");
    typeNumber(child<QDoubleSpinBox>(options, QStringLiteral("doubleSpinBox_max_ch1")), "20.45");
    typeNumber(child<QDoubleSpinBox>(options, QStringLiteral("doubleSpinBox_min_ch2")), "30");
    typeNumber(child<QDoubleSpinBox>(options, QStringLiteral("doubleSpinBox_max_ch2")), "60");
    QVERIFY(click(options, QStringLiteral("pushButton_confirm")));
    QTRY_VERIFY_WITH_TIMEOUT(!options, 5000);
    const QHash<QString, QString> setup = setupValues(m_sim.command("setup tcp0"));
    QCOMPARE(setup.value("ATBMIN1").toDouble(), 10.0);
    QCOMPARE(setup.value("ATBMAX1").toDouble(), 20.45);
    QCOMPARE(setup.value("ATBMIN2").toDouble(), 30.0);
    QCOMPARE(setup.value("ATBMAX2").toDouble(), 60.0);
    QCOMPARE(setup.value("SET"), QStringLiteral("1"));
    float limits[4];
    edited->alarmRange(limits);
    QCOMPARE(limits[1], NEW_CH1_MAX);
    // Channel 1 runs 20.00 to 20.90: half of its readings are now above the upper limit.
    QTRY_VERIFY_WITH_TIMEOUT(edited->alarm1(), 12000);
    QVERIFY(!edited->alarm2());

    // One logger loses its channel 1 sensor for a while.
    ConfiguredDevice *broken = device(m_discovered[1]);
    QVERIFY(
        m_sim.command(QStringLiteral("values tcp1 ---- %1").arg(NO_VALUE_CH2)).startsWith("ok"));
    QTRY_COMPARE_WITH_TIMEOUT(broken->ch1Value(), QStringLiteral("----"), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(
        [this] {
            int withoutValue = 0;
            for (const StoredRow &row : rowsOf(storedRows(), m_discovered[1]))
                withoutValue += !row.channel1 && row.channel2 == NO_VALUE_CH2;
            return withoutValue >= 2;
        }(),
        15000);
    QVERIFY(m_sim.command(QStringLiteral("auto tcp1")).startsWith("ok"));

    // About ten seconds of samples from every logger on the dashboards.
    QTRY_VERIFY_WITH_TIMEOUT(
        [this] {
            for (const QString &id :
                 {m_discovered[0], m_discovered[1], m_discovered[2], m_manualId})
                if (storedCount(id) < 8)
                    return false;
            return true;
        }(),
        20000);
    QVERIFY(started.secsTo(QDateTime::currentDateTime()) >= 7);
    QCOMPARE(storedCount(m_discovered[3]), 0);
}

void TestAcceptanceGui::stoppingWritesOneBreakRowPerLogger()
{
    ProjectCenter *center = m_window->projectCenter();
    QVERIFY(center && m_window->isRecording());
    QVERIFY(click(center, QStringLiteral("btn_record")));
    QVERIFY(!m_window->isRecording());
    QCOMPARE(m_window->pendingRows().count(), 0);

    const QList<StoredRow> rows = storedRows();
    for (const QString &id : {m_discovered[0], m_discovered[1], m_discovered[2], m_manualId}) {
        const QList<StoredRow> own = rowsOf(rows, id);
        QVERIFY2(own.size() >= 9, qPrintable(id));
        // Rows of one batch need not keep their queue order; the break row comes in a batch
        // of its own, after every sample.
        QVERIFY2(own.last().isBreak(), qPrintable(id));
        quint32 lastSample = 0;
        for (const StoredRow &row : own.mid(0, own.size() - 1)) {
            QVERIFY(!row.isBreak());
            lastSample = std::max(lastSample, row.pointDate);
        }
        QCOMPARE(own.last().pointDate, lastSample + 1);
    }
    const auto [first, last] =
        std::minmax_element(rows.begin(), rows.end(), [](const StoredRow &a, const StoredRow &b) {
            return a.pointDate < b.pointDate;
        });
    QCOMPARE(center->recordStartText(), timeText(first->pointDate));
    QCOMPARE(ProjectFile::readString(m_projectPath, QStringLiteral("record_stop_time")),
             timeText(last->pointDate));
}

void TestAcceptanceGui::aLoggerRemovedWithAddDeleteIsNoLongerRecorded()
{
    QVERIFY(chooseProjectMenuEntry(QStringLiteral("actAddDelete")));
    QTRY_VERIFY(m_window->projectManager());
    QVERIFY(!m_window->projectCenter());
    ProjectManager *panel = m_window->projectManager();
    auto *second = child<QListWidget>(panel, QStringLiteral("configured_list_2"));
    auto *available = child<QListWidget>(panel, QStringLiteral("availlable_list"));
    QCOMPARE(toolTips(second), (QStringList{m_discovered[2], m_manualId}));
    QCOMPARE(child<QLineEdit>(panel, QStringLiteral("lineEdit_dashboard_2"))->text(),
             QStringLiteral("Lab"));

    clickTab(panel, 1);
    QCOMPARE(selectByToolTip(second, {m_discovered[2]}), 1);
    QVERIFY(click(panel, QStringLiteral("btn_remove")));
    QCOMPARE(toolTips(second), QStringList{m_manualId});
    QTRY_VERIFY(toolTips(available).contains(m_discovered[2]));

    const QList<StoredRow> before = storedRows();
    QVERIFY(!before.isEmpty());
    m_lastIdBeforeRemoval = before.last().id;
    m_removedAtSecs = QDateTime::currentSecsSinceEpoch();
    QVERIFY(click(panel, QStringLiteral("btn_confirm")));
    QTRY_VERIFY(m_window->projectCenter());
    QCOMPARE(m_window->configuredDevices().size(), 3);
    QVERIFY(!device(m_discovered[2]));

    const int removedAnswers = m_sim.command(QStringLiteral("count tcp2")).mid(3).toInt();
    QVERIFY(click(m_window->projectCenter(), QStringLiteral("btn_record")));
    QVERIFY(m_window->isRecording());
    QTRY_VERIFY_WITH_TIMEOUT(
        [this] {
            const QList<StoredRow> rows = storedRows();
            for (const QString &id : {m_discovered[0], m_discovered[1], m_manualId}) {
                int fresh = 0;
                for (const StoredRow &row : rowsOf(rows, id))
                    fresh += row.id > m_lastIdBeforeRemoval;
                if (fresh < 4)
                    return false;
            }
            return true;
        }(),
        15000);
    QVERIFY(click(m_window->projectCenter(), QStringLiteral("btn_record")));
    QVERIFY(!m_window->isRecording());
    // The removed logger is not even asked any more.
    QVERIFY(m_sim.command(QStringLiteral("count tcp2")).mid(3).toInt() <= removedAnswers + 1);
}

void TestAcceptanceGui::theClosedProjectOpensAgainFromTheRecentList()
{
    QVERIFY(chooseProjectMenuEntry(QStringLiteral("actClose")));
    QTRY_VERIFY(m_window->projectMain());
    QVERIFY(!m_window->projectCenter());
    QVERIFY(!m_window->store());
    QVERIFY(m_window->configuredDevices().isEmpty());

    auto *recent = child<QListWidget>(m_window->projectMain(), QStringLiteral("listWidget"));
    QVERIFY(recent);
    QCOMPARE(recent->count(), 1);
    QVERIFY(recent->item(0)->text().startsWith(QStringLiteral("Accept\t[")));
    QCOMPARE(recent->item(0)->toolTip(), m_projectPath);
    doubleClickItem(recent, recent->item(0));
    QTRY_VERIFY(m_window->projectCenter());
    QCOMPARE(m_window->projectFile(), m_projectPath);
    QCOMPARE(m_window->pollInterval(), 1000);
    QCOMPARE(m_window->configuredDevices().size(), 3);
    QCOMPARE(m_window->dashboardNames().mid(0, 2),
             (QStringList{QStringLiteral("Cold Room"), QStringLiteral("Lab")}));
    ConfiguredDevice *edited = device(m_discovered[0]);
    QVERIFY(edited);
    float limits[4];
    edited->alarmRange(limits);
    QCOMPARE(limits[0], NEW_CH1_MIN);
    QCOMPARE(limits[1], NEW_CH1_MAX);
    QCOMPARE(limits[2], NEW_CH2_MIN);
    QCOMPARE(limits[3], NEW_CH2_MAX);
    QCOMPARE(device(m_manualId)->deviceInterface(), LOCAL_ADDRESS);
    QCOMPARE(device(m_manualId)->devicePort(), m_manualPort);
    QVERIFY(!m_window->projectCenter()->recordStartText().isEmpty());
    for (const QString &id : {m_discovered[0], m_discovered[1], m_manualId})
        QTRY_VERIFY2_WITH_TIMEOUT(device(id)->isConnected(), qPrintable(id), 5000);

    QVERIFY(chooseProjectMenuEntry(QStringLiteral("actClose")));
    QTRY_VERIFY(m_window->projectMain());
}

void TestAcceptanceGui::theDatabaseHoldsWhatTheLoggersSent()
{
    QList<StoredRow> rows;
    QString error;
    QVERIFY2(readStoredRows(m_databasePath, &rows, &error), qPrintable(error));

    const QHash<QString, int> breaksExpected{
        {m_discovered[0], 2}, {m_discovered[1], 2}, {m_discovered[2], 1}, {m_manualId, 2}};
    for (auto it = breaksExpected.cbegin(); it != breaksExpected.cend(); ++it) {
        const QList<StoredRow> own = rowsOf(rows, it.key());
        int breaks = 0;
        quint32 lastSample = 0;
        for (const StoredRow &row : own) {
            if (row.isBreak()) {
                ++breaks;
                QCOMPARE(row.pointDate, lastSample + 1);
            } else {
                // The second recording starts later than the first one's break row.
                lastSample = std::max(lastSample, row.pointDate);
            }
        }
        QVERIFY2(breaks == it.value(),
                 qPrintable(QStringLiteral("%1 has %2 break rows").arg(it.key()).arg(breaks)));
    }
    QVERIFY(rowsOf(rows, m_discovered[3]).isEmpty());

    // The deterministic values of the simulator, and NULL exactly where it sent "----".
    for (const StoredRow &row : rowsOf(rows, m_discovered[0])) {
        if (row.isBreak())
            continue;
        QVERIFY(row.channel1 && *row.channel1 >= 20.0 && *row.channel1 <= 20.9 + 1e-9);
        QVERIFY(row.channel2 && *row.channel2 >= 40.0 && *row.channel2 <= 42.0);
    }
    int withoutValue = 0;
    for (const StoredRow &row : rowsOf(rows, m_discovered[1])) {
        if (row.isBreak())
            continue;
        QVERIFY(row.channel2);
        if (!row.channel1) {
            ++withoutValue;
            QCOMPARE(*row.channel2, NO_VALUE_CH2);
        } else {
            QVERIFY(*row.channel1 >= 21.0 && *row.channel1 <= 21.9 + 1e-9);
        }
    }
    QVERIFY(withoutValue >= 2);

    for (const StoredRow &row : rowsOf(rows, m_discovered[2])) {
        QVERIFY(row.id <= m_lastIdBeforeRemoval);
        QVERIFY(qint64(row.pointDate) <= m_removedAtSecs + 1);
    }
    for (const QString &id : {m_discovered[0], m_discovered[1], m_manualId}) {
        const QList<StoredRow> own = rowsOf(rows, id);
        QVERIFY(std::any_of(own.begin(), own.end(), [this](const StoredRow &row) {
            return row.id > m_lastIdBeforeRemoval && !row.isBreak();
        }));
    }
}

void TestAcceptanceGui::theProjectFileHoldsDevicesNamesIntervalRangeAndBackup()
{
    ProjectInfo info;
    QVERIFY(ProjectFile::readInfo(m_projectPath, &info));
    QCOMPARE(info.projectName, QStringLiteral("Accept"));
    QCOMPARE(info.dataInterval, 1000);
    QCOMPARE(info.databaseName, QStringLiteral("Accept.dat"));
    QCOMPARE(info.dashboardNames,
             (QStringList{QStringLiteral("Cold Room"), QStringLiteral("Lab"),
                          QStringLiteral("Dashboard 3"), QStringLiteral("Dashboard 4")}));

    QList<DeviceRecord> records;
    QVERIFY(ProjectFile::parseDeviceList(ProjectFile::readDeviceList(m_projectPath), &records));
    QCOMPARE(records.size(), 3);
    QCOMPARE(records[0].deviceNumber, m_discovered[0]);
    QCOMPARE(records[0].deviceType, QStringLiteral("TELNET"));
    QCOMPARE(records[0].dashboardNumber, 0);
    QCOMPARE(records[0].ch1Max, NEW_CH1_MAX);
    QCOMPARE(records[0].ch2Min, NEW_CH2_MIN);
    QCOMPARE(records[1].deviceNumber, m_discovered[1]);
    QCOMPARE(records[2].deviceNumber, m_manualId);
    QCOMPARE(records[2].deviceName, MANUAL_NAME);
    QCOMPARE(records[2].deviceInterface, LOCAL_ADDRESS);
    QCOMPARE(records[2].devicePort, m_manualPort);
    QCOMPARE(records[2].dashboardNumber, 1);

    // The list before the removal is kept as the backup.
    QSettings file(m_projectPath, QSettings::IniFormat);
    const QByteArray backup = file.value(QStringLiteral("Backup")).toByteArray();
    QList<DeviceRecord> previous;
    QVERIFY(ProjectFile::parseDeviceList(backup, &previous));
    QCOMPARE(previous.size(), 4);
    QCOMPARE(previous[2].deviceNumber, m_discovered[2]);

    QList<StoredRow> rows;
    QVERIFY(readStoredRows(m_databasePath, &rows));
    quint32 first = rows.first().pointDate;
    quint32 last = first;
    for (const StoredRow &row : rows) {
        first = std::min(first, row.pointDate);
        last = std::max(last, row.pointDate);
    }
    QCOMPARE(file.value(QStringLiteral("record_start_time")).toString(), timeText(first));
    QCOMPARE(file.value(QStringLiteral("record_stop_time")).toString(), timeText(last));
}

QTEST_MAIN(TestAcceptanceGui)
#include "tst_acceptance_gui.moc"
