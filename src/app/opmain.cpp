#include "opmain.h"

#include "Model/modelconfig.h"

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

void OpMain::checkUpgrade() { }

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
