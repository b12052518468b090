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
        QCOMPARE(m_collected, QStringList{"1,2\n"});
        QVERIFY(link->disconnect(SIGNAL(readyRead(QString)), this, SLOT(collect(QString))));
        arrive("ATCD 3,4\r\n");
        QCOMPARE(m_collected.size(), 1);
    }

    void openUsesTheAddressAndARefusedModemLineIoctlIsNoFailure()
    {
        QSignalSpy lost(m_link.get(), &SerialDevice::disconnected);
        QSignalSpy usable(m_link.get(), &SerialDevice::connected);
        openLink();
        QVERIFY(m_link->isOpen());
        // Qt names a Unix port without its /dev/ folder.
        QCOMPARE(m_link->deviceInfo(), m_pty->slavePath().mid(5));
        QVERIFY(usable.count() >= 1);

        QSerialPort *port = m_link->findChild<QSerialPort *>();
        QSignalSpy portErrors(port, &QSerialPort::errorOccurred);
        QVERIFY(!port->setDataTerminalReady(true));
        QVERIFY(portErrors.count() >= 1);
        QCOMPARE(portErrors.last().at(0).value<QSerialPort::SerialPortError>(),
                 QSerialPort::UnsupportedOperationError);
        QCOMPARE(lost.count(), 0);
        QVERIFY(m_link->isOpen());
        arrive("ATCD 1,2\r\n");
        QCOMPARE(onlyReply(), QStringLiteral("1,2\n"));
    }

    void aPortThatCannotBeOpenedOrWrittenReportsDisconnected()
    {
        QSignalSpy lost(m_link.get(), &SerialDevice::disconnected);
        m_link->setDeviceInfo(m_pty->slavePath(), 0);
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("\\[ERROR\\] SerialDevice::writeCommand"));
        m_link->write();
        QCOMPARE(lost.count(), 1);
        // Every further poll of the closed port fails too, without another line on the terminal.
        QTest::failOnWarning(QRegularExpression("writeCommand"));
        m_link->write();
        QCOMPARE(lost.count(), 2);
        m_link->setDeviceInfo("/dev/velmoran-no-such-port", 0);
        QVERIFY(!m_link->open());
        QVERIFY(!m_link->isOpen());
        QCOMPARE(lost.count(), 3);
    }

    void pollRequestIsATCDWithCrLf()
    {
        openLink();
        m_link->write();
        QByteArray sent;
        QTRY_VERIFY((sent += m_pty->takeReceived()).size() >= 6);
        QCOMPARE(sent, QByteArray("ATCD\r\n"));
    }

    // Each arrival is followed by the reply text it completes ("" for none).
    void arrivalsBecomeReplyTexts_data()
    {
        QTest::addColumn<QList<QByteArray>>("arrivals");
        QTest::addColumn<QStringList>("replies");
        QTest::newRow("marker, carriage return and spaces go")
            << QList<QByteArray>{"ATCD 23.4,45.6\r\n"} << QStringList{"23.4,45.6\n"};
        QTest::newRow("two markers in one arrival give both lines in one text")
            << QList<QByteArray>{"ATCD1,2\nATCD3,4\n"} << QStringList{"1,2\n3,4\n"};
        QTest::newRow("bytes after a NUL are ignored")
            << QList<QByteArray>{QByteArray("ATCD 21.5,40.2\r\n\0ATCD 999.00,999.00\r\n", 38)}
            << QStringList{"21.5,40.2\n"};
        QTest::newRow("a NUL ends an unfinished reply instead of joining the next")
            << QList<QByteArray>{QByteArray("ATCD 21.5,40.2\0junk", 19), "ATCD 1,2\r\n"}
            << QStringList{"21.5,40.2", "1,2\n"};
        QTest::newRow("a complete line goes on while its unfinished successor waits")
            << QList<QByteArray>{"ATCD 1,2\r\nATCD 3,", "4\r\n"} << QStringList{"1,2\n", "3,4\n"};
        QTest::newRow("a reply without marker is dropped and not carried over")
            << QList<QByteArray>{"23.4,45.6\r\n", "ATCD 1,2\r\n"} << QStringList{"", "1,2\n"};
        QTest::newRow("a lone CR ends a line as LF does")
            << QList<QByteArray>{"ATCD 1,2\rATCD 3,4\r"} << QStringList{"1,2\n3,4\n"};
        QTest::newRow("a CR LF split between arrivals ends one line")
            << QList<QByteArray>{"ATCD 1,2\r", "\nATCD 3,4\r\n"} << QStringList{"1,2\n", "3,4\n"};
        QTest::newRow("an overlong line is dropped up to its end")
            << QList<QByteArray>{"ATCD " + QByteArray(5000, '7'), "7,12\r\n", "ATCD 1,2\r\n"}
            << QStringList{"", "", "1,2\n"};
    }

    void arrivalsBecomeReplyTexts()
    {
        QFETCH(QList<QByteArray>, arrivals);
        QFETCH(QStringList, replies);
        openLink();
        for (int i = 0; i < arrivals.size(); ++i) {
            arrive(arrivals[i]);
            if (replies[i].isEmpty())
                QCOMPARE(m_replies->count(), 0);
            else
                QCOMPARE(onlyReply(), replies[i]);
        }
    }

    void splitReplyIsJoinedAtEveryBytePosition()
    {
        openLink();
        const QByteArray reply("ATCD 23.4,45.6\r\n");
        for (int pos = 1; pos < reply.size(); ++pos) {
            // The CR already ends the line; its LF follows alone.
            const bool endedByCr = pos == reply.size() - 1;
            arrive(reply.left(pos));
            QCOMPARE(m_replies->count(), endedByCr ? 1 : 0);
            arrive(reply.mid(pos));
            QCOMPARE(onlyReply(), QStringLiteral("23.4,45.6\n"));
        }
    }

    void unfinishedPieceIsDiscardedWhenTheLinkClosesOrTheNextRequestGoesOut_data()
    {
        QTest::addColumn<bool>("reopen");
        QTest::newRow("link closed") << true;
        QTest::newRow("next request") << false;
    }

    void unfinishedPieceIsDiscardedWhenTheLinkClosesOrTheNextRequestGoesOut()
    {
        QFETCH(bool, reopen);
        openLink();
        arrive("ATCD 23.4,");
        if (reopen) {
            m_link->close();
            openLink();
        } else {
            m_link->write();
        }
        arrive("ATCD 1,2\r\n");
        QCOMPARE(onlyReply(), QStringLiteral("1,2\n"));
    }

    void vanishedLoggerReportsDisconnectedOnce()
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
