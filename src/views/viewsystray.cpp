#include "viewsystray.h"

#include "Model/modelconfig.h"
#include "app/appnames.h"
#include "platform/autostart.h"
#include "platform/desktopsession.h"

#include <QAction>
#include <QCoreApplication>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QIcon>
#include <QMenu>
#include <QUrl>

namespace {

const int BalloonMs = 5000;
const QString RunningTitle = QStringLiteral("Pelicrow ") + AppNames::Version;

QString launcherPath()
{
    return QDir::toNativeSeparators(
        QCoreApplication::applicationDirPath() + QLatin1Char('/') + AppNames::LauncherExecutable);
}

} // namespace

ViewSystray::ViewSystray(QObject* parent)
    : QSystemTrayIcon(parent)
    , m_singleActivations(platform::trayDeliversSingleActivations())
{
    createTexts();
    createActions();
    createMenus();
    setIcon(QIcon(AppNames::Icon));
    setContextMenu(m_contextMenu);
    connectActions();
}

void ViewSystray::createTexts()
{
    m_changeExtensionText = QStringLiteral("Change Extension");
    m_exitText = QStringLiteral("Exit");
    m_helpText = QStringLiteral("Help");
    m_restoreText = QStringLiteral("Restore");
    m_showDirText = QStringLiteral("Show Current Directory");
    m_chooseDirText = QStringLiteral("Choose Directory");
    m_bootText = QStringLiteral("Start With System");
    m_runningText = QStringLiteral("Pelicrow Is Running!");
}

void ViewSystray::createActions()
{
    // Every action belongs to the submenu, which lives as long as the program.
    m_typeMenu = new QMenu(m_changeExtensionText);
    m_exitAction = new QAction(m_exitText, m_typeMenu);
    m_helpAction = new QAction(m_helpText, m_typeMenu);
    m_restoreAction = new QAction(m_restoreText, m_typeMenu);
    m_pngAction = createTypeAction(".png");
    m_jpgAction = createTypeAction(".jpg");
    m_bmpAction = createTypeAction(".bmp");
    m_jpegAction = createTypeAction(".jpeg");
    m_ppmAction = createTypeAction(".ppm");
    m_xbmAction = createTypeAction(".xbm");
    m_xpmAction = createTypeAction(".xpm");
    m_chooseDirAction = new QAction(m_chooseDirText, m_typeMenu);
    m_showDirAction = new QAction(m_showDirText, m_typeMenu);
    m_bootAction = new QAction(m_bootText, m_typeMenu);
    m_bootAction->setCheckable(true);
}

QAction* ViewSystray::createTypeAction(const char* suffix)
{
    auto* action = new QAction(QLatin1String(suffix), m_typeMenu);
    action->setCheckable(true);
    return action;
}

void ViewSystray::createMenus()
{
    m_typeMenu->addActions({m_pngAction, m_jpgAction, m_jpegAction, m_bmpAction, m_ppmAction,
        m_xbmAction, m_xpmAction});
    m_contextMenu = new QMenu;
    m_contextMenu->addAction(m_restoreAction);
    m_contextMenu->addAction(m_showDirAction);
    m_contextMenu->addAction(m_chooseDirAction);
    m_contextMenu->addMenu(m_typeMenu);
    m_contextMenu->addAction(m_helpAction);
    m_contextMenu->addAction(m_bootAction);
    m_contextMenu->addAction(m_exitAction);
}

void ViewSystray::connectActions()
{
    connect(m_restoreAction, SIGNAL(triggered()), this, SIGNAL(showViewMain()));
    connect(m_showDirAction, SIGNAL(triggered()), this, SLOT(openDir()));
    connect(m_chooseDirAction, SIGNAL(triggered()), this, SLOT(changeDir()));
    connect(m_pngAction, SIGNAL(triggered()), this, SLOT(topng()));
    connect(m_jpgAction, SIGNAL(triggered()), this, SLOT(tojpg()));
    connect(m_jpegAction, SIGNAL(triggered()), this, SLOT(tojpeg()));
    connect(m_bmpAction, SIGNAL(triggered()), this, SLOT(tobmp()));
    connect(m_ppmAction, SIGNAL(triggered()), this, SLOT(toppm()));
    connect(m_xbmAction, SIGNAL(triggered()), this, SLOT(toxbm()));
    connect(m_xpmAction, SIGNAL(triggered()), this, SLOT(toxpm()));
    connect(m_helpAction, SIGNAL(triggered()), this, SLOT(showRunning()));
    connect(m_bootAction, SIGNAL(triggered()), this, SLOT(initWin()));
    connect(m_exitAction, SIGNAL(triggered()), this, SIGNAL(quit()));
    connect(this, SIGNAL(activated(QSystemTrayIcon::ActivationReason)), this,
        SLOT(trayDouble(QSystemTrayIcon::ActivationReason)));
}

// Hosts that deliver single activations only never report a double click.
void ViewSystray::trayDouble(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::DoubleClick
        || (reason == QSystemTrayIcon::Trigger && m_singleActivations))
        emit showViewMain();
}

void ViewSystray::updateLayout()
{
    if (!m_model)
        return;
    setImgLayout(m_model->imgType());
    setStartWithSystem(m_model->boot());
}

void ViewSystray::setImgLayout(QString imgtype)
{
    const QList<QAction*> all = {
        m_pngAction, m_jpgAction, m_bmpAction, m_jpegAction, m_ppmAction, m_xbmAction, m_xpmAction};
    for (QAction* action : all)
        action->setChecked(false);
    const QList<QAction*> candidates
        = {m_xpmAction, m_jpgAction, m_jpegAction, m_bmpAction, m_ppmAction, m_xbmAction};
    for (QAction* action : candidates) {
        if (action->text() == imgtype) {
            action->setChecked(true);
            return;
        }
    }
    m_pngAction->setChecked(true);
}

void ViewSystray::setModel(ModelConfig* model)
{
    m_model = model;
    updateLayout();
}

void ViewSystray::topng()
{
    chooseImgType(QStringLiteral(".png"));
}

void ViewSystray::tojpg()
{
    chooseImgType(QStringLiteral(".jpg"));
}

void ViewSystray::tobmp()
{
    chooseImgType(QStringLiteral(".bmp"));
}

void ViewSystray::tojpeg()
{
    chooseImgType(QStringLiteral(".jpeg"));
}

void ViewSystray::toppm()
{
    chooseImgType(QStringLiteral(".ppm"));
}

void ViewSystray::toxbm()
{
    chooseImgType(QStringLiteral(".xbm"));
}

void ViewSystray::toxpm()
{
    chooseImgType(QStringLiteral(".xpm"));
}

void ViewSystray::chooseImgType(const QString& suffix)
{
    if (!m_model)
        return;
    m_model->setImgType(suffix);
    emit modelChanged();
    setImgLayout(suffix);
}

void ViewSystray::initWin()
{
    if (!m_model)
        return;
    m_model->setBoot(!m_model->boot());
    emit modelChanged();
    setStartWithSystem(m_model->boot());
}

void ViewSystray::setStartWithSystem(bool enabled)
{
    if (!platform::setStartWithSystem(enabled, launcherPath().toStdWString()))
        qDebug() << "cannot update the start-with-system entry" << enabled;
    m_bootAction->setChecked(enabled);
    if (m_model)
        m_model->saveConfig();
}

void ViewSystray::changeDir()
{
    if (!m_model)
        return;
    QString chosen = QFileDialog::getExistingDirectory(
        nullptr, m_chooseDirText, m_model->directory(), QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty())
        return;
    if (!chosen.endsWith(QLatin1Char('/')))
        chosen += QLatin1Char('/');
    m_model->setDirectory(chosen);
    emit modelChanged();
    m_model->saveConfig();
}

void ViewSystray::openDir()
{
    if (!m_model)
        return;
    // A file URL built from the local path: "file:///" + "/home/…" would give four
    // slashes, and a '#' or '%' in a folder name would not survive a tolerant parse.
    QDesktopServices::openUrl(QUrl::fromLocalFile(m_model->directory()));
}

// A menu exported to a StatusNotifier host carries each entry's state, not the
// menu widget's: the entries themselves are switched too.
void ViewSystray::setEnabled(bool enable)
{
    m_contextMenu->setEnabled(enable);
    for (QAction* action : m_contextMenu->actions())
        action->setEnabled(enable);
}

void ViewSystray::showRunning()
{
    showMessage(RunningTitle, m_runningText, QSystemTrayIcon::Information, BalloonMs);
}

void ViewSystray::msgWarn(QString tittle, QString msg)
{
    showMessage(tittle, msg, QSystemTrayIcon::Warning, BalloonMs);
}

void ViewSystray::msgCritic(QString tittle, QString msg)
{
    showMessage(tittle, msg, QSystemTrayIcon::Critical, BalloonMs);
}

void ViewSystray::msgInfo(QString tittle, QString msg)
{
    showMessage(tittle, msg, QSystemTrayIcon::Information, BalloonMs);
}

void ViewSystray::msgNoIcon(QString tittle, QString msg)
{
    showMessage(tittle, msg, QSystemTrayIcon::NoIcon, BalloonMs);
}
