#include "device/configureddevice.h"
#include "project/databasesettingsdialog.h"
#include "project/projectfile.h"
#include "recorder/recorder.h"
#include "store/historydatabase.h"
#include "store/historyscan.h"
#include "store/insertserialdata.h"
#include "store/pendingeventqueue.h"
#include "store/pendingrowqueue.h"
#include "store/pgconnectionsettings.h"
#include "store/pgeventreader.h"
#include "store/pgschema.h"
#include "store/pgstore.h"
#include "tests/support/messageprobe.h"
#include "tests/support/pgtestserver.h"
#include "view/eventsview.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>

// The central database against a real PostgreSQL 15 server: rows written through the store the
// program uses, across a server restart, a refused password, a wrong address and a second
// recorder that wants the same logger.
class TestPgStore : public QObject
{
    Q_OBJECT

private:
    PgTestServer m_server;
    quint32 m_nextSecond = 1700000000;
    PendingRowQueue m_rows{PendingRowQueue::DEFAULT_LIMIT};

    // One row for each logger at the next second.
    void sample(const QStringList &serials)
    {
        for (const QString &serial : serials)
            m_rows.append({serial, 21.5, 40.25, m_nextSecond});
        ++m_nextSecond;
    }
    // Asks the store to begin recording and waits for the worker's answer.
    static bool claim(InsertSerialData &store, const QStringList &serials, QString *message,
                      const QString &project = QStringLiteral("p.tpc"))
    {
        QSignalSpy answers(&store, &InsertSerialData::startAnswered);
        const quint64 request = store.requestStart(serials, project);
        if (!answers.wait(15000) || answers.first().at(0).toULongLong() != request)
            return false;
        *message = answers.first().at(2).toString();
        return answers.first().at(1).toBool();
    }
    static QString labels(const QWidget &view)
    {
        QStringList texts;
        for (const QLabel *label : view.findChildren<QLabel *>())
            texts << label->text();
        return texts.filter(QRegularExpression(QStringLiteral("^(Page|The events)"))).join('|');
    }
    QString count(const QString &where = QStringLiteral("true"))
    {
        QString value;
        m_server.exec({QStringLiteral("select count(*) from kestrelix where ") + where}, &value);
        return value;
    }

private slots:
    void initTestCase() { QVERIFY2(m_server.start(), qPrintable(m_server.lastError())); }
    void init() { m_rows.clear(); }

    // Shown name or the start of the error of each address; a wrong address opens the store (the
    // program keeps running) and refuses to record.
    void addressesAndConnections()
    {
        const QList<QPair<QString, QString>> addresses = {
            {"postgresql://rec@%2Frun%2Fpg:5433/site?sslmode=require", "rec@/run/pg:5433/site"},
            {"postgres://rec@/site?host=/tmp/s", "rec@/tmp/s/site"},
            {"postgresql://rec:pw@db/site", "The database address must not"},
            {"postgresql://db:99999/site", "The database address has a wrong port"},
            {"postgresql://db:5432", "The database address names no"},
            {"mysql://db/site", "The database address must begin"}};
        for (const auto &[url, expected] : addresses) {
            PgConnectionSettings settings;
            const bool ok = settings.parse(url);
            QCOMPARE(ok ? settings.displayName() : settings.error().left(expected.size()),
                     expected);
            QCOMPARE(settings.options().contains("sslmode=require"), url.contains("sslmode"));
        }
        QString message;
        QVERIFY2(PgStore::testConnection(m_server.url(), &message), qPrintable(message));
        QVERIFY(message.startsWith(QLatin1String("Connected to postgres@")));
        const QString wrong = QStringLiteral("postgresql://postgres@%2Fno%2Fsuch%2Fdir/velmoran");
        QVERIFY(!PgStore::testConnection(wrong, &message));
        QVERIFY2(message.startsWith(QLatin1String("Cannot connect to postgres@/no/such/dir")),
                 qPrintable(message));
        InsertSerialData store(wrong, QStringLiteral("wrong"));
        store.setRowQueue(&m_rows);
        QVERIFY(store.createConnection());
        QVERIFY(!claim(store, {QStringLiteral("W1")}, &message));
        QVERIFY2(message.startsWith(QLatin1String("Cannot use the database postgres@/no/such/")),
                 qPrintable(message));
    }

    void passwordRefusedKeepsRows()
    {
        QTemporaryDir dir;
        const QString passFile = dir.filePath(QStringLiteral("pgpass"));
        auto writePass = [&](const char *password) {
            QFile f(passFile);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(QByteArray("*:*:velmoran:writer:") + password + '\n');
            f.close();
            f.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        };
        writePass("wrong");
        InsertSerialData store(
            m_server.url(QStringLiteral("writer"), QStringLiteral("passfile=") + passFile),
            QStringLiteral("pw"));
        store.setRowQueue(&m_rows);
        QVERIFY(store.createConnection());
        QString message;
        QVERIFY(!claim(store, {QStringLiteral("P1")}, &message));
        QVERIFY2(message.contains(QLatin1String("password authentication failed")),
                 qPrintable(message));
        PendingEventQueue events;
        store.setEventQueue(&events);
        events.append(EventRow{m_nextSecond, QStringLiteral("P1"), 1, EventKind::alarmStarted, 31.5,
                               0, 30, QStringLiteral("Cold room 'A'")});
        sample({QStringLiteral("P1")});
        QTRY_VERIFY(!store.insertNow());
        QCOMPARE(m_rows.count(), 1);
        QCOMPARE(events.count(), 1);
        writePass("secret");
        QVERIFY2(claim(store, {QStringLiteral("P1")}, &message), qPrintable(message));
        QTRY_VERIFY(store.insertNow() && m_rows.count() == 0 && events.count() == 0);
        QCOMPARE(count(QStringLiteral("serialno = 'P1'")), QStringLiteral("1"));
        QString stored;
        m_server.exec({QStringLiteral("select kind || ' ' || value || ' ' || text from "
                                      "kestrelix_event where serialno = 'P1'")},
                      &stored);
        QCOMPARE(stored, QStringLiteral("alarm started 31.5 Cold room 'A'"));

        // "Database..." points a project at the server: checked, tried off the GUI thread, saved.
        const QString project = dir.filePath(QStringLiteral("site.tpc"));
        QVERIFY(ProjectFile::create(project, QStringLiteral("site"), 1000));
        DatabaseSettingsDialog dialog(project);
        auto *url = dialog.findChild<QLineEdit *>(QStringLiteral("lineEdit_databaseUrl"));
        auto *test = dialog.findChild<QPushButton *>(QStringLiteral("btn_testConnection"));
        url->setText(QStringLiteral("mysql://db/site"));
        dialog.accept();
        QVERIFY(dialog.resultText().startsWith(QLatin1String("The database address must begin")));
        url->clear();
        test->click();
        QCOMPARE(dialog.resultText(),
                 QStringLiteral("The project records into its own database file."));
        url->setText(m_server.url());
        test->click();
        QVERIFY(!test->isEnabled());
        QTRY_VERIFY(test->isEnabled());
        QVERIFY2(dialog.resultText().startsWith(QLatin1String("Connected to postgres@")),
                 qPrintable(dialog.resultText()));
        QVERIFY(ProjectFile::databaseUrl(project).isEmpty());
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(ProjectFile::databaseUrl(project), m_server.url());

        // Its Events view reads and acknowledges the server's log in the background.
        ConfiguredDevice logger(QStringLiteral("P1"), LINK_TCP);
        logger.setDeviceName(QStringLiteral("Cold A"));
        EventsView view(project, {&logger});
        auto *table = view.findChild<QTableWidget *>(QStringLiteral("table_events"));
        QSignalSpy acknowledged(&view, &EventsView::acknowledged);
        QSignalSpy pages(view.findChild<PgEventReader *>(), &PgEventReader::pageRead);
        QVERIFY(view.isServer());
        QTRY_COMPARE(table->rowCount(), 1);
        QCOMPARE(table->item(0, 1)->text() + table->item(0, 6)->text(), QStringLiteral("Cold ANo"));
        view.findChild<QCheckBox *>(QStringLiteral("check_unacknowledged"))->setChecked(true);
        view.showPage(3); // past the end: the last page instead
        QTRY_COMPARE(labels(view), QStringLiteral("Page 1 of 1 (1 events)"));
        QCOMPARE(table->rowCount(), 1);
        table->setCurrentCell(0, 0);
        view.setOperatorName(QStringLiteral("op"));
        view.acknowledgeSelected();
        QTRY_COMPARE(acknowledged.count(), 1);
        QTRY_COMPARE(view.totalCount(), 0);
        pages.clear();
        view.acknowledgeAll(); // nothing left: no signal
        QTRY_COMPARE(pages.count(), 1);
        QCOMPARE(acknowledged.count(), 1);
        QVERIFY(!view.exportCsv(dir.filePath(QStringLiteral("e.csv")), 0, 1));
        QVERIFY(shownMessages(&view).value(0).text.contains(QLatin1String("kestrelix_event")));
        // A server that cannot be reached, an address that cannot be used: said in the view.
        for (const QString &address : {QStringLiteral("postgresql://postgres@%2Fno%2Fdir/velmoran"),
                                       QStringLiteral("postgresql://rec:pw@db/site")}) {
            QVERIFY(ProjectFile::writeDatabaseUrl(project, address));
            EventsView failed(project, {});
            failed.acknowledgeAll();
            QTRY_VERIFY2(labels(failed).contains(QLatin1String(" cannot be read: ")),
                         qPrintable(labels(failed)));
        }
    }

    // The recorder asks the server in the background: record start returns at once whatever
    // the server does, recording begins only once it agreed, and a refusal comes as a signal.
    void recorderStartDoesNotWait_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("refusal"); // the message's start; empty: recording begins
        QTest::newRow("silent") << "silent"
                                << "Cannot use the database postgres@127.0.0.1";
        QTest::newRow("logger taken") << "taken"
                                      << "Logger S2 is recorded by";
        QTest::newRow("server up") << "up"
                                   << "";
    }
    void recorderStartDoesNotWait()
    {
        QFETCH(QString, server);
        QFETCH(QString, refusal);
        // Takes the connection and never answers: the worker waits for the connect time-out.
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        for (const PgTable &table : PgSchema::tables())
            QVERIFY(m_server.exec({table.createStatement}));
        QVERIFY(m_server.exec({QStringLiteral(
            "insert into kestrelix (serialno, channel1, channel2, pointDate) values ('S1', 1, 2, "
            "1600000000), ('S2', 1, 2, 1600000500) on conflict do nothing")}));
        InsertSerialData other(m_server.url(), QStringLiteral("other"));
        QString message;
        QVERIFY(other.createConnection());
        // Another recorder holds one logger: the same one, or one the recorder does not want.
        const bool taken = server == QLatin1String("taken");
        QVERIFY2(claim(other, {QLatin1String(taken ? "S2" : "S9")}, &message), qPrintable(message));
        QTemporaryDir dir;
        const QString project = dir.filePath(QStringLiteral("site.tpc"));
        QVERIFY(ProjectFile::create(project, QStringLiteral("site"), 1000));
        QVERIFY(ProjectFile::writeDatabaseUrl(
            project,
            server == QLatin1String("silent")
                ? QStringLiteral("postgresql://postgres@127.0.0.1:%1/velmoran?connect_timeout=2")
                      .arg(silent.serverPort())
                : m_server.url()));
        Recorder recorder;
        recorder.setDevices({new ConfiguredDevice(QStringLiteral("S1"), LINK_TCP),
                             new ConfiguredDevice(QStringLiteral("S2"), LINK_TCP)});
        QSignalSpy started(&recorder, &Recorder::recordingStarted);
        QSignalSpy refused(&recorder, &Recorder::recordingRefused);
        QSignalSpy errors(&recorder, &Recorder::storeError);
        QSignalSpy range(&recorder, &Recorder::recordedRangeChanged);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(recorder.openStore(project), Recorder::OpenResult::Opened);
        QVERIFY(recorder.startRecording());
        QVERIFY(recorder.startRecording());
        QVERIFY2(clock.elapsed() < 100, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!recorder.isRecording() && recorder.isStartPending());
        QVERIFY(recorder.recordStartText().isEmpty());
        if (refusal.isEmpty()) {
            QTRY_COMPARE(started.count(), 1);
            QVERIFY(recorder.isRecording());
            const QString first = QDateTime::fromSecsSinceEpoch(1600000000)
                                      .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
            QCOMPARE(range.count(), 1);
            QCOMPARE(range.first().first().toString(), first);
            QCOMPARE(recorder.recordStartText(), first);
            QCOMPARE(started.first().first().toString(), first);
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(refused.count(), 1, 15000);
            QVERIFY2(refused.first().first().toString().startsWith(refusal),
                     qPrintable(refused.first().first().toString()));
            QCOMPARE(errors.count(), 1);
            QCOMPARE(errors.first(), refused.first());
            QVERIFY(!recorder.isRecording() && !recorder.isStartPending());
            QCOMPARE(started.count(), 0);
        }
        if (taken) {
            // The other recorder's project is named; once it stops, the logger is free.
            QVERIFY(refused.first().first().toString().contains(QLatin1String("p.tpc")));
            other.stopRecording();
            QVERIFY(claim(other, {QStringLiteral("S9")}, &message)); // after the release
            QVERIFY(recorder.startRecording());
            QTRY_COMPARE(started.count(), 1);
        }
        other.stopRecording();
    }

    // The server stops for ten seconds while four loggers record every second: the store says
    // so, keeps every row and stores each exactly once when the server is back.
    void serverRestartLosesNothing()
    {
        const QStringList loggers{QStringLiteral("R1"), QStringLiteral("R2"), QStringLiteral("R3"),
                                  QStringLiteral("R4")};
        InsertSerialData store(m_server.url(), QStringLiteral("restart"));
        store.setRowQueue(&m_rows);
        QVERIFY(store.createConnection());
        QString message;
        QVERIFY2(claim(store, loggers, &message), qPrintable(message));
        const quint32 first = m_nextSecond;
        for (int i = 0; i < 5; ++i)
            sample(loggers);
        QTRY_VERIFY(store.insertNow() && m_rows.count() == 0);
        // The same rows once more, as after a commit whose answer was lost: stored once.
        m_nextSecond = first;
        for (int i = 0; i < 5; ++i)
            sample(loggers);
        QTRY_VERIFY(store.insertNow() && m_rows.count() == 0);
        QCOMPARE(count(QStringLiteral("serialno like 'R%'")), QStringLiteral("20"));

        QVERIFY2(m_server.stop(), qPrintable(m_server.lastError()));
        QElapsedTimer outage;
        outage.start();
        int failures = 0;
        while (outage.elapsed() < 10000) {
            sample(loggers);
            failures += store.insertNow() ? 0 : 1;
            QTest::qWait(500);
        }
        QVERIFY(failures > 0);
        QVERIFY(m_rows.count() >= 4 * 19);
        QVERIFY2(m_server.restart(), qPrintable(m_server.lastError()));
        sample(loggers);
        const int expected = int(m_nextSecond - first) * 4;
        QTRY_VERIFY_WITH_TIMEOUT(store.insertNow() && m_rows.count() == 0, 15000);
        QCOMPARE(count(QStringLiteral("serialno like 'R%'")), QString::number(expected));
        QCOMPARE(count(QStringLiteral("serialno like 'R%' and channel1 = 21.5")),
                 QString::number(expected));
        QSignalSpy range(&store, &InsertSerialData::recordedRangeRead);
        store.requestRecordedRange(loggers);
        QVERIFY(range.wait());
        QCOMPARE(range.first().mid(1),
                 QVariantList({true, qint64(first), qint64(m_nextSecond - 1)}));

        // History and export read the same rows from the server.
        HistoryDatabase history(m_server.url());
        QVERIFY2(history.open(), qPrintable(history.lastError()));
        qint64 from = 0, to = 0;
        QVERIFY(history.recordedRange({QStringLiteral("R2")}, &from, &to));
        QCOMPARE(from, qint64(first));
        int scanned = 0;
        HistoryScan scan(&history, {QStringLiteral("R2")}, from, to,
                         [&](const QVector<HistoryRow> &rows) {
                             scanned += int(rows.size());
                             return true;
                         });
        QVERIFY2(scan.runToEnd(), qPrintable(scan.error()));
        QCOMPARE(scanned, expected / 4);
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString missing = PgTestServer::missingReason();
    if (!missing.isEmpty()) {
        std::fprintf(stderr, "SKIP: no PostgreSQL server can run here: %s\n", qPrintable(missing));
        return 77;
    }
    TestPgStore test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_pgstore.moc"
