#include "view/projectlist.h"

#include "device/configureddevice.h"
#include "view/devicelisticons.h"

#include "ui_projectlist.h"

#include <QStyledItemDelegate>

#include <QListWidgetItem>

namespace {
// Entries as wide as the list and no wider: a long name ends in "…" like on the tiles instead
// of pushing the list into sideways scrolling.
class ListWidthDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return QSize(0, QStyledItemDelegate::sizeHint(option, index).height());
    }
};
} // namespace

ProjectList::ProjectList(const QString &projectName, QWidget *parent)
    : QWidget(parent), ui(new Ui::ProjectList), m_pIcons(new DeviceListIcons(this))
{
    ui->setupUi(this);
    ui->list_project->setItemDelegate(new ListWidthDelegate(ui->list_project));
    ui->button_project->setText(projectName);
    connect(ui->button_project, &QToolButton::clicked, this, &ProjectList::slotPushDashboard);
    connect(ui->list_project, &QListWidget::itemClicked, this,
            qOverload<QListWidgetItem *>(&ProjectList::deviceClicked));
}

ProjectList::~ProjectList()
{
    // The entries die with the list widget: no icon may follow a device after that.
    delete m_pIcons;
    m_pIcons = nullptr;
    delete ui;
}

QString ProjectList::projectName() const
{
    return ui->button_project->text();
}

void ProjectList::applyNames(const ConfiguredDevice *device, QListWidgetItem *item)
{
    item->setText(device->deviceName().isEmpty() ? device->deviceNumber() : device->deviceName());
    item->setToolTip(device->deviceInterface());
}

void ProjectList::setDeviceList(const QList<ConfiguredDevice *> &list)
{
    for (ConfiguredDevice *device : list) {
        if (!device)
            continue;
        auto *item = new QListWidgetItem(ui->list_project);
        applyNames(device, item);
        m_pIcons->attach(device, item);
        m_deviceItems.insert(device, item);
        connect(device, &QObject::destroyed, this,
                [this, device] { m_deviceItems.remove(device); });
    }
}

void ProjectList::refreshNames()
{
    for (auto it = m_deviceItems.cbegin(); it != m_deviceItems.cend(); ++it)
        applyNames(it.key(), it.value());
}

void ProjectList::selectDevice(ConfiguredDevice *device)
{
    ui->list_project->clearSelection();
    if (QListWidgetItem *item = m_deviceItems.value(device))
        item->setSelected(true);
}

void ProjectList::slotPushDashboard()
{
    ui->list_project->clearSelection();
    emit dashboardClicked();
}

void ProjectList::deviceClicked(QListWidgetItem *item)
{
    emit deviceClicked(m_deviceItems.key(item, nullptr));
}
