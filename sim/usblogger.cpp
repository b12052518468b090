#include "sim/usblogger.h"

#include "sim/replyqueue.h"

#include <QDir>
#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

UsbLogger::UsbLogger(int index, const QString &linkDir, quint32 seed, QObject *parent)
    : SimLogger(QStringLiteral("usb%1").arg(index), LoggerBehaviour(index, "ATCD", false, seed),
                parent),
      m_nIndex(index), m_strLinkDir(linkDir)
{
    m_pQueue = new ReplyQueue([this](const QByteArray &bytes) { writeBytes(bytes); },
                              [this]() { stop(); }, this);
}

UsbLogger::~UsbLogger()
{
    stop();
}

QString UsbLogger::serialNumber() const
{
    return QStringLiteral("KX%1").arg(m_nIndex + 1, 4, 10, QLatin1Char('0'));
}

QString UsbLogger::portPath() const
{
    if (m_strLinkDir.isEmpty())
        return m_strSlavePath;
    return QDir(m_strLinkDir).filePath(QStringLiteral("ttyKX%1").arg(m_nIndex));
}

QString UsbLogger::loggerLine() const
{
    return QStringLiteral("LOGGER %1 USB %2 %3").arg(id(), portPath(), serialNumber());
}

bool UsbLogger::start(QString *error)
{
    if (m_nMaster >= 0)
        return true;
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        if (error)
            *error = QStringLiteral("%1: openpty failed: %2").arg(id(), qt_error_string(errno));
        return false;
    }
    struct termios raw;
    if (::tcgetattr(master, &raw) == 0) {
        ::cfmakeraw(&raw);
        ::tcsetattr(master, TCSANOW, &raw);
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    m_nMaster = master;
    m_nSlave = slave;
    m_strSlavePath = QString::fromLocal8Bit(::ptsname(master));
    m_pending.clear();
    m_unwritten.clear();

    m_pReadNotifier = new QSocketNotifier(master, QSocketNotifier::Read, this);
    connect(m_pReadNotifier, &QSocketNotifier::activated, this, &UsbLogger::slotReadable);
    m_pWriteNotifier = new QSocketNotifier(master, QSocketNotifier::Write, this);
    m_pWriteNotifier->setEnabled(false);
    connect(m_pWriteNotifier, &QSocketNotifier::activated, this, &UsbLogger::slotWritable);

    if (!updateLink(error)) {
        stop();
        return false;
    }
    return true;
}

void UsbLogger::stop()
{
    m_pQueue->clear();
    delete m_pReadNotifier;
    m_pReadNotifier = nullptr;
    delete m_pWriteNotifier;
    m_pWriteNotifier = nullptr;
    if (m_nMaster >= 0)
        ::close(m_nMaster);
    if (m_nSlave >= 0)
        ::close(m_nSlave);
    m_nMaster = -1;
    m_nSlave = -1;
    removeLink();
}

void UsbLogger::slotReadable()
{
    char buffer[4096];
    const ssize_t n = ::read(m_nMaster, buffer, sizeof(buffer));
    if (n > 0) {
        feedRequests(&m_pending, QByteArray(buffer, int(n)), m_pQueue);
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
        m_pReadNotifier->setEnabled(false);
    }
}

void UsbLogger::writeBytes(const QByteArray &bytes)
{
    if (m_nMaster < 0)
        return;
    m_unwritten += bytes;
    slotWritable();
}

void UsbLogger::slotWritable()
{
    while (!m_unwritten.isEmpty()) {
        const ssize_t n = ::write(m_nMaster, m_unwritten.constData(), size_t(m_unwritten.size()));
        if (n > 0) {
            m_unwritten.remove(0, int(n));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            m_pWriteNotifier->setEnabled(true);
            return;
        }
        m_unwritten.clear();
    }
    m_pWriteNotifier->setEnabled(false);
}

bool UsbLogger::updateLink(QString *error)
{
    if (m_strLinkDir.isEmpty())
        return true;
    const QString link = portPath();
    const QString temporary = link + QStringLiteral(".new");
    QFile::remove(temporary);
    // Renaming over the old link swaps it in one step, so a reader never finds it missing.
    if (::symlink(QFile::encodeName(m_strSlavePath).constData(),
                  QFile::encodeName(temporary).constData()) != 0 ||
        ::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(link).constData()) !=
            0) {
        if (error)
            *error = QStringLiteral("%1: cannot create link %2: %3")
                         .arg(id(), link, qt_error_string(errno));
        return false;
    }
    return true;
}

void UsbLogger::removeLink()
{
    if (!m_strLinkDir.isEmpty())
        QFile::remove(portPath());
}
