#include "hook/opkeyhook.h"
#include "messagecapture.h"

#include <QApplication>
#include <QMessageBox>
#include <QtTest>

// Without an X server to listen to, hot-keys cannot work; the user is told
// once, and nothing blocks the program.
class TestOpKeyHookUnavailable : public QObject
{
    Q_OBJECT
private slots:
    void saysOnceThatHotKeysAreMissing();
};

void TestOpKeyHookUnavailable::saysOnceThatHotKeysAreMissing()
{
    qunsetenv("DISPLAY");
    MessageCapture messages;
    OpKeyHook hook;
    QCOMPARE(messages.messages(QtDebugMsg).filter("keyboard listener").size(), 1);
    QList<QMessageBox*> warnings;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
            warnings << box;
    }
    QCOMPARE(warnings.size(), 1);
    QCOMPARE(warnings.first()->icon(), QMessageBox::Warning);
    QVERIFY(warnings.first()->text().contains("hot-keys are not available"));
    QVERIFY(!warnings.first()->isModal());
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
}

QTEST_MAIN(TestOpKeyHookUnavailable)
#include "tst_opkeyhookunavailable.moc"
