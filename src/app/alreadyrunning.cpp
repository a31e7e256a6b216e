#include "alreadyrunning.h"

#include "app/appnames.h"

#include <QIcon>
#include <QMessageBox>

bool waitWhileOthersRun(const std::function<bool()>& othersRunning)
{
    while (othersRunning()) {
        QMessageBox box(QMessageBox::Warning, QString(),
            QObject::tr("Pelicrow is already running!"), QMessageBox::Retry | QMessageBox::Cancel);
        box.setWindowIcon(QIcon(AppNames::Icon));
        // Escape and the title-bar button also answer Cancel.
        if (box.exec() == QMessageBox::Cancel)
            return false;
    }
    return true;
}
