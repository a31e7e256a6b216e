#include "trayhost.h"

#include <QSystemTrayIcon>
#include <QTest>

TrayHost::~TrayHost()
{
    m_process.kill();
    m_process.waitForFinished();
}

bool TrayHost::start()
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start("trayer",
        {"--edge", "top", "--align", "right", "--widthtype", "request", "--height",
            QString::number(Height), "--SetDockType", "false"});
    return m_process.waitForStarted()
        && QTest::qWaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 10000);
}
