#include "app/siblinglauncher.h"
#include "app/velmoranmain.h"
#include "tests/app/appfixture.h"
#include "tests/support/tempproject.h"
#include "tests/support/testsettings.h"
#include "view/projectcenter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace AppFixture;

namespace {
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

class TestAppSiblings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void theToolGetsThePathWholeAfterTheStopTimeWasWritten_data();
    void theToolGetsThePathWholeAfterTheStopTimeWasWritten();
    void aMissingDatabaseStartsNothingAndLeavesTheFileAlone();
    void aToolThatCannotStartIsReported_data();
    void aToolThatCannotStartIsReported();

private:
    QByteArray m_originalPath;
    QTemporaryDir m_bin;
    std::unique_ptr<TempProjectDir> m_dir;
};

void TestAppSiblings::initTestCase()
{
    isolateSettings();
    QVERIFY(m_bin.isValid());
    m_originalPath = qgetenv("PATH");
}

void TestAppSiblings::init()
{
    clearAppSettings();
    m_dir = std::make_unique<TempProjectDir>();
    QVERIFY(m_dir->isValid());
    qputenv("PATH", m_bin.path().toUtf8() + ':' + m_originalPath);
}

void TestAppSiblings::cleanup()
{
    m_dir.reset();
    qputenv("PATH", m_originalPath);
}

void TestAppSiblings::theToolGetsThePathWholeAfterTheStopTimeWasWritten_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("slot");
    QTest::newRow("data viewer") << "Plotvane"
                                 << "slotPlotvaneRecord";
    QTest::newRow("report maker") << "Ledgerist"
                                  << "slotReportDaily";
}

void TestAppSiblings::theToolGetsThePathWholeAfterTheStopTimeWasWritten()
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
    window.projectCenter()->setRecordEndText(STOP_TIME);

    QVERIFY(QMetaObject::invokeMethod(&window, qPrintable(slot)));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(output), 5000);
    const QStringList lines = readLines(output);
    QCOMPARE(lines.value(0), QStringLiteral("1"));
    QCOMPARE(lines.value(1), "'" + path + "'");
    QVERIFY2(lines.value(2).contains(STOP_TIME), qPrintable(lines.join('|')));
    QCOMPARE(countMessages(&window, "ERROR", "Please check the " + program + " execution file."),
             0);
}

void TestAppSiblings::aMissingDatabaseStartsNothingAndLeavesTheFileAlone()
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

void TestAppSiblings::aToolThatCannotStartIsReported_data()
{
    QTest::addColumn<QString>("slot");
    QTest::addColumn<QString>("message");
    QTest::newRow("data viewer") << "slotPlotvaneRecord"
                                 << "Please check the Plotvane execution file.";
    QTest::newRow("report maker") << "slotReportDaily"
                                  << "Please check the Ledgerist execution file.";
}

void TestAppSiblings::aToolThatCannotStartIsReported()
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

QTEST_MAIN(TestAppSiblings)
#include "tst_app_siblings.moc"
