#include "discovery/usbmatch.h"

#include <QRegularExpression>

namespace {
const QString kLoggerVendor = QStringLiteral("04D8");
const QString kLoggerProduct = QStringLiteral("000A");
const QString kSerialPrefix = QStringLiteral("QJ_SERIES__");
} // namespace

namespace UsbMatch {

bool isLoggerVendorProduct(const QString &vendor, const QString &product)
{
    return vendor.toUpper().contains(kLoggerVendor) && product.toUpper().contains(kLoggerProduct);
}

QString cleanSerialNumber(const QString &text)
{
    // A logger that reports no serial gets an empty one, never a null text: rows are stored
    // under it.
    QString serial = text.isNull() ? QStringLiteral("") : text;
    serial.remove(kSerialPrefix, Qt::CaseSensitive);
    return serial;
}

void parseHardwareId(const QStringList &hardwareIds, QString *vendor, QString *product)
{
    static const QRegularExpression pattern(QStringLiteral("vid_(\\w+)&pid_(\\w+)"),
                                            QRegularExpression::CaseInsensitiveOption);
    vendor->clear();
    product->clear();
    if (hardwareIds.isEmpty())
        return;
    const QRegularExpressionMatch match = pattern.match(hardwareIds.first());
    if (!match.hasMatch())
        return;
    *vendor = match.captured(1);
    *product = match.captured(2);
}

QString portFromFriendlyName(const QString &friendlyName)
{
    QString name = friendlyName.toUpper();
    if (!name.contains(QLatin1String("(COM")) || !name.contains(QLatin1Char(')')))
        return QString();
    name.remove(QStringLiteral("COMMUNICATIONS"));
    name.remove(QStringLiteral("PORT"));
    name.remove(QLatin1Char(' '));
    const int start = name.indexOf(QLatin1String("COM"));
    if (start < 0)
        return QString();
    const QString fromCom = name.mid(start);
    return fromCom.left(fromCom.indexOf(QLatin1Char(')')));
}

std::optional<UsbPortPair> matchWindowsDevice(const UsbDeviceProperties &device)
{
    QString vendor;
    QString product;
    parseHardwareId(device.hardwareIds, &vendor, &product);
    if (!isLoggerVendorProduct(vendor, product))
        return std::nullopt;
    const QString port = portFromFriendlyName(device.friendlyName);
    if (port.isEmpty())
        return std::nullopt;
    return UsbPortPair{port, cleanSerialNumber(device.locationInformation)};
}

std::optional<UsbPortPair> matchTtyDevice(const QString &vendor, const QString &product,
                                          const QString &deviceNode, const QString &usbSerial)
{
    if (!isLoggerVendorProduct(vendor, product) || deviceNode.isEmpty())
        return std::nullopt;
    return UsbPortPair{deviceNode, cleanSerialNumber(usbSerial)};
}

} // namespace UsbMatch
