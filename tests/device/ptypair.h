#pragma once

#include <QByteArray>
#include <QString>

// The logger's end of a pseudo-terminal: the test writes replies into the master and reads
// back what the link sent, while the link opens the slave as its serial port.
class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isValid() const { return m_masterFd >= 0; }
    QString slavePath() const { return m_slavePath; }
    bool send(const QByteArray &bytes);
    // Whatever the link has written so far (never blocks).
    QByteArray takeReceived();
    void closeMaster();

private:
    int m_masterFd = -1;
    int m_slaveFd = -1;
    QString m_slavePath;
};
