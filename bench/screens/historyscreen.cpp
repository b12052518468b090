// Renders the history window over a generated day of two loggers (a gap of forty minutes, a
// recording stopped and started again, one excursion above the limit), offscreen, for the
// README: writes history.png, and history.pdf, the report of the same range.

#include "device/configureddevice.h"
#include "project/projectfile.h"
#include "store/insertserialdata.h"
#include "view/historychart.h"
#include "view/historyview.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtMath>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    QTemporaryDir dir;
    const QString project = dir.filePath(QStringLiteral("ColdStore.tpc"));
    ConfiguredDevice a(QStringLiteral("QJ24110031"), LINK_SERIAL);
    a.setConnection(QStringLiteral("Freezer 3"), QStringLiteral("Air"), QStringLiteral("Door seal"),
                    QStringLiteral("/dev/ttyACM0"), 23);
    a.setUnits(1, 1);
    a.setAlarmRange(-25, -15, -30, 0);
    ConfiguredDevice b(QStringLiteral("0004A3B1C2D3"), LINK_TCP);
    b.setConnection(QStringLiteral("Cold room 1"), QStringLiteral("Air"),
                    QStringLiteral("Humidity"), QStringLiteral("192.168.1.40"), 23);
    b.setUnits(1, 3);
    b.setAlarmRange(2, 8, 30, 90);
    ProjectFile::create(project, QStringLiteral("ColdStore"), 60000);
    ProjectFile::saveDevices(project, {&a, &b});

    const qint64 end = QDateTime(QDate(2026, 11, 28), QTime(18, 0)).toSecsSinceEpoch();
    const qint64 start = end - 86400;
    {
        InsertSerialData store(ProjectFile::databasePath(project), QStringLiteral("screen"));
        store.createConnection();
        QSqlDatabase db = QSqlDatabase::database(store.connectionName());
        QSqlQuery q(db);
        q.prepare(QStringLiteral("insert into kestrelix (serialno, channel1, channel2, pointDate) "
                                 "values (?, ?, ?, ?)"));
        db.transaction();
        const auto row = [&q](const QString &serial, QVariant c1, QVariant c2, qint64 t) {
            q.addBindValue(serial);
            q.addBindValue(c1);
            q.addBindValue(c2);
            q.addBindValue(t);
            q.exec();
        };
        const QVariant null(QMetaType::fromType<double>());
        for (qint64 t = start; t <= end; t += 60) {
            const double h = double(t - start) / 3600;
            // Freezer 3: a defrost every six hours, a door left open in the afternoon.
            double f = -19.5 + 0.6 * qSin(h * 2.1) + (fmod(h, 6) < 0.4 ? 4.5 : 0);
            if (h > 16 && h < 17.2)
                f += 7 * qSin((h - 16) / 1.2 * M_PI);
            if (h < 9.3 || h > 10)
                row(a.deviceNumber(), qRound(f * 10) / 10.0, qRound((f - 6) * 10) / 10.0, t);
            if (qAbs(h - 9.3) < 0.01)
                row(a.deviceNumber(), null, null, t + 1);
            // Cold room 1: recording stopped for half an hour at noon.
            const double c = 4.5 + 1.2 * qSin(h / 3.8) + 0.2 * qSin(h * 7);
            if (h < 12 || h > 12.5)
                row(b.deviceNumber(), qRound(c * 10) / 10.0,
                    qRound((72 + 6 * qCos(h / 2.7)) * 10) / 10.0, t);
        }
        db.commit();
    }

    HistoryView view(project);
    view.resize(1280, 820);
    view.show();
    QSignalSpy ready(&view, &HistoryView::statisticsReady);
    view.setRange(start, end);
    while (view.isBusy())
        ready.wait(200);
    auto *chart = view.findChild<HistoryChart *>(QStringLiteral("historyChart1"));
    chart->trackAt(chart->axisRect()->left() + chart->axisRect()->width() * 67 / 100);
    view.grab().save(out + QStringLiteral("/history.png"));
    QSignalSpy exported(&view, &HistoryView::exportFinished);
    view.exportPdf(out + QStringLiteral("/history.pdf"));
    if (exported.isEmpty())
        exported.wait(10000);
    return 0;
}
