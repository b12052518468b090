#include "device/replymarker.h"

bool stripReplyMarker(QString &text, QLatin1String marker)
{
    if (!text.contains(marker))
        return false;
    text.remove(QLatin1Char(' '));
    text.remove(marker);
    return true;
}
