#include "device/linebuffer.h"

QString LineBuffer::append(const QByteArray &arrival, bool *dropped)
{
    bool lost = false;
    const int nul = arrival.indexOf('\0');
    const QByteArray data = nul < 0 ? arrival : arrival.left(nul);

    QByteArray complete;
    int start = 0;
    // The LF of a CR LF whose CR ended the previous arrival belongs to the line already given.
    if (m_bAfterCr && data.startsWith('\n'))
        start = 1;
    m_bAfterCr = false;

    while (start < data.size()) {
        int end = start;
        while (end < data.size() && data.at(end) != '\n' && data.at(end) != '\r')
            ++end;
        if (end == data.size())
            break;
        int next = end + 1;
        if (data.at(end) == '\r') {
            if (next < data.size() && data.at(next) == '\n')
                ++next;
            else if (next == data.size())
                m_bAfterCr = true;
        }
        const int pieceLength = end - start;
        if (m_bSkipping) {
            m_bSkipping = false;
        } else if (m_pending.size() + pieceLength > MAX_LINE) {
            lost = true;
        } else {
            complete += m_pending;
            complete += data.mid(start, pieceLength);
            complete += '\n';
        }
        m_pending.clear();
        start = next;
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
        m_bAfterCr = false;
    }

    if (dropped)
        *dropped = lost;
    return QString::fromLatin1(complete);
}

QByteArray LineBuffer::takeUnfinished()
{
    QByteArray piece;
    piece.swap(m_pending);
    return piece;
}

void LineBuffer::clear()
{
    m_pending.clear();
    m_bSkipping = false;
    m_bAfterCr = false;
}
