#include "project/projectmanager.h"

#include "project/databasesettingsdialog.h"
#include "store/logcategories.h"

#include "device/configureddevice.h"
#include "device/devicetypes.h"
#include "device/pollinterval.h"
#include "project/manualconfigdevicedialog.h"
#include "project/timedmessage.h"

#include "ui_projectmanager.h"

#include <QDebug>
#include <QMenu>

namespace {
const QString FULL_DASHBOARD_TEXT =
    QStringLiteral("cannot add more than 16 devices to the dashboard.");

struct IntervalChoice
{
    const char *text;
    int ms;
};
constexpr IntervalChoice INTERVAL_CHOICES[] = {{"1 sec", 1000},   {"5 sec", 5000},
                                               {"10 sec", 10000}, {"1 min", 60000},
                                               {"5 min", 300000}, {"10 min", 600000}};
} // namespace

ProjectManager::ProjectManager(QWidget *parent) : QWidget(parent), ui(new Ui::ProjectManager)
{
    ui->setupUi(this);
    m_lanIcon = QIcon(QStringLiteral(":/img/icon_lan.png"));
    m_usbIcon = QIcon(QStringLiteral(":/img/icon_usb.png"));

    connect(ui->btn_add, &QPushButton::clicked, this, &ProjectManager::slotProjectAddDevice);
    connect(ui->btn_remove, &QPushButton::clicked, this, &ProjectManager::slotProjectRemoveDevice);
    connect(ui->btn_confirm, &QPushButton::clicked, this, &ProjectManager::slotProjectListConfirm);
    connect(ui->pushButton_refresh, &QPushButton::clicked, this, &ProjectManager::slotRefresh);
    connect(ui->btn_manual, &QPushButton::clicked, this,
            &ProjectManager::slotManualConfigDeviceDlg);
    connect(ui->btn_timeInterval, &QPushButton::clicked, this,
            &ProjectManager::slotCommandInterval);
    connect(ui->availlable_list, &QListWidget::itemDoubleClicked, this,
            &ProjectManager::slotDblProjectAddDevice);
    auto *database = new QPushButton(QStringLiteral("Database..."), this);
    database->setObjectName(QStringLiteral("btn_database"));
    database->setToolTip(QStringLiteral("Record into the project's file or a PostgreSQL database"));
    ui->horizontalLayout_top->insertWidget(ui->horizontalLayout_top->indexOf(ui->btn_timeInterval),
                                           database);
    connect(database, &QPushButton::clicked, this, &ProjectManager::slotDatabaseSettings);

    // Each tab is captioned with its dashboard's name as it is being typed; an empty name
    // shows the dashboard's number.
    for (int d = 0; d < DASHBOARD_COUNT; ++d) {
        connect(
            dashboardNameEdit(d), &QLineEdit::textChanged, this, [this, d](const QString &name) {
                ui->tabWidget->setTabText(
                    d, name.trimmed().isEmpty() ? QStringLiteral("Dashboard %1").arg(d + 1) : name);
                ui->tabWidget->setTabToolTip(d, name);
            });
    }
    ui->tabWidget->setElideMode(Qt::ElideRight);

    buildIntervalMenu();
    ui->label_interval->setText(intervalText(m_nPollInterval));
}

ProjectManager::~ProjectManager()
{
    // Manual devices not yet handed over by a confirmation belong to nobody else.
    qDeleteAll(m_manualDevices);
    delete ui;
}

void ProjectManager::buildIntervalMenu()
{
    m_pIntervalMenu = new QMenu(QStringLiteral("Interval"), this);
    m_pIntervalMenu->setStyleSheet(
        QStringLiteral("background-color: rgb(198, 198, 198);color: rgb(55,55,55);"));
    for (const IntervalChoice &choice : INTERVAL_CHOICES) {
        QAction *action = m_pIntervalMenu->addAction(QString::fromLatin1(choice.text));
        action->setCheckable(true);
        action->setData(choice.ms);
        action->setChecked(choice.ms == m_nPollInterval);
        connect(action, &QAction::triggered, this, &ProjectManager::slotIntervalChange);
        m_intervalActions.append(action);
    }
}

QMenu *ProjectManager::intervalMenu() const
{
    return m_pIntervalMenu;
}

void ProjectManager::showTimedMessage(const QString &title, const QString &text)
{
    ::showTimedMessage(this, title, text);
}

QListWidget *ProjectManager::dashboardList(int index) const
{
    switch (index) {
    case 0:
        return ui->configured_list_1;
    case 1:
        return ui->configured_list_2;
    case 2:
        return ui->configured_list_3;
    case 3:
        return ui->configured_list_4;
    default:
        return nullptr;
    }
}

QListWidget *ProjectManager::currentDashboardList() const
{
    return dashboardList(ui->tabWidget->currentIndex());
}

int ProjectManager::placedCount() const
{
    int count = 0;
    for (int d = 0; d < DASHBOARD_COUNT; ++d)
        count += dashboardList(d)->count();
    return count;
}

void ProjectManager::updateAddButtons()
{
    const bool room = placedCount() < MAX_DEVICES;
    ui->btn_add->setEnabled(room);
    ui->btn_manual->setEnabled(room);
}

bool ProjectManager::isPlaced(const QString &id) const
{
    for (int d = 0; d < DASHBOARD_COUNT; ++d) {
        const QListWidget *list = dashboardList(d);
        for (int row = 0; row < list->count(); ++row) {
            if (list->item(row)->toolTip() == id)
                return true;
        }
    }
    return false;
}

AvailableDevice *ProjectManager::findAvailable(const QString &id) const
{
    for (AvailableDevice *device : m_availDeviceList) {
        if (device && device->id == id)
            return device;
    }
    return nullptr;
}

ConfiguredDevice *ProjectManager::findConfigured(const QString &id) const
{
    for (ConfiguredDevice *device : m_configuredDeviceList) {
        if (device && device->deviceNumber() == id)
            return device;
    }
    return nullptr;
}

QListWidgetItem *ProjectManager::newEntry(const QString &label, const QString &address,
                                          quint16 port, int kind, const QString &id) const
{
    QString text = label + QLatin1Char('\t') + QLatin1Char('[') + address;
    if (kind == LINK_TCP)
        text += QLatin1Char(':') + QString::number(port);
    text += QLatin1Char(']');
    auto *item = new QListWidgetItem(kind == LINK_SERIAL ? m_usbIcon : m_lanIcon, text);
    item->setToolTip(id);
    return item;
}

QListWidgetItem *ProjectManager::newAvailableEntry(const AvailableDevice &device) const
{
    return newEntry(device.id, device.address, device.port, device.kind, device.id);
}

QListWidgetItem *ProjectManager::newConfiguredEntry(const ConfiguredDevice &device) const
{
    const QString label =
        device.deviceName().isEmpty() ? device.deviceNumber() : device.deviceName();
    return newEntry(label, device.deviceInterface(), device.devicePort(), device.linkType(),
                    device.deviceNumber());
}

void ProjectManager::setConfiguredDeviceList(const QList<ConfiguredDevice *> &devices)
{
    m_configuredDeviceList = devices;
    if (devices.size() >= MAX_DEVICES)
        showTimedMessage(QStringLiteral("ERROR"),
                         QStringLiteral("cannot add more than 64 devices."));

    for (ConfiguredDevice *device : devices) {
        if (!device)
            continue;
        QListWidget *list = dashboardList(device->dashboardNumber());
        if (!list)
            continue;
        if (list->count() >= MAX_DASHBOARD_DEVICES) {
            qCWarning(lcProject)
                << "[ERROR] ProjectManager::setConfiguredDeviceList : dashboard item count "
                   "is over 16.";
            continue;
        }
        list->addItem(newConfiguredEntry(*device));
    }
    updateAddButtons();
    qCDebug(lcProject) << "ProjectManager::setConfiguredDeviceList : " << devices.size();
}

void ProjectManager::setAvailDeviceList(const QList<AvailableDevice *> &devices)
{
    ui->availlable_list->clear();
    m_availDeviceList = devices;
    for (const AvailableDevice *device : devices) {
        if (device && !isPlaced(device->id))
            ui->availlable_list->addItem(newAvailableEntry(*device));
    }
}

void ProjectManager::setDashboardNames(const QStringList &names)
{
    for (int d = 0; d < DASHBOARD_COUNT && d < names.size(); ++d)
        dashboardNameEdit(d)->setText(names.at(d));
}

QLineEdit *ProjectManager::dashboardNameEdit(int index) const
{
    switch (index) {
    case 0:
        return ui->lineEdit_dashboard_1;
    case 1:
        return ui->lineEdit_dashboard_2;
    case 2:
        return ui->lineEdit_dashboard_3;
    case 3:
        return ui->lineEdit_dashboard_4;
    default:
        return nullptr;
    }
}

void ProjectManager::setIntervalDisabled(bool disabled)
{
    ui->btn_timeInterval->setDisabled(disabled);
    m_pIntervalMenu->setDisabled(disabled);
}

void ProjectManager::setInterval(int ms)
{
    m_nPollInterval = ms;
    ui->label_interval->setText(intervalText(ms));
    emit pollIntervalChanged(ms);
}

void ProjectManager::setPollInterval(int ms)
{
    m_nPollInterval = ms;
    ui->label_interval->setText(intervalText(ms));
    for (QAction *action : std::as_const(m_intervalActions))
        action->setChecked(action->data().toInt() == ms);
}

void ProjectManager::slotProjectAddDevice()
{
    QListWidget *target = currentDashboardList();
    if (target->count() >= MAX_DASHBOARD_DEVICES) {
        showTimedMessage(QStringLiteral("ERROR"), FULL_DASHBOARD_TEXT);
        return;
    }
    const QList<QListWidgetItem *> selected = ui->availlable_list->selectedItems();
    for (QListWidgetItem *item : selected) {
        target->addItem(ui->availlable_list->takeItem(ui->availlable_list->row(item)));
        if (target->count() >= MAX_DASHBOARD_DEVICES) {
            showTimedMessage(QStringLiteral("ERROR"), FULL_DASHBOARD_TEXT);
            break;
        }
    }
    updateAddButtons();
}

void ProjectManager::slotDblProjectAddDevice(QListWidgetItem *item)
{
    QListWidget *target = currentDashboardList();
    if (target->count() >= MAX_DASHBOARD_DEVICES) {
        showTimedMessage(QStringLiteral("ERROR"), FULL_DASHBOARD_TEXT);
        return;
    }
    const int row = ui->availlable_list->row(item);
    if (row < 0)
        return;
    target->addItem(ui->availlable_list->takeItem(row));
    updateAddButtons();
}

void ProjectManager::slotProjectRemoveDevice()
{
    QListWidget *list = currentDashboardList();
    const QList<QListWidgetItem *> selected = list->selectedItems();
    for (QListWidgetItem *item : selected) {
        QListWidgetItem *entry = list->takeItem(list->row(item));
        const QString id = entry->toolTip();
        ConfiguredDevice *manual = nullptr;
        for (ConfiguredDevice *device : std::as_const(m_manualDevices)) {
            if (device->deviceNumber() == id)
                manual = device;
        }
        if (manual) {
            // A manual device that leaves the dashboards is nobody's: drop it, and let a
            // discovered logger with the same id come back as its discovered self.
            m_manualDevices.removeOne(manual);
            m_configuredDeviceList.removeOne(manual);
            delete manual;
            delete entry;
            entry = nullptr;
            if (const AvailableDevice *available = findAvailable(id))
                entry = newAvailableEntry(*available);
        } else if (!findAvailable(id)) {
            delete entry;
            entry = nullptr;
        }
        if (entry)
            ui->availlable_list->addItem(entry);
    }
    updateAddButtons();
}

void ProjectManager::slotManualConfigDeviceDlg()
{
    auto *dialog = new ManualConfigDeviceDialog(this);
    connect(dialog, &ManualConfigDeviceDialog::ManualConfigDeviceConfirm, this,
            &ProjectManager::slotManualConfigDevice);
    // A dialog dismissed without confirming is not kept around hidden until the panel goes.
    connect(dialog, &QDialog::rejected, dialog, &ManualConfigDeviceDialog::slotReject);
    dialog->show();
}

void ProjectManager::slotManualConfigDevice(ConfiguredDevice *device)
{
    if (!device)
        return;
    device->setPollInterval(m_nPollInterval);
    const QString id = device->deviceNumber();
    ConfiguredDevice *known = findConfigured(id);
    // One logger has one id and one history: it may sit on the dashboards only once.
    if (isPlaced(id) || (known && known->linkType() != LINK_TCP)) {
        showTimedMessage(QStringLiteral("ERROR"),
                         QStringLiteral("the mac address already exists."));
        delete device;
        return;
    }
    QListWidget *list = currentDashboardList();
    if (list->count() >= MAX_DASHBOARD_DEVICES) {
        showTimedMessage(QStringLiteral("ERROR"), FULL_DASHBOARD_TEXT);
        delete device;
        return;
    }
    // A logger of the project kept off the dashboards is still that logger: it takes the
    // typed name and address, and the hand-made device with its connection goes.
    if (known) {
        known->close();
        known->setConnection(device->deviceName(), known->ch1Name(), known->ch2Name(),
                             device->deviceInterface(), device->devicePort());
        delete device;
        device = known;
    } else {
        m_configuredDeviceList.append(device);
        m_manualDevices.append(device);
    }
    device->setDashboardNumber(ui->tabWidget->currentIndex());
    // The manual entry stands for the discovered one of the same logger.
    for (int row = 0; row < ui->availlable_list->count(); ++row) {
        if (ui->availlable_list->item(row)->toolTip() == id) {
            delete ui->availlable_list->takeItem(row);
            break;
        }
    }
    qCDebug(lcProject) << "ProjectManager::slotManualConfigDevice : "
                       << m_configuredDeviceList.size();
    list->addItem(newConfiguredEntry(*device));
    updateAddButtons();
}

void ProjectManager::slotCommandInterval()
{
    m_pIntervalMenu->move(mapToGlobal(QPoint(0, 0)) + ui->btn_timeInterval->pos());
    m_pIntervalMenu->show();
}

void ProjectManager::slotIntervalChange()
{
    auto *triggered = qobject_cast<QAction *>(sender());
    if (!triggered)
        return;
    for (QAction *action : std::as_const(m_intervalActions))
        action->setChecked(false);
    triggered->setChecked(true);
    setInterval(triggered->data().toInt());
}

void ProjectManager::setProjectFile(const QString &path)
{
    m_strProjectFile = path;
}

void ProjectManager::slotDatabaseSettings()
{
    DatabaseSettingsDialog dialog(m_strProjectFile, this);
    dialog.exec();
}

void ProjectManager::slotRefresh()
{
    emit refreshAvailDeviceList();
}

void ProjectManager::slotProjectListConfirm()
{
    QList<ConfiguredDevice *> result;
    for (int d = 0; d < DASHBOARD_COUNT; ++d) {
        const QListWidget *list = dashboardList(d);
        for (int row = 0; row < list->count(); ++row) {
            const QListWidgetItem *entry = list->item(row);
            const QString id = entry->toolTip();
            if (ConfiguredDevice *device = findConfigured(id)) {
                device->setDashboardNumber(d);
                result.append(device);
            } else if (const AvailableDevice *available = findAvailable(id)) {
                auto *device = new ConfiguredDevice(id, available->kind);
                device->setPollInterval(m_nPollInterval);
                QString name = entry->text().section(QLatin1Char('['), 0, 0);
                name.remove(QLatin1Char(' '));
                name.remove(QLatin1Char('\t'));
                device->setConnection(name, QStringLiteral("CH1"), QStringLiteral("CH2"),
                                      available->address, available->port);
                device->setDashboardNumber(d);
                result.append(device);
            } else {
                qCDebug(lcProject).noquote() << "slotProjectListConfirm [" + id + "] is not found";
            }
        }
    }
    qCDebug(lcProject) << "ProjectManager::slotProjectListConfirm : " << result.size();
    if (result.isEmpty()) {
        showTimedMessage(
            QStringLiteral("INFORMATION"),
            QStringLiteral("You must add at least one device to the dashboard.\nPlease retry."));
        return;
    }
    QStringList names;
    for (int d = 0; d < DASHBOARD_COUNT; ++d)
        names.append(dashboardNameEdit(d)->text());
    // The receiver takes the devices over and may delete this panel while handling the signal.
    m_manualDevices.clear();
    emit projectListConfirm(result, names);
}
