#include "tests/support/simulatorproject.h"

#include "project/projectfile.h"
#include "tests/support/devicefactory.h"

bool writeSimulatorProject(const QString &path, const QList<SimProcess::Logger> &loggers,
                           int interval, const AlarmLimits &limits,
                           const QStringList &dashboardNames)
{
    DeviceFactory devices;
    for (const SimProcess::Logger &logger : loggers) {
        const bool usb = logger.kind == QStringLiteral("USB");
        ConfiguredDevice *device = devices.add(logger.deviceNumber, usb ? LINK_SERIAL : LINK_TCP);
        device->setConnection(logger.id, QStringLiteral("CH1"), QStringLiteral("CH2"),
                              logger.address, usb ? quint16(23) : logger.port);
        device->setAlarmRange(limits.ch1Min, limits.ch1Max, limits.ch2Min, limits.ch2Max);
    }
    return ProjectFile::create(path, ProjectFile::baseName(path), interval) &&
           ProjectFile::saveDevices(path, devices.list()) &&
           ProjectFile::writeConfiguration(path, interval, dashboardNames);
}
