#include "ptypair.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

PtyPair::PtyPair()
{
    char name[256] = {};
    if (openpty(&m_masterFd, &m_slaveFd, name, nullptr, nullptr) != 0) {
        m_masterFd = m_slaveFd = -1;
        return;
    }
    termios raw;
    tcgetattr(m_slaveFd, &raw);
    cfmakeraw(&raw);
    tcsetattr(m_slaveFd, TCSANOW, &raw);
    fcntl(m_masterFd, F_SETFL, fcntl(m_masterFd, F_GETFL) | O_NONBLOCK);
    m_slavePath = QString::fromLocal8Bit(name);
}

PtyPair::~PtyPair()
{
    closeMaster();
    if (m_slaveFd >= 0)
        ::close(m_slaveFd);
}

bool PtyPair::send(const QByteArray &bytes)
{
    return m_masterFd >= 0 && ::write(m_masterFd, bytes.constData(), bytes.size()) == bytes.size();
}

QByteArray PtyPair::takeReceived()
{
    QByteArray all;
    char buffer[512];
    while (m_masterFd >= 0) {
        const ssize_t n = ::read(m_masterFd, buffer, sizeof(buffer));
        if (n <= 0)
            break;
        all.append(buffer, int(n));
    }
    return all;
}

void PtyPair::closeMaster()
{
    if (m_masterFd >= 0)
        ::close(m_masterFd);
    m_masterFd = -1;
}
