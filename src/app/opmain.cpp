#include "opmain.h"

#include "Model/modelconfig.h"
#include "app/appnames.h"
#include "app/processutils.h"

#include <QCoreApplication>
#include <QFile>
#include <QIcon>
#include <QMessageBox>

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

void OpMain::newUpdate() { }

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

void OpMain::startUpdateThread() { }

void OpMain::bindConfigView() { }
