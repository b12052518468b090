#include "device/serialdevice.h"

#include "device/devicetypes.h"
#include "device/replymarker.h"
#include "store/logcategories.h"

namespace {
const char POLL_REQUEST[] = "ATCD\r\n";
const QLatin1String REPLY_MARKER("ATCD");
} // namespace

SerialDevice::SerialDevice(QObject *parent)
    : QObject(parent), m_nDeviceType(LINK_SERIAL), m_pSerialPort(new QSerialPort(this))
{
    m_pSerialPort->setBaudRate(QSerialPort::Baud115200, QSerialPort::AllDirections);
    m_pSerialPort->setDataBits(QSerialPort::Data8);
    m_pSerialPort->setParity(QSerialPort::NoParity);
    m_pSerialPort->setStopBits(QSerialPort::OneStop);
    m_pSerialPort->setFlowControl(QSerialPort::NoFlowControl);

    QObject::connect(m_pSerialPort, &QSerialPort::readyRead, this, &SerialDevice::readData);
    QObject::connect(m_pSerialPort, &QSerialPort::errorOccurred, this, &SerialDevice::serialError);
    QObject::connect(m_pSerialPort, &QObject::destroyed, this, &SerialDevice::serialDeleted);
}

SerialDevice::~SerialDevice()
{
    qCDebug(lcDevice).noquote() << "SerialDevice::~SerialDevice : [" + m_strPortName + "]";
    if (m_pSerialPort) {
        m_pSerialPort->close();
        delete m_pSerialPort;
        m_pSerialPort = nullptr;
    }
}

bool SerialDevice::open()
{
    if (!m_pSerialPort)
        return false;
    m_lineBuffer.clear();
    m_bWriteFailing = false;
    m_pSerialPort->setPortName(m_strPortName);
    qCDebug(lcDevice).noquote() << "SerialDevice::open : [" + m_strPortName + "]";
    return m_pSerialPort->open(QIODevice::ReadWrite);
}

void SerialDevice::close()
{
    qCDebug(lcDevice).noquote() << "SerialDevice::close : [" + m_strPortName + "]";
    m_lineBuffer.clear();
    if (m_pSerialPort)
        m_pSerialPort->close();
}

QString SerialDevice::deviceInfo() const
{
    return m_pSerialPort ? m_pSerialPort->portName() : QString();
}

int SerialDevice::deviceType() const
{
    return m_nDeviceType;
}

bool SerialDevice::isOpen() const
{
    return m_pSerialPort && m_pSerialPort->isOpen();
}

void SerialDevice::setDeviceInfo(const QString &address, quint16 port)
{
    Q_UNUSED(port)
    m_strPortName = address;
}

void SerialDevice::write()
{
    writeCommand(QByteArray(POLL_REQUEST));
}

bool SerialDevice::connect(const char *signal, const QObject *receiver, const char *method)
{
    return static_cast<bool>(QObject::connect(this, signal, receiver, method));
}

bool SerialDevice::disconnect(const char *signal, const QObject *receiver, const char *method)
{
    return QObject::disconnect(this, signal, receiver, method);
}

void SerialDevice::writeCommand(const QByteArray &data)
{
    if (!m_pSerialPort)
        return;
    const QByteArray unfinished = m_lineBuffer.takeUnfinished();
    if (!unfinished.isEmpty()) {
        qCWarning(lcDevice).noquote() << "[ERROR] SerialDevice::writeCommand : [" + m_strPortName +
                                             "] : unfinished reply dropped :"
                                      << unfinished;
    }
    const qint64 written = isOpen() ? m_pSerialPort->write(data) : -1;
    if (written > 0) {
        m_bWriteFailing = false;
        qCDebug(lcDevice).noquote()
            << "SerialDevice::writeCommand : [" + m_strPortName + "] :" << data;
    } else {
        // A closed port (logger unplugged or not found yet) fails at every poll: say it once.
        const QString line = "[ERROR] SerialDevice::writeCommand : [" + m_strPortName + "] :";
        if (m_bWriteFailing)
            qCDebug(lcDevice).noquote() << line << data;
        else
            qCWarning(lcDevice).noquote() << line << data;
        m_bWriteFailing = true;
        emit disconnected();
    }
}

void SerialDevice::readData()
{
    if (!m_pSerialPort)
        return;
    bool dropped = false;
    QString text = m_lineBuffer.append(m_pSerialPort->readAll(), &dropped);
    if (dropped) {
        qCWarning(lcDevice).noquote()
            << "[ERROR] SerialDevice::readData : [" + m_strPortName + "] : line longer than"
            << LineBuffer::MAX_LINE << "bytes dropped";
    }
    if (text.isEmpty())
        return;

    text.remove(QLatin1Char('\r'));
    if (!stripReplyMarker(text, REPLY_MARKER)) {
        qCWarning(lcDevice).noquote()
            << "[ERROR] SerialDevice::readData no 'ATCD' : [" + m_strPortName + "] :" << text;
        return;
    }
    qCDebug(lcDevice).noquote() << "SerialDevice::readData : [" + m_strPortName + "] :" << text;
    emit readyRead(text);
}

void SerialDevice::serialDeleted()
{
    qCDebug(lcDevice).noquote() << "SerialDevice::serialDeleted : [" + m_strPortName + "]";
    m_pSerialPort = nullptr;
}

// Qt 6 no longer reports parity, framing and break conditions, so the errors left are
// matched by name; NotOpenError and anything newer change nothing.
void SerialDevice::serialError(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::NoError:
        emit connected();
        return;
    case QSerialPort::DeviceNotFoundError:
    case QSerialPort::PermissionError:
    case QSerialPort::OpenError:
    case QSerialPort::WriteError:
    case QSerialPort::ReadError:
    case QSerialPort::ResourceError:
    case QSerialPort::UnsupportedOperationError:
    case QSerialPort::UnknownError:
    case QSerialPort::TimeoutError:
        break;
    default:
        return;
    }
    qCDebug(lcDevice).noquote() << "SerialDevice::serialError : [" + m_strPortName + "] err :"
                                << static_cast<int>(error);
    // A pseudo-terminal refuses the modem-line ioctls (DTR) that the port issues right
    // after opening; the port stays usable, so only an unsupported operation that left
    // the port closed counts as a failure.
    if (error == QSerialPort::UnsupportedOperationError && isOpen())
        return;
    // A port whose device went away keeps signalling readable and fails every read, which
    // would repeat this error on every turn of the event loop; closing it ends that, and
    // the owner reopens the port when the logger is back.
    if ((error == QSerialPort::ReadError || error == QSerialPort::ResourceError) && isOpen())
        m_pSerialPort->close();
    emit disconnected();
}
