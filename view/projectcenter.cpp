#include "view/projectcenter.h"

#include "device/configureddevice.h"
#include "dialogs/sensingoptiontelnetdialog.h"
#include "dialogs/sensingoptionusbdialog.h"
#include "project/networksettingdialog.h"
#include "project/projectfile.h"
#include "view/chartview.h"
#include "view/dashboardtab.h"
#include "view/historyview.h"
#include "view/projectlist.h"
#include "view/tilestyle.h"

#include "ui_projectcenter.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr qint64 DATABASE_WARNING_BYTES = 3221225472LL; // 3 GiB; recording stops at 3.9 GiB

QString nowText()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

} // namespace

ProjectCenter::ProjectCenter(const QString &projectFile, QWidget *parent)
    : QWidget(parent), ui(new Ui::ProjectCenter), m_strProjectFile(projectFile)
{
    m_strProjectName = ProjectFile::baseName(projectFile);
    ui->setupUi(this);
    setAttribute(Qt::WA_StyledBackground);
    m_recordStopIcon = QIcon(QStringLiteral(":/img/RecordStopButton.png"));
    m_recordIcon = QIcon(QStringLiteral(":/img/RecordButton.png"));
    connect(ui->btn_record, &QToolButton::clicked, this, &ProjectCenter::slotRecord);
    addHistoryButton();
    addEventsButton();

    m_pListLayout = new QVBoxLayout(ui->widget_list);
    m_pListLayout->setContentsMargins(0, 0, 0, 0);
    m_pBoardLayout = new QVBoxLayout(ui->widget_board);
    m_pBoardLayout->setContentsMargins(0, 0, 0, 0);
    m_pBoardLayout->setSpacing(0);

    m_pProjectList = new ProjectList(m_strProjectName);
    connect(m_pProjectList, &ProjectList::dashboardClicked, this,
            &ProjectCenter::slotDashboardClicked);
    connect(m_pProjectList, qOverload<ConfiguredDevice *>(&ProjectList::deviceClicked), this,
            &ProjectCenter::slotDeviceClicked);

    m_pDashboardTab = new DashboardTab;
    connect(m_pDashboardTab, &DashboardTab::deviceClicked, this, &ProjectCenter::slotDeviceClicked);

    // Parented but not placed: it stays hidden until a device is picked.
    m_pChartView = new ChartView(ui->widget_board);
    m_pChartView->hide();
    connect(m_pChartView, &ChartView::popupSensingOption, this,
            &ProjectCenter::slotPopupSensingOption);
    connect(m_pChartView, &ChartView::popupNetworkSetting, this,
            &ProjectCenter::slotNetworkSetting);

    m_bDashboardMode = true;
    m_pListLayout->addWidget(m_pProjectList);
    m_pBoardLayout->addWidget(m_pDashboardTab);
}

ProjectCenter::~ProjectCenter()
{
    // The dashboards and the list hand back their own pointers as they go; the detail view's
    // is handed back here, before any of them is deleted.
    for (const QPointer<ConfiguredDevice> &device : std::as_const(m_deviceList)) {
        if (device && device->chartView() == static_cast<DeviceDetailView *>(m_pChartView))
            device->clearChartView();
    }
    if (m_pCurrentDevice && m_pCurrentDevice->chartView() == m_pChartView)
        m_pCurrentDevice->clearChartView();

    delete m_pDashboardTab;
    delete m_pProjectList;
    delete m_pChartView;
    delete ui;
}

ConfiguredDevice *ProjectCenter::currentDevice() const
{
    return m_pCurrentDevice;
}

void ProjectCenter::setDeviceList(const QList<ConfiguredDevice *> &list)
{
    m_deviceList.clear();
    for (ConfiguredDevice *device : list)
        m_deviceList.append(device);
    m_pProjectList->setDeviceList(list);
    m_pDashboardTab->setDeviceList(list);
}

void ProjectCenter::setDashboardNames(const QStringList &names)
{
    m_pDashboardTab->setDashboardNames(names);
}

void ProjectCenter::setEmptySlotsVisible(bool visible)
{
    m_pDashboardTab->setEmptySlotsVisible(visible);
}

void ProjectCenter::slotRecord()
{
    emit clickRecord();
}

void ProjectCenter::slotDeviceClicked(ConfiguredDevice *device)
{
    if (!device)
        return;
    if (!m_bDashboardMode && device == m_pCurrentDevice)
        return;
    if (m_pCurrentDevice && m_pCurrentDevice != device)
        m_pCurrentDevice->clearChartView();

    m_pCurrentDevice = device;
    m_pProjectList->selectDevice(device);
    // The charts are built once, at the size the view has once laid out, with the device's data.
    m_pChartView->holdCharts();
    if (m_bDashboardMode) {
        m_bDashboardMode = false;
        m_pBoardLayout->removeWidget(m_pDashboardTab);
        m_pBoardLayout->addWidget(m_pChartView);
        m_pDashboardTab->hide();
        m_pChartView->show();
        m_pBoardLayout->activate();
    }

    m_pChartView->clearView();
    m_pChartView->setDevice(device);
    m_pChartView->releaseCharts();
    device->setChartView(m_pChartView);
}

void ProjectCenter::slotDashboardClicked()
{
    m_bDashboardMode = true;
    // The emptied charts are drawn when the view is shown again, not now for a view being hidden.
    m_pChartView->holdCharts();
    m_pChartView->clearView();
    if (m_pCurrentDevice)
        m_pCurrentDevice->clearChartView();

    if (m_pBoardLayout->indexOf(m_pChartView) >= 0) {
        m_pBoardLayout->removeWidget(m_pChartView);
        m_pBoardLayout->addWidget(m_pDashboardTab);
    }
    m_pChartView->hide();
    m_pChartView->releaseCharts();
    m_pDashboardTab->show();
    m_pDashboardTab->refreshItems();
}

void ProjectCenter::slotPopupSensingOption()
{
    if (!m_pCurrentDevice)
        return;
    QDialog *dialog = nullptr;
    if (m_pCurrentDevice->linkType() == LINK_SERIAL) {
        auto *usbDialog = new SensingOptionUsbDialog(m_pCurrentDevice, this);
        connect(usbDialog, &SensingOptionUsbDialog::sensingConfirm, this,
                &ProjectCenter::slotSensingConfirm);
        dialog = usbDialog;
    } else if (m_pCurrentDevice->linkType() == LINK_TCP) {
        auto *telnetDialog = new SensingOptionTelnetDialog(m_pCurrentDevice, this);
        connect(telnetDialog, &SensingOptionTelnetDialog::sensingConfirm, this,
                &ProjectCenter::slotSensingConfirm);
        dialog = telnetDialog;
    } else {
        return;
    }
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void ProjectCenter::slotSensingConfirm()
{
    if (m_pCurrentDevice)
        m_pCurrentDevice->checkAlarmAll();
    m_pProjectList->refreshNames();
    m_pChartView->updateInfo();
    emit updateProjectFile();
}

void ProjectCenter::slotNetworkSetting()
{
    if (!m_pCurrentDevice || m_pCurrentDevice->linkType() != LINK_TCP)
        return;
    auto *dialog = new NetworkSettingDialog(m_pCurrentDevice, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void ProjectCenter::setRecordLabelStyle(const QString &style)
{
    ui->label_record_starttime->setStyleSheet(style);
    ui->label_record_endtime->setStyleSheet(style);
    ui->label_to->setStyleSheet(style);
}

void ProjectCenter::setRecordState(bool recording)
{
    QString startText = ui->label_record_starttime->text();
    if (startText.isEmpty())
        startText = nowText();

    if (recording) {
        setRecordLabelStyle(QStringLiteral("color:rgb(255,255,147);background-color:transparent;"));
        ui->label_record_starttime->setText(startText);
        ui->label_to->setText(QStringLiteral("~"));
        ui->btn_record->setIcon(m_recordStopIcon);
    } else {
        setRecordLabelStyle(QStringLiteral("color:rgb(192,192,192);background-color:transparent;"));
        ui->label_record_endtime->setText(nowText());
        ui->label_to->clear();
        ui->btn_record->setIcon(m_recordIcon);
    }
}

void ProjectCenter::setDatabaseSize(qint64 bytes)
{
    if (bytes >= DATABASE_WARNING_BYTES)
        TileStyle::apply(ui->label_record_bytes,
                         QStringLiteral("color:rgb(230,80,80);background-color:transparent;"));
    else
        TileStyle::apply(ui->label_record_bytes,
                         QStringLiteral("color:rgb(192,192,192);background-color:transparent;"));
    const double megabytes = static_cast<double>(bytes) / 1048576.0;
    ui->label_record_bytes->setText(QStringLiteral("Database ") +
                                    QString::number(megabytes, 'f', 2) + QStringLiteral("MB"));
}

void ProjectCenter::setRecordTimes(const QString &start, const QString &end)
{
    ui->label_record_starttime->setText(start);
    ui->label_record_endtime->setText(end);
}

void ProjectCenter::setRecordStartText(const QString &text)
{
    ui->label_record_starttime->setText(text);
}

void ProjectCenter::setRecordEndText(const QString &text)
{
    ui->label_record_endtime->setText(text);
}

QString ProjectCenter::recordStartText() const
{
    return ui->label_record_starttime->text();
}

QString ProjectCenter::recordEndText() const
{
    return ui->label_record_endtime->text();
}

void ProjectCenter::addHistoryButton()
{
    auto *button = new QPushButton(QStringLiteral("History"), ui->bottom_frame);
    button->setObjectName(QStringLiteral("btn_history"));
    button->setToolTip(QStringLiteral("Charts, statistics and reports of the recorded data"));
    button->setStyleSheet(QStringLiteral("color: rgb(230,230,230); background-color: rgb(80,80,80);"
                                         " padding: 3px 10px;"));
    // After the record times, before the stretch that pushes the database size to the right.
    auto *layout = qobject_cast<QHBoxLayout *>(ui->bottom_frame->layout());
    layout->insertWidget(layout->indexOf(ui->label_record_endtime) + 1, button);
    connect(button, &QPushButton::clicked, this, &ProjectCenter::slotShowHistory);
}

void ProjectCenter::slotShowHistory()
{
    if (m_pHistoryView) {
        m_pHistoryView->raise();
        m_pHistoryView->activateWindow();
        return;
    }
    m_pHistoryView = new HistoryView(m_strProjectFile, this);
    m_pHistoryView->show();
}

void ProjectCenter::addEventsButton()
{
    auto *button = new QPushButton(QStringLiteral("Events"), ui->bottom_frame);
    button->setObjectName(QStringLiteral("btn_events"));
    button->setToolTip(QStringLiteral("Alarms and communication events, acknowledgement"));
    button->setStyleSheet(QStringLiteral("color: rgb(230,230,230); background-color: rgb(80,80,80);"
                                         " padding: 3px 10px;"));
    auto *layout = qobject_cast<QHBoxLayout *>(ui->bottom_frame->layout());
    layout->insertWidget(layout->indexOf(ui->label_record_endtime) + 2, button);
    connect(button, &QPushButton::clicked, this, &ProjectCenter::slotShowEvents);
}

void ProjectCenter::slotShowEvents()
{
    if (m_pEventsView) {
        m_pEventsView->refresh();
        m_pEventsView->raise();
        m_pEventsView->activateWindow();
        return;
    }
    QList<ConfiguredDevice *> devices;
    for (const QPointer<ConfiguredDevice> &device : std::as_const(m_deviceList)) {
        if (device)
            devices.append(device);
    }
    m_pEventsView = new EventsView(m_strProjectFile, devices, this);
    connect(m_pEventsView, &EventsView::acknowledged, this, &ProjectCenter::eventsAcknowledged);
    connect(m_pEventsView, &EventsView::communicationLossAlarmChanged, this,
            &ProjectCenter::communicationLossAlarmChanged);
    m_pEventsView->show();
}
