#include "device/linebuffer.h"

QString LineBuffer::append(const QByteArray &arrival, bool *dropped)
{
    bool lost = false;
    const int nul = arrival.indexOf('\0');
    const QByteArray data = nul < 0 ? arrival : arrival.left(nul);

    QByteArray complete;
    int start = 0;
    while (start < data.size()) {
        const int lf = data.indexOf('\n', start);
        if (lf < 0)
            break;
        const int pieceLength = lf + 1 - start;
        if (m_bSkipping) {
            m_bSkipping = false;
        } else if (m_pending.size() + pieceLength - 1 > MAX_LINE) {
            lost = true;
        } else {
            complete += m_pending;
            complete += data.mid(start, pieceLength);
        }
        m_pending.clear();
        start = lf + 1;
    }

    if (start < data.size() && !m_bSkipping) {
        m_pending += data.mid(start);
        if (m_pending.size() > MAX_LINE) {
            m_pending.clear();
            m_bSkipping = true;
            lost = true;
        }
    }

    if (nul >= 0) {
        complete += m_pending;
        m_pending.clear();
        m_bSkipping = false;
    }

    if (dropped)
        *dropped = lost;
    return QString::fromLatin1(complete);
}

void LineBuffer::clear()
{
    m_pending.clear();
    m_bSkipping = false;
}
