#include "opmain.h"

#include "Model/modelconfig.h"
#include "Network/opupdate.h"
#include "app/appnames.h"
#include "app/executablecheck.h"
#include "app/processutils.h"
#include "capture/opimage.h"
#include "config/opconfig.h"
#include "hook/opkeyhook.h"
#include "platform/terminationsignals.h"
#include "views/viewadwidget.h"
#include "views/viewmain.h"
#include "views/viewsystray.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFile>
#include <QIcon>
#include <QMessageBox>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <cstdio>

OpMain::OpMain(QObject* parent)
    : QObject(parent)
    , hookConnected(false)
{ }

void OpMain::start()
{
    checkUpgrade();
    createModel();
    createObjects();
    setModels();
    makeConnections();
    showWindows();
    startUpdateThread();
    bindConfigView();
}

namespace {

const int TrayWatchMs = 2000;

// One update cycle in a thread of its own; both end with the process.
void startUpdateCycle(OpUpdate* update)
{
    auto* thread = new QThread(nullptr);
    update->moveToThread(thread);
    QObject::connect(thread, SIGNAL(started()), update, SLOT(startUpdate()));
    QObject::connect(thread, SIGNAL(finished()), thread, SLOT(quit()));
    QObject::connect(thread, SIGNAL(finished()), update, SLOT(deleteLater()));
    QObject::connect(thread, SIGNAL(finished()), thread, SLOT(deleteLater()));
    thread->start(QThread::InheritPriority);
}

} // namespace

void OpMain::newUpdate()
{
    startUpdateCycle(new OpUpdate(nullptr));
}

void OpMain::callAd()
{
    QDesktopServices::openUrl(QUrl(AppNames::SiteUrl, QUrl::TolerantMode));
}

// Fast before normal before full-screen: the first setting that holds the key wins.
// While one of our own modal dialogs is open the keys are ignored as during a
// capture: an overlay shown then would get no input, and the dialog would stay.
void OpMain::keyFiltter(int key)
{
    if (QApplication::activeModalWidget())
        return;
    if (key == model->fastCutKey()) {
        disconnectOpKeyHook();
        opImage->fastCut();
    } else if (key == model->normalCutKey()) {
        disconnectOpKeyHook();
        opImage->normalCut();
    } else if (key == model->fullScreenKey()) {
        disconnectOpKeyHook();
        opImage->fullScreen();
    }
}

// A normal cut saved with "Save" ends twice (saved, then popup closed): connect once.
void OpMain::connectOpKeyHook()
{
    if (hookConnected)
        return;
    hookConnected = true;
    connect(keyHook, SIGNAL(ctrlShiftKeyPressed(int)), this, SLOT(keyFiltter(int)));
    systray->setEnabled(true);
}

// The tray menu stays shut while a capture runs; balloons still show.
void OpMain::disconnectOpKeyHook()
{
    if (!hookConnected)
        return;
    hookConnected = false;
    disconnect(keyHook, SIGNAL(ctrlShiftKeyPressed(int)), this, SLOT(keyFiltter(int)));
    systray->setEnabled(false);
}

// Without a notification area a hidden window could never come back: it is
// minimised instead, and brought back so should the area vanish while it hides.
void OpMain::keepMainWindowReachable(QCloseEvent* event)
{
    if (QSystemTrayIcon::isSystemTrayAvailable())
        return;
    event->ignore();
    viewMain->showMinimized();
}

void OpMain::watchNotificationArea()
{
    if (!viewMain->isVisible() && !QSystemTrayIcon::isSystemTrayAvailable())
        viewMain->showMinimized();
}

void OpMain::exitProgram()
{
    if (model)
        model->saveConfig();
    std::fflush(nullptr);
    // Leave at once: the tray, hook and threads need no orderly teardown.
    platform::endProcessNow(1);
}

void OpMain::checkUpgrade()
{
    const QString appDir = QCoreApplication::applicationDirPath();
    const QString pending = appDir + AppNames::PendingExecutable;
    if (!QFile::exists(pending))
        return;
    // Whatever lies there, however it came, is offered only when it would be installed.
    const QString problem = ExecutableCheck::problemWith(pending);
    if (!problem.isEmpty()) {
        ExecutableCheck::discard(pending, problem);
        return;
    }
    const QString launcherPath = appDir + QLatin1Char('/') + AppNames::LauncherExecutable;
    QMessageBox box(QMessageBox::Information, QString(),
        tr("There is a newer version of your application.\nWant to upgrade?"),
        QMessageBox::Yes | QMessageBox::No);
    box.setWindowIcon(QIcon(AppNames::Icon));
    if (box.exec() != QMessageBox::Yes)
        return;
    if (executeShell(launcherPath, QStringLiteral("runas"), QString(), false, false) == 0) {
        std::fflush(nullptr);
        // The launcher replaces this very executable once no copy of it runs any more.
        platform::endProcessNow(1);
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.setIcon(QMessageBox::Warning);
    box.setText(tr("Could not find Pelicrow_Launcher in: \n\n") + launcherPath);
    box.exec();
}

void OpMain::createModel()
{
    model = new ModelConfig(nullptr);
    model->verificConfig();
}

void OpMain::createObjects()
{
    keyHook = new OpKeyHook(nullptr);
    systray = new ViewSystray(nullptr);
    opImage = new OpImage(nullptr);
    viewMain = new ViewMain(nullptr);
    opUpdate = new OpUpdate(nullptr);
    opConfig = new OpConfig(nullptr);
}

void OpMain::setModels()
{
    systray->setModel(model);
    opImage->setModel(model);
    viewMain->setModel(model);
    opConfig->setModel(model);
}

void OpMain::makeConnections()
{
    connect(systray, SIGNAL(quit()), this, SLOT(exitProgram()));
    connect(systray, SIGNAL(showViewMain()), viewMain, SLOT(show()));
    connect(systray, SIGNAL(modelChanged()), opConfig, SLOT(updateConfigLayout()));
    connect(opConfig, SIGNAL(modelChanged()), systray, SLOT(updateLayout()));
    // The tray saves all settings first, then the panel shows the new values.
    connect(opImage, SIGNAL(modelChanged()), systray, SLOT(updateLayout()));
    connect(opImage, SIGNAL(modelChanged()), opConfig, SLOT(updateConfigLayout()));
    connect(viewMain->getOkBtn(), SIGNAL(clicked()), viewMain, SLOT(close()));
    connect(viewMain, SIGNAL(closeRequest(QCloseEvent*)), systray, SLOT(showRunning()));
    connect(viewMain, SIGNAL(closeRequest(QCloseEvent*)), this,
        SLOT(keepMainWindowReachable(QCloseEvent*)));
    connect(viewMain->getExitBtn(), SIGNAL(clicked()), this, SLOT(exitProgram()));
    connect(opImage, SIGNAL(viewConfirmClosed()), this, SLOT(connectOpKeyHook()));
    connect(
        opImage, SIGNAL(imageSaved(QString, QString)), systray, SLOT(msgInfo(QString, QString)));
    connect(
        opImage, SIGNAL(saveFailed(QString, QString)), systray, SLOT(msgCritic(QString, QString)));
    connect(viewMain->getAdWidget(), SIGNAL(adClicked()), this, SLOT(callAd()));
    connect(opImage, SIGNAL(allDone()), this, SLOT(connectOpKeyHook()));
    connectOpKeyHook();
}

void OpMain::showWindows()
{
    viewMain->show();
    systray->setVisible(true);
    auto* trayWatch = new QTimer(this);
    connect(trayWatch, SIGNAL(timeout()), this, SLOT(watchNotificationArea()));
    trayWatch->start(TrayWatchMs);
}

void OpMain::startUpdateThread()
{
    startUpdateCycle(opUpdate);
}

void OpMain::bindConfigView()
{
    opConfig->setView(viewMain->getViewConfig());
}
