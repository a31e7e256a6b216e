#include "Model/modelconfig.h"
#include "app/appnames.h"
#include "app/defaults.h"
#include "settingfiles.h"
#include "testsupport.h"
#include "trayhost.h"
#include "views/viewsystray.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include <memory>

using TestSupport::runTool;
using TestSupport::xdotool;

Q_DECLARE_METATYPE(QSystemTrayIcon::ActivationReason)

namespace {

QString entryPath()
{
    return qEnvironmentVariable("XDG_CONFIG_HOME") + "/autostart/" + AppNames::LauncherExecutable
        + ".desktop";
}

QString fileText(const QString& path)
{
    return QString::fromUtf8(TestSupport::fileBytes(path));
}

QStringList actionTexts(const QMenu* menu)
{
    QStringList texts;
    for (const QAction* action : menu->actions())
        texts << (action->isSeparator() ? QString("<separator>") : action->text());
    return texts;
}

QStringList checkedTypes(const QMenu* typeMenu)
{
    QStringList checked;
    for (const QAction* action : typeMenu->actions()) {
        if (action->isChecked())
            checked << action->text();
    }
    return checked;
}

QAction* actionNamed(const QMenu* menu, const QString& text)
{
    for (QAction* action : menu->actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

void moveMouseTo(const QPoint& point)
{
    xdotool({"mousemove", QString::number(point.x()), QString::number(point.y())});
    QTRY_COMPARE(QCursor::pos(), point);
}

QPoint actionCentre(const QMenu* menu, QAction* action)
{
    return menu->mapToGlobal(menu->actionGeometry(action).center());
}

// Qt's own balloon, shown when the tray host cannot draw one.
QWidget* visibleBalloon()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->inherits("QBalloonTip"))
            return widget;
    }
    return nullptr;
}

QStringList labelTexts(const QWidget* widget)
{
    QStringList texts;
    for (const QLabel* label : widget->findChildren<QLabel*>())
        texts << label->text();
    return texts;
}

} // namespace

// The tray icon in a real notification area (trayer, started by isolated-run),
// driven by real clicks.
class TestViewSystray : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void iconDocksAndFirstStartRegistersLauncher();
    void menuHasEntriesInOrder();
    void rightClickOpensMenuAndJpgIsChosen();
    void setImgLayoutMarks_data();
    void setImgLayoutMarks();
    void choosingMarkedEntryKeepsOneMark();
    void startWithSystemToggledTwiceIsUnchangedAndSavedTwice();
    void changeDirAppendsSlashOnce_data();
    void changeDirAppendsSlashOnce();
    void cancelledChangeDirChangesNothing();
    void openDirHandsLocalUrlToDesktop_data();
    void openDirHandsLocalUrlToDesktop();
    void onlyDoubleClickShowsMainWindow();
    void balloonsShowTitleAndText_data();
    void balloonsShowTitleAndText();
    void disabledMenuOffersNothing();

private:
    void showTray();
    void clickIcon(const QString& button, int repeat = 1);
    void closeMenu();

    QTemporaryDir scratch;
    std::unique_ptr<ModelConfig> model;
    std::unique_ptr<ViewSystray> tray;
};

void TestViewSystray::initTestCase()
{
    QVERIFY(scratch.isValid());
    qRegisterMetaType<QSystemTrayIcon::ActivationReason>();
    // What the desktop would be asked to open, recorded in scratch/opened.
    QVERIFY(!TestSupport::installRecordingXdgOpen(scratch.path()).isEmpty());

    QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 10000);
}

void TestViewSystray::init()
{
    QDir(ModelConfig::configDirectory()).removeRecursively();
    QFile::remove(entryPath());
    QFile::remove(scratch.path() + "/opened");
    model = std::make_unique<ModelConfig>();
    model->verificConfig();
    tray = std::make_unique<ViewSystray>();
}

void TestViewSystray::cleanup()
{
    tray.reset();
    model.reset();
}

void TestViewSystray::showTray()
{
    tray->setModel(model.get());
    tray->setVisible(true);
    // Until trayer has embedded it, the icon reports its own window's origin.
    QTRY_VERIFY_WITH_TIMEOUT(tray->geometry().topLeft() != QPoint(0, 0), 10000);
}

void TestViewSystray::clickIcon(const QString& button, int repeat)
{
    moveMouseTo(tray->geometry().center());
    xdotool({"click", "--repeat", QString::number(repeat), "--delay", "80", button});
}

void TestViewSystray::closeMenu()
{
    if (tray->contextMenu()->isVisible())
        xdotool({"key", "Escape", "Escape"});
    QTRY_VERIFY(!tray->contextMenu()->isVisible());
}

void TestViewSystray::iconDocksAndFirstStartRegistersLauncher()
{
    QVERIFY(!tray->isVisible());
    QVERIFY(!QFile::exists(entryPath()));
    showTray();
    QCOMPARE(tray->geometry().size(), QSize(22, 22));
    QVERIFY(tray->toolTip().isEmpty());
    QCOMPARE(tray->icon().availableSizes().value(0), QSize(200, 200));

    // Default settings start with the system: the entry names this build's launcher.
    QVERIFY(model->boot());
    const QString launcher
        = QCoreApplication::applicationDirPath() + "/" + AppNames::LauncherExecutable;
    QVERIFY2(fileText(entryPath()).contains("\nExec=" + launcher + "\n"),
        qPrintable(fileText(entryPath())));
    QVERIFY(tray->contextMenu()->actions().at(5)->isChecked());
}

void TestViewSystray::menuHasEntriesInOrder()
{
    QCOMPARE(actionTexts(tray->contextMenu()),
        QStringList({"Restore", "Show Current Directory", "Choose Directory", "Change Extension",
            "Help", "Start With System", "Exit"}));
    QCOMPARE(tray->contextMenu()->actions().at(3)->menu(), tray->typeMenu());
    QCOMPARE(actionTexts(tray->typeMenu()), Defaults::trayMenuImageTypes());
    for (const QAction* action : tray->typeMenu()->actions())
        QVERIFY(action->isCheckable());
    QVERIFY(actionNamed(tray->contextMenu(), "Start With System")->isCheckable());
    QVERIFY(!actionNamed(tray->contextMenu(), "Help")->isCheckable());
}

void TestViewSystray::rightClickOpensMenuAndJpgIsChosen()
{
    showTray();
    QSignalSpy changed(tray.get(), &ViewSystray::modelChanged);
    clickIcon("3");
    QTRY_VERIFY_WITH_TIMEOUT(tray->contextMenu()->isVisible(), 5000);

    moveMouseTo(actionCentre(tray->contextMenu(), tray->typeMenu()->menuAction()));
    xdotool({"click", "1"});
    QTRY_VERIFY_WITH_TIMEOUT(tray->typeMenu()->isVisible(), 5000);
    if (!qEnvironmentVariableIsEmpty("PELICROW_SHOT"))
        runTool("import", {"-window", "root", qEnvironmentVariable("PELICROW_SHOT")});
    QAction* jpg = actionNamed(tray->typeMenu(), ".jpg");
    moveMouseTo(actionCentre(tray->typeMenu(), jpg));
    xdotool({"click", "1"});

    QTRY_COMPARE(changed.count(), 1);
    QCOMPARE(model->imgType(), QString(".jpg"));
    QCOMPARE(checkedTypes(tray->typeMenu()), QStringList({".jpg"}));
    QTRY_VERIFY(!tray->contextMenu()->isVisible());
}

void TestViewSystray::setImgLayoutMarks_data()
{
    QTest::addColumn<QString>("imgType");
    QTest::addColumn<QString>("marked");
    for (const char* type : {".png", ".jpg", ".jpeg", ".bmp", ".ppm", ".xbm", ".xpm"})
        QTest::newRow(type) << type << type;
    QTest::newRow("other case") << ".JPG"
                                << ".png";
    QTest::newRow("no dot") << "jpg"
                            << ".png";
    QTest::newRow("empty") << ""
                           << ".png";
    QTest::newRow("unknown") << ".gif"
                             << ".png";
}

void TestViewSystray::setImgLayoutMarks()
{
    QFETCH(QString, imgType);
    QFETCH(QString, marked);
    model->setImgType(".bmp");
    tray->setModel(model.get());
    tray->setImgLayout(imgType);
    QCOMPARE(checkedTypes(tray->typeMenu()), QStringList({marked}));
    QCOMPARE(model->imgType(), QString(".bmp"));
}

void TestViewSystray::choosingMarkedEntryKeepsOneMark()
{
    model->setImgType(".xpm");
    tray->setModel(model.get());
    QSignalSpy changed(tray.get(), &ViewSystray::modelChanged);
    QSignalSpy typeChanged(model.get(), &ModelConfig::imgTypeChanged);
    actionNamed(tray->typeMenu(), ".xpm")->trigger();
    QCOMPARE(changed.count(), 1);
    QCOMPARE(typeChanged.count(), 1);
    QCOMPARE(checkedTypes(tray->typeMenu()), QStringList({".xpm"}));
    QCOMPARE(model->imgType(), QString(".xpm"));
}

void TestViewSystray::startWithSystemToggledTwiceIsUnchangedAndSavedTwice()
{
    tray->setModel(model.get());
    const QString before = fileText(entryPath());
    QAction* boot = actionNamed(tray->contextMenu(), "Start With System");
    QVERIFY(boot->isChecked());
    QSignalSpy changed(tray.get(), &ViewSystray::modelChanged);
    const QString bootFile = SettingFiles::path(ModelConfig::Boot);

    QVERIFY(QFile::remove(bootFile));
    boot->trigger();
    QCOMPARE(fileText(bootFile), QString("false"));
    QVERIFY(!boot->isChecked());
    QVERIFY(!QFile::exists(entryPath()));

    QVERIFY(QFile::remove(bootFile));
    boot->trigger();
    QCOMPARE(fileText(bootFile), QString("true"));
    QVERIFY(boot->isChecked());
    QVERIFY(model->boot());
    QCOMPARE(fileText(entryPath()), before);
    QCOMPARE(changed.count(), 2);
}

void TestViewSystray::changeDirAppendsSlashOnce_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("stored");
    const QString pictures = QDir::homePath() + "/Pictures";
    QTest::newRow("no trailing slash") << pictures << pictures + "/";
    QTest::newRow("root") << "/"
                          << "/";
}

void TestViewSystray::changeDirAppendsSlashOnce()
{
    QFETCH(QString, chosen);
    QFETCH(QString, stored);
    QVERIFY(QDir().mkpath(QDir::homePath() + "/Pictures"));
    tray->setModel(model.get());
    QSignalSpy changed(tray.get(), &ViewSystray::modelChanged);
    TestSupport::answerDirectoryDialog(chosen);
    tray->changeDir();
    QCOMPARE(model->directory(), stored);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(fileText(SettingFiles::path(ModelConfig::Directory)), stored);
}

void TestViewSystray::cancelledChangeDirChangesNothing()
{
    tray->setModel(model.get());
    const QString before = model->directory();
    QSignalSpy changed(tray.get(), &ViewSystray::modelChanged);
    TestSupport::answerDirectoryDialog(QString());
    tray->changeDir();
    QCOMPARE(model->directory(), before);
    QCOMPARE(changed.count(), 0);
}

void TestViewSystray::openDirHandsLocalUrlToDesktop_data()
{
    QTest::addColumn<QString>("directory");
    QTest::newRow("plain") << QDir::homePath() + "/Desktop/";
    QTest::newRow("blank and hash") << QDir::homePath() + "/My #1 shots/";
}

void TestViewSystray::openDirHandsLocalUrlToDesktop()
{
    QFETCH(QString, directory);
    model->setDirectory(directory);
    tray->setModel(model.get());
    actionNamed(tray->contextMenu(), "Show Current Directory")->trigger();
    const QString record = scratch.path() + "/opened";
    QTRY_VERIFY_WITH_TIMEOUT(fileText(record).endsWith('\n'), 10000);
    const QUrl opened(fileText(record).trimmed());
    QVERIFY2(opened.isLocalFile(), qPrintable(opened.toString()));
    QCOMPARE(opened.toLocalFile(), directory);
}

void TestViewSystray::onlyDoubleClickShowsMainWindow()
{
    showTray();
    QSignalSpy showMain(tray.get(), &ViewSystray::showViewMain);
    QSignalSpy activated(tray.get(), &QSystemTrayIcon::activated);
    clickIcon("1");
    QTRY_COMPARE(activated.count(), 1);
    clickIcon("2");
    QTRY_COMPARE(activated.count(), 2);
    clickIcon("3");
    QTRY_VERIFY(tray->contextMenu()->isVisible());
    closeMenu();
    QCOMPARE(showMain.count(), 0);

    clickIcon("1", 2);
    QTRY_COMPARE(showMain.count(), 1);
    actionNamed(tray->contextMenu(), "Restore")->trigger();
    QCOMPARE(showMain.count(), 2);
}

void TestViewSystray::balloonsShowTitleAndText_data()
{
    QTest::addColumn<QString>("slot");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::newRow("info") << "msgInfo"
                          << "Saved"
                          << "/home/a.png";
    QTest::newRow("critic") << "msgCritic"
                            << "Failed"
                            << "cannot write";
    QTest::newRow("warn") << "msgWarn"
                          << "Careful"
                          << "disk almost full";
    QTest::newRow("no icon") << "msgNoIcon"
                             << "Plain"
                             << "nothing";
    QTest::newRow("help") << "showRunning"
                          << "Pelicrow 1.0"
                          << "Pelicrow Is Running!";
}

void TestViewSystray::balloonsShowTitleAndText()
{
    QFETCH(QString, slot);
    QFETCH(QString, title);
    QFETCH(QString, text);
    showTray();
    if (slot == "showRunning")
        actionNamed(tray->contextMenu(), "Help")->trigger();
    else
        QMetaObject::invokeMethod(
            tray.get(), slot.toLatin1(), Q_ARG(QString, title), Q_ARG(QString, text));
    QTRY_VERIFY_WITH_TIMEOUT(visibleBalloon(), 5000);
    const QStringList shown = labelTexts(visibleBalloon());
    QVERIFY2(shown.contains(title) && shown.contains(text), qPrintable(shown.join('|')));
    tray->hide();
    QTRY_VERIFY(!visibleBalloon());
}

void TestViewSystray::disabledMenuOffersNothing()
{
    showTray();
    tray->setEnabled(false);
    QSignalSpy activated(tray.get(), &QSystemTrayIcon::activated);
    clickIcon("3");
    // The click has been handled, and a disabled menu does not even open.
    QTRY_COMPARE(activated.count(), 1);
    QVERIFY(!tray->contextMenu()->isVisible());
    QVERIFY(!tray->contextMenu()->isEnabled());

    tray->msgInfo("Busy", "capture running");
    QTRY_VERIFY_WITH_TIMEOUT(visibleBalloon(), 5000);
    tray->setEnabled(true);
    QVERIFY(tray->contextMenu()->isEnabled());
}

QTEST_MAIN(TestViewSystray)
#include "tst_viewsystray.moc"
