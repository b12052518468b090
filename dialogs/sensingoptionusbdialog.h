#pragma once

#include "dialogs/sensingoptionfields.h"

#include <QDialog>
#include <QPointer>

class ConfiguredDevice;

namespace Ui {
class SensingOptionUsbDialog;
}

// Names, units and alarm ranges of a USB logger; everything applies to the record at once.
class SensingOptionUsbDialog : public QDialog
{
    Q_OBJECT

public:
    SensingOptionUsbDialog(ConfiguredDevice *device, QWidget *parent = nullptr);
    ~SensingOptionUsbDialog() override;

    void showMessage(const QString &text, const QString &title);

signals:
    void sensingConfirm();

public slots:
    void confirm();
    void checkCustomUnitPolicy(int index);

private:
    Ui::SensingOptionUsbDialog *ui;
    QPointer<ConfiguredDevice> m_pDevice;
    QString m_strDeviceNumber;
    SensingOptionFields m_fields;
};
