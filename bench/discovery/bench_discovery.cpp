#include "discovery/availabledevicelist.h"
#include "discovery/usbenumerator.h"
#include "discovery/usbmatch.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>
#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

// The USB check runs every 1500 ms on the GUI thread; a tick should stay well under 5 ms so
// that polling and drawing never stutter.
namespace {

struct Figures
{
    double medianUs = 0;
    double maxUs = 0;
};

Figures measure(int runs, const std::function<void()> &work)
{
    std::vector<double> samples;
    samples.reserve(runs);
    QElapsedTimer timer;
    for (int i = 0; i < runs; ++i) {
        timer.start();
        work();
        samples.push_back(timer.nsecsElapsed() / 1000.0);
    }
    std::sort(samples.begin(), samples.end());
    return Figures{samples[samples.size() / 2], samples.back()};
}

QList<UsbDeviceProperties> windowsShapedDevices(int count)
{
    QList<UsbDeviceProperties> devices;
    for (int i = 0; i < count; ++i) {
        const bool logger = i % 10 == 0;
        devices.append(
            UsbDeviceProperties{{logger ? QStringLiteral("USB\\VID_04D8&PID_000A&REV_0100")
                                        : QStringLiteral("USB\\VID_8087&PID_0A2B&REV_0001"),
                                 QStringLiteral("USB\\VID_04D8&PID_000A")},
                                QStringLiteral("USB Serial Port (COM%1)").arg(i + 3),
                                QStringLiteral("QJ_SERIES__KX%1").arg(i, 4, 10, QLatin1Char('0'))});
    }
    return devices;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int ticks = argc > 1 ? qMax(1, QString::fromLocal8Bit(argv[1]).toInt()) : 200;
    QTextStream out(stdout);

    std::unique_ptr<UsbEnumerator> enumerator(createPlatformUsbEnumerator());
    int found = 0;
    const Figures platform =
        measure(ticks, [&] { found = int(enumerator->enumerateUsbLoggers().size()); });
    out << "platform enumeration (" << found << " loggers): median " << platform.medianUs
        << " us, max " << platform.maxUs << " us over " << ticks << " ticks\n";

    const QList<UsbDeviceProperties> devices = windowsShapedDevices(100);
    const Figures matching = measure(ticks, [&] {
        QList<UsbPortPair> pairs;
        for (const UsbDeviceProperties &device : devices) {
            if (const auto pair = UsbMatch::matchWindowsDevice(device))
                pairs.append(*pair);
        }
        found = int(pairs.size());
    });
    out << "matching 100 Windows-shaped devices (" << found << " loggers): median "
        << matching.medianUs << " us, max " << matching.maxUs << " us\n";

    AvailableDeviceList list;
    QList<UsbPortPair> pairs;
    for (int i = 0; i < 16; ++i)
        pairs.append(
            UsbPortPair{QStringLiteral("COM%1").arg(i + 3), QStringLiteral("KX%1").arg(i)});
    const Figures reconcile = measure(ticks, [&] { list.checkConnection(pairs); });
    out << "reconciling 16 attached loggers: median " << reconcile.medianUs << " us, max "
        << reconcile.maxUs << " us\n";
    return 0;
}
