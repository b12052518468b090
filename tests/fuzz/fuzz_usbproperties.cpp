#include "tests/fuzz/fuzzsupport.h"

#include "discovery/registrydata.h"
#include "discovery/usbmatch.h"

// The registry properties the Windows device layer reads for every USB device (hardware IDs,
// friendly name, location), each a data type byte and a piece, converted and matched as that
// layer does; the same texts also go through the Linux match.

namespace {

RegistryData::Value property(FuzzPieces &input)
{
    const unsigned long type = input.byte();
    const QByteArray bytes = input.piece();
    // An empty buffer comes as a null pointer from the device layer.
    const auto *raw =
        bytes.isEmpty() ? nullptr : reinterpret_cast<const unsigned char *>(bytes.constData());
    const RegistryData::Value value = RegistryData::convert(type, raw, size_t(bytes.size()));
    if (value.kind == RegistryData::Value::Kind::Text)
        FUZZ_CHECK(value.text.size() <= size_t(bytes.size()) / 2);
    for (const std::u16string &text : value.list)
        FUZZ_CHECK(!text.empty() && text.find(u'\0') == std::u16string::npos);
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    prepareFuzzTarget(false);
    FuzzPieces input(data, size);

    UsbDeviceProperties device;
    for (const std::u16string &id : RegistryData::toTextList(property(input)))
        device.hardwareIds.append(QString::fromStdU16String(id));
    device.friendlyName = QString::fromStdU16String(RegistryData::toText(property(input)));
    device.locationInformation = QString::fromStdU16String(RegistryData::toText(property(input)));

    QString vendor, product;
    UsbMatch::parseHardwareId(device.hardwareIds, &vendor, &product);
    if (const std::optional<UsbPortPair> pair = UsbMatch::matchWindowsDevice(device)) {
        FUZZ_CHECK(pair->port.startsWith(QLatin1String("COM")));
        FUZZ_CHECK(!pair->port.contains(QLatin1Char(')')) &&
                   !pair->port.contains(QLatin1Char(' ')));
        FUZZ_CHECK(UsbMatch::isLoggerVendorProduct(vendor, product));
    }
    if (const auto tty = UsbMatch::matchTtyDevice(vendor, product, device.friendlyName,
                                                  device.locationInformation))
        FUZZ_CHECK(tty->port == device.friendlyName && !tty->port.isEmpty());
    return 0;
}
