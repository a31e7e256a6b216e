#include "capture/viewimage.h"
#include "testimages.h"
#include "views/viewadwidget.h"
#include "views/viewconfirm.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

using TestImages::rendered;

namespace {

QPixmap filledPixmap(QSize size, QColor colour)
{
    QPixmap pixmap(size);
    pixmap.fill(colour);
    return pixmap;
}

QColor veiled(QColor under)
{
    const QColor veil(200, 200, 200, 50);
    auto blend = [&](int below, int above) { return (above * 50 + below * 205 + 127) / 255; };
    return QColor(blend(under.red(), veil.red()), blend(under.green(), veil.green()),
        blend(under.blue(), veil.blue()));
}

bool nearColour(QColor actual, QColor expected)
{
    return qAbs(actual.red() - expected.red()) <= 1 && qAbs(actual.green() - expected.green()) <= 1
        && qAbs(actual.blue() - expected.blue()) <= 1;
}

class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

} // namespace

class TestCaptureViews : public QObject
{
    Q_OBJECT
private slots:
    void confirmLayout_data();
    void confirmLayout();
    void confirmReportsEveryClosing();
    void adWidgetReportsEveryPress();
    void adWidgetPaintsFromItsCorner();
    void overlayVeilsAndOutlinesTheSelection_data();
    void overlayVeilsAndOutlinesTheSelection();
    void overlayRepaintsOnlyOnUpdate();
    void overlayRelaysTheSameEvents();
};

void TestCaptureViews::confirmLayout_data()
{
    QTest::addColumn<QSize>("pictureSize");
    QTest::newRow("narrower than the buttons") << QSize(50, 40);
    QTest::newRow("wider than the buttons") << QSize(600, 300);
    QTest::newRow("odd width") << QSize(501, 7);
    QTest::newRow("null picture") << QSize();
}

void TestCaptureViews::confirmLayout()
{
    QFETCH(QSize, pictureSize);
    ViewConfirm popup;
    const QPixmap picture = pictureSize.isValid() ? filledPixmap(pictureSize, Qt::red) : QPixmap();
    QPushButton* save = popup.getSaveBtn();
    QPushButton* saveAs = popup.getSaveAsBtn();
    QPushButton* cancel = popup.getCancelBtn();
    QCOMPARE(save->text(), "Save");
    QCOMPARE(saveAs->text(), "Save as...");
    QCOMPARE(cancel->text(), "Cancel");
    const int row = save->width() + saveAs->width() + cancel->width();

    popup.setImage(picture);

    const int width = qMax(picture.width(), row) + 10;
    const int height = picture.height() + 35;
    QCOMPARE(popup.size(), QSize(width, height));
    QCOMPARE(popup.minimumSize(), popup.maximumSize());
    QCOMPARE(save->pos(), QPoint(width / 2 - row / 2, height - 27));
    QCOMPARE(saveAs->pos(), QPoint(width / 2 - saveAs->width() / 2, height - 27));
    QCOMPARE(cancel->pos(), QPoint(width / 2 + saveAs->width() / 2, height - 27));

    if (picture.isNull())
        return;
    // The picture's corner: centred under a wider button row, else at (5, 5).
    const QPoint corner(picture.width() < row ? width / 2 - picture.width() / 2 : 5, 5);
    const QImage shown = rendered(&popup);
    QCOMPARE(QColor(shown.pixel(corner)), QColor(Qt::red));
    QCOMPARE(QColor(shown.pixel(corner + QPoint(picture.width() - 1, picture.height() - 1))),
        QColor(Qt::red));
    QVERIFY(QColor(shown.pixel(corner - QPoint(1, 1))) != QColor(Qt::red));
}

void TestCaptureViews::confirmReportsEveryClosing()
{
    ViewConfirm popup;
    popup.setAttribute(Qt::WA_QuitOnClose, false);
    QSignalSpy closed(&popup, &ViewConfirm::closed);
    popup.setImage(filledPixmap(QSize(300, 200), Qt::green));
    popup.show();
    QVERIFY(QTest::qWaitForWindowExposed(&popup));
    QVERIFY(popup.close());
    QCOMPARE(closed.count(), 1);
    QVERIFY(!popup.isVisible());

    // Shown again for the next capture: closing again reports again.
    popup.show();
    QVERIFY(popup.close());
    QCOMPARE(closed.count(), 2);
}

void TestCaptureViews::adWidgetReportsEveryPress()
{
    ViewAdWidget surface;
    surface.resize(400, 300);
    QCOMPARE(surface.cursor().shape(), Qt::PointingHandCursor);
    QSignalSpy clicked(&surface, &ViewAdWidget::adClicked);
    for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton})
        QTest::mousePress(&surface, button, Qt::NoModifier, QPoint(10, 10));
    QCOMPARE(clicked.count(), 3);
    QTest::mouseRelease(&surface, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QCOMPARE(clicked.count(), 3);
}

void TestCaptureViews::adWidgetPaintsFromItsCorner()
{
    QPixmap picture(QSize(20, 10));
    picture.fill(Qt::blue);
    {
        QPainter painter(&picture);
        painter.fillRect(QRect(0, 0, 1, 10), Qt::red);
    }
    ViewAdWidget surface;
    surface.resize(1, 10);
    surface.setPixmap(picture);
    QCOMPARE(rendered(&surface),
        picture.toImage().convertToFormat(QImage::Format_RGB32).copy(0, 0, 1, 10));

    // A null picture paints nothing over what lies behind.
    surface.resize(30, 30);
    surface.setPixmap(QPixmap());
    surface.setAutoFillBackground(false);
    QImage behind(surface.size(), QImage::Format_RGB32);
    behind.fill(Qt::yellow);
    QImage drawn = behind;
    surface.render(&drawn, QPoint(), QRegion(), QWidget::DrawChildren);
    QCOMPARE(drawn, behind);
}

void TestCaptureViews::overlayVeilsAndOutlinesTheSelection_data()
{
    QTest::addColumn<QRect>("selection");
    QTest::addColumn<QRect>("covered");
    QTest::newRow("dragged right and down")
        << QRect(QPoint(10, 10), QPoint(39, 29)) << QRect(QPoint(10, 10), QPoint(39, 29));
    QTest::newRow("dragged left and up")
        << QRect(QPoint(40, 30), QPoint(9, 9)) << QRect(QPoint(10, 10), QPoint(39, 29));
    QTest::newRow("idle") << QRect() << QRect();
}

void TestCaptureViews::overlayVeilsAndOutlinesTheSelection()
{
    QFETCH(QRect, selection);
    QFETCH(QRect, covered);
    const QColor screenColour(10, 120, 240);
    ViewImage overlay;
    overlay.resize(80, 60);
    overlay.setScreenShot(filledPixmap(QSize(80, 60), screenColour));
    overlay.setRect(selection);
    const QImage shown = rendered(&overlay);
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 80; ++x) {
            const QPoint point(x, y);
            QColor expected = screenColour;
            if (covered.contains(point)) {
                const bool edge = x == covered.left() || x == covered.right() + 1
                    || y == covered.top() || y == covered.bottom() + 1;
                expected = edge ? QColor(Qt::black) : veiled(screenColour);
            } else if (!covered.isNull() && covered.adjusted(0, 0, 1, 1).contains(point)) {
                expected = Qt::black; // the outline's right and bottom lines
            }
            if (!nearColour(shown.pixel(point), expected))
                QFAIL(qPrintable(QString("pixel %1,%2 is %3, expected %4")
                                     .arg(x)
                                     .arg(y)
                                     .arg(QColor(shown.pixel(point)).name(), expected.name())));
        }
    }
}

void TestCaptureViews::overlayRepaintsOnlyOnUpdate()
{
    ViewImage overlay;
    overlay.setAttribute(Qt::WA_QuitOnClose, false);
    overlay.resize(80, 60);
    overlay.show();
    QVERIFY(QTest::qWaitForWindowExposed(&overlay));
    QCoreApplication::processEvents();
    PaintCounter counter;
    overlay.installEventFilter(&counter);

    overlay.setRect(QRect(1, 1, 10, 10));
    overlay.setScreenShot(filledPixmap(QSize(80, 60), Qt::gray));
    QCoreApplication::processEvents();
    QCOMPARE(counter.paints, 0);
    QCOMPARE(overlay.getRect(), QRect(1, 1, 10, 10));

    overlay.updateSelectRect(QRect(2, 2, 5, 5));
    QCOMPARE(counter.paints, 1); // at once, not when the loop next runs
    QCOMPARE(overlay.getRect(), QRect(2, 2, 5, 5));
}

void TestCaptureViews::overlayRelaysTheSameEvents()
{
    ViewImage overlay;
    QCOMPARE(overlay.windowTitle(), "Pelicrow");
    QVERIFY(overlay.testAttribute(Qt::WA_MouseTracking));
    QList<QMouseEvent*> pressed;
    QList<QKeyEvent*> keyed;
    connect(&overlay, &ViewImage::mousePress, this, [&](QMouseEvent* ev) { pressed << ev; });
    connect(&overlay, &ViewImage::keyPress, this, [&](QKeyEvent* ev) { keyed << ev; });
    QMouseEvent press(
        QEvent::MouseButtonPress, QPointF(3, 4), Qt::RightButton, Qt::RightButton, Qt::NoModifier);
    QKeyEvent key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&overlay, &press);
    QApplication::sendEvent(&overlay, &key);
    QCOMPARE(pressed, QList<QMouseEvent*>({&press}));
    QCOMPARE(keyed, QList<QKeyEvent*>({&key}));
}

QTEST_MAIN(TestCaptureViews)
#include "tst_captureviews.moc"
