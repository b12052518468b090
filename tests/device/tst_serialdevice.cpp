#include "device/abstractdevice.h"
#include "device/devicetypes.h"
#include "device/serialdevice.h"
#include "ptypair.h"

#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>

#include <memory>

// SerialDevice against the logger end of a real pseudo-terminal.
class TestSerialDevice : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<PtyPair> m_pty;
    std::unique_ptr<SerialDevice> m_link;
    std::unique_ptr<QSignalSpy> m_replies;
    std::unique_ptr<QSignalSpy> m_arrivals;
    QStringList m_collected;

    void openLink()
    {
        m_link->setDeviceInfo(m_pty->slavePath(), 23);
        QVERIFY(m_link->open());
        m_arrivals = std::make_unique<QSignalSpy>(m_link->findChild<QSerialPort *>(),
                                                  &QSerialPort::readyRead);
    }

    // One arrival as the port sees it: wait until the port has read it.
    void arrive(const QByteArray &bytes)
    {
        const int before = m_arrivals->count();
        QVERIFY(m_pty->send(bytes));
        QTRY_VERIFY(m_arrivals->count() > before);
    }

    QString onlyReply()
    {
        if (m_replies->count() != 1)
            return QStringLiteral("<%1 replies>").arg(m_replies->count());
        return m_replies->takeFirst().at(0).toString();
    }

public Q_SLOTS:
    void collect(const QString &text) { m_collected << text; }

private Q_SLOTS:
    void init()
    {
        m_pty = std::make_unique<PtyPair>();
        QVERIFY(m_pty->isValid());
        m_link = std::make_unique<SerialDevice>();
        m_replies = std::make_unique<QSignalSpy>(m_link.get(), &SerialDevice::readyRead);
    }

    void cleanup()
    {
        m_arrivals.reset();
        m_replies.reset();
        m_link.reset();
        m_pty.reset();
    }

    void linkIsReachableThroughItsInterface()
    {
        QObject *object = m_link.get();
        AbstractDevice *link = qobject_cast<AbstractDevice *>(object);
        QVERIFY(link);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("No such signal"));
        QCOMPARE(object->qt_metacast("AbstractDevice"), static_cast<void *>(link));
        QCOMPARE(object->qt_metacast("com.velmoran.AbstractDevice"), static_cast<void *>(link));
        QCOMPARE(link->deviceType(), LINK_SERIAL);

        QVERIFY(link->connect(SIGNAL(readyRead(QString)), this, SLOT(collect(QString))));
        QVERIFY(!link->connect(SIGNAL(noSuchSignal()), this, SLOT(collect(QString))));
        openLink();
        arrive("ATCD 1,2\r\n");
        QCOMPARE(m_collected, QStringList{QStringLiteral("1,2\n")});
        QVERIFY(link->disconnect(SIGNAL(readyRead(QString)), this, SLOT(collect(QString))));
        arrive("ATCD 3,4\r\n");
        QCOMPARE(m_collected.size(), 1);
    }

    void openUsesTheAddressAndIgnoresThePort()
    {
        QSignalSpy lost(m_link.get(), &SerialDevice::disconnected);
        QSignalSpy usable(m_link.get(), &SerialDevice::connected);
        openLink();
        QVERIFY(m_link->isOpen());
        // Qt names a Unix port without its /dev/ folder.
        QCOMPARE(m_link->deviceInfo(), m_pty->slavePath().mid(5));
        QVERIFY(usable.count() >= 1);
        // The pty refuses the modem-line ioctls; that must not read as a lost logger.
        QCOMPARE(lost.count(), 0);
    }

    void refusedModemLineOperationOnAPtyIsNotAFailure()
    {
        openLink();
        QSerialPort *port = m_link->findChild<QSerialPort *>();
        QSignalSpy portErrors(port, &QSerialPort::errorOccurred);
        QSignalSpy lost(m_link.get(), &SerialDevice::disconnected);
        QVERIFY(!port->setDataTerminalReady(true));
        QVERIFY(portErrors.count() >= 1);
        QCOMPARE(portErrors.last().at(0).value<QSerialPort::SerialPortError>(),
                 QSerialPort::UnsupportedOperationError);
        QCOMPARE(lost.count(), 0);
        QVERIFY(m_link->isOpen());
        arrive("ATCD 1,2\r\n");
        QCOMPARE(onlyReply(), QStringLiteral("1,2\n"));
    }

    void openingAMissingPortReportsDisconnected()
    {
        QSignalSpy lost(m_link.get(), &SerialDevice::disconnected);
        m_link->setDeviceInfo(QStringLiteral("/dev/velmoran-no-such-port"), 0);
        QVERIFY(!m_link->open());
        QVERIFY(!m_link->isOpen());
        QCOMPARE(lost.count(), 1);
    }

    void pollRequestIsATCDWithCrLf()
    {
        openLink();
        m_link->write();
        QByteArray sent;
        QTRY_VERIFY((sent += m_pty->takeReceived()).size() >= 6);
        QCOMPARE(sent, QByteArray("ATCD\r\n"));
    }

    void replyIsEmittedWithoutMarkerCarriageReturnAndSpaces()
    {
        openLink();
        arrive("ATCD 23.4,45.6\r\n");
        QCOMPARE(onlyReply(), QStringLiteral("23.4,45.6\n"));
    }

    void markerTwiceInOneArrivalGivesBothLinesInOneText()
    {
        openLink();
        arrive("ATCD1,2\nATCD3,4\n");
        QCOMPARE(onlyReply(), QStringLiteral("1,2\n3,4\n"));
    }

    void bytesAfterANulAreIgnored()
    {
        openLink();
        arrive(QByteArray("ATCD 21.5,40.2\r\n\0ATCD 999.00,999.00\r\n", 38));
        QCOMPARE(onlyReply(), QStringLiteral("21.5,40.2\n"));
    }

    void nulEndsAnUnfinishedReplyInsteadOfJoiningTheNextOne()
    {
        openLink();
        arrive(QByteArray("ATCD 21.5,40.2\0junk", 19));
        QCOMPARE(onlyReply(), QStringLiteral("21.5,40.2"));
        arrive("ATCD 1,2\r\n");
        QCOMPARE(onlyReply(), QStringLiteral("1,2\n"));
    }

    void splitReplyIsJoinedBeforeTheMarkerRules()
    {
        openLink();
        arrive("ATCD 23.4,");
        QCOMPARE(m_replies->count(), 0);
        arrive("45.6\r\n");
        QCOMPARE(onlyReply(), QStringLiteral("23.4,45.6\n"));
    }

    void splitReplyIsJoinedAtEveryBytePosition()
    {
        openLink();
        const QByteArray reply("ATCD 23.4,45.6\r\n");
        for (int pos = 1; pos < reply.size(); ++pos) {
            arrive(reply.left(pos));
            QCOMPARE(m_replies->count(), 0);
            arrive(reply.mid(pos));
            QCOMPARE(onlyReply(), QStringLiteral("23.4,45.6\n"));
        }
    }

    void completeLineIsHandedOnWhileItsUnfinishedSuccessorWaits()
    {
        openLink();
        arrive("ATCD 1,2\r\nATCD 3,");
        QCOMPARE(onlyReply(), QStringLiteral("1,2\n"));
        arrive("4\r\n");
        QCOMPARE(onlyReply(), QStringLiteral("3,4\n"));
    }

    void replyWithoutMarkerIsDroppedAndNotCarriedOver()
    {
        openLink();
        arrive("23.4,45.6\r\n");
        QCOMPARE(m_replies->count(), 0);
        arrive("ATCD 1,2\r\n");
        QCOMPARE(onlyReply(), QStringLiteral("1,2\n"));
    }

    void unfinishedPieceIsDiscardedWhenTheLinkCloses()
    {
        openLink();
        arrive("ATCD 23.4,");
        m_link->close();
        openLink();
        arrive("ATCD 1,2\r\n");
        QCOMPARE(onlyReply(), QStringLiteral("1,2\n"));
    }

    void overlongLineIsDroppedUpToItsEnd()
    {
        openLink();
        arrive("ATCD " + QByteArray(5000, '7'));
        arrive("7,12\r\n");
        QCOMPARE(m_replies->count(), 0);
        arrive("ATCD 1,2\r\n");
        QCOMPARE(onlyReply(), QStringLiteral("1,2\n"));
    }

    void failedWriteReportsDisconnected()
    {
        QSignalSpy lost(m_link.get(), &SerialDevice::disconnected);
        m_link->setDeviceInfo(m_pty->slavePath(), 0);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("device not open"));
        m_link->write();
        QCOMPARE(lost.count(), 1);
    }

    void vanishedLoggerReportsDisconnected()
    {
        openLink();
        QSignalSpy lost(m_link.get(), &SerialDevice::disconnected);
        m_pty->closeMaster();
        QTRY_VERIFY(lost.count() >= 1);
        // The failing port is closed rather than failing again on every event-loop turn.
        QVERIFY(!m_link->isOpen());
        for (int turn = 0; turn < 20; ++turn)
            QCoreApplication::processEvents();
        QCOMPARE(lost.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestSerialDevice)
#include "tst_serialdevice.moc"
