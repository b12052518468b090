#include "tests/fuzz/fuzzsupport.h"

#include "device/channelvalue.h"
#include "device/configureddevice.h"
#include "device/linebuffer.h"
#include "device/replymarker.h"
#include "store/pendingrowqueue.h"

#include <cmath>

// Arrivals of a logger, split where the fuzzer likes, go through the line gathering, the link's
// reply filter and the device's decoding. Input: a mode byte (bit 0: recording; 1: alarm limits;
// 2: a setup exchange waits for "OK"; 3: a USB logger), then one piece per arrival.

namespace {

// The text steps a link applies to gathered lines before the device sees them.
QString linkText(QString lines, QLatin1String marker)
{
    lines.remove(QLatin1Char('\r'));
    return stripReplyMarker(lines, marker) ? lines : QString();
}

bool isNoValueOrFinite(double value)
{
    return value == NO_VALUE || std::isfinite(value);
}

void checkFields(const QString &lines)
{
    for (QStringView line : QStringView(lines).split(u'\n')) {
        for (QStringView field : line.split(u',')) {
            const ChannelValue channel = parseChannelField(field);
            FUZZ_CHECK(isNoValueOrFinite(channel.value));
            if (channel.value == NO_VALUE)
                FUZZ_CHECK(channel.text.contains(QLatin1String("----")));
            else
                FUZZ_CHECK(channel.text == QString::number(channel.value, 'f', 2));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    prepareFuzzTarget(true);
    FuzzPieces input(data, size);
    const quint8 mode = input.byte();

    LineBuffer buffer;
    QByteArray stream;
    QString gathered;
    const bool usb = mode & 8;
    ConfiguredDevice device(usb ? QStringLiteral("KX0001") : QStringLiteral("024B580000AF"),
                            usb ? LINK_SERIAL : LINK_TCP);
    PendingRowQueue rows;
    if (mode & 1)
        device.startRecording(rows);
    if (mode & 2)
        device.setAlarmRange(-10.5f, 30.25f, 20.0f, 80.0f);
    if (mode & 4)
        device.setSyncState(ConfiguredDevice::STATE_START);

    while (!input.atEnd()) {
        const QByteArray arrival = input.piece();
        bool dropped = false;
        const QString lines = buffer.append(arrival, &dropped);
        stream += arrival;
        gathered += lines;
        FUZZ_CHECK(buffer.pendingSize() <= LineBuffer::MAX_LINE);
        FUZZ_CHECK(!lines.contains(QChar(u'\0')));
        if (!arrival.contains('\0'))
            FUZZ_CHECK(lines.isEmpty() || lines.endsWith(QLatin1Char('\n')));
        if (lines.isEmpty())
            continue;

        checkFields(lines);
        const QString text = linkText(lines, usb ? QLatin1String("ATCD") : QLatin1String("ATDC"));
        if (!text.isEmpty())
            device.readData(text);

        for (int i = 0; i < CHART_POINTS; ++i) {
            FUZZ_CHECK(isNoValueOrFinite(device.ch1Data()[i]));
            FUZZ_CHECK(isNoValueOrFinite(device.ch2Data()[i]));
        }
        FUZZ_CHECK(device.alarm1() == isOutsideAlarmRange(device.ch1Data()[CHART_POINTS - 1],
                                                          device.settings().ch1Min(),
                                                          device.settings().ch1Max()));
    }

    // Where the transport split the bytes must not change the lines: the same stream in one
    // arrival gives the same lines and leaves the same unfinished rest. A NUL ends an arrival
    // by design, so only NUL-free streams compare.
    if (!stream.contains('\0')) {
        LineBuffer whole;
        FUZZ_CHECK(whole.append(stream) == gathered);
        FUZZ_CHECK(whole.pendingSize() == buffer.pendingSize());
    }
    return 0;
}
