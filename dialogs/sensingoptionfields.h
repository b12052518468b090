#pragma once

#include <QString>

class ConfiguredDevice;
class QComboBox;
class QDoubleSpinBox;
class QLineEdit;

// The name, unit and range controls both option dialogs share, and what they do with a device.
struct SensingOptionFields
{
    QLineEdit *deviceName = nullptr;
    QLineEdit *ch1Name = nullptr;
    QLineEdit *ch2Name = nullptr;
    QComboBox *ch1Unit = nullptr;
    QComboBox *ch2Unit = nullptr;
    QDoubleSpinBox *ch1Min = nullptr;
    QDoubleSpinBox *ch1Max = nullptr;
    QDoubleSpinBox *ch2Min = nullptr;
    QDoubleSpinBox *ch2Max = nullptr;

    static constexpr int CUSTOM_UNIT = 4;
    static constexpr int CUSTOM_UNIT_MAX_LENGTH = 11;

    static void fillUnitCombo(QComboBox *combo, const QString &custom);
    // The custom unit is typed straight into the fifth item, so only that item is editable.
    static void applyCustomUnitPolicy(QComboBox *combo, int index);

    // Fills the unit lists and the three names from the device.
    void showNames(const ConfiguredDevice *device) const;
    // Selects the device's units and shows its committed limits; run after the custom-unit
    // policy is connected, so that a stored custom unit comes up editable.
    void showUnitsAndRanges(const ConfiguredDevice *device) const;
    void setRangesEnabled(bool enabled) const;
    // Text of the first missing name, in the order the user reads the form; empty when none.
    QString missingNameMessage() const;
    // Text of the first channel whose minimum lies above its maximum; empty when none.
    QString invertedRangeMessage() const;
    // The limits as the device holds them: single precision, ch1 min, ch1 max, ch2 min, ch2 max.
    void ranges(float *out) const;
    void applyNamesAndUnits(ConfiguredDevice *device, quint16 port) const;
};
