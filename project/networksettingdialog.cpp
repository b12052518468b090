#include "project/networksettingdialog.h"

#include "device/configureddevice.h"

#include "ui_networksettingdialog.h"

NetworkSettingDialog::NetworkSettingDialog(ConfiguredDevice *device, QWidget *parent)
    : QDialog(parent), ui(new Ui::NetworkSettingDialog), m_pDevice(device)
{
    ui->setupUi(this);
    if (m_pDevice) {
        ui->label_ipaddr->setText(m_pDevice->deviceInterface());
        ui->label_port->setText(QString::number(m_pDevice->devicePort()));
    }
    connect(ui->pushButton_close, &QPushButton::clicked, this, &NetworkSettingDialog::close);
    // Escape and the title-bar button end the dialog as "CLOSE" does, instead of leaving a
    // hidden dialog behind until the parent goes.
    connect(this, &QDialog::rejected, this, &NetworkSettingDialog::slotReject);
}

NetworkSettingDialog::~NetworkSettingDialog()
{
    delete ui;
}

bool NetworkSettingDialog::close()
{
    const bool closed = QDialog::close();
    deleteLater();
    return closed;
}

void NetworkSettingDialog::slotReject()
{
    deleteLater();
}
