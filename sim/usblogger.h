#pragma once

#include "sim/simlogger.h"

class QSocketNotifier;
class ReplyQueue;

// A USB logger: the master side of a pseudo-terminal answering "ATCD" polls. The program under
// test opens the slave side as its serial port.
class UsbLogger : public SimLogger
{
    Q_OBJECT

public:
    UsbLogger(int index, const QString &linkDir, quint32 seed, QObject *parent = nullptr);
    ~UsbLogger() override;

    bool start(QString *error) override;
    void stop() override;
    bool isRunning() const override { return m_nMaster >= 0; }
    QString loggerLine() const override;
    bool supportsConnectionFaults() const override { return false; }

    QString serialNumber() const;
    QString portPath() const;

private:
    void slotReadable();
    void slotWritable();
    void writeBytes(const QByteArray &bytes);
    bool updateLink(QString *error);
    void removeLink();

    int m_nIndex;
    QString m_strLinkDir;
    int m_nMaster = -1;
    // Held open so that reading the master never fails with EIO while no client has the
    // slave open; closing both is what the client sees as a hang-up.
    int m_nSlave = -1;
    QString m_strSlavePath;
    QSocketNotifier *m_pReadNotifier = nullptr;
    QSocketNotifier *m_pWriteNotifier = nullptr;
    ReplyQueue *m_pQueue;
    QByteArray m_pending;
    QByteArray m_unwritten;
};
