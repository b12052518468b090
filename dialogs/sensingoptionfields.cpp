#include "dialogs/sensingoptionfields.h"

#include "device/configureddevice.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>

void SensingOptionFields::fillUnitCombo(QComboBox *combo, const QString &custom)
{
    combo->addItem(QStringLiteral("Undefined"), 0);
    combo->addItem(QStringLiteral("Temperature(") + QChar(0x00B0) + QStringLiteral("C)"), 1);
    combo->addItem(QStringLiteral("Temperature(") + QChar(0x00B0) + QStringLiteral("F)"), 2);
    combo->addItem(QStringLiteral("Humidity(%)"), 3);
    combo->addItem(custom.isEmpty() ? QStringLiteral("Custom") : custom, CUSTOM_UNIT);
}

void SensingOptionFields::applyCustomUnitPolicy(QComboBox *combo, int index)
{
    if (!combo)
        return;
    if (combo->itemData(index).toInt() == CUSTOM_UNIT && index >= 0) {
        combo->setEditable(true);
        // Enter keeps the typed unit in the fifth item instead of appending a sixth.
        combo->setInsertPolicy(QComboBox::InsertAtCurrent);
        combo->lineEdit()->setMaxLength(CUSTOM_UNIT_MAX_LENGTH);
    } else {
        combo->setEditable(false);
    }
}

void SensingOptionFields::showNames(const ConfiguredDevice *device) const
{
    fillUnitCombo(ch1Unit, device->ch1Custom());
    fillUnitCombo(ch2Unit, device->ch2Custom());
    deviceName->setText(device->deviceName());
    ch1Name->setText(device->ch1Name());
    ch2Name->setText(device->ch2Name());
}

void SensingOptionFields::showUnitsAndRanges(const ConfiguredDevice *device) const
{
    ch1Unit->setCurrentIndex(device->ch1Unit());
    ch2Unit->setCurrentIndex(device->ch2Unit());
    float limits[4];
    device->alarmRange(limits);
    ch1Min->setValue(limits[0]);
    ch1Max->setValue(limits[1]);
    ch2Min->setValue(limits[2]);
    ch2Max->setValue(limits[3]);
}

void SensingOptionFields::setRangesEnabled(bool enabled) const
{
    for (QDoubleSpinBox *box : {ch1Min, ch1Max, ch2Min, ch2Max})
        box->setEnabled(enabled);
}

QString SensingOptionFields::missingNameMessage() const
{
    if (deviceName->text().isEmpty())
        return QStringLiteral("Enter the Device Name.");
    if (ch1Name->text().isEmpty())
        return QStringLiteral("Enter the Channel-1 Name.");
    if (ch2Name->text().isEmpty())
        return QStringLiteral("Enter the Channel-2 Name.");
    return QString();
}

QString SensingOptionFields::invertedRangeMessage() const
{
    float limits[4];
    ranges(limits);
    // Equal limits stay allowed: they mean that the channel has no alarm range.
    if (limits[0] > limits[1])
        return QStringLiteral("The Channel-1 minimum is above its maximum.\nPlease retry.");
    if (limits[2] > limits[3])
        return QStringLiteral("The Channel-2 minimum is above its maximum.\nPlease retry.");
    return QString();
}

void SensingOptionFields::ranges(float *out) const
{
    out[0] = static_cast<float>(ch1Min->value());
    out[1] = static_cast<float>(ch1Max->value());
    out[2] = static_cast<float>(ch2Min->value());
    out[3] = static_cast<float>(ch2Max->value());
}

void SensingOptionFields::applyNamesAndUnits(ConfiguredDevice *device, quint16 port) const
{
    device->setConnection(deviceName->text(), ch1Name->text(), ch2Name->text(),
                          device->deviceInterface(), port);
    const int unit1 = ch1Unit->currentData().toInt();
    const int unit2 = ch2Unit->currentData().toInt();
    const QString custom1 = unit1 == CUSTOM_UNIT ? ch1Unit->currentText() : QString();
    const QString custom2 = unit2 == CUSTOM_UNIT ? ch2Unit->currentText() : QString();
    device->setUnits(unit1, unit2);
    device->setCh1Custom(custom1);
    device->setCh2Custom(custom2);
}
