#include "store/insertserialdata.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

class TestCrashSafety : public QObject
{
    Q_OBJECT

private:
    struct Inspection
    {
        QString integrity;
        qint64 rows = -1;
    };

    static Inspection inspect(const QString &path)
    {
        Inspection result;
        const QString name = QStringLiteral("inspect");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(path);
            if (db.open()) {
                QSqlQuery query(db);
                if (query.exec(QStringLiteral("PRAGMA integrity_check")) && query.next()) {
                    result.integrity = query.value(0).toString();
                }
                if (query.exec(QStringLiteral("select count(*) from kestrelix")) && query.next()) {
                    result.rows = query.value(0).toLongLong();
                }
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
        return result;
    }

private slots:
    void writerKilledAtRandomMomentsLeavesAnIntactDatabaseWithEveryCommittedRow()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QRandomGenerator random(QRandomGenerator::global()->generate());
        for (int trial = 0; trial < 10; ++trial) {
            const QString path = dir.filePath(QStringLiteral("crash%1.dat").arg(trial));
            QProcess writer;
            writer.setProgram(QStringLiteral(CRASHWRITER_PATH));
            writer.setArguments({path});
            writer.start();
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

            const QList<QByteArray> lines = output.left(output.lastIndexOf('\n')).split('\n');
            const qint64 reported = lines.last().toLongLong();
            QVERIFY(reported > 0);

            const Inspection found = inspect(path);
            QCOMPARE(found.integrity, QStringLiteral("ok"));
            QVERIFY2(found.rows >= reported,
                     qPrintable(QStringLiteral("trial %1: %2 rows stored, %3 reported committed")
                                    .arg(trial)
                                    .arg(found.rows)
                                    .arg(reported)));
            // At most the batch whose commit was not yet reported.
            QVERIFY(found.rows <= reported + 96);

            InsertSerialData reopened(path, QStringLiteral("reopen"));
            QVERIFY(reopened.createConnection());
            InsertSerialData::appendRow(SerialDataRow{QStringLiteral("AFTER"), 1, 2, 1});
            QVERIFY(reopened.insertNow());
            QCOMPARE(qint64(reopened.totalRow()), found.rows + 1);
        }
    }
};

QTEST_GUILESS_MAIN(TestCrashSafety)
#include "tst_crashsafety.moc"
