#include "app/appnames.h"
#include "app/opmain.h"
#include "app/processutils.h"
#include "platform/terminationsignals.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>

namespace {

// Waits while another copy runs; false when the user gives up.
bool waitForOtherCopy()
{
    while (processCount(AppNames::MainExecutable) > 1) {
        QMessageBox box(QMessageBox::Warning, QString(), QObject::tr("Pelicrow is already running!"),
                        QMessageBox::Retry | QMessageBox::Cancel);
        box.setWindowIcon(QIcon(QStringLiteral(":/icone/camera.png")));
        if (box.exec() == QMessageBox::Cancel)
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    // Nothing here draws with OpenGL; without this every window would load the GL driver.
    QCoreApplication::setAttribute(Qt::AA_ForceRasterWidgets);
    QApplication app(argc, argv);
    if (!waitForOtherCopy())
        return 1;
    QGuiApplication::setQuitOnLastWindowClosed(false);

    OpMain opMain(nullptr);
    // A session that ends, or a kill, must not lose what the user changed; a
    // request that comes while the program still starts is handled once it runs.
    platform::watchTerminationSignals(&opMain, SLOT(exitProgram()));
    opMain.start();
    QObject::connect(&app, SIGNAL(commitDataRequest(QSessionManager&)), &opMain,
                     SLOT(exitProgram()), Qt::DirectConnection);
    return app.exec();
}
