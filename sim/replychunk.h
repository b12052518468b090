#pragma once

#include <QByteArray>
#include <QList>

// One write of an answer: wait delayMs, write bytes, then optionally close the link.
struct ReplyChunk
{
    int delayMs = 0;
    QByteArray bytes;
    bool closeAfter = false;
};

using ReplyPlan = QList<ReplyChunk>;
