#include "view/dashboarddeviceitem.h"

#include "device/configureddevice.h"
#include "view/tilestyle.h"
#include "view/unittext.h"

#include "ui_dashboarddeviceitem.h"

#include <QMouseEvent>

namespace {
const char NO_COMMUNICATION_TEXT[] = "NO COMM";
}

DashBoardDeviceItem::DashBoardDeviceItem(ConfiguredDevice *device, bool channel1, QWidget *parent)
    : QWidget(parent), ui(new Ui::DashBoardDeviceItem), m_pDevice(device), m_bChannel1(channel1)
{
    ui->setupUi(this);
    // Tiles of one dashboard share its width equally, whatever their names.
    ui->label_device->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    if (!m_pDevice) {
        ui->frame_ch->hide();
        return;
    }
    readDevice();

    // Size the fonts once for a typical text so the first value does not appear at the form's
    // design size.
    ui->label_number->setText(QStringLiteral("1"));
    ui->label_number->fitFont();
    ui->label_number->clear();
    ui->label_unit->setText(unitText(m_nUnit));
    ui->label_unit->fitFont();
    ui->label_unit->clear();
}

DashBoardDeviceItem::~DashBoardDeviceItem()
{
    delete ui;
}

ConfiguredDevice *DashBoardDeviceItem::device() const
{
    return m_pDevice;
}

void DashBoardDeviceItem::readDevice()
{
    const ConfiguredDevice *device = m_pDevice;
    ui->label_device->setText(device->m_strDeviceName.isEmpty() ? device->m_strDeviceInterface
                                                                : device->m_strDeviceName);
    const QString &channelName = m_bChannel1 ? device->m_strCh1Name : device->m_strCh2Name;
    if (channelName.isEmpty())
        ui->label_desc->setText(m_bChannel1 ? QStringLiteral("CH1") : QStringLiteral("CH2"));
    else
        ui->label_desc->setText(channelName);
    m_nUnit = m_bChannel1 ? device->m_nCh1Unit : device->m_nCh2Unit;
    m_strCustom = m_bChannel1 ? device->m_strCh1Custom : device->m_strCh2Custom;
}

bool DashBoardDeviceItem::channelAlarm() const
{
    if (!m_pDevice)
        return false;
    return m_bChannel1 ? m_pDevice->m_bAlarm1 : m_pDevice->m_bAlarm2;
}

void DashBoardDeviceItem::setValue(const QString &text)
{
    // Refitting only when the length changes keeps the digits from jumping between samples.
    const int oldLength = ui->label_number->text().length();
    ui->label_number->setText(text);
    if (text.length() != oldLength)
        ui->label_number->fitFont();
    ui->label_unit->setText(unitText(m_nUnit));
    setAlarmStyle(channelAlarm());
}

void DashBoardDeviceItem::deviceConnected(const QString &deviceNumber)
{
    if (!m_pDevice || deviceNumber != m_pDevice->m_strDeviceNumber)
        return;
    m_bSeenConnected = true;
    m_bCommunicationLost = false;
    TileStyle::apply(ui->frame_value, TileStyle::normal);
}

void DashBoardDeviceItem::deviceDisconnected(const QString &deviceNumber)
{
    if (!m_pDevice || deviceNumber != m_pDevice->m_strDeviceNumber)
        return;
    m_bCommunicationLost = m_bSeenConnected;
    ui->label_unit->clear();
    if (m_bCommunicationLost) {
        TileStyle::apply(ui->frame_value, TileStyle::noCommunication);
        if (ui->label_number->text() != QLatin1String(NO_COMMUNICATION_TEXT)) {
            ui->label_number->setText(QLatin1String(NO_COMMUNICATION_TEXT));
            ui->label_number->fitFont();
        }
        return;
    }
    setGreyStyle();
    ui->label_number->clear();
}

void DashBoardDeviceItem::refresh()
{
    if (!m_pDevice)
        return;
    readDevice();
    if (m_bCommunicationLost) {
        TileStyle::apply(ui->frame_value, TileStyle::noCommunication);
    } else if (!ui->label_number->text().isEmpty()) {
        ui->label_unit->setText(unitText(m_nUnit));
        ui->label_unit->fitFont();
        setAlarmStyle(channelAlarm());
    } else {
        ui->label_unit->clear();
        setGreyStyle();
    }
}

void DashBoardDeviceItem::setAlarmStyle(bool alarm)
{
    TileStyle::apply(ui->frame_value, alarm ? TileStyle::alarm : TileStyle::normal);
}

void DashBoardDeviceItem::setGreyStyle()
{
    TileStyle::apply(ui->frame_value, TileStyle::grey);
}

QString DashBoardDeviceItem::unitText(int unitIndex) const
{
    return ::unitText(unitIndex, m_strCustom);
}

void DashBoardDeviceItem::mousePressEvent(QMouseEvent *event)
{
    if (m_pDevice)
        emit clicked(m_pDevice);
    QWidget::mousePressEvent(event);
}
