#pragma once

#include <QString>
#include <QSystemTrayIcon>

class ModelConfig;
class QAction;
class QMenu;

// The program's icon in the notification area: its menu changes the image type,
// the output directory and start-with-system, and it shows the balloons.
class ViewSystray : public QSystemTrayIcon
{
    Q_OBJECT
public:
    explicit ViewSystray(QObject* parent = nullptr);

    void setStartWithSystem(bool enabled);

    // The "Change Extension" submenu; the whole menu is contextMenu().
    QMenu* typeMenu() const { return m_typeMenu; }

signals:
    void quit();
    void showViewMain();
    void modelChanged();

public slots:
    void trayDouble(QSystemTrayIcon::ActivationReason reason);
    void updateLayout();
    void setImgLayout(QString imgtype);
    void setModel(ModelConfig* model);
    void topng();
    void tojpg();
    void tobmp();
    void tojpeg();
    void toppm();
    void toxbm();
    void toxpm();
    void initWin();
    void changeDir();
    void openDir();
    void setEnabled(bool enable);
    void showRunning();
    void msgWarn(QString tittle, QString msg);
    void msgCritic(QString tittle, QString msg);
    void msgInfo(QString tittle, QString msg);
    void msgNoIcon(QString tittle, QString msg);

private:
    void createTexts();
    void createActions();
    void createMenus();
    void connectActions();
    QAction* createTypeAction(const char* suffix);
    void chooseImgType(const QString& suffix);

    QAction* m_exitAction = nullptr;
    QAction* m_helpAction = nullptr;
    QAction* m_restoreAction = nullptr;
    QAction* m_pngAction = nullptr;
    QAction* m_jpgAction = nullptr;
    QAction* m_bmpAction = nullptr;
    QAction* m_jpegAction = nullptr;
    QAction* m_ppmAction = nullptr;
    QAction* m_xbmAction = nullptr;
    QAction* m_xpmAction = nullptr;
    QAction* m_chooseDirAction = nullptr;
    QAction* m_showDirAction = nullptr;
    QAction* m_bootAction = nullptr;
    QMenu* m_contextMenu = nullptr;
    QMenu* m_typeMenu = nullptr;
    ModelConfig* m_model = nullptr;
    bool m_singleActivations;
    QString m_changeExtensionText;
    QString m_exitText;
    QString m_helpText;
    QString m_restoreText;
    QString m_showDirText;
    QString m_chooseDirText;
    QString m_bootText;
    QString m_runningText;
};
