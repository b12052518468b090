#include "tests/fuzz/fuzzsupport.h"

#include "device/configureddevice.h"
#include "project/projectfile.h"

#include <QFile>
#include <QSet>
#include <QTemporaryDir>

// A project file as anyone may have edited or damaged it, read as loading a project reads it.
//
// Input: one mode byte, then the content. Mode bit 0 clear: the content is the whole project
// file; set: it is the device document alone, so the fuzzer need not learn the INI escaping to
// reach the JSON reader. Bit 1: the devices are kept alive.

namespace {

QString nextProjectPath()
{
    static QTemporaryDir folder;
    static int count = 0;
    return folder.filePath(QStringLiteral("project%1.tpc").arg(count++));
}

QByteArray deviceDocument(const QByteArray &content)
{
    const QString path = nextProjectPath();
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();

    ProjectInfo info;
    FUZZ_CHECK(ProjectFile::readInfo(path, &info));
    ProjectFile::databasePath(path);
    ProjectFile::projectLabel(path, info.projectName);
    const QByteArray json = ProjectFile::readDeviceList(path);
    QFile::remove(path);
    return json;
}

void checkLoaded(const QList<DeviceRecord> &records, const QList<ConfiguredDevice *> &devices)
{
    FUZZ_CHECK(devices.size() <= records.size());
    QSet<QString> numbers;
    for (const ConfiguredDevice *device : devices) {
        FUZZ_CHECK(!numbers.contains(device->m_strDeviceNumber));
        numbers.insert(device->m_strDeviceNumber);
        FUZZ_CHECK(device->m_nLinkType == LINK_SERIAL || device->m_nLinkType == LINK_TCP);
        FUZZ_CHECK(device->m_nCh1Unit >= 0 && device->m_nCh1Unit <= 4);
        FUZZ_CHECK(device->m_nCh2Unit >= 0 && device->m_nCh2Unit <= 4);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ensureGuiApplication();
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
