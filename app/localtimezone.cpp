#include "app/localtimezone.h"

#include <QByteArray>
#include <QtGlobal>

#include <time.h>

void pinLocalTimeZone()
{
#ifdef Q_OS_LINUX
    if (qEnvironmentVariableIsSet("TZ"))
        return;
    // The leading colon is the form glibc and Qt both read as "this zone file"; Qt still
    // finds the zone's name behind /etc/localtime.
    qputenv("TZ", QByteArrayLiteral(":/etc/localtime"));
    tzset();
#endif
}
