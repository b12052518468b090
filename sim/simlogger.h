#pragma once

#include "sim/loggerbehaviour.h"

#include <QObject>
#include <QString>

class ReplyQueue;

// A simulated logger on some transport: it gathers request bytes into lines and lets its
// behaviour answer each complete line.
class SimLogger : public QObject
{
    Q_OBJECT

public:
    SimLogger(const QString &id, const LoggerBehaviour &behaviour, QObject *parent = nullptr);

    QString id() const { return m_strId; }
    LoggerBehaviour &behaviour() { return m_behaviour; }

    virtual bool start(QString *error) = 0;
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
    virtual QString loggerLine() const = 0;
    // Only links that can be dropped from the logger's side support the close and reset faults.
    virtual bool supportsConnectionFaults() const = 0;
    virtual void resetConnections() {}
    // Clients connected now; a transport without connections reports 0.
    virtual int connectionCount() const { return 0; }

    // Appends data to a link's pending request bytes and answers every complete line.
    void feedRequests(QByteArray *pending, const QByteArray &data, ReplyQueue *queue);

private:
    QString m_strId;
    LoggerBehaviour m_behaviour;
};
