#include "app/velmoranmain.h"
#include "device/pollinterval.h"
#include "project/projectmain.h"
#include "store/insertserialdata.h"
#include "tests/app/appfixture.h"
#include "tests/support/tempproject.h"
#include "tests/support/testsettings.h"
#include "view/projectcenter.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#include <memory>

using namespace AppFixture;

namespace {
const char *const WRITE_FAILED = "Unable to write the database.\nPlease check the disk.";
const char *const SAVE_FAILED = "Unable to save the project file.\nPlease retry.";

// A second connection to the project database that can hold the write lock.
class DatabaseLocker
{
public:
    explicit DatabaseLocker(const QString &path)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "locker");
        db.setDatabaseName(path);
        db.setConnectOptions("QSQLITE_BUSY_TIMEOUT=0");
        m_bOpen = db.open();
    }
    ~DatabaseLocker()
    {
        {
            QSqlDatabase db = QSqlDatabase::database("locker");
            if (db.isOpen()) {
                QSqlQuery(db).exec("COMMIT");
                db.close();
            }
        }
        QSqlDatabase::removeDatabase("locker");
    }
    bool isOpen() const { return m_bOpen; }
    bool lock() { return QSqlQuery(QSqlDatabase::database("locker")).exec("BEGIN EXCLUSIVE"); }
    bool unlock() { return QSqlQuery(QSqlDatabase::database("locker")).exec("COMMIT"); }
    int rows(const QString &serial)
    {
        QSqlQuery query(QSqlDatabase::database("locker"));
        query.prepare("select count(*) from kestrelix where serialno = ?");
        query.addBindValue(serial);
        if (!query.exec() || !query.next())
            return -1;
        return query.value(0).toInt();
    }

private:
    bool m_bOpen = false;
};

void queueRows(const QString &serial, int count, quint32 firstTime)
{
    for (int i = 0; i < count; ++i)
        InsertSerialData::appendRow({serial, 20.0 + i, 40.0, firstTime + quint32(i)});
}
} // namespace

class TestAppProject : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void aMissingOrNonPositiveIntervalPollsEveryTenSeconds_data();
    void aMissingOrNonPositiveIntervalPollsEveryTenSeconds();
    void aFileWithoutDeviceInformationLeavesTheOpenPanel();
    void intervalsAboveOneMinuteDisableKeepSocketConnectionUntilClose();
    void recordingStopsWhenTheDatabaseReachesItsSizeLimit();
    void aProjectFileThatCannotBeWrittenIsReported();
    void aFailingFlushIsReportedOncePerStreakAndLosesNoRow();
    void rowsLeftByAFailedStopFlushAreWrittenByTheNextFlush();

private:
    std::unique_ptr<TempProjectDir> m_dir;
};

void TestAppProject::initTestCase()
{
    isolateSettings();
}

void TestAppProject::init()
{
    clearAppSettings();
    InsertSerialData::clearPendingRows();
    m_dir = std::make_unique<TempProjectDir>();
    QVERIFY(m_dir->isValid());
}

void TestAppProject::cleanup()
{
    m_dir.reset();
}

void TestAppProject::aMissingOrNonPositiveIntervalPollsEveryTenSeconds_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::newRow("zero") << QVariant(0);
    QTest::newRow("negative") << QVariant(-250);
    QTest::newRow("not a number") << QVariant("fast");
    QTest::newRow("missing") << QVariant();
}

void TestAppProject::aMissingOrNonPositiveIntervalPollsEveryTenSeconds()
{
    QFETCH(QVariant, stored);
    const QString path = m_dir->projectPath("Line1");
    QVERIFY(writeEmptyProject(path, 1000));
    if (stored.isValid()) {
        QVERIFY(ProjectFile::writeValue(path, "DataInterval", stored));
    } else {
        QSettings ini(path, QSettings::IniFormat);
        ini.remove("DataInterval");
    }

    setPollInterval(1000);
    VelmoranMain window;
    window.projectLoaded(path);
    QVERIFY(window.isProjectOpen());
    QCOMPARE(pollInterval(), 10000);
    QCOMPARE(activeTimersWithInterval(&window, 10000), 1);
    QCOMPARE(window.findChild<QLabel *>("label_interval")->text(),
             QStringLiteral("Interval : 10 sec"));

    window.slotCloseProject();
    QCOMPARE(activeTimersWithInterval(&window, 10000), 0);
}

void TestAppProject::aFileWithoutDeviceInformationLeavesTheOpenPanel()
{
    const QString path = m_dir->projectPath("Bare");
    QVERIFY(ProjectFile::create(path, "Bare", 1000));
    VelmoranMain window;
    ProjectMain *panel = window.projectMain();
    window.projectLoaded(path);
    QCOMPARE(countMessages(&window, "ERROR", "There is no device information!"), 1);
    QCOMPARE(window.projectMain(), panel);
    QVERIFY(!window.isProjectOpen());
    QVERIFY(!window.store());
    QVERIFY(window.recentList().isEmpty());
}

void TestAppProject::intervalsAboveOneMinuteDisableKeepSocketConnectionUntilClose()
{
    const QString slow = m_dir->projectPath("Slow");
    const QString minute = m_dir->projectPath("Minute");
    QVERIFY(writeEmptyProject(slow, 300000));
    QVERIFY(writeEmptyProject(minute, 60000));
    VelmoranMain window;
    QAction *keepAlive = action(&window, "actKeepAlive");

    window.projectLoaded(slow);
    QVERIFY(!keepAlive->isEnabled());
    QCOMPARE(window.findChild<QLabel *>("label_interval")->text(),
             QStringLiteral("Interval : 5 min"));
    window.slotCloseProject();
    QVERIFY(keepAlive->isEnabled());
    QCOMPARE(pollInterval(), 10000);
    QVERIFY(window.findChild<QLabel *>("label_interval")->text().isEmpty());

    window.projectLoaded(minute);
    QVERIFY(keepAlive->isEnabled());
}

void TestAppProject::recordingStopsWhenTheDatabaseReachesItsSizeLimit()
{
    const QString path = m_dir->projectPath("Big");
    QVERIFY(writeEmptyProject(path, 1000));
    VelmoranMain window;
    window.projectLoaded(path);
    window.slotStartRecord();
    QVERIFY(window.isRecording());
    // The tick looks at the size once the centre shows both ends of the recording.
    window.projectCenter()->setRecordEndText(window.projectCenter()->recordStartText());

    QFile database(ProjectFile::databasePath(path));
    if (!database.resize(4187593113LL))
        QSKIP("no sparse file of 3.9 GiB possible here");
    window.slotStdTimer();
    QVERIFY(window.isRecording());

    QVERIFY(database.resize(4187593114LL));
    QTRY_VERIFY_WITH_TIMEOUT(!window.isRecording(), 2500);
    QVERIFY(action(&window, "actClose")->isEnabled());
    window.slotCloseProject();
    database.resize(0);
}

void TestAppProject::aProjectFileThatCannotBeWrittenIsReported()
{
    const QString path = m_dir->projectPath("Line1");
    QVERIFY(writeEmptyProject(path, 1000));
    VelmoranMain window;
    window.projectLoaded(path);
    QVERIFY(window.isProjectOpen());
    QCOMPARE(countMessages(&window, "ERROR", SAVE_FAILED), 0);

    // A folder in the file's place cannot be written, not even by root.
    QVERIFY(QFile::remove(path));
    QVERIFY(QDir().mkdir(path));
    window.slotUpdateProjectFile();
    QCOMPARE(countMessages(&window, "ERROR", SAVE_FAILED), 1);

    window.slotStartRecord();
    QVERIFY(window.isRecording());
    QCOMPARE(countMessages(&window, "ERROR", SAVE_FAILED), 2);
    window.slotStopRecord();
}

void TestAppProject::aFailingFlushIsReportedOncePerStreakAndLosesNoRow()
{
    const QString path = m_dir->projectPath("Line1");
    QVERIFY(writeEmptyProject(path, 1000));
    VelmoranMain window;
    window.projectLoaded(path);
    window.slotStartRecord();
    QVERIFY(window.isRecording());

    DatabaseLocker locker(ProjectFile::databasePath(path));
    QVERIFY(locker.isOpen());
    QVERIFY(locker.lock());

    queueRows("A1", 8, 1700000000);
    window.writeDb();
    QCOMPARE(InsertSerialData::pendingRowCount(), 8);
    QCOMPARE(countMessages(&window, "ERROR", WRITE_FAILED), 1);
    queueRows("A1", 2, 1700000100);
    window.writeDb();
    window.writeDb();
    QCOMPARE(InsertSerialData::pendingRowCount(), 10);
    QCOMPARE(countMessages(&window, "ERROR", WRITE_FAILED), 1);

    QVERIFY(locker.unlock());
    window.writeDb();
    QCOMPARE(InsertSerialData::pendingRowCount(), 0);
    QCOMPARE(locker.rows("A1"), 10);

    // A new failure after a success is a new streak and is told again.
    QVERIFY(locker.lock());
    queueRows("B2", 8, 1700000200);
    window.writeDb();
    QCOMPARE(countMessages(&window, "ERROR", WRITE_FAILED), 2);
    QVERIFY(locker.unlock());
    window.writeDb();
    QCOMPARE(locker.rows("B2"), 8);
    window.slotStopRecord();
}

void TestAppProject::rowsLeftByAFailedStopFlushAreWrittenByTheNextFlush()
{
    const QString path = m_dir->projectPath("Line1");
    QVERIFY(writeEmptyProject(path, 1000));
    VelmoranMain window;
    window.projectLoaded(path);
    window.slotStartRecord();

    DatabaseLocker locker(ProjectFile::databasePath(path));
    QVERIFY(locker.lock());
    queueRows("A1", 3, 1700000000);
    window.slotStopRecord();
    QVERIFY(!window.isRecording());
    QCOMPARE(InsertSerialData::pendingRowCount(), 3);
    QCOMPARE(countMessages(&window, "ERROR", WRITE_FAILED), 1);

    QVERIFY(locker.unlock());
    window.slotStartRecord();
    queueRows("A1", 5, 1700000010);
    window.writeDb();
    QCOMPARE(InsertSerialData::pendingRowCount(), 0);
    QCOMPARE(locker.rows("A1"), 8);
    window.slotStopRecord();
}

QTEST_MAIN(TestAppProject)
#include "tst_app_project.moc"
