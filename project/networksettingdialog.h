#pragma once

#include <QDialog>

class ConfiguredDevice;

namespace Ui {
class NetworkSettingDialog;
}

// Shows the address and port of one network logger as they were when it was opened.
class NetworkSettingDialog : public QDialog
{
    Q_OBJECT

public:
    NetworkSettingDialog(ConfiguredDevice *device, QWidget *parent = nullptr);
    ~NetworkSettingDialog() override;

public slots:
    bool close();
    void slotReject();

private:
    Ui::NetworkSettingDialog *ui;
    ConfiguredDevice *m_pDevice = nullptr;
};
