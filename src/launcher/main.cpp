#include "app/alreadyrunning.h"
#include "app/appnames.h"
#include "app/executablecheck.h"
#include "app/processutils.h"
#include "launcher/appversionhandler.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QThread>

namespace {

// A main program that has just been told to end is still listed for a moment; the
// listing on Windows alone takes about this long. No window exists yet, so pausing
// between looks keeps nothing waiting.
constexpr int EndingGraceMs = 3000;
constexpr int EndingPollMs = 100;

bool mainProgramEnds()
{
    const QDeadlineTimer deadline(EndingGraceMs);
    while (processCount(AppNames::MainExecutable) > 0) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(EndingPollMs);
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    ExecutableCheck::setPublicKey(QByteArray::fromBase64(PELICROW_UPDATE_PUBLIC_KEY));
    if (!waitWhileOthersRun([] { return !mainProgramEnds(); }))
        return 1;
    AppVersionHandler handler(nullptr);
    handler.replaceExecutable();
    // Without effect, as the launcher never enters its event loop.
    QCoreApplication::exit(1);
    return 0;
}
