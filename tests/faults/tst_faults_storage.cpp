// The database's disk filling up under a recording program, on a small filesystem of the
// test's own, mounted in a private mount namespace (needs root; skipped otherwise).
#include "app/velmoranmain.h"
#include "device/configureddevice.h"
#include "store/insertserialdata.h"
#include "tests/faults/recordingrig.h"
#include "tests/support/simprocess.h"
#include "tests/support/tempproject.h"
#include "tests/support/testsettings.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTest>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {
bool g_bPrivateMounts = false;

// Mounts made here stay in this process's own namespace and vanish with it.
bool enterPrivateMountNamespace()
{
    if (::geteuid() != 0 || ::unshare(CLONE_NEWNS) != 0)
        return false;
    return ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
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

private:
    bool mountSmallDisk(const QString &size);
    void pollMany(RecordingRig *rig, int polls);

    SimProcess m_sim;
    std::unique_ptr<TempProjectDir> m_dir;
    QString m_strMount;
};

void TestFaultsStorage::initTestCase()
{
    if (!g_bPrivateMounts)
        QSKIP("needs root to mount a small filesystem in a private mount namespace");
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
    QVERIFY(mountSmallDisk(QStringLiteral("512k")));
    RecordingRig rig(&m_sim);
    QVERIFY2(rig.open(m_strMount, {"tcp0", "tcp1"}), qPrintable(rig.failure()));
    pollMany(&rig, 8);
    QVERIFY(rig.flush());

    const QString filler = QDir(m_strMount).filePath(QStringLiteral("filler"));
    QVERIFY(fillDisk(filler));
    pollMany(&rig, 8);
    QVERIFY(!rig.flush());
    QCOMPARE(InsertSerialData::pendingRowCount(), 16);
    QCOMPARE(rig.shownMessages(QStringLiteral("ERROR"), WRITE_FAILED), 1);

    // The loggers are still read, and the next failed flushes say nothing new.
    pollMany(&rig, 8);
    QVERIFY(!rig.flush());
    QVERIFY(!rig.flush());
    QCOMPARE(rig.shownMessages(QStringLiteral("ERROR"), WRITE_FAILED), 1);
    QVERIFY(rig.device("tcp0")->m_bConnected);
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

int main(int argc, char **argv)
{
    // Before any thread exists: a namespace is per process only while it has one thread.
    g_bPrivateMounts = enterPrivateMountNamespace();
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestFaultsStorage test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_faults_storage.moc"
