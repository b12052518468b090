#include "app/wavdata.h"

#include <QIODevice>
#include <QtEndian>

namespace {
constexpr quint16 FORMAT_PCM = 1;
constexpr quint16 FORMAT_FLOAT = 3;
constexpr quint16 FORMAT_EXTENSIBLE = 0xFFFE;
constexpr int RIFF_HEADER_SIZE = 12;
constexpr int CHUNK_HEADER_SIZE = 8;
constexpr int FMT_MIN_SIZE = 16;

quint16 le16(const char *p)
{
    return qFromLittleEndian<quint16>(p);
}

quint32 le32(const char *p)
{
    return qFromLittleEndian<quint32>(p);
}

QAudioFormat::SampleFormat sampleFormatFor(quint16 formatTag, quint16 bits)
{
    if (formatTag == FORMAT_FLOAT)
        return bits == 32 ? QAudioFormat::Float : QAudioFormat::Unknown;
    switch (bits) {
    case 8:
        return QAudioFormat::UInt8;
    case 16:
        return QAudioFormat::Int16;
    case 32:
        return QAudioFormat::Int32;
    default:
        return QAudioFormat::Unknown;
    }
}
} // namespace

bool readWav(QIODevice *source, WavData *out, QString *error)
{
    const QByteArray bytes = source->readAll();
    if (bytes.size() < RIFF_HEADER_SIZE || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE") {
        *error = QStringLiteral("not a RIFF/WAVE file");
        return false;
    }

    bool haveFormat = false;
    QAudioFormat format;
    qsizetype pos = RIFF_HEADER_SIZE;
    while (pos + CHUNK_HEADER_SIZE <= bytes.size()) {
        const char *chunk = bytes.constData() + pos;
        const QByteArray id(chunk, 4);
        const qsizetype size = le32(chunk + 4);
        const qsizetype body = pos + CHUNK_HEADER_SIZE;
        const qsizetype available = qMin(size, bytes.size() - body);

        if (id == "fmt ") {
            if (available < FMT_MIN_SIZE) {
                *error = QStringLiteral("format chunk too short");
                return false;
            }
            const char *fmt = bytes.constData() + body;
            quint16 formatTag = le16(fmt);
            const quint16 channels = le16(fmt + 2);
            const quint32 rate = le32(fmt + 4);
            const quint16 bits = le16(fmt + 14);
            // WAVE_FORMAT_EXTENSIBLE carries the real tag in the first two bytes of its GUID.
            if (formatTag == FORMAT_EXTENSIBLE && available >= 26)
                formatTag = le16(fmt + 24);
            const QAudioFormat::SampleFormat sampleFormat = sampleFormatFor(formatTag, bits);
            if ((formatTag != FORMAT_PCM && formatTag != FORMAT_FLOAT) ||
                sampleFormat == QAudioFormat::Unknown || channels == 0 || rate == 0) {
                *error = QStringLiteral("unsupported sample encoding");
                return false;
            }
            format.setSampleRate(int(rate));
            format.setChannelCount(channels);
            format.setSampleFormat(sampleFormat);
            haveFormat = true;
        } else if (id == "data") {
            if (!haveFormat) {
                *error = QStringLiteral("data chunk before format chunk");
                return false;
            }
            const int frame = format.bytesPerFrame();
            out->format = format;
            out->samples = bytes.mid(body, available - available % frame);
            return true;
        }
        // Chunks are padded to an even length.
        pos = body + size + (size & 1);
    }
    *error = QStringLiteral("no data chunk");
    return false;
}
