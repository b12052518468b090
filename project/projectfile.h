#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

class ConfiguredDevice;

// One logger entry of a project file's device document, as read.
struct DeviceRecord
{
    QString deviceName, ch1Name, ch2Name, deviceNumber, deviceType, deviceInterface;
    quint16 devicePort = 0;
    int ch1Unit = 0, ch2Unit = 0;
    float ch1Min = 0, ch1Max = 0, ch2Min = 0, ch2Max = 0;
    QString ch1Custom, ch2Custom, buzzerAlarm;
    int dashboardNumber = 0;
};

struct ProjectInfo
{
    QString projectName;
    // As stored: 0 when the key is missing or not a number, and a zero or negative value is
    // passed on unchanged. The caller decides which interval applies then (the main window
    // keeps 10000 ms).
    int dataInterval = 0;
    QString databaseName;
    QStringList dashboardNames;
};

// The project file (".tpc"): an INI file whose keys all lie in the general section, with the
// logger configuration as a JSON document under "DeviceList". Every operation opens the file
// on its own, so nothing is cached between calls. Writers return false when the file could
// not be written.
namespace ProjectFile {

// The file name up to its first ".": Line1.old.tpc gives Line1.
QString baseName(const QString &path);
// Folder of the project file + "/" + its databaseName.
QString databasePath(const QString &projectFile);
// The project's central PostgreSQL database ("databaseUrl", postgresql://user@host:port/db),
// empty when it records into its SQLite file. The address never holds a password.
QString databaseUrl(const QString &projectFile);
bool writeDatabaseUrl(const QString &projectFile, const QString &url);
// Where the project's samples are: its database address if it has one, else databasePath.
QString storeLocation(const QString &projectFile);
// The folder (cut to 40 characters followed by "...") + "/" + project name + ".tpc".
QString projectLabel(const QString &projectFile, const QString &projectName);

bool create(const QString &path, const QString &projectName, int interval);
// false when the file does not exist or cannot be read. A DataInterval that is missing or not
// a number is reported as 0, and a zero or negative one as it stands: the caller substitutes
// its default (10000 ms) for such a value.
bool readInfo(const QString &path, ProjectInfo *out);

// Parses a DeviceList byte array. false = not a JSON object ("There is no device information!").
// Entries without "DeviceType" (missing or null) are left out.
bool parseDeviceList(const QByteArray &json, QList<DeviceRecord> *out);
QByteArray readDeviceList(const QString &path);
QByteArray deviceListJson(const QList<ConfiguredDevice *> &devices);
// Keeps the previous DeviceList, byte for byte, under "Backup", then writes the new one.
bool saveDevices(const QString &path, const QList<ConfiguredDevice *> &devices);
bool writeConfiguration(const QString &path, int interval, const QStringList &dashboardNames);
bool writeValue(const QString &path, const QString &key, const QVariant &value);
QString readString(const QString &path, const QString &key);
// "communicationLossAlarm": whether a logger that stops answering sounds the alarm. Missing
// (every file older than the option) reads as on; only "false" or 0 turn it off.
bool communicationLossAlarm(const QString &path);
bool setCommunicationLossAlarm(const QString &path, bool on);

// Creates (link type from deviceType) or updates (link type kept) and configures the devices
// of the records, in record order; a later record for the same logger wins. New devices are
// appended to deviceList, which keeps its order otherwise.
void applyRecords(const QList<DeviceRecord> &records, QList<ConfiguredDevice *> *deviceList,
                  bool keepAlive);

} // namespace ProjectFile
