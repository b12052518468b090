// The database's storage failing under a recording program: its disk filling up (on a small
// filesystem of the test's own, mounted in a private mount namespace), its files turning
// unwritable (frozen with the immutable attribute). Both need root; each case skips otherwise.
#include "app/velmoranmain.h"
#include "device/configureddevice.h"
#include "store/insertserialdata.h"
#include "tests/faults/recordingrig.h"
#include "tests/support/simprocess.h"
#include "tests/support/simulatorproject.h"
#include "tests/support/tempproject.h"
#include "tests/support/testsettings.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <linux/fs.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {
QString g_strNoPrivateMounts; // why mounts cannot be made here; empty when they can

// Mounts made here stay in this process's own namespace and vanish with it. Returns why not.
QString enterPrivateMountNamespace()
{
    if (::geteuid() != 0 || ::unshare(CLONE_NEWNS) != 0)
        return QStringLiteral(
            "needs root to mount a small filesystem in a private mount namespace");
    if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        // Without private propagation the small filesystem would show up outside this test.
        return QStringLiteral("cannot make the mounts below / private (%1); in a chroot \"/\" is "
                              "not a mount point")
            .arg(QString::fromLocal8Bit(::strerror(errno)));
    }
    return QString();
}

// Writes until the filesystem refuses; true when it ended full.
bool fillDisk(const QString &path)
{
    QFile filler(path);
    if (!filler.open(QIODevice::WriteOnly))
        return false;
    const QByteArray chunk(16 * 1024, 'x');
    while (filler.write(chunk) == chunk.size() && filler.flush()) {
    }
    filler.close();
    QFile probe(path + QStringLiteral(".probe"));
    const bool full = !probe.open(QIODevice::WriteOnly) ||
                      probe.write(QByteArray(8192, 'y')) != 8192 || !probe.flush();
    probe.close();
    probe.remove();
    return full;
}

// Sets or clears the immutable attribute (chattr +i / -i). Unlike permission bits it stops
// root too, and on ext4 it also stops writes through descriptors opened before it was set.
// Returns 0 or the errno of the failure.
int setImmutable(const QString &path, bool immutable)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int flags = 0;
    int error = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) {
        error = errno;
    } else {
        flags = immutable ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        if (::ioctl(fd, FS_IOC_SETFLAGS, &flags) != 0)
            error = errno;
    }
    ::close(fd);
    return error;
}

// Empty when a file frozen with the immutable attribute refuses writes through a descriptor
// opened before; otherwise why not.
QString frozenFilesRefuseWrites(const QString &probe)
{
    const QByteArray path = QFile::encodeName(probe);
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return QStringLiteral("cannot create ") + probe;
    QString why;
    if (const int error = setImmutable(probe, true)) {
        why = QStringLiteral("the immutable attribute cannot be set here: ") +
              QString::fromLocal8Bit(std::strerror(error));
    } else {
        if (::pwrite(fd, "x", 1, 0) == 1)
            why = QStringLiteral("the immutable attribute does not stop writes through open "
                                 "files on this filesystem");
        setImmutable(probe, false);
    }
    ::close(fd);
    ::unlink(path.constData());
    return why;
}

// Clears the immutable attribute of every file in folder, so that nothing the test froze
// stays frozen, whichever way the test ended.
void thawFolder(const QString &folder)
{
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    for (const QString &name : names)
        setImmutable(QDir(folder).filePath(name), false);
}

const QString WRITE_FAILED =
    QStringLiteral("Unable to write the database.\nPlease check the disk.");
} // namespace

class TestFaultsStorage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void aFullDiskKeepsTheRowsQueuedUntilSpaceIsFreed();
    void anUnwritableDatabaseKeepsTheRowsQueuedUntilItIsWritableAgain();
    void rowsOfAClosedProjectGoToItsOwnDatabaseOnly_data();
    void rowsOfAClosedProjectGoToItsOwnDatabaseOnly();

private:
    bool mountSmallDisk(const QString &size);
    void pollMany(RecordingRig *rig, int polls);

    SimProcess m_sim;
    std::unique_ptr<TempProjectDir> m_dir;
    QString m_strMount;
};

void TestFaultsStorage::initTestCase()
{
    isolateSettings();
    QVERIFY(m_sim.start(
        {"--tcp", "2", "--tcp-base-port", "0", "--drift", "tcp0:1", "--drift", "tcp1:1"}));
}

void TestFaultsStorage::init()
{
    m_dir = std::make_unique<TempProjectDir>();
    m_strMount = m_dir->filePath(QStringLiteral("disk"));
    QVERIFY(QDir().mkpath(m_strMount));
}

void TestFaultsStorage::cleanup()
{
    thawFolder(m_dir->path());
    ::umount2(QFile::encodeName(m_strMount).constData(), MNT_DETACH);
}

bool TestFaultsStorage::mountSmallDisk(const QString &size)
{
    const QByteArray options = "size=" + size.toLatin1();
    return ::mount("tmpfs", QFile::encodeName(m_strMount).constData(), "tmpfs", 0,
                   options.constData()) == 0;
}

void TestFaultsStorage::pollMany(RecordingRig *rig, int polls)
{
    for (int poll = 0; poll < polls; ++poll)
        QVERIFY(rig->pollAndWait({"tcp0", "tcp1"}));
}

void TestFaultsStorage::aFullDiskKeepsTheRowsQueuedUntilSpaceIsFreed()
{
    if (!g_strNoPrivateMounts.isEmpty())
        QSKIP(qPrintable(g_strNoPrivateMounts));
    QVERIFY(mountSmallDisk(QStringLiteral("512k")));
    RecordingRig rig(&m_sim);
    QVERIFY2(rig.open(m_strMount, {"tcp0", "tcp1"}), qPrintable(rig.failure()));
    pollMany(&rig, 8);
    QVERIFY(rig.flush());

    const QString filler = QDir(m_strMount).filePath(QStringLiteral("filler"));
    QVERIFY(fillDisk(filler));
    pollMany(&rig, 8);
    QVERIFY(!rig.flush());
    QCOMPARE(rig.window()->pendingRows().count(), 16);
    QCOMPARE(rig.shownMessages(QStringLiteral("ERROR"), WRITE_FAILED), 1);

    // The loggers are still read, and the next failed flushes say nothing new.
    pollMany(&rig, 8);
    QVERIFY(!rig.flush());
    QVERIFY(!rig.flush());
    QCOMPARE(rig.shownMessages(QStringLiteral("ERROR"), WRITE_FAILED), 1);
    QVERIFY(rig.device("tcp0")->isConnected());
    QVERIFY(rig.window()->isRecording());

    QVERIFY(QFile::remove(filler));
    QVERIFY(rig.flush());
    pollMany(&rig, 8);
    QVERIFY(rig.flush());

    // A second run of failures is a new failure: it is shown again.
    QTRY_COMPARE_WITH_TIMEOUT(rig.shownMessages(QStringLiteral("ERROR"), WRITE_FAILED), 0, 7000);
    QVERIFY(fillDisk(filler));
    pollMany(&rig, 8);
    QVERIFY(!rig.flush());
    QCOMPARE(rig.shownMessages(QStringLiteral("ERROR"), WRITE_FAILED), 1);
    QVERIFY(QFile::remove(filler));

    QString why;
    QVERIFY2(rig.everyAnswerStoredOnce({"tcp0", "tcp1"}, &why), qPrintable(why));
    QCOMPARE(integrityCheck(rig.databasePath()), QStringLiteral("ok"));
}

void TestFaultsStorage::anUnwritableDatabaseKeepsTheRowsQueuedUntilItIsWritableAgain()
{
    // tmpfs takes the attribute but goes on writing through open files: this case runs in the
    // temporary folder on disk.
    const QString folder = m_dir->path();
    const QString refusal = frozenFilesRefuseWrites(QDir(folder).filePath(QStringLiteral("probe")));
    if (!refusal.isEmpty())
        QSKIP(qPrintable(refusal));

    RecordingRig rig(&m_sim);
    QVERIFY2(rig.open(folder, {"tcp0", "tcp1"}), qPrintable(rig.failure()));
    pollMany(&rig, 8);
    QVERIFY(rig.flush());

    // Frozen while the store holds them open. The commits go to the write-ahead log. The
    // shared-memory index stays writable: it is mapped into memory, and a store into a mapped
    // page of a frozen file ends the process with SIGBUS.
    const QStringList files = {rig.databasePath(), rig.databasePath() + QStringLiteral("-wal")};
    for (const QString &file : files) {
        QVERIFY2(QFile::exists(file), qPrintable(file));
        QCOMPARE(setImmutable(file, true), 0);
    }
    pollMany(&rig, 8);
    QVERIFY(!rig.flush());
    QCOMPARE(rig.window()->pendingRows().count(), 16);
    QCOMPARE(rig.shownMessages(QStringLiteral("ERROR"), WRITE_FAILED), 1);

    pollMany(&rig, 8);
    QVERIFY(!rig.flush());
    QVERIFY(!rig.flush());
    QCOMPARE(rig.window()->pendingRows().count(), 32);
    QCOMPARE(rig.shownMessages(QStringLiteral("ERROR"), WRITE_FAILED), 1);
    QVERIFY(rig.device("tcp0")->isConnected());
    QVERIFY(rig.device("tcp1")->isConnected());
    QVERIFY(rig.window()->isRecording());

    for (const QString &file : files)
        QCOMPARE(setImmutable(file, false), 0);
    QVERIFY(rig.flush());
    pollMany(&rig, 8);
    QVERIFY(rig.flush());

    QString why;
    QVERIFY2(rig.everyAnswerStoredOnce({"tcp0", "tcp1"}, &why), qPrintable(why));
    QCOMPARE(integrityCheck(rig.databasePath()), QStringLiteral("ok"));
}

void TestFaultsStorage::rowsOfAClosedProjectGoToItsOwnDatabaseOnly_data()
{
    QTest::addColumn<bool>("folderGone");
    QTest::newRow("written once writable") << false;
    QTest::newRow("given up when its folder is gone") << true;
}

void TestFaultsStorage::rowsOfAClosedProjectGoToItsOwnDatabaseOnly()
{
    QFETCH(bool, folderGone);
    const QString folder = m_dir->path();
    const QString refusal = frozenFilesRefuseWrites(QDir(folder).filePath(QStringLiteral("probe")));
    if (!refusal.isEmpty())
        QSKIP(qPrintable(refusal));
    RecordingRig rig(&m_sim);
    QVERIFY2(rig.open(folder, {"tcp0", "tcp1"}), qPrintable(rig.failure()));
    pollMany(&rig, 8);
    QVERIFY(rig.flush());
    const int stored = rig.storedRows("tcp0");
    const QStringList files = {rig.databasePath(), rig.databasePath() + QStringLiteral("-wal")};
    for (const QString &file : files)
        QCOMPARE(setImmutable(file, true), 0);
    pollMany(&rig, 4);
    VelmoranMain *window = rig.window();
    window->slotStopRecord();
    window->slotCloseProject();
    QCOMPARE(window->pendingRows().count(), 0);

    // The next project records and stops: its file holds its own rows and no others.
    const QString other = m_dir->filePath(QStringLiteral("other/Other.tpc"));
    QVERIFY(QDir().mkpath(QFileInfo(other).path()));
    QVERIFY(writeSimulatorProject(other, {m_sim.logger("tcp0"), m_sim.logger("tcp1")}, 1000));
    window->projectLoaded(other);
    window->slotStartRecord();
    rig.holdTimers();
    QVERIFY(QTest::qWaitFor([window] { return window->pendingRows().count() >= 2; }, 5000));
    pollMany(&rig, 3);
    const int recorded = window->pendingRows().count();
    window->slotStopRecord();
    QCOMPARE(window->store()->totalRow(), recorded + 2);
    window->slotCloseProject();

    if (folderGone) {
        const QString moved = folder + QStringLiteral("-moved");
        QVERIFY(QDir().rename(folder, moved));
        for (int tick = 0; tick < 20; ++tick)
            window->drainStep();
        QVERIFY(QDir().rename(moved, folder));
        const QString given = QStringLiteral("10 rows could not be written to\n") +
                              QDir::toNativeSeparators(rig.databasePath());
        QCOMPARE(rig.shownMessages(QStringLiteral("ERROR"), given), 1);
        for (const QString &file : files)
            QCOMPARE(setImmutable(file, false), 0);
        window->drainStep();
        QCOMPARE(rig.storedRows("tcp0"), stored);
        return;
    }
    // The first project's rows wait for its own file and go there once it takes them.
    window->drainStep();
    QCOMPARE(rig.storedRows("tcp0"), stored);
    for (const QString &file : files)
        QCOMPARE(setImmutable(file, false), 0);
    window->drainStep();
    QCOMPARE(rig.storedRows("tcp0"), stored + 4 + 1);
    QCOMPARE(rig.storedRows("tcp1"), stored + 4 + 1);
    QCOMPARE(integrityCheck(rig.databasePath()), QStringLiteral("ok"));
}

int main(int argc, char **argv)
{
    // Before any thread exists: a namespace is per process only while it has one thread.
    g_strNoPrivateMounts = enterPrivateMountNamespace();
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestFaultsStorage test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_faults_storage.moc"
