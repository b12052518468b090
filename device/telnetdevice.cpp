#include "device/telnetdevice.h"

#include "device/devicetypes.h"
#include "device/replymarker.h"
#include "store/logcategories.h"

#include <QHostAddress>
#include <QTcpSocket>

namespace {
const char POLL_REQUEST[] = "ATDC\r\n";
const QLatin1String REPLY_MARKER("ATDC");
} // namespace

TelnetDevice::TelnetDevice(QObject *parent)
    : QObject(parent), m_nDeviceType(LINK_TCP), m_pSocket(new QTcpSocket(this))
{
    applySocketOptions();
    QObject::connect(m_pSocket, &QTcpSocket::readyRead, this, &TelnetDevice::readData);
    QObject::connect(m_pSocket, &QTcpSocket::stateChanged, this, &TelnetDevice::telnetStateChanged);
    QObject::connect(m_pSocket, &QTcpSocket::errorOccurred, this, &TelnetDevice::sockError);
    QObject::connect(m_pSocket, &QObject::destroyed, this, &TelnetDevice::telnetDeleted);
    QObject::connect(m_pSocket, &QTcpSocket::connected, this, &TelnetDevice::sockConnected);
}

TelnetDevice::~TelnetDevice()
{
    qCDebug(lcDevice).noquote() << "TelnetDevice::~TelnetDevice : [" + m_strHost + "]";
    if (m_pSocket) {
        close();
        delete m_pSocket;
        m_pSocket = nullptr;
    }
}

// A socket that has not connected yet has no descriptor to carry the options, so they are
// set again once the connection stands.
void TelnetDevice::applySocketOptions()
{
    m_pSocket->setSocketOption(QAbstractSocket::KeepAliveOption, 0);
    m_pSocket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
}

QString TelnetDevice::flagText() const
{
    return m_bBuzzerFlag ? QStringLiteral("true") : QStringLiteral("false");
}

bool TelnetDevice::open()
{
    if (!m_pSocket)
        return false;
    const QAbstractSocket::SocketState state = m_pSocket->state();
    const bool valid = m_pSocket->isValid();
    qCDebug(lcDevice).noquote() << "TelnetDevice::open : buzzer flag :" << flagText()
                                << "[" + m_strHost + "] state : [" << state
                                << "] valid : " << valid;
    if (state == QAbstractSocket::UnconnectedState) {
        m_lineBuffer.clear();
        m_pSocket->connectToHost(QHostAddress(m_strHost), m_nPort, QIODevice::ReadWrite);
    } else if (state == QAbstractSocket::ConnectedState) {
        if (m_bBuzzerFlag)
            emit writeStartSync();
        else
            sendPoll();
    }
    // The caller learns whether the connection attempt could start (a usable address and
    // socket); its outcome arrives later through sockConnected() or sockError().
    return m_pSocket && m_pSocket->isValid();
}

void TelnetDevice::close()
{
    qCDebug(lcDevice).noquote() << "TelnetDevice::close : buzzer flag :" << flagText()
                                << "[" + m_strHost + "]";
    m_lineBuffer.clear();
    if (m_pSocket) {
        m_pSocket->abort();
        m_pSocket->close();
    }
    m_bConnected = false;
}

QString TelnetDevice::deviceInfo() const
{
    return m_strHost;
}

quint16 TelnetDevice::port() const
{
    return m_nPort;
}

int TelnetDevice::deviceType() const
{
    return m_nDeviceType;
}

bool TelnetDevice::isOpen() const
{
    return m_bConnected;
}

void TelnetDevice::setDeviceInfo(const QString &host, quint16 port)
{
    qCDebug(lcDevice).noquote() << "TelnetDevice::setDeviceInfo : [" + host + "] : [" << port
                                << "]";
    m_strHost = host;
    m_nPort = port;
}

void TelnetDevice::write()
{
    qCDebug(lcDevice).noquote() << "TelnetDevice::write : buzzer flag :" << flagText()
                                << "[" + m_strHost + "]"
                                << (m_pSocket ? m_pSocket->state()
                                              : QAbstractSocket::UnconnectedState)
                                << m_bConnected;
    if (m_bBuzzerFlag)
        emit writeStartSync();
    else
        sendPoll();
}

bool TelnetDevice::connect(const char *signal, const QObject *receiver, const char *method)
{
    return static_cast<bool>(QObject::connect(this, signal, receiver, method));
}

bool TelnetDevice::disconnect(const char *signal, const QObject *receiver, const char *method)
{
    return QObject::disconnect(this, signal, receiver, method);
}

void TelnetDevice::sendPoll()
{
    writeCommand(QByteArray(POLL_REQUEST));
}

qint64 TelnetDevice::writeCommand(const QByteArray &data)
{
    if (!m_pSocket)
        return 0;
    const QAbstractSocket::SocketState state = m_pSocket->state();
    qCDebug(lcDevice).noquote() << "TelnetDevice::writeCommand : [" + m_strHost + "] buzzer flag :"
                                << flagText() << state << "] :" << data;
    if (state == QAbstractSocket::UnconnectedState) {
        open();
        return 0;
    }
    if (state != QAbstractSocket::ConnectedState)
        return 0;

    const QByteArray unfinished = m_lineBuffer.takeUnfinished();
    if (!unfinished.isEmpty()) {
        qCDebug(lcDevice).noquote() << "[ERROR] TelnetDevice::writeCommand : [" + m_strHost +
                                           "] : unfinished reply dropped :"
                                    << unfinished;
    }
    const qint64 written = m_pSocket->write(data);
    if (written != data.size()) {
        qCWarning(lcDevice).noquote()
            << "[ERROR] TelnetDevice::writeCommand : [" + m_strHost + "] buzzer flag :"
            << flagText() << " written : " << written;
    }
    return written;
}

void TelnetDevice::sockConnected()
{
    qCDebug(lcDevice).noquote() << "#### TelnetDevice::sockConnected : buzzer flag :" << flagText()
                                << "[" + m_strHost + "]";
    applySocketOptions();
    m_bConnected = true;
    if (m_bBuzzerFlag)
        emit writeStartSync();
    else
        sendPoll();
}

void TelnetDevice::sockError(QAbstractSocket::SocketError error)
{
    const int code = static_cast<int>(error);
    if (code == QAbstractSocket::RemoteHostClosedError || code > 18)
        return;
    qCDebug(lcDevice).noquote() << "TelnetDevice::sockError : [" + m_strHost + "] buzzer flag :"
                                << flagText() << "[" << code << "]";
    m_bConnected = false;
    close();
}

void TelnetDevice::telnetStateChanged(QAbstractSocket::SocketState state)
{
    qCDebug(lcDevice).noquote() << "TelnetDevice::telnetStateChanged : buzzer flag :" << flagText()
                                << "[" + m_strHost + "] : [" << state << "]";
    if (state == QAbstractSocket::UnconnectedState)
        m_lineBuffer.clear();
}

void TelnetDevice::telnetDeleted()
{
    qCDebug(lcDevice).noquote() << "TelnetDevice::telnetDeleted : [" + m_strHost + "]";
    m_pSocket = nullptr;
}

void TelnetDevice::readData()
{
    if (!m_pSocket)
        return;
    bool dropped = false;
    QString text = m_lineBuffer.append(m_pSocket->readAll(), &dropped);
    if (dropped) {
        qCWarning(lcDevice).noquote()
            << "[ERROR] TelnetDevice::readData : [" + m_strHost + "] : line longer than"
            << LineBuffer::MAX_LINE << "bytes dropped";
    }
    if (text.isEmpty())
        return;
    text.remove(QLatin1Char('\r'));

    if (!m_bBuzzerFlag) {
        const int interval = m_nPollInterval;
        if (interval > 60000 || (interval > 1000 && !m_bKeepAlive))
            close();

        if (!stripReplyMarker(text, REPLY_MARKER)) {
            qCWarning(lcDevice).noquote()
                << "[ERROR] TelnetDevice::readData no 'ATDC' : buzzer flag :" << flagText()
                << "[" + m_strHost + "] :" << text;
            return;
        }
    }
    qCDebug(lcDevice).noquote() << "TelnetDevice::readData : buzzer flag :" << flagText()
                                << "[" + m_strHost + "] :" << text;
    emit readyRead(text);
}
