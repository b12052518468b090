#pragma once

// Names the system's time zone file in TZ when TZ is unset (Linux), before any time is shown.
// With TZ unset glibc checks /etc/localtime with a stat() on every local-time conversion, and
// the charts and tables convert many times per draw; named, the file is read once. A TZ the
// user set is left as it is. The price: a change of the system's zone while the program runs
// shows after a restart.
void pinLocalTimeZone();
