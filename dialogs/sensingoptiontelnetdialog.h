#pragma once

#include "dialogs/sensingoptionfields.h"

#include <QDialog>
#include <QPointer>

class ConfiguredDevice;

namespace Ui {
class SensingOptionTelnetDialog;
}

// Names, units, alarm ranges and buzzer of a network logger. Names and units apply at once;
// changed ranges and buzzer go to the logger first and are adopted only when it confirms.
class SensingOptionTelnetDialog : public QDialog
{
    Q_OBJECT

public:
    static constexpr int SYNC_TIMEOUT_MS = 2000;

    SensingOptionTelnetDialog(ConfiguredDevice *device, QWidget *parent = nullptr);
    ~SensingOptionTelnetDialog() override;

    void showMessage(const QString &text, const QString &title);
    // Tests shorten the wait for the logger's answer.
    void setSyncTimeout(int ms) { m_nSyncTimeoutMs = ms; }

signals:
    void sensingConfirm();

public slots:
    void confirm();
    // While the logger is being written the dialog stays: closing it then would drop the
    // logger's confirmation, leaving the logger with limits the program never adopted.
    void reject() override;
    void checkCustomUnitPolicy(int index);
    void syncSuccess();
    void syncError(const QString &message);
    void syncTimeout();

private:
    enum class SyncPhase
    {
        Editing,
        Waiting,
        Done
    };

    void setControlsDisabled(bool disabled);
    void backToEditing();
    void finish();

    Ui::SensingOptionTelnetDialog *ui;
    QPointer<ConfiguredDevice> m_pDevice;
    QString m_strDeviceNumber;
    SensingOptionFields m_fields;
    bool m_bSettingsEnabled = false;
    SyncPhase m_syncPhase = SyncPhase::Editing;
    // Each exchange arms its own time-out; one left over from an earlier try is ignored.
    int m_nSyncGeneration = 0;
    int m_nSyncTimeoutMs = SYNC_TIMEOUT_MS;
};
