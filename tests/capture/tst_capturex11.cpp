#include "Model/modelconfig.h"
#include "capture/opimage.h"
#include "capture/viewimage.h"
#include "testimages.h"
#include "testsupport.h"
#include "views/view.h"
#include "views/viewconfirm.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QImageReader>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

#include <X11/Xlib.h>

using TestImages::fileImage;
using TestImages::noiseImage;

namespace {

const int ToolTimeoutMs = 15000;

QByteArray runClient(const QString& program, const QStringList& arguments)
{
    return TestSupport::runClient(program, arguments, ToolTimeoutMs);
}

void xdotool(const QStringList& arguments)
{
    runClient(QStringLiteral("xdotool"), arguments);
}

void drag(QPoint from, QPoint to)
{
    xdotool({"mousemove", QString::number(from.x()), QString::number(from.y()), "mousedown", "1",
        "mousemove", QString::number(to.x()), QString::number(to.y()), "mouseup", "1"});
}

void clickAt(QPoint point)
{
    xdotool({"mousemove", QString::number(point.x()), QString::number(point.y()), "click", "1"});
}

void clickButton(QPushButton* button)
{
    clickAt(button->mapToGlobal(button->rect().center()));
}

QImage clipboardImage()
{
    const QByteArray png
        = runClient(QStringLiteral("xclip"), {"-selection", "clipboard", "-t", "image/png", "-o"});
    return QImage::fromData(png, "PNG").convertToFormat(QImage::Format_RGB32);
}

template<typename T> T* topLevel()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* found = qobject_cast<T*>(widget))
            return found;
    }
    return nullptr;
}

// What a window manager sends when the title bar's close button is pressed.
void sendDeleteWindow(WId window)
{
    Display* display = XOpenDisplay(nullptr);
    XEvent event {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XCloseDisplay(display);
}

} // namespace

class TestCaptureX11 : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void centerOnScreenUsesThePrimaryScreen();
    void fastCutSavesAndCopiesTheDraggedArea_data();
    void fastCutSavesAndCopiesTheDraggedArea();
    void escapeCancelsAtOnce();
    void closingTheOverlayFromOutsideCancels_data();
    void closingTheOverlayFromOutsideCancels();
    void otherKeysCancelOnlyAfterTheDelay();
    void realKeysReachTheOverlay();
    void normalCutWaitsForAClickInside();
    void normalCutCancel();
    void normalCutSaveAs();
    void normalCutSaveAsCancelledKeepsThePopup();
    void largeCutIsPreviewedSmallerAndSavedWhole();
    void titleBarCloseReportsClosed();
    void fullScreenSavesTheWholeScreen();

private:
    QStringList savedFiles() const;
    void startNormalCut(QPoint from, QPoint to);
    void takeSelection(QPoint from, QPoint to);
    void answerSaveDialog(const std::function<void(QFileDialog*)>& answer);

    QImage screen;
    ModelConfig model;
    OpImage* opImage = nullptr;
    ViewImage* overlay = nullptr;
    ViewConfirm* popup = nullptr;
    QScopedPointer<QTemporaryDir> output;
};

void TestCaptureX11::initTestCase()
{
    QTemporaryDir pictureDir;
    screen = noiseImage(QGuiApplication::primaryScreen()->size());
    const QString picturePath = pictureDir.filePath("busy.png");
    QVERIFY(screen.save(picturePath));
    runClient(QStringLiteral("display"), {"-window", "root", picturePath});
    QTRY_COMPARE(QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(
                     QImage::Format_RGB32),
        screen);

    qputenv("USERNAME", "tester");
    // A missing media service is reported by a modal box; it must not stop the test.
    QTimer guard;
    connect(&guard, &QTimer::timeout, []() {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    guard.start(50);
    opImage = new OpImage;
    guard.stop();
    opImage->setModel(&model);
    overlay = topLevel<ViewImage>();
    popup = topLevel<ViewConfirm>();
    QVERIFY(overlay && popup);
}

void TestCaptureX11::init()
{
    output.reset(new QTemporaryDir);
    model.setDirectory(output->path() + "/");
    model.setImgType(".png");
}

void TestCaptureX11::cleanup()
{
    overlay->close();
    popup->close();
}

QStringList TestCaptureX11::savedFiles() const
{
    return QDir(output->path()).entryList(QDir::Files, QDir::Name);
}

void TestCaptureX11::startNormalCut(QPoint from, QPoint to)
{
    opImage->normalCut();
    QVERIFY(QTest::qWaitForWindowExposed(overlay));
    takeSelection(from, to);
}

void TestCaptureX11::takeSelection(QPoint from, QPoint to)
{
    drag(from, to);
    QTRY_COMPARE(overlay->getRect(), QRect(from, to - QPoint(1, 1)));
    const QPoint inside = (from + to) / 2;
    xdotool({"mousemove", QString::number(inside.x()), QString::number(inside.y())});
    QTRY_COMPARE(overlay->cursor().shape(), Qt::OpenHandCursor);
    QVERIFY(!popup->isVisible());
    xdotool({"mousedown", "1"});
    QTRY_COMPARE(overlay->cursor().shape(), Qt::ClosedHandCursor);
    xdotool({"mouseup", "1"});
    QTRY_VERIFY(popup->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(popup));
    QVERIFY(!overlay->isVisible());
}

// The dialog is modal: the answer is given from a timer while it runs.
void TestCaptureX11::answerSaveDialog(const std::function<void(QFileDialog*)>& answer)
{
    auto* poll = new QTimer(this);
    connect(poll, &QTimer::timeout, this, [poll, answer]() {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll->deleteLater();
        poll->stop();
        answer(dialog);
    });
    poll->start(20);
}

void TestCaptureX11::centerOnScreenUsesThePrimaryScreen()
{
    QWidget window;
    window.resize(400, 332);
    View::centerOnScreen(&window);
    QCOMPARE(window.pos(), QPoint(760, 374));
}

void TestCaptureX11::fastCutSavesAndCopiesTheDraggedArea_data()
{
    QTest::addColumn<QPoint>("from");
    QTest::addColumn<QPoint>("to");
    QTest::addColumn<QString>("keyFirst");
    const QPoint from(100, 100);
    const QPoint to(300, 200);
    QTest::newRow("right and down") << from << to << "";
    QTest::newRow("left and up") << to << from << "";
    // Modifiers alone end nothing: the hot-key's own Ctrl and Shift may still
    // be held, and a window manager's chord must reach the window manager.
    QTest::newRow("after ctrl") << from << to << "ctrl";
    QTest::newRow("after shift") << from << to << "shift";
    QTest::newRow("after alt") << from << to << "alt";
    QTest::newRow("after super") << from << to << "super";
    QTest::newRow("after altgr") << from << to << "ISO_Level3_Shift";
    // A held key repeating (the hot-key's digit, say) is no new key either.
    QTest::newRow("after a repeat") << from << to << "repeat";
}

void TestCaptureX11::fastCutSavesAndCopiesTheDraggedArea()
{
    QFETCH(QPoint, from);
    QFETCH(QPoint, to);
    QFETCH(QString, keyFirst);
    QSignalSpy saved(opImage, &OpImage::imageSaved);
    QSignalSpy done(opImage, &OpImage::allDone);

    QElapsedTimer sinceStart;
    sinceStart.start();
    opImage->fastCut();
    QVERIFY(QTest::qWaitForWindowExposed(overlay));
    QCOMPARE(overlay->geometry(), QRect(0, 0, 1920, 1080));
    if (!keyFirst.isEmpty()) {
        // Past the first 30 ms, in which any key but Escape is ignored anyway.
        QTRY_VERIFY(sinceStart.elapsed() > 60);
        if (keyFirst == "repeat")
            QTest::simulateEvent(overlay, true, Qt::Key_2, Qt::NoModifier, "2", true);
        else
            xdotool({"key", keyFirst});
    }
    drag(from, to);

    QTRY_COMPARE(done.count(), 1);
    QCOMPARE(saved.count(), 1);
    QVERIFY(!overlay->isVisible());
    const QImage expected = screen.copy(100, 100, 200, 100);
    QCOMPARE(savedFiles().size(), 1);
    const QString path = output->filePath(savedFiles().first());
    QCOMPARE(saved.first().at(1).toString(), "Path: " + path);
    QCOMPARE(fileImage(path), expected);
    QCOMPARE(clipboardImage(), expected);
    QCOMPARE(overlay->getRect(), QRect());
}

void TestCaptureX11::escapeCancelsAtOnce()
{
    QSignalSpy done(opImage, &OpImage::allDone);
    opImage->fastCut();
    QTest::keyClick(overlay, Qt::Key_Escape);
    QCOMPARE(done.count(), 1);
    QVERIFY(!overlay->isVisible());
    QVERIFY(savedFiles().isEmpty());
}

void TestCaptureX11::closingTheOverlayFromOutsideCancels_data()
{
    QTest::addColumn<bool>("destroyed");
    QTest::newRow("close request") << false;
    QTest::newRow("window destroyed") << true;
}

// As a window manager's close button or another client does it: the same as Escape.
void TestCaptureX11::closingTheOverlayFromOutsideCancels()
{
    QFETCH(bool, destroyed);
    QSignalSpy done(opImage, &OpImage::allDone);
    opImage->normalCut();
    QVERIFY(QTest::qWaitForWindowExposed(overlay));
    drag(QPoint(500, 500), QPoint(600, 600));
    QTRY_COMPARE(overlay->getRect(), QRect(QPoint(500, 500), QPoint(599, 599)));
    if (destroyed)
        xdotool({"windowclose", QString::number(overlay->winId())});
    else
        sendDeleteWindow(overlay->winId());
    QTRY_COMPARE(done.count(), 1);
    QVERIFY(!overlay->isVisible());
    QCOMPARE(overlay->getRect(), QRect(QPoint(500, 500), QPoint(499, 499)));

    // The overlay comes back for the next cut, which saves.
    opImage->fastCut();
    QVERIFY(QTest::qWaitForWindowExposed(overlay));
    drag(QPoint(100, 100), QPoint(300, 200));
    QTRY_COMPARE(done.count(), 2);
    QCOMPARE(fileImage(output->filePath(savedFiles().value(0))), screen.copy(100, 100, 200, 100));
}

void TestCaptureX11::otherKeysCancelOnlyAfterTheDelay()
{
    QSignalSpy done(opImage, &OpImage::allDone);
    QElapsedTimer sinceStart;
    sinceStart.start();
    opImage->fastCut();
    QTest::keyClick(overlay, Qt::Key_A);
    QCOMPARE(done.count(), 0);
    QVERIFY(overlay->isVisible());

    // Keep pressing until a key is taken; it must not be taken before 30 ms.
    auto pressUntilTaken = [&]() {
        if (overlay->isVisible())
            QTest::keyClick(overlay, Qt::Key_A);
        return done.count() == 1;
    };
    QTRY_VERIFY_WITH_TIMEOUT(pressUntilTaken(), 2000);
    QVERIFY(sinceStart.elapsed() >= 30);
    QVERIFY(!overlay->isVisible());
}

void TestCaptureX11::realKeysReachTheOverlay()
{
    QSignalSpy done(opImage, &OpImage::allDone);
    opImage->normalCut();
    QVERIFY(QTest::qWaitForWindowExposed(overlay));
    QVERIFY(runClient("xprop", {"-id", QString::number(overlay->winId()), "_NET_WM_STATE"})
                .contains("_NET_WM_STATE_SKIP_TASKBAR"));
    drag(QPoint(500, 500), QPoint(600, 600));
    QTRY_COMPARE(overlay->getRect(), QRect(QPoint(500, 500), QPoint(599, 599)));
    xdotool({"key", "Escape"});
    QTRY_COMPARE(done.count(), 1);
    QVERIFY(!overlay->isVisible());
    QVERIFY(!popup->isVisible());
    // The selection collapses to its anchor.
    QCOMPARE(overlay->getRect(), QRect(QPoint(500, 500), QPoint(499, 499)));
}

void TestCaptureX11::normalCutWaitsForAClickInside()
{
    QSignalSpy activated(opImage, &OpImage::viewConfirmActivated);
    QSignalSpy saved(opImage, &OpImage::imageSaved);
    QSignalSpy done(opImage, &OpImage::allDone);
    QSignalSpy closed(opImage, &OpImage::viewConfirmClosed);

    opImage->normalCut();
    QVERIFY(QTest::qWaitForWindowExposed(overlay));
    // A press outside the first rectangle starts another one.
    drag(QPoint(700, 700), QPoint(750, 750));
    QTRY_COMPARE(overlay->getRect(), QRect(QPoint(700, 700), QPoint(749, 749)));
    QVERIFY(overlay->isVisible());
    takeSelection(QPoint(300, 200), QPoint(100, 100));
    QCOMPARE(activated.count(), 1);

    const QImage expected = screen.copy(100, 100, 200, 100);
    QCOMPARE(clipboardImage(), expected);
    QVERIFY(popup->windowTitle().startsWith("Pelicrow - " + output->path() + "/tester "));
    QCOMPARE(popup->toolTip(), popup->windowTitle().mid(QString("Pelicrow - ").size()));
    const QImage shown = popup->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown.copy(popup->width() / 2 - 100, 5, 200, 100), expected);
    QVERIFY(savedFiles().isEmpty());

    clickButton(popup->getSaveBtn());
    QTRY_COMPARE(closed.count(), 1);
    QCOMPARE(saved.count(), 1);
    QCOMPARE(done.count(), 1);
    QVERIFY(!popup->isVisible());
    QCOMPARE(savedFiles().size(), 1);
    QCOMPARE(output->filePath(savedFiles().first()), popup->toolTip());
    QCOMPARE(fileImage(popup->toolTip()), expected);
}

void TestCaptureX11::normalCutCancel()
{
    QSignalSpy done(opImage, &OpImage::allDone);
    QSignalSpy closed(opImage, &OpImage::viewConfirmClosed);
    startNormalCut(QPoint(100, 100), QPoint(300, 200));
    clickButton(popup->getCancelBtn());
    QTRY_VERIFY(!popup->isVisible());
    QCOMPARE(closed.count(), 1);
    QCOMPARE(done.count(), 0);
    QVERIFY(savedFiles().isEmpty());
}

void TestCaptureX11::normalCutSaveAs()
{
    model.setImgType(".bmp");
    QSignalSpy changed(opImage, &OpImage::modelChanged);
    QSignalSpy closed(opImage, &OpImage::viewConfirmClosed);
    QSignalSpy done(opImage, &OpImage::allDone);
    startNormalCut(QPoint(100, 100), QPoint(300, 200));
    const QString chosenDir = output->filePath("chosen");
    QVERIFY(QDir().mkpath(chosenDir));

    QString offeredFilter;
    QString offeredDir;
    answerSaveDialog([&](QFileDialog* dialog) {
        offeredFilter = dialog->selectedNameFilter();
        offeredDir = dialog->directory().absolutePath() + "/";
        dialog->selectFile(chosenDir + "/picked.JPG");
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    });
    clickButton(popup->getSaveAsBtn());

    QTRY_COMPARE(closed.count(), 1);
    QCOMPARE(offeredFilter, "File Bitmap (*.bmp)");
    QCOMPARE(offeredDir, output->path() + "/");
    QCOMPARE(changed.count(), 1);
    QCOMPARE(done.count(), 1);
    QCOMPARE(model.imgType(), ".JPG");
    QCOMPARE(model.directory(), chosenDir + "/");
    const QString path = chosenDir + "/picked.JPG";
    QImageReader reader(path);
    QCOMPARE(reader.format(), QByteArray("jpeg"));
    QCOMPARE(reader.size(), QSize(200, 100));
}

void TestCaptureX11::normalCutSaveAsCancelledKeepsThePopup()
{
    QSignalSpy changed(opImage, &OpImage::modelChanged);
    QSignalSpy closed(opImage, &OpImage::viewConfirmClosed);
    startNormalCut(QPoint(100, 100), QPoint(300, 200));
    bool asked = false;
    answerSaveDialog([&](QFileDialog* dialog) {
        asked = true;
        dialog->reject();
    });
    clickButton(popup->getSaveAsBtn());
    QTRY_VERIFY(asked);
    QTRY_VERIFY(!QApplication::activeModalWidget());
    QVERIFY(popup->isVisible());
    QCOMPARE(closed.count(), 0);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(model.imgType(), ".png");
    QCOMPARE(model.directory(), output->path() + "/");
    QVERIFY(savedFiles().isEmpty());
}

void TestCaptureX11::largeCutIsPreviewedSmallerAndSavedWhole()
{
    startNormalCut(QPoint(10, 10), QPoint(1710, 900));
    QCOMPARE(popup->size(), QSize(1360 + 10, 712 + 35));
    // Resized after smaller cuts, and placed in the middle again.
    QCOMPARE(popup->pos(), QPoint(959 - 1369 / 2, 539 - 746 / 2));
    clickButton(popup->getSaveBtn());
    QTRY_COMPARE(savedFiles().size(), 1);
    QCOMPARE(fileImage(popup->toolTip()), screen.copy(10, 10, 1700, 890));
}

void TestCaptureX11::titleBarCloseReportsClosed()
{
    QSignalSpy closed(opImage, &OpImage::viewConfirmClosed);
    startNormalCut(QPoint(100, 100), QPoint(300, 200));
    QVERIFY(runClient("xprop", {"-id", QString::number(popup->winId()), "_NET_WM_STATE"})
                .contains("_NET_WM_STATE_SKIP_TASKBAR"));
    sendDeleteWindow(popup->winId());
    QTRY_VERIFY(!popup->isVisible());
    QCOMPARE(closed.count(), 1);
    QVERIFY(savedFiles().isEmpty());
}

void TestCaptureX11::fullScreenSavesTheWholeScreen()
{
    QSignalSpy saved(opImage, &OpImage::imageSaved);
    QSignalSpy done(opImage, &OpImage::allDone);
    opImage->fullScreen();
    QCOMPARE(saved.count(), 1);
    QCOMPARE(done.count(), 1);
    QCOMPARE(savedFiles().size(), 1);
    QCOMPARE(fileImage(output->filePath(savedFiles().first())), screen);
    QCOMPARE(clipboardImage(), screen);
}

int main(int argc, char** argv)
{
    // Qt's own file dialog, so that the test can answer it.
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication app(argc, argv);
    TestCaptureX11 test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_capturex11.moc"
