#pragma once

#include <QObject>
#include <QString>

class AvailableDeviceList;
class Recorder;
class QTimer;
class UsbEnumerator;

// velmoran-lite --headless PROJECT.tpc: records one project with no window and no display, as
// a service does. Alarms and errors go to standard error, where journald picks them up.
class HeadlessRecorder : public QObject
{
    Q_OBJECT

public:
    enum ExitCode
    {
        EXIT_OK = 0,
        EXIT_BAD_PROJECT = 2,
        EXIT_NO_DATABASE = 3,
        EXIT_LOCKED = 4
    };

    explicit HeadlessRecorder(QObject *parent = nullptr);
    ~HeadlessRecorder() override;

    // Opens the project and starts recording; EXIT_OK, or the code to end with (the message is
    // written already).
    int start(const QString &projectFile);
    // Stops the recording, writes what is queued and releases the project.
    void stop();

    Recorder *recorder() const { return m_pRecorder; }

private:
    void checkUsb();
    void logLine(const QString &line) const;

    Recorder *m_pRecorder = nullptr;
    AvailableDeviceList *m_pAvailDevices = nullptr;
    UsbEnumerator *m_pUsbEnumerator = nullptr;
    QTimer *m_usbTimer = nullptr;
};

// The program's entry for --headless: a QCoreApplication and the recorder, until SIGTERM or
// SIGINT (or the database size limit) ends it.
int runHeadless(int argc, char *argv[]);
