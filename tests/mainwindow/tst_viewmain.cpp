#include "app/appnames.h"
#include "testimages.h"
#include "views/circularbutton.h"
#include "views/viewadwidget.h"
#include "views/viewconfig.h"
#include "views/viewmain.h"

#include <QCloseEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(QCloseEvent*)

namespace {

QString resourcesDir()
{
    return QDir::homePath() + AppNames::ResourcesFolder;
}

void writePicture(const QString& name, const QColor& color)
{
    QVERIFY(TestImages::writePicture(resourcesDir() + "/" + name, QSize(160, 120), color));
}

void writeBytes(const QString& name, const QByteArray& bytes)
{
    QVERIFY(QDir().mkpath(resourcesDir()));
    QFile file(resourcesDir() + "/" + name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QColor shownAt(ViewMain& window, int x, int y)
{
    return window.grab().toImage().pixelColor(x, y);
}

// A flat spot of the placeholder: the light card behind the logo.
const QColor PlaceholderCard(244, 245, 247);
const QPoint CardSpot(250, 215);

CircularButton* backButton(ViewMain& window)
{
    return qobject_cast<CircularButton*>(window.childAt(20, 285));
}

CircularButton* nextButton(ViewMain& window)
{
    return qobject_cast<CircularButton*>(window.childAt(380, 285));
}

// Notes every width the watched widget is resized to, with the time.
class ResizeLog : public QObject
{
public:
    explicit ResizeLog(QWidget* watched)
    {
        clock.start();
        watched->installEventFilter(this);
    }
    QElapsedTimer clock;
    QList<int> widths;
    QList<qint64> times;
    std::function<void(int)> onResize;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Resize) {
            const int width = static_cast<QResizeEvent*>(event)->size().width();
            widths << width;
            times << clock.elapsed();
            if (onResize)
                onResize(width);
        }
        return false;
    }
};

} // namespace

class TestViewMain : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void buildsTheWindowAndItsLayout();
    void closingHidesAndRequestsTheRunningBalloon();
    void withoutPicturesShowsPlaceholderAndArrowsDoNothing();
    void arrowsStepAtOnceInCaseInsensitiveOrder();
    void backBeforeTheFirstWipeShowsTheLastPicture();
    void onePictureWipesOverItselfEveryFiveSeconds();
    void configSlidesThePanelOpenAndShut();
};

void TestViewMain::initTestCase()
{
    qRegisterMetaType<QCloseEvent*>();
}

void TestViewMain::cleanup()
{
    QDir(resourcesDir()).removeRecursively();
}

void TestViewMain::buildsTheWindowAndItsLayout()
{
    ViewMain window(nullptr);

    QCOMPARE(window.windowTitle(), QString("Pelicrow"));
    QVERIFY(!window.windowIcon().isNull());
    QCOMPARE(window.minimumSize(), QSize(400, 332));
    QCOMPARE(window.maximumSize(), QSize(400, 332));
    QVERIFY(window.windowFlags() & Qt::WindowCloseButtonHint);
    QVERIFY(!(window.windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(window.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(!window.testAttribute(Qt::WA_DeleteOnClose));
    QVERIFY(!window.testAttribute(Qt::WA_QuitOnClose));
    // Centred on the 1920 x 1080 screen.
    QCOMPARE(window.pos(), QPoint(760, 374));

    QCOMPARE(window.getAdWidget()->geometry(), QRect(0, 0, 400, 300));
    QCOMPARE(window.getViewConfig()->geometry(), QRect(400, 0, 400, 330));
    QCOMPARE(window.getConfigBtn()->text(), QString("Config"));
    QCOMPARE(window.getOkBtn()->text(), QString("Ok"));
    QCOMPARE(window.getExitBtn()->text(), QString("Exit"));
    QCOMPARE(window.getConfigBtn()->pos(), QPoint(5, 305));
    QCOMPARE(window.getOkBtn()->pos(), QPoint(162, 305));
    QCOMPARE(window.getExitBtn()->pos(), QPoint(320, 305));

    // The arrows lie over the carousel's lower corners and take the clicks there.
    QVERIFY(backButton(window));
    QVERIFY(nextButton(window));
    QCOMPARE(backButton(window)->geometry(), QRect(5, 270, 30, 30));
    QCOMPARE(nextButton(window)->geometry(), QRect(365, 270, 30, 30));
    QCOMPARE(backButton(window)->iconSize(), QSize(36, 36));
    QCOMPARE(window.childAt(200, 150), window.getAdWidget());
}

void TestViewMain::closingHidesAndRequestsTheRunningBalloon()
{
    ViewMain window(nullptr);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy closeRequests(&window, &ViewMain::closeRequest);

    QVERIFY(window.close());

    QCOMPARE(closeRequests.count(), 1);
    QVERIFY(!window.isVisible());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
}

void TestViewMain::withoutPicturesShowsPlaceholderAndArrowsDoNothing()
{
    ViewMain window(nullptr);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QImage before = window.grab().toImage();
    QCOMPARE(before.pixelColor(CardSpot), PlaceholderCard);

    QTest::mouseClick(nextButton(window), Qt::LeftButton);
    QTest::mouseClick(backButton(window), Qt::LeftButton);

    QCOMPARE(window.getAdWidget()->width(), 400);
    QCOMPARE(window.grab().toImage(), before);
}

void TestViewMain::arrowsStepAtOnceInCaseInsensitiveOrder()
{
    writePicture("a.png", Qt::red);
    writePicture("B.png", Qt::green);
    writeBytes("broken.png", "not a picture");
    // Small on disk, but more pixels a side than any carousel picture may have.
    QImage oversized(8193, 2, QImage::Format_RGB32);
    oversized.fill(Qt::yellow);
    QVERIFY(oversized.save(resourcesDir() + "/bz-oversized.png"));
    writePicture("c.png", Qt::blue);
    ViewMain window(nullptr);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    // Each click shows its picture in full at once, during the first pause.
    QTest::mouseClick(nextButton(window), Qt::LeftButton);
    QCOMPARE(window.getAdWidget()->width(), 400);
    QCOMPARE(shownAt(window, 10, 150), QColor(Qt::green));
    QCOMPARE(shownAt(window, 390, 150), QColor(Qt::green));
    // The unreadable and the oversized file take their turns and leave the
    // previous picture in view.
    QTest::mouseClick(nextButton(window), Qt::LeftButton);
    QCOMPARE(shownAt(window, 200, 150), QColor(Qt::green));
    QTest::mouseClick(nextButton(window), Qt::LeftButton);
    QCOMPARE(shownAt(window, 200, 150), QColor(Qt::green));
    QTest::mouseClick(nextButton(window), Qt::LeftButton);
    QCOMPARE(shownAt(window, 200, 150), QColor(Qt::blue));
    QTest::mouseClick(nextButton(window), Qt::LeftButton);
    QCOMPARE(shownAt(window, 200, 150), QColor(Qt::red));
    QTest::mouseClick(backButton(window), Qt::LeftButton);
    QCOMPARE(shownAt(window, 200, 150), QColor(Qt::blue));
    QTest::mouseClick(backButton(window), Qt::LeftButton);
    QTest::mouseClick(backButton(window), Qt::LeftButton);
    QTest::mouseClick(backButton(window), Qt::LeftButton);
    QCOMPARE(shownAt(window, 200, 150), QColor(Qt::green));
    // The row below the carousel is never covered.
    QVERIFY(shownAt(window, 200, 320) != QColor(Qt::green));
}

void TestViewMain::backBeforeTheFirstWipeShowsTheLastPicture()
{
    writePicture("1.png", Qt::red);
    writePicture("2.png", Qt::green);
    writePicture("3.png", Qt::blue);
    ViewMain window(nullptr);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(shownAt(window, CardSpot.x(), CardSpot.y()), PlaceholderCard);

    QTest::mouseClick(backButton(window), Qt::LeftButton);

    QCOMPARE(shownAt(window, 200, 150), QColor(Qt::blue));
}

// The one test that waits the real pauses. A window built over an empty folder
// watches alongside, to see that nothing moves there meanwhile.
void TestViewMain::onePictureWipesOverItselfEveryFiveSeconds()
{
    ViewMain still(nullptr);
    still.show();
    QVERIFY(QTest::qWaitForWindowExposed(&still));
    ResizeLog stillLog(still.getAdWidget());
    const QImage stillBefore = still.grab().toImage();

    writePicture("only.png", Qt::red);
    QElapsedTimer sinceConstruction;
    sinceConstruction.start();
    ViewMain window(nullptr);
    window.show();
    ResizeLog log(window.getAdWidget());
    QList<QImage> halfWiped;
    log.onResize = [&](int width) {
        if (width == 200)
            halfWiped << window.grab().toImage();
    };
    const qint64 logOffset = sinceConstruction.elapsed();

    QTRY_VERIFY_WITH_TIMEOUT(log.widths.count(1) == 2 && halfWiped.size() == 2, 15000);

    const int firstStart = log.widths.indexOf(1);
    const int firstEnd = log.widths.indexOf(401);
    const int secondStart = log.widths.lastIndexOf(1);
    QVERIFY(firstEnd > firstStart);
    QVERIFY(secondStart > firstEnd);
    QList<int> expected;
    for (int width = 1; width <= 401; ++width)
        expected << width;
    QCOMPARE(log.widths.mid(firstStart, 401), expected);

    const qint64 firstWipe = logOffset + log.times.at(firstStart);
    QVERIFY2(firstWipe >= 5000 && firstWipe < 7000, qPrintable(QString::number(firstWipe)));
    const qint64 secondPause = log.times.at(secondStart) - log.times.at(firstEnd);
    QVERIFY2(secondPause >= 5000 && secondPause < 7000, qPrintable(QString::number(secondPause)));

    // Halfway through the first wipe the placeholder shows on the right; in the
    // second the same picture lies behind itself.
    QCOMPARE(halfWiped.at(0).pixelColor(100, 150), QColor(Qt::red));
    QCOMPARE(halfWiped.at(0).pixelColor(CardSpot), PlaceholderCard);
    QCOMPARE(halfWiped.at(1).pixelColor(100, 150), QColor(Qt::red));
    QCOMPARE(halfWiped.at(1).pixelColor(CardSpot), QColor(Qt::red));

    QVERIFY(stillLog.widths.isEmpty());
    QCOMPARE(still.grab().toImage(), stillBefore);
}

void TestViewMain::configSlidesThePanelOpenAndShut()
{
    ViewMain window(nullptr);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    ResizeLog log(&window);
    // A pass moves the width steadily one way, so once the last width seen is
    // the final one the pass is over.
    auto slide = [&](const QList<QAbstractButton*>& clicks, int finalWidth) {
        log.widths.clear();
        for (QAbstractButton* button : clicks)
            QTest::mouseClick(button, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!log.widths.isEmpty() && log.widths.last() == finalWidth
                && window.width() == finalWidth,
            5000);
        QVERIFY(log.widths.size() > 100);
        QCOMPARE(window.minimumWidth(), finalWidth);
        QCOMPARE(window.maximumWidth(), finalWidth);
        QCOMPARE(window.height(), 332);
        QVERIFY(*std::max_element(log.widths.begin(), log.widths.end()) <= 800);
        QVERIFY(*std::min_element(log.widths.begin(), log.widths.end()) >= 400);
    };
    QAbstractButton* config = window.getConfigBtn();

    slide({config}, 800);
    QCOMPARE(log.widths.first(), 402);
    slide({config}, 400);
    QCOMPARE(log.widths.first(), 798);
    // The panel's own buttons close it as "Config" does.
    slide({config}, 800);
    slide({window.getViewConfig()->saveButton()}, 400);
    slide({config}, 800);
    slide({window.getViewConfig()->cancelButton()}, 400);
    // A second click before the pass has begun turns the direction back.
    slide({config, config}, 400);
}

QTEST_MAIN(TestViewMain)
#include "tst_viewmain.moc"
