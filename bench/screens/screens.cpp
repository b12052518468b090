// Renders the dashboards and one device's detail view with generated samples, offscreen,
// for the README. Run with QT_QPA_PLATFORM=offscreen; writes dashboards.png and detail.png.

#include "device/configureddevice.h"
#include "view/darklook.h"
#include "view/projectcenter.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFont>
#include <QImage>
#include <QtMath>

#include <memory>
#include <vector>

namespace {

struct Logger
{
    const char *name;
    const char *ch1Name;
    const char *ch2Name;
    int ch2Unit;
    double base1;
    double base2;
    float ch1Max; // an upper limit the last samples exceed puts the tile in alarm
};

const Logger LOGGERS[] = {
    {"Cold room 1", "Air", "Humidity", 3, 4.2, 71.0, 8.0f},
    {"Cold room 2", "Air", "Humidity", 3, 3.6, 68.5, 12.0f},
    {"Freezer A", "Air", "Door seal", 1, -18.4, -15.2, -10.0f},
    {"Freezer B", "Air", "Door seal", 1, -19.1, -16.0, -22.0f},
    {"Dispatch dock, north gate chiller", "Air", "Humidity", 3, 14.8, 55.2, 25.0f},
    {"Incubator", "Chamber", "Humidity", 3, 37.0, 88.0, 45.0f},
    {"Server room", "Intake", "Exhaust", 1, 21.5, 31.8, 30.0f},
    {"Office", "Air", "Humidity", 3, 22.3, 41.0, 28.0f},
};
constexpr int SAMPLES = 240;

// A slow drift with a little noise, reproducible from run to run.
double sample(double base, int index, int logger, int channel)
{
    const double t = index / 18.0 + logger * 0.7 + channel * 1.9;
    const double noise = std::sin(index * 12.9898 + logger * 78.233 + channel) * 0.08;
    return base + 0.9 * std::sin(t) + 0.35 * std::sin(t * 2.7) + noise;
}

void feed(ConfiguredDevice *device, int logger, const Logger &spec)
{
    const QDateTime last = QDateTime(QDate(2024, 5, 14), QTime(14, 32, 10));
    const int step = device->pollInterval() / 1000;
    for (int i = 0; i < SAMPLES; ++i) {
        device->setLastRequestTime(last.addSecs(qint64(i - SAMPLES + 1) * step));
        double ch1 = sample(spec.base1, i, logger, 1);
        if (spec.ch1Max > spec.base1 && spec.ch1Max < spec.base1 + 5 && i > SAMPLES - 30)
            ch1 += (spec.ch1Max - spec.base1) * (i - (SAMPLES - 30)) / 20.0;
        const double ch2 = sample(spec.base2, i, logger, 2);
        device->readMeasureData(QString::number(ch1, 'f', 2) + QLatin1Char(',') +
                                QString::number(ch2, 'f', 2) + QLatin1Char('\n'));
    }
}

// The chart viewers merge rebuild requests behind a short hold timer: let it run out.
void settle(QWidget *widget)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 600)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    widget->repaint();
}

bool save(QWidget *widget, const QString &path)
{
    settle(widget);
    const QImage image = widget->grab().toImage();
    if (!image.save(path)) {
        qWarning("velmoran-screens : cannot write %s", qPrintable(path));
        return false;
    }
    qInfo("velmoran-screens : %s", qPrintable(path));
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    DarkLook::apply(&app);
    QFont::insertSubstitution(QStringLiteral("Segoe UI"), QStringLiteral("Liberation Sans"));
    QApplication::setFont(QFont(QStringLiteral("Liberation Sans"), 9));

    const QString outDir = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                    : QStringLiteral(VELMORAN_SOURCE_DIR "/docs/screenshots");
    QDir().mkpath(outDir);

    std::vector<std::unique_ptr<ConfiguredDevice>> devices;
    QList<ConfiguredDevice *> list;
    int index = 0;
    for (const Logger &spec : LOGGERS) {
        const bool usb = index % 3 == 0;
        auto device = std::make_unique<ConfiguredDevice>(
            usb ? QStringLiteral("KX%1").arg(index + 1, 4, 10, QLatin1Char('0'))
                : QStringLiteral("024B580000%1").arg(index, 2, 16, QLatin1Char('0')).toUpper(),
            usb ? LINK_SERIAL : LINK_TCP);
        device->setDeviceName(QLatin1String(spec.name));
        device->setCh1Name(QLatin1String(spec.ch1Name));
        device->setCh2Name(QLatin1String(spec.ch2Name));
        device->setDeviceInterface(usb ? QStringLiteral("COM%1").arg(index + 3)
                                       : QStringLiteral("192.168.10.%1").arg(40 + index));
        device->setUnits(1, spec.ch2Unit);
        device->setAlarmRange(spec.ch1Max - 40.0f, spec.ch1Max, 0.0f, 0.0f);
        list.append(device.get());
        devices.push_back(std::move(device));
        ++index;
    }
    // One logger that has not answered yet stays grey.
    auto silent = std::make_unique<ConfiguredDevice>(QStringLiteral("KX0012"), LINK_SERIAL);
    silent->setDeviceName(QStringLiteral("Loading bay"));
    silent->setDeviceInterface(QStringLiteral("COM14"));
    silent->setUnits(1, 3);
    list.append(silent.get());
    devices.push_back(std::move(silent));

    ProjectCenter center(QStringLiteral("/srv/velmoran/Warehouse.tpc"));
    center.setDeviceList(list);
    center.setDashboardNames({QStringLiteral("Warehouse"), QStringLiteral("Laboratory"),
                              QStringLiteral("Cold chain"), QStringLiteral("Office")});
    center.setRecordTimes(QStringLiteral("2024-05-14 08:00:00"),
                          QStringLiteral("2024-05-14 14:32:10"));
    center.setRecordState(true);
    center.setRecordEndText(QStringLiteral("2024-05-14 14:32:10"));
    center.setDatabaseSize(51380224);
    center.resize(1152, 620);
    center.show();
    settle(&center);

    for (int i = 0; i < int(std::size(LOGGERS)); ++i)
        feed(list.at(i), i, LOGGERS[i]);

    bool ok = save(&center, outDir + QStringLiteral("/dashboards.png"));
    center.slotDeviceClicked(list.at(0));
    settle(&center);
    ok = save(&center, outDir + QStringLiteral("/detail.png")) && ok;

    for (ConfiguredDevice *device : list) {
        device->clearChartView();
        device->clearDashboardItems();
    }
    return ok ? 0 : 1;
}
