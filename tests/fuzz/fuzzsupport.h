#pragma once

#include <QByteArray>
#include <QGuiApplication>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Reads a fuzzer input as pieces, each a length byte followed by that many bytes, so that the
// fuzzer itself chooses where a transport splits its data. A length beyond the end takes the rest.
class FuzzPieces
{
public:
    FuzzPieces(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}
    bool atEnd() const { return m_pos >= m_size; }
    quint8 byte() { return atEnd() ? 0 : m_data[m_pos++]; }
    QByteArray piece() { return take(qMin(size_t(byte()), m_size - m_pos)); }
    QByteArray rest() { return take(m_size - m_pos); }

private:
    QByteArray take(size_t length)
    {
        m_pos += length;
        return QByteArray(reinterpret_cast<const char *>(m_data + m_pos - length), int(length));
    }
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// A broken promise of the code under test: stop so that the fuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

// The diagnostics every decoded line writes would cost more than the decoding. Devices load icons
// and fonts, which needs a GUI application: one offscreen instance serves every input.
inline void prepareFuzzTarget(bool gui)
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    if (!gui || QCoreApplication::instance())
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    new QGuiApplication(argc, argv);
}
