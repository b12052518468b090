#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

QStringList inputFiles(const QString &path)
{
    const QFileInfo info(path);
    if (info.isFile())
        return {path};
    QStringList files;
    const QDir dir(path);
    for (const QString &name : dir.entryList(QDir::Files, QDir::Name))
        files.append(dir.filePath(name));
    return files;
}

} // namespace

// Runs the fuzz target over the kept inputs (or the files and folders named on the command
// line), so that every crash once found and every seed stays a test of the normal build.
int main(int argc, char **argv)
{
    QStringList paths;
    for (int i = 1; i < argc; ++i)
        paths.append(QString::fromLocal8Bit(argv[i]));
    if (paths.isEmpty())
        paths = {QStringLiteral(FUZZ_REGRESSION_DIR), QStringLiteral(FUZZ_SEED_DIR)};

    int count = 0;
    for (const QString &path : paths) {
        for (const QString &file : inputFiles(path)) {
            QFile input(file);
            if (!input.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", qPrintable(file));
                return 1;
            }
            const QByteArray bytes = input.readAll();
            std::fprintf(stderr, "replay %s (%d bytes)\n", qPrintable(file), int(bytes.size()));
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.constData()),
                                   size_t(bytes.size()));
            ++count;
        }
    }
    std::fprintf(stderr, "%d inputs replayed\n", count);
    // No input at all means the folders moved: that must not pass silently.
    return count > 0 ? 0 : 1;
}
