#include "dialogs/sensingoptionusbdialog.h"

#include "device/configureddevice.h"
#include "project/timedmessage.h"

#include "ui_sensingoptionusbdialog.h"

namespace {
constexpr quint16 SERIAL_PLACEHOLDER_PORT = 23;
}

SensingOptionUsbDialog::SensingOptionUsbDialog(ConfiguredDevice *device, QWidget *parent)
    : QDialog(parent), ui(new Ui::SensingOptionUsbDialog), m_pDevice(device)
{
    ui->setupUi(this);
    m_fields = {ui->lineEdit_devicename,   ui->lineEdit_ch1name,      ui->lineEdit_ch2name,
                ui->comboBox_unit_ch1,     ui->comboBox_unit_ch2,     ui->doubleSpinBox_min_ch1,
                ui->doubleSpinBox_max_ch1, ui->doubleSpinBox_min_ch2, ui->doubleSpinBox_max_ch2};
    if (!device)
        return;
    m_strDeviceNumber = device->deviceNumber();

    m_fields.showNames(device);
    ui->label_serialnumber->setText(m_strDeviceNumber);
    m_fields.setRangesEnabled(device->isConnected());

    connect(ui->comboBox_unit_ch1, &QComboBox::currentIndexChanged, this,
            &SensingOptionUsbDialog::checkCustomUnitPolicy);
    connect(ui->comboBox_unit_ch2, &QComboBox::currentIndexChanged, this,
            &SensingOptionUsbDialog::checkCustomUnitPolicy);
    m_fields.showUnitsAndRanges(device);

    connect(ui->pushButton_confirm, &QPushButton::clicked, this, &SensingOptionUsbDialog::confirm);
}

SensingOptionUsbDialog::~SensingOptionUsbDialog()
{
    delete ui;
}

void SensingOptionUsbDialog::showMessage(const QString &text, const QString &title)
{
    showTimedMessage(this, title, text);
}

void SensingOptionUsbDialog::checkCustomUnitPolicy(int index)
{
    SensingOptionFields::applyCustomUnitPolicy(qobject_cast<QComboBox *>(sender()), index);
}

void SensingOptionUsbDialog::confirm()
{
    if (!m_pDevice)
        return;
    const QString missing = m_fields.missingNameMessage();
    if (!missing.isEmpty()) {
        showMessage(missing, QStringLiteral("INFORMATION"));
        return;
    }
    if (m_fields.ch1Min->isEnabled()) {
        const QString badRange = m_fields.invertedRangeMessage();
        if (!badRange.isEmpty()) {
            showMessage(badRange, QStringLiteral("ERROR"));
            return;
        }
    }
    m_fields.applyNamesAndUnits(m_pDevice, SERIAL_PLACEHOLDER_PORT);
    float limits[4];
    m_fields.ranges(limits);
    m_pDevice->setAlarmRange(limits[0], limits[1], limits[2], limits[3]);
    emit sensingConfirm();
    accept();
    deleteLater();
}
