#include "tests/fuzz/fuzzsupport.h"

#include "device/configureddevice.h"
#include "project/projectfile.h"

#include <QDateTime>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

// A project file as anyone may have edited or damaged it, read as loading a project reads it.
// Input: a mode byte (bit 0: the device document alone, so the fuzzer need not learn the INI
// escaping to reach the JSON reader; bit 1: devices kept alive), then the content.

namespace {

// One file for every input (new names would grow the settings cache into a leak suspect), each
// write with a new modification time, or the cache would serve the previous input of that size.
QString writeProject(const QByteArray &content)
{
    static QTemporaryDir folder;
    static qint64 count = 0;
    const QString path = folder.filePath(QStringLiteral("project.tpc"));
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
    file.flush();
    FUZZ_CHECK(file.setFileTime(QDateTime::fromSecsSinceEpoch(1000000000 + ++count, Qt::UTC),
                                QFileDevice::FileModificationTime));
    file.close();
    return path;
}

QByteArray deviceDocument(const QByteArray &content)
{
    const QString path = writeProject(content);
    ProjectInfo info;
    FUZZ_CHECK(ProjectFile::readInfo(path, &info));
    ProjectFile::databasePath(path);
    ProjectFile::projectLabel(path, info.projectName);
    return ProjectFile::readDeviceList(path);
}

void checkLoaded(const QList<DeviceRecord> &records, const QList<ConfiguredDevice *> &devices)
{
    FUZZ_CHECK(devices.size() <= records.size());
    QSet<QString> numbers;
    for (const ConfiguredDevice *device : devices) {
        FUZZ_CHECK(!numbers.contains(device->deviceNumber()));
        numbers.insert(device->deviceNumber());
        FUZZ_CHECK(device->linkType() == LINK_SERIAL || device->linkType() == LINK_TCP);
        FUZZ_CHECK(device->ch1Unit() >= 0 && device->ch1Unit() <= 4);
        FUZZ_CHECK(device->ch2Unit() >= 0 && device->ch2Unit() <= 4);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    prepareFuzzTarget(true);
    FuzzPieces input(data, size);
    const quint8 mode = input.byte();
    const QByteArray content = input.rest();
    const QByteArray json = (mode & 1) ? content : deviceDocument(content);
    const bool keepAlive = mode & 2;

    QList<DeviceRecord> records;
    if (!ProjectFile::parseDeviceList(json, &records))
        return 0;

    QList<ConfiguredDevice *> devices;
    ProjectFile::applyRecords(records, &devices, keepAlive);
    checkLoaded(records, devices);

    // Saving what was loaded and loading it again must give the same devices, or every save
    // would change the project.
    const QByteArray saved = ProjectFile::deviceListJson(devices);
    QList<DeviceRecord> savedRecords;
    FUZZ_CHECK(ProjectFile::parseDeviceList(saved, &savedRecords));
    FUZZ_CHECK(savedRecords.size() == devices.size());
    QList<ConfiguredDevice *> reloaded;
    ProjectFile::applyRecords(savedRecords, &reloaded, keepAlive);
    FUZZ_CHECK(ProjectFile::deviceListJson(reloaded) == saved);

    // A second load over the open project updates the same devices in place.
    const QList<ConfiguredDevice *> before = devices;
    ProjectFile::applyRecords(records, &devices, keepAlive);
    FUZZ_CHECK(devices == before);

    qDeleteAll(reloaded);
    qDeleteAll(devices);
    return 0;
}
