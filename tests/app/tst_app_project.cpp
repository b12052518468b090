#include "app/siblinglauncher.h"
#include "app/velmoranmain.h"
#include "project/projectmain.h"
#include "recorder/recorder.h"
#include "store/insertserialdata.h"
#include "tests/app/appfixture.h"
#include "tests/support/tempproject.h"
#include "tests/support/testsettings.h"
#include "view/projectcenter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
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

void queueRows(VelmoranMain &window, const QString &serial, int count, quint32 firstTime)
{
    for (int i = 0; i < count; ++i)
        window.pendingRows().append({serial, 20.0 + i, 40.0, firstTime + quint32(i)});
}

const char *const STOP_TIME = "2031-01-02 03:04:05";

// A stand-in program that writes its argument count, each argument and the project file's
// stop time (as it found it when it started) into "<name>.out" beside itself.
bool writeFakeTool(const QString &folder, const QString &name)
{
    QFile script(QDir(folder).filePath(name));
    if (!script.open(QIODevice::WriteOnly))
        return false;
    script.write("#!/bin/sh\n"
                 "out=\"$(dirname \"$0\")/" +
                 name.toUtf8() +
                 ".out\"\n"
                 "p=\"$1\"; p=\"${p#\\'}\"; p=\"${p%\\'}\"\n"
                 "{ echo \"$#\"; for a in \"$@\"; do echo \"$a\"; done;"
                 " grep '^record_stop_time' \"$p\"; } > \"$out.tmp\"\n"
                 "mv \"$out.tmp\" \"$out\"\n");
    script.close();
    return script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                 QFileDevice::ExeOwner);
}

QStringList readLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}
} // namespace

class TestAppProject : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        isolateSettings();
        QVERIFY(m_bin.isValid());
        m_originalPath = qgetenv("PATH");
    }

    void init()
    {
        clearAppSettings();
        m_dir = std::make_unique<TempProjectDir>();
        QVERIFY(m_dir->isValid());
        qputenv("PATH", m_bin.path().toUtf8() + ':' + m_originalPath);
    }

    void cleanup()
    {
        m_dir.reset();
        qputenv("PATH", m_originalPath);
    }

    void anUnusableIntervalIsReplaced_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("used");
        QTest::addColumn<QString>("label");
        QTest::newRow("zero") << QVariant(0) << 10000 << "Interval : 10 sec";
        QTest::newRow("negative") << QVariant(-250) << 10000 << "Interval : 10 sec";
        QTest::newRow("not a number") << QVariant("fast") << 10000 << "Interval : 10 sec";
        QTest::newRow("missing") << QVariant() << 10000 << "Interval : 10 sec";
        QTest::newRow("1 ms is raised") << QVariant(1) << 100 << "Interval : ";
        QTest::newRow("99 ms is raised") << QVariant(99) << 100 << "Interval : ";
    }

    void anUnusableIntervalIsReplaced()
    {
        QFETCH(QVariant, stored);
        QFETCH(int, used);
        QFETCH(QString, label);
        const QString path = m_dir->projectPath("Line1");
        QVERIFY(writeEmptyProject(path, 1000));
        if (stored.isValid()) {
            QVERIFY(ProjectFile::writeValue(path, "DataInterval", stored));
        } else {
            QSettings ini(path, QSettings::IniFormat);
            ini.remove("DataInterval");
        }

        VelmoranMain window;
        if (used == 100)
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression("^\\[WARNING\\] .*raised to 100"));
        window.projectLoaded(path);
        QVERIFY(window.isProjectOpen());
        QCOMPARE(window.pollInterval(), used);
        QCOMPARE(activeTimersWithInterval(&window, used), 1);
        QCOMPARE(window.findChild<QLabel *>("label_interval")->text(), label);

        window.slotCloseProject();
        QCOMPARE(activeTimersWithInterval(&window, used), 0);
    }

    void aFileWithoutDeviceInformationLeavesTheOpenPanel()
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

    void intervalsAboveOneMinuteDisableKeepSocketConnectionUntilClose()
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
        QCOMPARE(window.pollInterval(), 10000);
        QVERIFY(window.findChild<QLabel *>("label_interval")->text().isEmpty());

        window.projectLoaded(minute);
        QVERIFY(keepAlive->isEnabled());
    }

    void recordingStopsWhenTheDatabaseReachesItsSizeLimit()
    {
        const QString path = m_dir->projectPath("Big");
        QVERIFY(writeEmptyProject(path, 1000));
        VelmoranMain window;
        window.projectLoaded(path);
        window.slotStartRecord();
        QVERIFY(window.isRecording());
        // The tick looks at the size once the centre shows both ends of the recording.
        window.projectCenter()->setRecordEndText(window.projectCenter()->recordStartText());

        // The limit counts the write-ahead log too, as the size shown does.
        QFile database(ProjectFile::databasePath(path));
        const qint64 wal = QFileInfo(database.fileName() + "-wal").size();
        if (!database.resize(4187593113LL - wal))
            QSKIP("no sparse file of 3.9 GiB possible here");
        window.slotStdTimer();
        QVERIFY(window.isRecording());

        QVERIFY(database.resize(4187593114LL - wal));
        QTRY_VERIFY_WITH_TIMEOUT(!window.isRecording(), 2500);
        QVERIFY(action(&window, "actClose")->isEnabled());
        window.slotCloseProject();
        database.resize(0);
    }

    void aProjectFileThatCannotBeWrittenIsReported()
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

    void aFailingFlushIsReportedOncePerStreakAndLosesNoRow()
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

        queueRows(window, "A1", 8, 1700000000);
        window.writeDb();
        QCOMPARE(window.pendingRows().count(), 8);
        QCOMPARE(countMessages(&window, "ERROR", WRITE_FAILED), 1);
        queueRows(window, "A1", 2, 1700000100);
        window.writeDb();
        window.writeDb();
        QCOMPARE(window.pendingRows().count(), 10);
        QCOMPARE(countMessages(&window, "ERROR", WRITE_FAILED), 1);

        QVERIFY(locker.unlock());
        window.writeDb();
        QCOMPARE(window.pendingRows().count(), 0);
        QCOMPARE(locker.rows("A1"), 10);

        // A new failure after a success is a new streak and is told again.
        QVERIFY(locker.lock());
        queueRows(window, "B2", 8, 1700000200);
        window.writeDb();
        QCOMPARE(countMessages(&window, "ERROR", WRITE_FAILED), 2);
        QVERIFY(locker.unlock());
        window.writeDb();
        QCOMPARE(locker.rows("B2"), 8);
        window.slotStopRecord();
    }

    void rowsLeftByAFailedStopFlushAreWrittenByTheNextFlush()
    {
        const QString path = m_dir->projectPath("Line1");
        QVERIFY(writeEmptyProject(path, 1000));
        VelmoranMain window;
        window.projectLoaded(path);
        window.slotStartRecord();

        DatabaseLocker locker(ProjectFile::databasePath(path));
        QVERIFY(locker.lock());
        queueRows(window, "A1", 3, 1700000000);
        window.slotStopRecord();
        QVERIFY(!window.isRecording());
        QCOMPARE(window.pendingRows().count(), 3);
        QCOMPARE(countMessages(&window, "ERROR", WRITE_FAILED), 1);

        QVERIFY(locker.unlock());
        window.slotStartRecord();
        queueRows(window, "A1", 5, 1700000010);
        window.writeDb();
        QCOMPARE(window.pendingRows().count(), 0);
        QCOMPARE(locker.rows("A1"), 8);
        window.slotStopRecord();
    }

    void theToolGetsThePathWholeAfterTheStopTimeWasWritten_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("slot");
        QTest::newRow("data viewer") << "Plotvane"
                                     << "slotPlotvaneRecord";
        QTest::newRow("report maker") << "Ledgerist"
                                      << "slotReportDaily";
    }

    void theToolGetsThePathWholeAfterTheStopTimeWasWritten()
    {
        QFETCH(QString, program);
        QFETCH(QString, slot);
        QVERIFY(writeFakeTool(m_bin.path(), program));
        const QString output = QDir(m_bin.path()).filePath(program + ".out");
        QFile::remove(output);

        QVERIFY(QDir(m_dir->path()).mkdir("my projects"));
        const QString path = m_dir->filePath("my projects/Line 1.tpc");
        QVERIFY(writeEmptyProject(path, 1000));
        VelmoranMain window;
        window.projectLoaded(path);
        QVERIFY(window.projectCenter());
        // An empty recording: its end is the time it stopped, which no row of the database gives.
        window.slotStartRecord();
        window.slotStopRecord();
        const QString shownEnd = window.projectCenter()->recordEndText();
        QVERIFY(!shownEnd.isEmpty());
        QVERIFY(ProjectFile::readString(path, "record_stop_time").isEmpty());

        QVERIFY(QMetaObject::invokeMethod(&window, qPrintable(slot)));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(output), 5000);
        const QStringList lines = readLines(output);
        QCOMPARE(lines.value(0), QStringLiteral("1"));
        QCOMPARE(lines.value(1), "'" + path + "'");
        QVERIFY2(lines.value(2).contains(shownEnd), qPrintable(lines.join('|')));
        QCOMPARE(
            countMessages(&window, "ERROR", "Please check the " + program + " execution file."), 0);
    }

    void aProjectRecordedElsewhereIsRefusedUntilItIsReleased()
    {
        const QString path = m_dir->projectPath("Elsewhere");
        QVERIFY(writeEmptyProject(path, 1000));
        auto other = std::make_unique<Recorder>();
        QCOMPARE(other->openStore(path), Recorder::OpenResult::Opened);
        VelmoranMain window;
        window.projectLoaded(path);
        QCOMPARE(countMessages(&window, "ERROR",
                               QStringLiteral("This project is being recorded by another program "
                                              "(process %1).\nClose it there first.")
                                   .arg(QCoreApplication::applicationPid())),
                 1);
        QVERIFY(!window.projectCenter());
        QVERIFY(!window.store());
        QVERIFY(window.projectMain());

        other.reset();
        window.projectLoaded(path);
        QVERIFY(window.projectCenter());
        QVERIFY(window.store());
    }

    void aMissingDatabaseStartsNothingAndLeavesTheFileAlone()
    {
        const QString path = m_dir->projectPath("Line1");
        QVERIFY(writeEmptyProject(path, 1000));
        VelmoranMain window;
        window.projectLoaded(path);
        window.projectCenter()->setRecordEndText(STOP_TIME);
        QVERIFY(ProjectFile::writeValue(path, "databaseName", "elsewhere.dat"));

        window.slotPlotvaneRecord();
        QCOMPARE(countMessages(&window, "ERROR", "Database does not exist."), 1);
        QVERIFY(ProjectFile::readString(path, "record_stop_time").isEmpty());
    }

    void aToolThatCannotStartIsReported_data()
    {
        QTest::addColumn<QString>("slot");
        QTest::addColumn<QString>("message");
        QTest::newRow("data viewer") << "slotPlotvaneRecord"
                                     << "Please check the Plotvane execution file.";
        QTest::newRow("report maker") << "slotReportDaily"
                                      << "Please check the Ledgerist execution file.";
    }

    void aToolThatCannotStartIsReported()
    {
        QFETCH(QString, slot);
        QFETCH(QString, message);
        qputenv("PATH", m_dir->path().toUtf8());
        const QString path = m_dir->projectPath("Line1");
        QVERIFY(writeEmptyProject(path, 1000));
        VelmoranMain window;
        window.projectLoaded(path);

        QVERIFY(QMetaObject::invokeMethod(&window, qPrintable(slot)));
        QCOMPARE(countMessages(&window, "ERROR", message), 1);
        QCOMPARE(SiblingLauncher(path).argument(), "'" + path + "'");
    }

private:
    std::unique_ptr<TempProjectDir> m_dir;
    QByteArray m_originalPath;
    QTemporaryDir m_bin;
};

QTEST_MAIN(TestAppProject)
#include "tst_app_project.moc"
