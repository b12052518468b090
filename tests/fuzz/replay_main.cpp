#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

// Runs the fuzz target over the kept inputs (or the files and folders named on the command line),
// so that every crash once found and every seed stays a test of the normal build.
int main(int argc, char **argv)
{
    QStringList paths{QStringLiteral(FUZZ_REGRESSION_DIR), QStringLiteral(FUZZ_SEED_DIR)};
    if (argc > 1)
        paths.clear();
    for (int i = 1; i < argc; ++i)
        paths << QString::fromLocal8Bit(argv[i]);
    int count = 0;
    for (const QString &path : paths) {
        const QDir dir(path);
        const QStringList files = QFileInfo(path).isFile()
                                      ? QStringList{QFileInfo(path).absoluteFilePath()}
                                      : dir.entryList(QDir::Files, QDir::Name);
        for (const QString &name : files) {
            QFile input(dir.filePath(name));
            if (!input.open(QIODevice::ReadOnly))
                return 1;
            const QByteArray bytes = input.readAll();
            std::fprintf(stderr, "replay %s (%d bytes)\n", qPrintable(name), int(bytes.size()));
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.constData()),
                                   size_t(bytes.size()));
            ++count;
        }
    }
    // No input at all means the folders moved: that must not pass silently.
    return count > 0 ? 0 : 1;
}
