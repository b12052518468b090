#include "project/messagedialog.h"
#include "project/timedmessage.h"
#include "tests/support/messageprobe.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QPushButton>
#include <QTest>

class MessageDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void showsTitleAndTextOnSeveralLines()
    {
        MessageDialog dialog("ERROR", "first line\nsecond line");
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Velmoran Lite"));
        QCOMPARE(dialog.size(), QSize(400, 300));
        const auto *group = dialog.findChild<QGroupBox *>("groupBox_message");
        const auto *browser = dialog.findChild<QTextBrowser *>("textBrowser");
        QCOMPARE(group->title(), QStringLiteral("ERROR"));
        QCOMPARE(browser->toPlainText(), QStringLiteral("first line\nsecond line"));
        QCOMPARE(browser->document()->blockCount(), 2);
        QCOMPARE(dialog.findChild<QPushButton *>("pushButton_close")->text(),
                 QStringLiteral("CLOSE"));
    }

    void closeButtonDeletesATimedMessageAtOnce()
    {
        QWidget owner;
        QPointer<MessageDialog> dialog = showTimedMessage(&owner, "WARNING", "text");
        QVERIFY(dialog->isVisible());
        QTest::mouseClick(dialog->findChild<QPushButton *>("pushButton_close"), Qt::LeftButton);
        QTRY_VERIFY(dialog.isNull());
    }

    void twoTimedMessagesCloseFiveSecondsAfterEachAppeared()
    {
        QWidget owner;
        QElapsedTimer clock;
        clock.start();
        QPointer<MessageDialog> first = showTimedMessage(&owner, "ERROR", "one");
        QTest::qWait(1000);
        QPointer<MessageDialog> second = showTimedMessage(&owner, "ERROR", "two");
        QCOMPARE(shownMessages(&owner).size(), 2);

        QTRY_VERIFY_WITH_TIMEOUT(first.isNull(), 6000);
        const qint64 firstGone = clock.elapsed();
        // Timers of this length are coarse: Qt may fire them up to 5 % early.
        QVERIFY2(firstGone >= 4750, qPrintable(QString::number(firstGone)));
        QVERIFY(!second.isNull());
        QVERIFY(second->isVisible());

        QTRY_VERIFY_WITH_TIMEOUT(second.isNull(), 2000);
        QVERIFY(clock.elapsed() >= 5750);
    }
};

QTEST_MAIN(MessageDialogTest)
#include "tst_messagedialog.moc"
