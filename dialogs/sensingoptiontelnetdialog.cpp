#include "dialogs/sensingoptiontelnetdialog.h"
#include "store/logcategories.h"

#include "device/configureddevice.h"
#include "project/timedmessage.h"

#include "ui_sensingoptiontelnetdialog.h"

#include <QDebug>
#include <QTimer>

namespace {
const QStringList BUZZER_SETTINGS = {QStringLiteral("OFF"), QStringLiteral("CH1"),
                                     QStringLiteral("CH2"), QStringLiteral("OR"),
                                     QStringLiteral("AND")};
}

SensingOptionTelnetDialog::SensingOptionTelnetDialog(ConfiguredDevice *device, QWidget *parent)
    : QDialog(parent), ui(new Ui::SensingOptionTelnetDialog), m_pDevice(device)
{
    ui->setupUi(this);
    m_fields = {ui->lineEdit_devicename,   ui->lineEdit_ch1name,      ui->lineEdit_ch2name,
                ui->comboBox_unit_ch1,     ui->comboBox_unit_ch2,     ui->doubleSpinBox_min_ch1,
                ui->doubleSpinBox_max_ch1, ui->doubleSpinBox_min_ch2, ui->doubleSpinBox_max_ch2};
    if (!device)
        return;
    m_strDeviceNumber = device->deviceNumber();

    m_fields.showNames(device);
    ui->comboBox_buzzeralarm->addItems(BUZZER_SETTINGS);
    ui->label_macaddr->setText(m_strDeviceNumber);

    // Limits and buzzer live in the logger: without a connection they cannot be written.
    m_bSettingsEnabled = device->isConnected();
    m_fields.setRangesEnabled(m_bSettingsEnabled);
    ui->comboBox_buzzeralarm->setEnabled(m_bSettingsEnabled);
    ui->comboBox_buzzeralarm->setCurrentIndex(BUZZER_SETTINGS.indexOf(device->buzzerAlarm()));

    connect(ui->comboBox_unit_ch1, &QComboBox::currentIndexChanged, this,
            &SensingOptionTelnetDialog::checkCustomUnitPolicy);
    connect(ui->comboBox_unit_ch2, &QComboBox::currentIndexChanged, this,
            &SensingOptionTelnetDialog::checkCustomUnitPolicy);
    m_fields.showUnitsAndRanges(device);

    connect(ui->pushButton_confirm, &QPushButton::clicked, this,
            &SensingOptionTelnetDialog::confirm);
    connect(device, &ConfiguredDevice::buzzerSyncSuccess, this,
            &SensingOptionTelnetDialog::syncSuccess);
    connect(device, &ConfiguredDevice::buzzerSyncError, this,
            &SensingOptionTelnetDialog::syncError);
}

SensingOptionTelnetDialog::~SensingOptionTelnetDialog()
{
    delete ui;
}

void SensingOptionTelnetDialog::showMessage(const QString &text, const QString &title)
{
    showTimedMessage(this, title, text);
}

void SensingOptionTelnetDialog::checkCustomUnitPolicy(int index)
{
    SensingOptionFields::applyCustomUnitPolicy(qobject_cast<QComboBox *>(sender()), index);
}

void SensingOptionTelnetDialog::setControlsDisabled(bool disabled)
{
    ui->pushButton_confirm->setDisabled(disabled);
    ui->lineEdit_devicename->setDisabled(disabled);
    ui->lineEdit_ch1name->setDisabled(disabled);
    ui->lineEdit_ch2name->setDisabled(disabled);
    ui->comboBox_unit_ch1->setDisabled(disabled);
    ui->comboBox_unit_ch2->setDisabled(disabled);
    if (m_bSettingsEnabled) {
        m_fields.setRangesEnabled(!disabled);
        ui->comboBox_buzzeralarm->setDisabled(disabled);
    }
}

void SensingOptionTelnetDialog::backToEditing()
{
    m_syncPhase = SyncPhase::Editing;
    ui->pushButton_confirm->setText(QStringLiteral("Confirm"));
    setControlsDisabled(false);
}

void SensingOptionTelnetDialog::finish()
{
    m_syncPhase = SyncPhase::Done;
    ui->pushButton_confirm->setText(QStringLiteral("Confirm"));
    setControlsDisabled(false);
    accept();
    deleteLater();
}

void SensingOptionTelnetDialog::reject()
{
    if (m_syncPhase == SyncPhase::Waiting) {
        qCDebug(lcProject).noquote() << "SensingOptionTelnetDialog::reject : [" +
                                            m_strDeviceNumber +
                                            "] setup in progress, the dialog stays open";
        return;
    }
    QDialog::reject();
}

void SensingOptionTelnetDialog::confirm()
{
    if (!m_pDevice || m_syncPhase != SyncPhase::Editing)
        return;
    const QString missing = m_fields.missingNameMessage();
    if (!missing.isEmpty()) {
        showMessage(missing, QStringLiteral("INFORMATION"));
        return;
    }
    if (m_bSettingsEnabled) {
        const QString badRange = m_fields.invertedRangeMessage();
        if (!badRange.isEmpty()) {
            showMessage(badRange, QStringLiteral("ERROR"));
            return;
        }
    }
    m_fields.applyNamesAndUnits(m_pDevice, m_pDevice->devicePort());
    emit sensingConfirm();
    if (!m_pDevice)
        return;

    ui->pushButton_confirm->setText(QStringLiteral("Progressing..."));
    setControlsDisabled(true);

    float staged[4];
    m_fields.ranges(staged);
    // With no buzzer item chosen (an unknown stored setting) the logger keeps what it has.
    const QString buzzer = ui->comboBox_buzzeralarm->currentIndex() < 0
                               ? m_pDevice->buzzerAlarm()
                               : ui->comboBox_buzzeralarm->currentText();
    m_pDevice->setPendingAlarmRange(staged[0], staged[1], staged[2], staged[3]);
    m_pDevice->setPendingBuzzerAlarm(buzzer);

    float committed[4];
    m_pDevice->alarmRange(committed);
    bool changed = buzzer != m_pDevice->buzzerAlarm();
    for (int i = 0; i < 4; ++i)
        changed = changed || staged[i] != committed[i];

    if (!changed) {
        finish();
        return;
    }
    if (!m_pDevice->isConnected()) {
        // Nothing was sent: drop the staged values so the device holds only what it had.
        m_pDevice->setPendingAlarmRange(committed[0], committed[1], committed[2], committed[3]);
        m_pDevice->setPendingBuzzerAlarm(m_pDevice->buzzerAlarm());
        backToEditing();
        showMessage(QStringLiteral("Loss of network connection.\nPlease retry."),
                    QStringLiteral("ERROR"));
        return;
    }

    m_syncPhase = SyncPhase::Waiting;
    const int generation = ++m_nSyncGeneration;
    m_pDevice->startSyncTelnet();
    QTimer::singleShot(m_nSyncTimeoutMs, this, [this, generation] {
        if (generation == m_nSyncGeneration)
            syncTimeout();
    });
}

void SensingOptionTelnetDialog::syncSuccess()
{
    // A confirmation after the time-out comes too late: the user was told to retry.
    if (m_syncPhase != SyncPhase::Waiting || !m_pDevice)
        return;
    m_pDevice->applyPendingSettings();
    emit sensingConfirm();
    finish();
}

void SensingOptionTelnetDialog::syncError(const QString &message)
{
    if (m_syncPhase != SyncPhase::Waiting)
        return;
    backToEditing();
    showMessage(message + QStringLiteral("\nPlease retry."), QStringLiteral("ERROR"));
}

void SensingOptionTelnetDialog::syncTimeout()
{
    if (m_syncPhase == SyncPhase::Done)
        return;
    qCDebug(lcDevice).noquote() << "SensingOptionTelnetDialog::syncTimeout : [" +
                                       m_strDeviceNumber + "]";
    if (m_pDevice)
        m_pDevice->stopSyncTelnet();
    backToEditing();
    showMessage(QStringLiteral("This command has exceeded the time limit.\nPlease retry."),
                QStringLiteral("ERROR"));
}
