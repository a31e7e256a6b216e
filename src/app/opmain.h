#pragma once

#include <QObject>

class ModelConfig;
class QCloseEvent;
class OpConfig;
class OpImage;
class OpKeyHook;
class OpUpdate;
class ViewMain;
class ViewSystray;

// Builds the running program, wires its parts together and ends it.
class OpMain : public QObject
{
    Q_OBJECT
public:
    explicit OpMain(QObject* parent = nullptr);

    void start();

public slots:
    void newUpdate();
    void callAd();
    void keyFiltter(int key);
    void connectOpKeyHook();
    void disconnectOpKeyHook();
    void exitProgram();
    void keepMainWindowReachable(QCloseEvent* event);
    void watchNotificationArea();

private:
    void checkUpgrade();
    void createModel();
    void createObjects();
    void setModels();
    void makeConnections();
    void showWindows();
    void startUpdateThread();
    void bindConfigView();

    bool hookConnected;
    ModelConfig* model = nullptr;
    ViewSystray* systray = nullptr;
    OpKeyHook* keyHook = nullptr;
    OpImage* opImage = nullptr;
    ViewMain* viewMain = nullptr;
    OpUpdate* opUpdate = nullptr;
    OpConfig* opConfig = nullptr;
};
