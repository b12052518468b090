#include "sim/commandconsole.h"

#include <QSocketNotifier>

#include <cerrno>
#include <unistd.h>

CommandConsole::CommandConsole(QObject *parent)
    : QObject(parent), m_pNotifier(new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this))
{
    connect(m_pNotifier, &QSocketNotifier::activated, this, &CommandConsole::slotReadable);
}

void CommandConsole::slotReadable()
{
    char buffer[4096];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof(buffer));
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n <= 0) {
        m_pNotifier->setEnabled(false);
        return;
    }
    m_pending.append(buffer, int(n));
    int lf;
    while ((lf = m_pending.indexOf('\n')) >= 0) {
        QByteArray line = m_pending.left(lf);
        m_pending.remove(0, lf + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        emit lineReceived(line);
    }
}
