#include "store/insertserialdata.h"
#include "store/pendingrowqueue.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// "<integrity_check result> <row count>" of a database file.
QString inspect(const QString &path)
{
    QString result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "inspect");
        db.setDatabaseName(path);
        const bool open = db.open();
        QSqlQuery query(db);
        for (const char *statement : {"PRAGMA integrity_check", "select count(*) from kestrelix"})
            result += open && query.exec(statement) && query.next()
                          ? query.value(0).toString() + ' '
                          : QString("failed ");
    }
    QSqlDatabase::removeDatabase("inspect");
    return result.trimmed();
}

} // namespace

class TestCrashSafety : public QObject
{
    Q_OBJECT

private slots:
    void writerKilledAtRandomMomentsLeavesAnIntactDatabaseWithEveryCommittedRow()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QRandomGenerator random(QRandomGenerator::global()->generate());
        for (int trial = 0; trial < 10; ++trial) {
            const QString path = dir.filePath(QStringLiteral("crash%1.dat").arg(trial));
            QProcess writer;
            writer.start(CRASHWRITER_PATH, {path});
            QVERIFY2(writer.waitForStarted(5000), qPrintable(writer.errorString()));
            QByteArray output;
            QTRY_VERIFY_WITH_TIMEOUT((output += writer.readAllStandardOutput()).contains('\n'),
                                     5000);
            // A random moment: the kill lands in any phase of a batch.
            QTest::qWait(int(random.bounded(5, 400)));
            writer.kill();
            QVERIFY(writer.waitForFinished(5000));
            QCOMPARE(writer.exitStatus(), QProcess::CrashExit);
            output += writer.readAllStandardOutput();
            const qint64 reported =
                output.left(output.lastIndexOf('\n')).split('\n').last().toLongLong();
            QVERIFY(reported > 0);

            const QStringList found = inspect(path).split(' ');
            QCOMPARE(found.value(0), QStringLiteral("ok"));
            const qint64 rows = found.value(1).toLongLong();
            // Every reported commit is there, and at most the batch not yet reported besides.
            QVERIFY2(rows >= reported && rows <= reported + 96,
                     qPrintable(QStringLiteral("trial %1: %2 rows stored, %3 reported committed")
                                    .arg(trial)
                                    .arg(rows)
                                    .arg(reported)));

            InsertSerialData reopened(path, "reopen");
            QVERIFY(reopened.createConnection());
            PendingRowQueue after;
            reopened.setRowQueue(&after);
            after.append(SerialDataRow{"AFTER", 1, 2, 1});
            QVERIFY(reopened.insertNow());
            QCOMPARE(qint64(reopened.totalRow()), rows + 1);
        }
    }
};

QTEST_GUILESS_MAIN(TestCrashSafety)
#include "tst_crashsafety.moc"
