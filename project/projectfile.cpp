#include "project/projectfile.h"
#include "store/logcategories.h"

#include "device/configureddevice.h"

#include <QDebug>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QLockFile>
#include <QSettings>

namespace {

const QString KEY_PROJECT_NAME = QStringLiteral("projectName");
const QString KEY_DATA_INTERVAL = QStringLiteral("DataInterval");
const QString KEY_DATABASE_NAME = QStringLiteral("databaseName");
// The address of a central PostgreSQL database; missing or empty: the SQLite file.
const QString KEY_DATABASE_URL = QStringLiteral("databaseUrl");
const QString KEY_DEVICE_LIST = QStringLiteral("DeviceList");
const QString KEY_BACKUP = QStringLiteral("Backup");
const QString KEY_DASHBOARD_NAMES = QStringLiteral("dashboardNames");

constexpr int LABEL_FOLDER_LENGTH = 40;
// No live writer holds the project file's lock longer than a write takes.
constexpr int DEAD_LOCK_MS = 3000;

// A writer killed while taking the file's lock leaves it without an owner's name, and QSettings
// waits 30 s before it calls such a lock stale: a recorder started after a crash would sit that
// long in its start, deaf to a stop request.
void clearDeadLock(const QString &path)
{
    QLockFile lock(path + QStringLiteral(".lock"));
    lock.setStaleLockTime(DEAD_LOCK_MS);
    if (lock.tryLock(DEAD_LOCK_MS + 500))
        lock.unlock();
}

// QSettings only reports a failed write through its status after sync().
bool written(QSettings &settings, const QString &path, const char *operation)
{
    clearDeadLock(path);
    settings.sync();
    if (settings.status() == QSettings::AccessError) {
        qCWarning(lcProject).noquote()
            << "ProjectFile::" + QLatin1String(operation) + " : [ERROR] cannot write " + path;
        return false;
    }
    return true;
}

int unitCode(const QJsonObject &object, const QString &key)
{
    const int code = object.value(key).toString().toInt();
    return code >= 1 && code <= 4 ? code : 0;
}

float limit(const QJsonObject &object, const QString &key)
{
    return object.value(key).toString().toFloat();
}

QString limitText(float value)
{
    return QString::number(double(value), 'f', 2);
}

// The serial a logger's rows are stored under is always a text: the database refuses a row
// without one, and the samples of every other logger would wait behind it.
QString deviceNumber(const QJsonValue &value)
{
    if (value.isString()) {
        return value.toString();
    }
    if (value.isDouble()) {
        const QString text = value.toVariant().toString();
        qWarning().noquote() << "ProjectFile : WARNING : DeviceNumber" << text
                             << "is a number, read as its text";
        return text;
    }
    qWarning().noquote() << "ProjectFile : WARNING : a device entry has no DeviceNumber, read as "
                            "an empty text";
    return QStringLiteral("");
}

DeviceRecord readRecord(const QJsonObject &object)
{
    DeviceRecord record;
    const auto text = [&object](const char *key) {
        return object.value(QLatin1String(key)).toString();
    };
    record.deviceName = text("DeviceName");
    record.ch1Name = text("Ch1Name");
    record.ch2Name = text("Ch2Name");
    record.deviceNumber = deviceNumber(object.value(QLatin1String("DeviceNumber")));
    record.deviceType = text("DeviceType");
    record.deviceInterface = text("DeviceInterface");
    record.devicePort = text("DevicePort").toUShort();
    record.ch1Unit = unitCode(object, QStringLiteral("ch1_unit"));
    record.ch1Min = limit(object, QStringLiteral("ch1_min"));
    record.ch1Max = limit(object, QStringLiteral("ch1_max"));
    record.ch1Custom = text("ch1_custom");
    record.ch2Unit = unitCode(object, QStringLiteral("ch2_unit"));
    record.ch2Min = limit(object, QStringLiteral("ch2_min"));
    record.ch2Max = limit(object, QStringLiteral("ch2_max"));
    record.ch2Custom = text("ch2_custom");
    record.buzzerAlarm = text("buzzerAlarm");
    const QJsonValue dashboard = object.value(QLatin1String("DashboardNumber"));
    record.dashboardNumber = dashboard.isDouble() ? dashboard.toInt(0) : 0;
    return record;
}

QJsonObject deviceObject(const ConfiguredDevice *device)
{
    float range[4] = {0, 0, 0, 0};
    device->alarmRange(range);
    QJsonObject object;
    object.insert(QStringLiteral("DeviceName"), device->deviceName());
    object.insert(QStringLiteral("Ch1Name"), device->ch1Name());
    object.insert(QStringLiteral("Ch2Name"), device->ch2Name());
    object.insert(QStringLiteral("DeviceNumber"), device->deviceNumber());
    object.insert(QStringLiteral("DeviceType"), device->linkType() == LINK_SERIAL
                                                    ? QStringLiteral("SERIAL")
                                                    : QStringLiteral("TELNET"));
    object.insert(QStringLiteral("DeviceInterface"), device->deviceInterface());
    object.insert(QStringLiteral("DevicePort"), QString::number(device->devicePort()));
    object.insert(QStringLiteral("ch1_unit"), QString::number(device->ch1Unit()));
    object.insert(QStringLiteral("ch1_min"), limitText(range[0]));
    object.insert(QStringLiteral("ch1_max"), limitText(range[1]));
    object.insert(QStringLiteral("ch1_custom"), device->ch1Custom());
    object.insert(QStringLiteral("ch2_unit"), QString::number(device->ch2Unit()));
    object.insert(QStringLiteral("ch2_min"), limitText(range[2]));
    object.insert(QStringLiteral("ch2_max"), limitText(range[3]));
    object.insert(QStringLiteral("ch2_custom"), device->ch2Custom());
    object.insert(QStringLiteral("buzzerAlarm"), device->buzzerAlarm());
    object.insert(QStringLiteral("DashboardNumber"), device->dashboardNumber());
    return object;
}

ConfiguredDevice *findDevice(const QList<ConfiguredDevice *> &devices, const QString &number)
{
    for (ConfiguredDevice *device : devices) {
        if (device && device->deviceNumber() == number) {
            return device;
        }
    }
    return nullptr;
}

} // namespace

namespace ProjectFile {

QString baseName(const QString &path)
{
    return QFileInfo(path).baseName();
}

QString databasePath(const QString &projectFile)
{
    return QFileInfo(projectFile).absolutePath() + QLatin1Char('/') +
           readString(projectFile, KEY_DATABASE_NAME);
}

QString databaseUrl(const QString &projectFile)
{
    return readString(projectFile, KEY_DATABASE_URL).trimmed();
}

bool writeDatabaseUrl(const QString &projectFile, const QString &url)
{
    return writeValue(projectFile, KEY_DATABASE_URL, url.trimmed());
}

QString storeLocation(const QString &projectFile)
{
    const QString url = databaseUrl(projectFile);
    return url.isEmpty() ? databasePath(projectFile) : url;
}

QString projectLabel(const QString &projectFile, const QString &projectName)
{
    QString folder = QFileInfo(projectFile).absolutePath();
    if (folder.length() > LABEL_FOLDER_LENGTH) {
        folder = folder.left(LABEL_FOLDER_LENGTH) + QStringLiteral("...");
    }
    return folder + QLatin1Char('/') + projectName + QStringLiteral(".tpc");
}

bool create(const QString &path, const QString &projectName, int interval)
{
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue(KEY_PROJECT_NAME, projectName);
    settings.setValue(KEY_DATA_INTERVAL, interval);
    settings.setValue(KEY_DATABASE_NAME, projectName + QStringLiteral(".dat"));
    return written(settings, path, "create");
}

bool readInfo(const QString &path, ProjectInfo *out)
{
    if (!out || !QFileInfo(path).isFile()) {
        return false;
    }
    QSettings settings(path, QSettings::IniFormat);
    if (settings.status() == QSettings::AccessError) {
        return false;
    }
    out->projectName = settings.value(KEY_PROJECT_NAME).toString();
    out->dataInterval = settings.value(KEY_DATA_INTERVAL).toInt();
    out->databaseName = settings.value(KEY_DATABASE_NAME).toString();
    out->dashboardNames = settings.value(KEY_DASHBOARD_NAMES).toStringList();
    return true;
}

bool parseDeviceList(const QByteArray &json, QList<DeviceRecord> *out)
{
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject()) {
        return false;
    }
    if (!out) {
        return true;
    }
    out->clear();
    const QJsonArray devices = document.object().value(QLatin1String("devices")).toArray();
    for (const QJsonValue &entry : devices) {
        const QJsonObject object = entry.toObject();
        const QJsonValue type = object.value(QLatin1String("DeviceType"));
        if (type.isUndefined() || type.isNull()) {
            continue;
        }
        out->append(readRecord(object));
    }
    return true;
}

QByteArray readDeviceList(const QString &path)
{
    QSettings settings(path, QSettings::IniFormat);
    return settings.value(KEY_DEVICE_LIST).toByteArray();
}

QByteArray deviceListJson(const QList<ConfiguredDevice *> &devices)
{
    QJsonArray array;
    for (const ConfiguredDevice *device : devices) {
        if (device) {
            array.append(deviceObject(device));
        }
    }
    QJsonObject root;
    root.insert(QStringLiteral("devices"), array);
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

bool saveDevices(const QString &path, const QList<ConfiguredDevice *> &devices)
{
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue(KEY_BACKUP, settings.value(KEY_DEVICE_LIST).toByteArray());
    settings.setValue(KEY_DEVICE_LIST, deviceListJson(devices));
    return written(settings, path, "saveDevices");
}

bool writeConfiguration(const QString &path, int interval, const QStringList &dashboardNames)
{
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue(KEY_DATA_INTERVAL, interval);
    settings.setValue(KEY_DASHBOARD_NAMES, dashboardNames);
    return written(settings, path, "writeConfiguration");
}

bool writeValue(const QString &path, const QString &key, const QVariant &value)
{
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue(key, value);
    return written(settings, path, "writeValue");
}

QString readString(const QString &path, const QString &key)
{
    QSettings settings(path, QSettings::IniFormat);
    return settings.value(key).toString();
}

bool communicationLossAlarm(const QString &path)
{
    const QString text = readString(path, QStringLiteral("communicationLossAlarm")).trimmed();
    return !(text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0 ||
             text == QLatin1String("0"));
}

bool setCommunicationLossAlarm(const QString &path, bool on)
{
    return writeValue(path, QStringLiteral("communicationLossAlarm"), on);
}

void applyRecords(const QList<DeviceRecord> &records, QList<ConfiguredDevice *> *deviceList,
                  bool keepAlive)
{
    if (!deviceList) {
        return;
    }
    for (const DeviceRecord &record : records) {
        ConfiguredDevice *device = findDevice(*deviceList, record.deviceNumber);
        if (!device) {
            qCDebug(lcProject) << "new ConfiguredDevice : " << record.deviceName
                               << record.deviceNumber << record.deviceInterface
                               << record.devicePort;
            device = new ConfiguredDevice(record.deviceNumber,
                                          record.deviceType == QLatin1String("SERIAL") ? LINK_SERIAL
                                                                                       : LINK_TCP);
            deviceList->append(device);
        } else {
            qCDebug(lcProject) << "ConfiguredDevice : " << record.deviceName << record.deviceNumber
                               << record.deviceInterface << record.devicePort;
        }
        device->setConnection(record.deviceName, record.ch1Name, record.ch2Name,
                              record.deviceInterface, record.devicePort);
        device->setUnits(record.ch1Unit, record.ch2Unit);
        device->setAlarmRange(record.ch1Min, record.ch1Max, record.ch2Min, record.ch2Max);
        device->setCh1Custom(record.ch1Custom);
        device->setCh2Custom(record.ch2Custom);
        device->setBuzzerAlarm(record.buzzerAlarm);
        device->setDashboardNumber(record.dashboardNumber);
        device->setKeepAlive(keepAlive);
    }
}

} // namespace ProjectFile
