#include "opmain.h"

#include "Model/modelconfig.h"
#include "Network/opupdate.h"
#include "app/appnames.h"
#include "app/processutils.h"

#include <QCoreApplication>
#include <QFile>
#include <QIcon>
#include <QMessageBox>
#include <QThread>

#include <cstdio>
#include <cstdlib>

OpMain::OpMain(QObject* parent)
    : QObject(parent)
    , hookConnected(false)
{
}

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

void OpMain::callAd() { }

void OpMain::keyFiltter(int) { }

void OpMain::connectOpKeyHook() { }

void OpMain::disconnectOpKeyHook() { }

void OpMain::exitProgram()
{
    if (model)
        model->saveConfig();
    std::fflush(nullptr);
    // Leave at once: the tray, hook and threads need no orderly teardown.
    std::_Exit(1);
}

void OpMain::checkUpgrade()
{
    const QString appDir = QCoreApplication::applicationDirPath();
    if (!QFile::exists(appDir + AppNames::PendingExecutable))
        return;
    const QString launcherPath = appDir + QLatin1Char('/') + AppNames::LauncherExecutable;
    QMessageBox box(QMessageBox::Information, QString(),
        tr("There is a newer version of your application.\nWant to upgrade?"),
        QMessageBox::Yes | QMessageBox::No);
    box.setWindowIcon(QIcon(QStringLiteral(":/icone/camera.png")));
    if (box.exec() != QMessageBox::Yes)
        return;
    if (executeShell(launcherPath, QStringLiteral("runas"), QString(), false, false) == 0) {
        std::fflush(nullptr);
        // The launcher replaces this very executable once no copy of it runs any more.
        std::_Exit(1);
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

void OpMain::createObjects() { }

void OpMain::setModels() { }

void OpMain::makeConnections() { }

void OpMain::showWindows() { }

void OpMain::startUpdateThread()
{
    // Normally made with the other parts; a start without them still checks for updates.
    if (!opUpdate)
        opUpdate = new OpUpdate(nullptr);
    startUpdateCycle(opUpdate);
}

void OpMain::bindConfigView() { }
