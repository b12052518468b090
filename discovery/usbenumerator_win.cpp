#include "discovery/setupapi_win.h"
#include "discovery/usbenumerator.h"
#include "discovery/usbmatch.h"

namespace {

class SetupApiUsbEnumerator : public UsbEnumerator
{
public:
    QList<UsbPortPair> enumerateUsbLoggers() override
    {
        QList<UsbPortPair> pairs;
        for (const SetupApiUsbDevice &device : listPresentUsbDevices()) {
            UsbDeviceProperties properties;
            for (const std::wstring &id : device.hardwareIds)
                properties.hardwareIds.append(QString::fromStdWString(id));
            properties.friendlyName = QString::fromStdWString(device.friendlyName);
            properties.locationInformation = QString::fromStdWString(device.location);
            if (const std::optional<UsbPortPair> pair = UsbMatch::matchWindowsDevice(properties))
                pairs.append(*pair);
        }
        return pairs;
    }
};

} // namespace

UsbEnumerator *createPlatformUsbEnumerator()
{
    return new SetupApiUsbEnumerator;
}
