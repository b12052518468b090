#pragma once

#include "device/configureddevice.h"

#include <QHash>
#include <QList>
#include <QWidget>

class DeviceListIcons;
class QListWidgetItem;

namespace Ui {
class ProjectList;
}

// The project's devices as a list beside the dashboards, under a button that leads back to
// the dashboards, each entry with an icon that follows its device's connection.
class ProjectList : public QWidget
{
    Q_OBJECT

public:
    explicit ProjectList(const QString &projectName, QWidget *parent = nullptr);
    ~ProjectList() override;

    void setDeviceList(const QList<ConfiguredDevice *> &list);
    void refreshNames();
    void selectDevice(ConfiguredDevice *device);

    QListWidgetItem *item(ConfiguredDevice *device) const { return m_deviceItems.value(device); }
    QString projectName() const;
    const DeviceListIcons *icons() const { return m_pIcons; }

signals:
    void dashboardClicked();
    void deviceClicked(ConfiguredDevice *device);

public slots:
    void slotPushDashboard();
    void deviceClicked(QListWidgetItem *item);

private:
    static void applyNames(const ConfiguredDevice *device, QListWidgetItem *item);

    Ui::ProjectList *ui;
    QHash<ConfiguredDevice *, QListWidgetItem *> m_deviceItems;
    DeviceListIcons *m_pIcons = nullptr;
};
