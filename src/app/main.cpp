#include "app/alreadyrunning.h"
#include "app/appnames.h"
#include "app/executablecheck.h"
#include "app/opmain.h"
#include "app/processutils.h"
#include "platform/terminationsignals.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    // Nothing here draws with OpenGL; without this every window would load the GL driver.
    QCoreApplication::setAttribute(Qt::AA_ForceRasterWidgets);
    QApplication app(argc, argv);
    ExecutableCheck::setPublicKey(QByteArray::fromBase64(PELICROW_UPDATE_PUBLIC_KEY));
    // The one copy the listing may show is this process itself.
    if (!waitWhileOthersRun([] { return processCount(AppNames::MainExecutable) > 1; }))
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
