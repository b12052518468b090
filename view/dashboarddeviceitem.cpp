#include "view/dashboarddeviceitem.h"

#include "device/configureddevice.h"
#include "view/labelslot.h"
#include "view/tilerefresher.h"
#include "view/tilestyle.h"
#include "view/unittext.h"

#include "ui_dashboarddeviceitem.h"

#include <QMouseEvent>

namespace {
const char NO_COMMUNICATION_TEXT[] = "NO COMM";
}

DashBoardDeviceItem::DashBoardDeviceItem(ConfiguredDevice *device, bool channel1, QWidget *parent)
    : QWidget(parent), ui(new Ui::DashBoardDeviceItem), m_pDevice(device), m_bChannel1(channel1),
      m_pStyle(TileStyle::grey)
{
    ui->setupUi(this);
    // Tiles of one dashboard share its width equally, whatever their names.
    ui->label_device->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    // A new value must not re-lay out the window.
    LabelSlot::install(ui->label_number);

    if (!m_pDevice) {
        ui->frame_ch->hide();
        return;
    }
    readDevice();
    ui->label_device->setText(m_strName);
    ui->label_desc->setText(m_strDesc);

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
    if (m_pRefresher)
        m_pRefresher->forget(this);
    delete ui;
}

ConfiguredDevice *DashBoardDeviceItem::device() const
{
    return m_pDevice;
}

void DashBoardDeviceItem::setRefresher(TileRefresher *refresher)
{
    if (m_pRefresher)
        m_pRefresher->forget(this);
    m_pRefresher = refresher;
}

void DashBoardDeviceItem::readDevice()
{
    const ConfiguredDevice *device = m_pDevice;
    m_strName = device->deviceName().isEmpty() ? device->deviceInterface() : device->deviceName();
    const QString &channelName = m_bChannel1 ? device->ch1Name() : device->ch2Name();
    if (channelName.isEmpty())
        m_strDesc = m_bChannel1 ? QStringLiteral("CH1") : QStringLiteral("CH2");
    else
        m_strDesc = channelName;
    m_nUnit = m_bChannel1 ? device->ch1Unit() : device->ch2Unit();
    m_strCustom = m_bChannel1 ? device->ch1Custom() : device->ch2Custom();
}

bool DashBoardDeviceItem::channelAlarm() const
{
    if (!m_pDevice)
        return false;
    return m_bChannel1 ? m_pDevice->alarm1() : m_pDevice->alarm2();
}

void DashBoardDeviceItem::changed(bool batched)
{
    m_bPending = true;
    if (!isVisible())
        return;
    if (batched && m_pRefresher)
        m_pRefresher->schedule(this);
    else
        applyPending();
}

void DashBoardDeviceItem::applyPending()
{
    if (!m_bPending || !isVisible())
        return;
    m_bPending = false;
    if (m_pRefresher)
        m_pRefresher->forget(this);
    ui->label_device->setText(m_strName);
    ui->label_desc->setText(m_strDesc);
    // Refitting only when the length changes keeps the digits from jumping between samples.
    const int oldLength = ui->label_number->text().length();
    ui->label_number->setText(m_strValue);
    if (m_strValue.length() != oldLength)
        ui->label_number->fitFont();
    ui->label_unit->setText(m_strUnit);
    if (m_bRefitUnit) {
        m_bRefitUnit = false;
        ui->label_unit->fitFont();
    }
    TileStyle::apply(ui->frame_value, m_pStyle);
}

void DashBoardDeviceItem::setValue(const QString &text)
{
    m_strValue = text;
    m_strUnit = unitText(m_nUnit);
    m_pStyle = channelAlarm() ? TileStyle::alarm : TileStyle::normal;
    changed(true);
}

void DashBoardDeviceItem::deviceConnected(const QString &deviceNumber)
{
    if (!m_pDevice || deviceNumber != m_pDevice->deviceNumber())
        return;
    m_bSeenConnected = true;
    m_bCommunicationLost = false;
    m_pStyle = TileStyle::normal;
    changed(true);
}

void DashBoardDeviceItem::deviceDisconnected(const QString &deviceNumber)
{
    if (!m_pDevice || deviceNumber != m_pDevice->deviceNumber())
        return;
    // A logger that answered before and went silent is an alarm, not a logger never heard from.
    m_bCommunicationLost = m_bSeenConnected;
    m_strUnit.clear();
    if (m_bCommunicationLost) {
        m_pStyle = TileStyle::noCommunication;
        m_strValue = QLatin1String(NO_COMMUNICATION_TEXT);
    } else {
        m_pStyle = TileStyle::grey;
        m_strValue.clear();
    }
    changed(true);
}

void DashBoardDeviceItem::refresh()
{
    if (!m_pDevice)
        return;
    readDevice();
    if (m_bCommunicationLost) {
        m_pStyle = TileStyle::noCommunication;
    } else if (!m_strValue.isEmpty()) {
        m_strUnit = unitText(m_nUnit);
        m_bRefitUnit = true;
        m_pStyle = channelAlarm() ? TileStyle::alarm : TileStyle::normal;
    } else {
        m_strUnit.clear();
        m_pStyle = TileStyle::grey;
    }
    changed(false);
}

void DashBoardDeviceItem::setAlarmStyle(bool alarm)
{
    m_pStyle = alarm ? TileStyle::alarm : TileStyle::normal;
    changed(false);
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

void DashBoardDeviceItem::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    applyPending();
}
