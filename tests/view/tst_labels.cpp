#include "view/qchartviewerlabel.h"
#include "view/resizelabel.h"
#include "view/resizelabelunit.h"
#include "view/topcustomframe.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QtTest>

namespace {

QSizeF textSize(const QLabel &label)
{
    const QFontMetricsF metrics(label.font());
    return {metrics.horizontalAdvance(label.text()), metrics.height()};
}

void sendMouse(QWidget *w, QEvent::Type type, QPoint local, Qt::MouseButton button)
{
    const QPointF global = w->mapToGlobal(QPointF(local));
    QMouseEvent event(type, QPointF(local), QPointF(local), global, button, button, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &event);
}

} // namespace

class TestLabels : public QObject
{
    Q_OBJECT

private slots:
    void emptyLabelKeepsItsFontWhenResized()
    {
        ResizeLabel label;
        label.resize(100, 40);
        label.show();
        const QFont before = label.font();
        label.resize(300, 120);
        QCOMPARE(label.font(), before);
        label.fitFont();
        QCOMPARE(label.font(), before);
    }

    void wideTextInTallLabelIsLimitedByTheWidth()
    {
        ResizeLabel label;
        label.setText(QStringLiteral("-1234.56"));
        label.resize(200, 300);
        label.show();
        label.fitFont();
        const QSizeF size = textSize(label);
        QVERIFY2(qAbs(size.width() - 190) < 190 * 0.08, qPrintable(QString::number(size.width())));
        QVERIFY(size.height() < 292);
    }

    void shortTextInFlatLabelIsLimitedByTheHeight()
    {
        ResizeLabel label;
        label.setText(QStringLiteral("7"));
        label.resize(400, 40);
        label.show();
        label.fitFont();
        const QSizeF size = textSize(label);
        QVERIFY2(qAbs(size.height() - 32) < 32 * 0.1, qPrintable(QString::number(size.height())));
        QVERIFY(size.width() < 390);
    }

    void resizeAlwaysRefits()
    {
        ResizeLabel label;
        label.setText(QStringLiteral("21.50"));
        label.resize(120, 60);
        label.show();
        const qreal small = label.font().pointSizeF();
        label.resize(240, 120);
        QVERIFY(label.font().pointSizeF() > small * 1.5);
    }

    void unitLabelFillsTheWholeLabelWithoutMargins()
    {
        ResizeLabelUnit unit;
        unit.setText(QStringLiteral("%RH"));
        unit.resize(90, 200);
        unit.show();
        unit.fitFont();
        const QSizeF size = textSize(unit);
        QVERIFY2(qAbs(size.width() - 90) < 90 * 0.08, qPrintable(QString::number(size.width())));
    }

    void labelNarrowerThanItsMarginStillGetsPositiveSize()
    {
        ResizeLabel label;
        label.setText(QStringLiteral("12.34"));
        label.setFixedSize(6, 40);
        label.show();
        label.fitFont();
        QVERIFY(label.font().pointSizeF() > 0);
        QVERIFY(textSize(label).width() > 0);
    }

    void chartLabelReportsEachResizeOnce()
    {
        QChartViewerLabel label;
        label.show();
        QSignalSpy spy(&label, &QChartViewerLabel::refreshChart);
        label.resize(310, 200);
        QCOMPARE(spy.count(), 1);
        label.resize(320, 210);
        QCOMPARE(spy.count(), 2);
    }

    void doubleClickOnTopBarEmitsDoubleClick()
    {
        TopCustomFrame frame;
        frame.resize(400, 30);
        QSignalSpy doubleClicks(&frame, &TopCustomFrame::customDoubleClick);
        sendMouse(&frame, QEvent::MouseButtonDblClick, QPoint(20, 10), Qt::LeftButton);
        QCOMPARE(doubleClicks.count(), 1);
    }

    void pressOnTopBarEmitsOnlyClickWithGlobalPosition()
    {
        QWidget window;
        window.move(50, 70);
        auto *frame = new TopCustomFrame(&window);
        frame->setGeometry(10, 5, 400, 30);
        window.show();
        QSignalSpy clicks(frame, &TopCustomFrame::customClick);
        QSignalSpy moves(frame, &TopCustomFrame::customMove);
        QSignalSpy doubleClicks(frame, &TopCustomFrame::customDoubleClick);
        sendMouse(frame, QEvent::MouseButtonPress, QPoint(20, 10), Qt::LeftButton);
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(clicks.at(0).at(0).toPoint(), frame->mapToGlobal(QPoint(20, 10)));
        QVERIFY(frame->mapToGlobal(QPoint(20, 10)) != QPoint(20, 10));
        QCOMPARE(moves.count(), 0);
        QCOMPARE(doubleClicks.count(), 0);

        sendMouse(frame, QEvent::MouseMove, QPoint(40, 12), Qt::LeftButton);
        QCOMPARE(moves.count(), 1);
        QCOMPARE(moves.at(0).at(0).toPoint(), frame->mapToGlobal(QPoint(40, 12)));
    }
};

QTEST_MAIN(TestLabels)
#include "tst_labels.moc"
