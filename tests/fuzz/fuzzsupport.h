#pragma once

#include <QByteArray>
#include <QGuiApplication>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Reads a fuzzer input as a sequence of pieces, each a length byte followed by that many bytes,
// so that the fuzzer itself chooses where a transport splits its data. A length beyond the end
// takes what is left.
class FuzzPieces
{
public:
    FuzzPieces(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}

    bool atEnd() const { return m_pos >= m_size; }

    quint8 byte() { return atEnd() ? 0 : m_data[m_pos++]; }

    QByteArray piece()
    {
        const size_t wanted = byte();
        const size_t length = qMin(wanted, m_size - m_pos);
        const QByteArray bytes(reinterpret_cast<const char *>(m_data + m_pos), int(length));
        m_pos += length;
        return bytes;
    }

    QByteArray rest()
    {
        const QByteArray bytes(reinterpret_cast<const char *>(m_data + m_pos), int(m_size - m_pos));
        m_pos = m_size;
        return bytes;
    }

private:
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

// Devices load icons and fonts, which needs a GUI application; one offscreen instance serves every
// input. The diagnostics every decoded line writes would cost more than the decoding.
inline void ensureGuiApplication()
{
    if (QCoreApplication::instance())
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    new QGuiApplication(argc, argv);
}

// Diagnostics only, for targets that need no application object.
inline void silenceDiagnostics()
{
    static const bool once = [] {
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
        return true;
    }();
    Q_UNUSED(once);
}
