#include "project/manualconfigdevicedialog.h"
#include "store/logcategories.h"

#include "device/configureddevice.h"
#include "device/devicetypes.h"
#include "project/ipaddrspinbox.h"
#include "project/timedmessage.h"

#include "ui_manualconfigdevicedialog.h"

#include <QDebug>
#include <QRegularExpression>

ManualConfigDeviceDialog::ManualConfigDeviceDialog(QWidget *parent)
    : QDialog(parent), ui(new Ui::ManualConfigDeviceDialog)
{
    ui->setupUi(this);
    ui->lineEdit_macaddr->setInputMask(QStringLiteral("HH:HH:HH:HH:HH:HH;_"));
    ui->spinBox_ipaddr1->setValue(192);
    ui->spinBox_ipaddr2->setValue(168);
    ui->spinBox_ipaddr3->setValue(1);
    ui->spinBox_ipaddr4->setValue(2);
    ui->spinBox_port->setValue(23);
    m_spinBoxes = {ui->spinBox_ipaddr1, ui->spinBox_ipaddr2, ui->spinBox_ipaddr3,
                   ui->spinBox_ipaddr4, ui->spinBox_port};

    connect(ui->pushButton_confirm, &QPushButton::clicked, this,
            &ManualConfigDeviceDialog::confirm);
    for (IpaddrSpinBox *box :
         {ui->spinBox_ipaddr1, ui->spinBox_ipaddr2, ui->spinBox_ipaddr3, ui->spinBox_ipaddr4})
        connect(box, &IpaddrSpinBox::nextStep, this, &ManualConfigDeviceDialog::slotNextStep);
}

ManualConfigDeviceDialog::~ManualConfigDeviceDialog()
{
    delete ui;
}

void ManualConfigDeviceDialog::showTimedMessage(const QString &title, const QString &text)
{
    ::showTimedMessage(this, title, text);
}

void ManualConfigDeviceDialog::slotNextStep()
{
    const int index = m_spinBoxes.indexOf(qobject_cast<QSpinBox *>(sender()));
    if (index < 0 || index >= m_spinBoxes.size() - 1)
        return;
    QSpinBox *next = m_spinBoxes.at(index + 1);
    next->setFocus(Qt::OtherFocusReason);
    next->selectAll();
}

void ManualConfigDeviceDialog::slotReject()
{
    deleteLater();
}

void ManualConfigDeviceDialog::confirm()
{
    const QString name = ui->lineEdit_devicename->text();
    // Discovery reports MAC addresses in upper case; a hand-typed one must match it, or the
    // same logger would get a second id and a second history in the database.
    const QString mac = ui->lineEdit_macaddr->text().remove(QLatin1Char(':')).toUpper();
    const QString address = QStringLiteral("%1.%2.%3.%4")
                                .arg(ui->spinBox_ipaddr1->value())
                                .arg(ui->spinBox_ipaddr2->value())
                                .arg(ui->spinBox_ipaddr3->value())
                                .arg(ui->spinBox_ipaddr4->value());
    const int port = ui->spinBox_port->value();

    if (name.isEmpty()) {
        showTimedMessage(QStringLiteral("INFORMATION"), QStringLiteral("Enter the Device Name."));
        return;
    }
    if (mac.isEmpty()) {
        showTimedMessage(QStringLiteral("INFORMATION"), QStringLiteral("Enter the Mac Address."));
        return;
    }
    // A partial MAC would become an id that no logger reports, and a history of its own.
    static const QRegularExpression wholeMac(QStringLiteral("^[0-9A-F]{12}$"));
    if (!wholeMac.match(mac).hasMatch()) {
        showTimedMessage(QStringLiteral("INFORMATION"),
                         QStringLiteral("Enter all 12 digits of the Mac Address."));
        return;
    }
    if (port == 0) {
        showTimedMessage(QStringLiteral("INFORMATION"), QStringLiteral("Enter the port number."));
        return;
    }

    auto *device = new ConfiguredDevice(mac, LINK_TCP);
    device->setConnection(name, QStringLiteral("CH1"), QStringLiteral("CH2"), address,
                          static_cast<quint16>(port));
    if (!device->open()) {
        showTimedMessage(QStringLiteral("ERROR"),
                         QStringLiteral("Device Open Error. Please retry."));
        qCWarning(lcProject).noquote()
            << "ManualConfigDeviceDialog::confirm [\"" + mac + "\"] is not open";
        delete device;
        return;
    }
    emit ManualConfigDeviceConfirm(device);
    accept();
    deleteLater();
}
