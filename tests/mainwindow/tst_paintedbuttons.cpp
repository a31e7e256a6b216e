#include "testimages.h"
#include "views/circularbutton.h"
#include "views/roundrectbutton.h"

#include <QPainter>
#include <QSignalSpy>
#include <QtTest>

#include <cmath>

namespace {

// Antialiased edges and the gradient table allow a little slack.
const int Tolerance = 3;

enum class State { Rest, Hovered, Pressed, RightPressed, HoveredPressed, Disabled };

// The button's own painting on a transparent ground, without any window background.
QImage rendered(QWidget* button)
{
    return TestImages::rendered(button, Qt::transparent);
}

QColor blend(const QColor& below, const QColor& above, double alpha)
{
    auto mix = [&](int b, int a) { return int(std::lround(b * (1 - alpha) + a * alpha)); };
    return QColor(mix(below.red(), above.red()), mix(below.green(), above.green()),
        mix(below.blue(), above.blue()));
}

QColor gradientAt(const QColor& top, const QColor& bottom, int y, int height)
{
    return blend(top, bottom, (y + 0.5) / height);
}

QString describe(const QColor& color)
{
    return QString("(%1, %2, %3, alpha %4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(color.alpha());
}

bool isNear(const QColor& actual, const QColor& expected)
{
    // Edge pixels of antialiased outlines are not quite opaque; their colour is.
    return actual.alpha() >= 200 && std::abs(actual.red() - expected.red()) <= Tolerance
        && std::abs(actual.green() - expected.green()) <= Tolerance
        && std::abs(actual.blue() - expected.blue()) <= Tolerance;
}

#define COMPARE_PIXEL(image, x, y, expected)                                                       \
    do {                                                                                           \
        const QColor actual = (image).pixelColor((x), (y));                                        \
        QVERIFY2(isNear(actual, (expected)),                                                       \
            qPrintable(QString("pixel (%1, %2) is %3, expected %4")                                \
                           .arg(x)                                                                 \
                           .arg(y)                                                                 \
                           .arg(describe(actual), describe(expected))));                           \
    } while (false)

// Drives the button into a state through the events a user would cause.
void enterState(QPushButton* button, State state)
{
    if (state == State::Hovered || state == State::HoveredPressed || state == State::Disabled) {
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(button, &enter);
    }
    if (state == State::Pressed || state == State::HoveredPressed || state == State::Disabled)
        QTest::mousePress(button, Qt::LeftButton);
    if (state == State::RightPressed)
        QTest::mousePress(button, Qt::RightButton);
    if (state == State::Disabled)
        button->setEnabled(false);
}

// A 36 x 36 icon in four coloured quarters, to see where the icon lands.
QIcon quarteredIcon()
{
    QPixmap pixmap(36, 36);
    QPainter painter(&pixmap);
    painter.fillRect(0, 0, 18, 18, Qt::red);
    painter.fillRect(18, 0, 18, 18, Qt::green);
    painter.fillRect(0, 18, 18, 18, Qt::blue);
    painter.fillRect(18, 18, 18, 18, Qt::yellow);
    return QIcon(pixmap);
}

} // namespace

Q_DECLARE_METATYPE(State)

class TestPaintedButtons : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void circularStates_data();
    void circularStates();
    void circularIconSitsCentredAndClippedToBody();
    void roundRectStates_data();
    void roundRectStates();
    void roundRectRadiusRoundsTheCorners();
    void textIsDrawnOnlyWhenSet();
    void pointerAndMouseRepaintAtOnce();
    void clickingStillWorks();

private:
    CircularButton* mainWindowButton(const QIcon& icon);
    QWidget* host = nullptr;
};

void TestPaintedButtons::init()
{
    host = new QWidget;
    host->resize(200, 100);
}

void TestPaintedButtons::cleanup()
{
    delete host;
    host = nullptr;
}

// Set up as the main window sets up its arrow buttons.
CircularButton* TestPaintedButtons::mainWindowButton(const QIcon& icon)
{
    auto* button = new CircularButton(host);
    button->normalColor = QColor(180, 180, 180);
    button->hoverColor = QColor(80, 80, 80);
    button->setGeometry(0, 0, 30, 30);
    button->setIcon(icon);
    button->setIconSize(QSize(36, 36));
    return button;
}

void TestPaintedButtons::circularStates_data()
{
    QTest::addColumn<State>("state");
    QTest::addColumn<QColor>("innerOutline");
    QTest::newRow("rest") << State::Rest << QColor(180, 180, 180);
    QTest::newRow("hovered") << State::Hovered << QColor(80, 80, 80);
    QTest::newRow("pressed") << State::Pressed << QColor(32, 32, 32);
    QTest::newRow("pressed by right button") << State::RightPressed << QColor(32, 32, 32);
    QTest::newRow("hovered and pressed") << State::HoveredPressed << QColor(32, 32, 32);
    QTest::newRow("disabled while hovered and pressed") << State::Disabled << QColor(50, 50, 50);
}

void TestPaintedButtons::circularStates()
{
    QFETCH(State, state);
    QFETCH(QColor, innerOutline);
    CircularButton* button = mainWindowButton(QIcon(":/icone/bt2-02.png"));
    enterState(button, state);
    const QImage image = rendered(button);

    const QColor outline(153, 153, 153);
    COMPARE_PIXEL(image, 15, 0, outline);
    COMPARE_PIXEL(image, 0, 15, outline);
    COMPARE_PIXEL(image, 29, 15, outline);
    COMPARE_PIXEL(image, 15, 29, outline);
    // The inner outline is a one-pixel ring inside the clip; the gloss covers
    // its lower right part.
    COMPARE_PIXEL(image, 1, 14, innerOutline);
    COMPARE_PIXEL(image, 14, 1, innerOutline);
    COMPARE_PIXEL(image, 27, 14, blend(innerOutline, Qt::white, 0.3));
    const QColor body = gradientAt(QColor(230, 230, 230), QColor(179, 179, 179), 22, 30);
    COMPARE_PIXEL(image, 8, 22, blend(body, Qt::white, 0.3));
    QCOMPARE(image.pixelColor(0, 0).alpha(), 0);
}

void TestPaintedButtons::circularIconSitsCentredAndClippedToBody()
{
    CircularButton* button = mainWindowButton(quarteredIcon());
    const QImage image = rendered(button);

    // The 36 x 36 icon starts at (-3, -3): its quarters meet at (15, 15).
    COMPARE_PIXEL(image, 14, 14, QColor(Qt::red));
    COMPARE_PIXEL(image, 15, 14, QColor(Qt::green));
    COMPARE_PIXEL(image, 14, 15, QColor(Qt::blue));
    COMPARE_PIXEL(image, 15, 15, QColor(Qt::yellow));
    COMPARE_PIXEL(image, 6, 6, QColor(Qt::red));
    // Outside the body the icon is cut away: the outline and the transparent
    // corners remain.
    COMPARE_PIXEL(image, 0, 15, QColor(153, 153, 153));
    COMPARE_PIXEL(image, 29, 15, QColor(153, 153, 153));
    COMPARE_PIXEL(image, 15, 29, QColor(153, 153, 153));
    QCOMPARE(image.pixelColor(3, 3).alpha(), 0);
    QCOMPARE(image.pixelColor(27, 27).alpha(), 0);
}

void TestPaintedButtons::roundRectStates_data()
{
    QTest::addColumn<State>("state");
    QTest::addColumn<QColor>("innerOutline");
    // The default colours: gray at rest, lightGray hovered, lightGray darkened when pressed.
    QTest::newRow("rest") << State::Rest << QColor(160, 160, 164);
    QTest::newRow("hovered") << State::Hovered << QColor(192, 192, 192);
    QTest::newRow("pressed") << State::Pressed << QColor(76, 76, 76);
    QTest::newRow("disabled while hovered and pressed") << State::Disabled << QColor(50, 50, 50);
}

void TestPaintedButtons::roundRectStates()
{
    QFETCH(State, state);
    QFETCH(QColor, innerOutline);
    auto* button = new RoundRectButton(host);
    button->setGeometry(0, 0, 60, 30);
    enterState(button, state);
    const QImage image = rendered(button);

    const QColor outline(0, 145, 69);
    COMPARE_PIXEL(image, 0, 20, outline);
    COMPARE_PIXEL(image, 59, 20, outline);
    COMPARE_PIXEL(image, 30, 0, outline);
    COMPARE_PIXEL(image, 30, 29, outline);
    COMPARE_PIXEL(image, 1, 20, innerOutline);
    COMPARE_PIXEL(image, 58, 20, innerOutline);
    COMPARE_PIXEL(image, 30, 28, innerOutline);
    // The gloss covers the upper half: rows 1 to 14.
    COMPARE_PIXEL(image, 30, 1, blend(innerOutline, Qt::white, 0.3));
    const QColor top(140, 198, 63);
    const QColor bottom(57, 181, 74);
    COMPARE_PIXEL(image, 30, 8, blend(gradientAt(top, bottom, 8, 30), Qt::white, 0.3));
    COMPARE_PIXEL(image, 30, 14, blend(gradientAt(top, bottom, 14, 30), Qt::white, 0.3));
    COMPARE_PIXEL(image, 30, 15, gradientAt(top, bottom, 15, 30));
    COMPARE_PIXEL(image, 30, 25, gradientAt(top, bottom, 25, 30));
}

void TestPaintedButtons::roundRectRadiusRoundsTheCorners()
{
    auto* square = new RoundRectButton(host);
    square->setGeometry(0, 0, 60, 30);
    auto* rounded = new RoundRectButton(host);
    rounded->setGeometry(0, 0, 60, 30);
    rounded->radius = 8;

    const QImage squareImage = rendered(square);
    const QImage roundedImage = rendered(rounded);
    COMPARE_PIXEL(squareImage, 1, 1, blend(QColor(160, 160, 164), Qt::white, 0.3));
    COMPARE_PIXEL(squareImage, 59, 29, QColor(0, 145, 69));
    QCOMPARE(roundedImage.pixelColor(1, 1).alpha(), 0);
    QCOMPARE(roundedImage.pixelColor(59, 29).alpha(), 0);
    COMPARE_PIXEL(roundedImage, 30, 28, QColor(160, 160, 164));
}

void TestPaintedButtons::textIsDrawnOnlyWhenSet()
{
    auto darkPixels = [](const QImage& image) {
        int count = 0;
        for (int y = 3; y < image.height() - 3; ++y)
            for (int x = 3; x < image.width() - 3; ++x)
                count += qGray(image.pixel(x, y)) < 60 ? 1 : 0;
        return count;
    };
    auto* plain = new RoundRectButton(host);
    plain->setGeometry(0, 0, 80, 40);
    auto* titled = new RoundRectButton("Save", host);
    titled->setGeometry(0, 0, 80, 40);
    auto* round = new CircularButton("O", host);
    round->setGeometry(0, 0, 40, 40);

    QCOMPARE(darkPixels(rendered(plain)), 0);
    QVERIFY(darkPixels(rendered(titled)) > 20);
    QVERIFY(darkPixels(rendered(round)) > 5);
}

void TestPaintedButtons::pointerAndMouseRepaintAtOnce()
{
    auto* circular = mainWindowButton(QIcon(":/icone/bt1-02.png"));
    auto* roundRect = new RoundRectButton("Go", host);
    roundRect->setGeometry(50, 0, 60, 30);
    host->show();
    QVERIFY(QTest::qWaitForWindowExposed(host));

    for (QPushButton* button :
        {static_cast<QPushButton*>(circular), static_cast<QPushButton*>(roundRect)}) {
        int paints = 0;
        struct PaintCounter : QObject
        {
            int* paints;
            bool eventFilter(QObject*, QEvent* event) override
            {
                if (event->type() == QEvent::Paint)
                    ++*paints;
                return false;
            }
        } filter;
        filter.paints = &paints;
        button->installEventFilter(&filter);
        // Each event has painted before it returns, without the event loop.
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(button, &enter);
        QCOMPARE(paints, 1);
        QTest::mousePress(button, Qt::LeftButton);
        QVERIFY(paints > 1);
        int before = paints;
        QTest::mouseRelease(button, Qt::LeftButton);
        QVERIFY(paints > before);
        before = paints;
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(button, &leave);
        QCOMPARE(paints, before + 1);
        button->removeEventFilter(&filter);
    }
}

void TestPaintedButtons::clickingStillWorks()
{
    CircularButton* circular = mainWindowButton(QIcon(":/icone/bt1-02.png"));
    auto* roundRect = new RoundRectButton("Go", host);
    QSignalSpy circularClicks(circular, &QAbstractButton::clicked);
    QSignalSpy roundRectClicks(roundRect, &QAbstractButton::clicked);

    QTest::mouseClick(circular, Qt::LeftButton);
    QTest::mouseClick(roundRect, Qt::LeftButton);

    QCOMPARE(circularClicks.count(), 1);
    QCOMPARE(roundRectClicks.count(), 1);
    QVERIFY(!circular->pressed);
    QVERIFY(!roundRect->pressed);
}

QTEST_MAIN(TestPaintedButtons)
#include "tst_paintedbuttons.moc"
