#include "opmain.h"

#include "Model/modelconfig.h"
#include "capture/opimage.h"
#include "hook/opkeyhook.h"

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

// Fast before normal before full-screen: the first setting that holds the key wins.
void OpMain::keyFiltter(int key)
{
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
}

void OpMain::disconnectOpKeyHook()
{
    if (!hookConnected)
        return;
    hookConnected = false;
    disconnect(keyHook, SIGNAL(ctrlShiftKeyPressed(int)), this, SLOT(keyFiltter(int)));
}

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

void OpMain::createObjects()
{
    keyHook = new OpKeyHook(nullptr);
    opImage = new OpImage(nullptr);
}

void OpMain::setModels()
{
    opImage->setModel(model);
}

void OpMain::makeConnections()
{
    connect(opImage, SIGNAL(viewConfirmClosed()), this, SLOT(connectOpKeyHook()));
    connect(opImage, SIGNAL(allDone()), this, SLOT(connectOpKeyHook()));
    connectOpKeyHook();
}

void OpMain::showWindows() { }

void OpMain::startUpdateThread() { }

void OpMain::bindConfigView() { }
