// Writes the demo project for the loggers a running kestrelix-sim announced, and puts it at the
// top of the recent projects, so a first-time user can open it with one click.
//   velmoran-demo-project <project.tpc> <file with the simulator's LOGGER lines>

#include "device/configureddevice.h"
#include "project/projectfile.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSettings>
#include <QTextStream>

#include <cstdio>

namespace {

struct SimLogger
{
    QString id;
    QString kind;
    QString address;
    quint16 port = 23;
    QString deviceNumber;
};

QList<SimLogger> readLoggers(const QString &path)
{
    QList<SimLogger> loggers;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return loggers;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QStringList f = in.readLine().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (f.size() >= 5 && f[0] == QLatin1String("LOGGER") && f[2] == QLatin1String("TCP"))
            loggers.append({f[1], f[2], f[3], quint16(f[4].toUInt()), f.value(5)});
        else if (f.size() >= 5 && f[0] == QLatin1String("LOGGER") && f[2] == QLatin1String("USB"))
            loggers.append({f[1], f[2], f[3], 23, f[4]});
    }
    return loggers;
}

void addToRecentProjects(const QString &name, const QString &path)
{
    QSettings settings(QStringLiteral("VelmoranLite"), QStringLiteral("Velmoran Lite"));
    settings.beginGroup(QStringLiteral("RecentProjects"));
    QStringList list = settings.value(QStringLiteral("list")).toStringList();
    QHash<QString, QVariant> projects = settings.value(QStringLiteral("projects")).toHash();
    if (!projects.contains(name) && !list.contains(name)) {
        list.prepend(name);
        projects.insert(name, path);
    }
    settings.setValue(QStringLiteral("list"), list);
    settings.setValue(QStringLiteral("projects"), QVariant(projects));
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The devices built here only carry settings into the file; their link diagnostics would
    // bury the one line the user needs.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    if (argc != 3) {
        std::fprintf(stderr, "usage: velmoran-demo-project <project.tpc> <simulator output>\n");
        return 2;
    }
    const QString projectPath = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    const QList<SimLogger> loggers = readLoggers(QString::fromLocal8Bit(argv[2]));
    if (loggers.isEmpty()) {
        std::fprintf(stderr, "no LOGGER lines in the simulator output\n");
        return 1;
    }

    const QString name = ProjectFile::baseName(projectPath);
    if (!QFileInfo::exists(projectPath)) {
        const int interval = 1000;
        if (!ProjectFile::create(projectPath, name, interval))
            return 1;
        const QStringList rooms = {QStringLiteral("Cold Room"), QStringLiteral("Freezer"),
                                   QStringLiteral("Lab"), QStringLiteral("Warehouse")};
        QList<ConfiguredDevice *> devices;
        int networkIndex = 0;
        for (const SimLogger &logger : loggers) {
            const bool usb = logger.kind == QLatin1String("USB");
            auto *device = new ConfiguredDevice(logger.deviceNumber, usb ? LINK_SERIAL : LINK_TCP);
            const QString deviceName = usb ? QStringLiteral("USB Probe")
                                           : QStringLiteral("%1 %2")
                                                 .arg(rooms[networkIndex % rooms.size()])
                                                 .arg(networkIndex / rooms.size() + 1);
            device->setConnection(deviceName, QStringLiteral("Temp"), QStringLiteral("Humidity"),
                                  logger.address, logger.port);
            device->setUnits(1, 3);
            // The simulator's values run from 20 to 32 degrees and 40 to 55 %RH; one logger drifts
            // upward.
            device->setAlarmRange(15.0f, 35.0f, 30.0f, 70.0f);
            device->setDashboardNumber(usb ? 1 : (networkIndex < 6 ? 0 : 1));
            if (!usb)
                ++networkIndex;
            devices.append(device);
        }
        const QStringList names = {QStringLiteral("Cold Store"),
                                   QStringLiteral("Lab and Warehouse"),
                                   QStringLiteral("Dashboard 3"), QStringLiteral("Dashboard 4")};
        const bool saved = ProjectFile::saveDevices(projectPath, devices) &&
                           ProjectFile::writeConfiguration(projectPath, interval, names);
        qDeleteAll(devices);
        if (!saved) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(projectPath));
            return 1;
        }
    }
    addToRecentProjects(name, projectPath);
    return 0;
}
