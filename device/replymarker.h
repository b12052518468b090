#pragma once

#include <QLatin1String>
#include <QString>

// A link passes on only the text its logger marked as an answer. Returns false, leaving the
// text as it is, when the marker is missing; otherwise removes every space and every marker,
// so that only the reply lines remain.
bool stripReplyMarker(QString &text, QLatin1String marker);
