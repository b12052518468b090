#pragma once

#include "device/configureddevice.h"

#include <QDialog>
#include <QList>

class QSpinBox;

namespace Ui {
class ManualConfigDeviceDialog;
}

// Entry of a network logger that discovery does not find: name, MAC address, IPv4 address
// and port. On confirm the logger's link is opened and the device handed on.
class ManualConfigDeviceDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ManualConfigDeviceDialog(QWidget *parent = nullptr);
    ~ManualConfigDeviceDialog() override;

    void showTimedMessage(const QString &title, const QString &text);

signals:
    void ManualConfigDeviceConfirm(ConfiguredDevice *device);

public slots:
    void confirm();
    void slotReject();
    void slotNextStep();

private:
    Ui::ManualConfigDeviceDialog *ui;
    QList<QSpinBox *> m_spinBoxes;
};
