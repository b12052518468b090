#pragma once

#include <QByteArray>
#include <QString>

// Gathers the arrivals of a link into complete lines, so that a reply split by the
// transport is never read as two short replies. LF, CR LF and a lone CR each end a line.
// An unfinished line waits for the next arrival; a line that grows beyond MAX_LINE bytes
// is dropped up to its end.
class LineBuffer
{
public:
    static constexpr int MAX_LINE = 4096;

    // Takes one arrival and returns every line completed by it, each ended by one LF, as one
    // Latin-1 text (empty when nothing was completed). A NUL byte ends the arrival: the
    // bytes after it are ignored and the text before it counts as a finished reply, so a
    // NUL-padded reply is not glued to the next one. *dropped tells whether an overlong
    // line was discarded by this arrival.
    QString append(const QByteArray &arrival, bool *dropped = nullptr);

    // Hands back and forgets an unfinished line: a new request is going out, and the rest of
    // an old reply must not be joined to the start of the new one.
    QByteArray takeUnfinished();

    // Forgets an unfinished line (the link closed).
    void clear();

    int pendingSize() const { return m_pending.size(); }

private:
    QByteArray m_pending;
    bool m_bSkipping = false;
    bool m_bAfterCr = false;
};
