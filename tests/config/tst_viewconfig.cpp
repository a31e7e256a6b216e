#include "views/viewconfig.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>

namespace {

QList<QLabel*> labelsNamed(const QWidget* parent, const QString& text)
{
    QList<QLabel*> found;
    for (QLabel* label : parent->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (label->text() == text)
            found << label;
    }
    return found;
}

QLabel* labelNamed(const QWidget* parent, const QString& text)
{
    return labelsNamed(parent, text).value(0);
}

int naturalWidth(const QWidget* widget)
{
    return widget->sizeHint().width();
}

QStringList items(const QComboBox* combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts << combo->itemText(i);
    return texts;
}

// Every child lies inside the box, so nothing is cut off.
bool enclosesChildren(const QWidget* box)
{
    return box->rect().contains(box->childrenRect());
}

} // namespace

// The configuration panel's widgets, texts and positions; positions are computed
// from the style's own size hints, so any font or style must give the same layout.
class TestViewConfig : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void generalGroupFollowsSizeHints_data();
    void generalGroupFollowsSizeHints();
    void proxyGroupFollowsSizeHints_data();
    void proxyGroupFollowsSizeHints();
    void widerFastCutLabelMovesColumns();
    void boxesAndButtons();
    void widgetsStartAsBuilt();
    void untickedProxyGreysOutButKeepsContents();

private:
    void setFontSize(int pointSize);
    QFont originalFont = QApplication::font();
};

void TestViewConfig::cleanup()
{
    QApplication::setFont(originalFont);
}

void TestViewConfig::setFontSize(int pointSize)
{
    if (pointSize == 0)
        return;
    QFont font = originalFont;
    font.setPointSize(pointSize);
    QApplication::setFont(font);
}

void TestViewConfig::generalGroupFollowsSizeHints_data()
{
    QTest::addColumn<int>("pointSize");
    QTest::newRow("default font") << 0;
    QTest::newRow("large font") << 15;
}

void TestViewConfig::generalGroupFollowsSizeHints()
{
    QFETCH(int, pointSize);
    setFontSize(pointSize);
    ViewConfig panel(nullptr);
    const QGroupBox* box = panel.generalBox();

    const QLabel* dirLabel = labelNamed(box, "Images Destiny:");
    QVERIFY(dirLabel);
    QCOMPARE(dirLabel->geometry(), QRect(QPoint(10, 25), dirLabel->sizeHint()));
    const int dirX = 10 + naturalWidth(dirLabel) + 5;
    QCOMPARE(panel.dirEdit()->geometry(), QRect(dirX, 20, 207, 20));
    QCOMPARE(panel.dirButton()->geometry(), QRect(dirX + 207 + 6, 20, 40, 20));

    const QLabel* fastLabel = labelNamed(box, "FastCut:");
    const QList<QLabel*> ctrlShift = labelsNamed(box, " Ctrl + Shift +");
    QCOMPARE(ctrlShift.size(), 3);
    const int ctrlX = naturalWidth(fastLabel) + 39;
    const int comboX = ctrlX + naturalWidth(ctrlShift[0]) + 7;
    const QLabel* typeLabel = labelNamed(box, "Image Type:");
    const int typeX = comboX + 30 + 49;
    const int rowY[] = {50, 75, 100};
    const char* rowLabel[] = {"FastCut:", "NormalCut:", "FullScreenCut:"};
    const QComboBox* rowCombo[]
        = {panel.fastCutCombo(), panel.normalCutCombo(), panel.fullScreenCombo()};
    for (int row = 0; row < 3; ++row) {
        const QLabel* label = labelNamed(box, rowLabel[row]);
        QVERIFY(label);
        QCOMPARE(label->geometry(), QRect(QPoint(10, rowY[row]), label->sizeHint()));
        QCOMPARE(ctrlShift[row]->geometry(),
            QRect(QPoint(ctrlX, rowY[row]), ctrlShift[row]->sizeHint()));
        QCOMPARE(rowCombo[row]->geometry(), QRect(comboX, rowY[row] - 5, 30, 20));
    }
    QCOMPARE(typeLabel->geometry(), QRect(QPoint(typeX, 50), typeLabel->sizeHint()));
    QCOMPARE(
        panel.imgTypeCombo()->geometry(), QRect(typeX + naturalWidth(typeLabel) + 8, 45, 50, 20));
    QCOMPARE(
        panel.bootCheck()->geometry(), QRect(QPoint(typeX, 75), panel.bootCheck()->sizeHint()));

    QCOMPARE(box->pos(), QPoint(10, 25));
    QVERIFY(enclosesChildren(box));
}

void TestViewConfig::proxyGroupFollowsSizeHints_data()
{
    generalGroupFollowsSizeHints_data();
}

void TestViewConfig::proxyGroupFollowsSizeHints()
{
    QFETCH(int, pointSize);
    setFontSize(pointSize);
    ViewConfig panel(nullptr);
    const QGroupBox* proxy = panel.proxyBox();
    const QGroupBox* auth = panel.proxyAuthBox();

    const QLabel* host = labelNamed(proxy, "Host:");
    const QLabel* port = labelNamed(proxy, "Port:");
    const QLabel* type = labelNamed(proxy, "Type:");
    QCOMPARE(host->geometry(), QRect(QPoint(10, 25), host->sizeHint()));
    int x = 10 + naturalWidth(host) + 5;
    QCOMPARE(panel.hostEdit()->geometry(), QRect(x, 20, 100, 20));
    x += 100 + 5;
    QCOMPARE(port->geometry(), QRect(QPoint(x, 25), port->sizeHint()));
    x += naturalWidth(port) + 5;
    QCOMPARE(panel.portEdit()->geometry(), QRect(x, 20, 50, 20));
    x += 50 + 5;
    QCOMPARE(type->geometry(), QRect(QPoint(x, 25), type->sizeHint()));
    x += naturalWidth(type) + 5;
    QCOMPARE(panel.proxyTypeCombo()->geometry(), QRect(x, 20, 104, 20));

    const QLabel* user = labelNamed(auth, "Usser:");
    const QLabel* pass = labelNamed(auth, "Pass: ");
    QVERIFY(user && pass);
    QCOMPARE(user->geometry(), QRect(QPoint(10, 25), user->sizeHint()));
    x = 10 + naturalWidth(user) + 5;
    QCOMPARE(panel.userEdit()->geometry(), QRect(x, 20, 125, 20));
    x += 125 + 10;
    QCOMPARE(pass->geometry(), QRect(QPoint(x, 25), pass->sizeHint()));
    QCOMPARE(panel.passEdit()->geometry(), QRect(x + naturalWidth(pass), 20, 125, 20));

    QCOMPARE(proxy->pos(), QPoint(10, 170));
    QCOMPARE(auth->pos(), QPoint(10, 50));
    QVERIFY(enclosesChildren(auth));
    QVERIFY(enclosesChildren(proxy));
}

void TestViewConfig::widerFastCutLabelMovesColumns()
{
    // The application font reaches existing widgets too: keep the first panel's layout.
    auto columns = [](const ViewConfig& panel) {
        const QGroupBox* box = panel.generalBox();
        return QVector<int> {labelNamed(box, "FastCut:")->width(),
            labelNamed(box, " Ctrl + Shift +")->x(), panel.fastCutCombo()->x(),
            panel.fullScreenCombo()->x(), labelNamed(box, "Image Type:")->x(),
            panel.imgTypeCombo()->x(), panel.bootCheck()->x()};
    };
    const QVector<int> normal = columns(ViewConfig(nullptr));
    setFontSize(20);
    const QVector<int> wide = columns(ViewConfig(nullptr));
    const int shift = wide[0] - normal[0];
    QVERIFY(shift > 0);
    QCOMPARE(wide[1], normal[1] + shift);
    for (int column = 2; column < normal.size(); ++column)
        QVERIFY(wide[column] > normal[column]);
}

void TestViewConfig::boxesAndButtons()
{
    ViewConfig panel(nullptr);
    QCOMPARE(panel.configBox()->geometry(), QRect(1, 0, 398, 330));
    QCOMPARE(panel.configBox()->title(), QString("Configurations"));
    QCOMPARE(panel.generalBox()->title(), QString("General Configurations"));
    QCOMPARE(panel.proxyBox()->title(), QString("Proxy"));
    QCOMPARE(panel.proxyAuthBox()->title(), QString("Proxy Authentication"));
    QCOMPARE(panel.generalBox()->parentWidget(), panel.configBox());
    QCOMPARE(panel.proxyBox()->parentWidget(), panel.configBox());
    QCOMPARE(panel.proxyAuthBox()->parentWidget(), panel.proxyBox());
    QVERIFY(panel.proxyBox()->isCheckable());
    QVERIFY(panel.proxyAuthBox()->isCheckable());
    QVERIFY(!panel.generalBox()->isCheckable());

    QPushButton* save = panel.saveButton();
    QPushButton* cancel = panel.cancelButton();
    QCOMPARE(save->text(), QString("Save"));
    QCOMPARE(cancel->text(), QString("Cancel"));
    QCOMPARE(save->geometry(), QRect(QPoint(125, 305), save->sizeHint()));
    QCOMPARE(cancel->geometry(), QRect(QPoint(201, 305), cancel->sizeHint()));
    QCOMPARE(panel.dirButton()->text(), QString("..."));
    QCOMPARE(panel.bootCheck()->text(), QString("Start With System"));

    // For a look at the panel: PELICROW_SHOT=file.png.
    if (!qEnvironmentVariableIsEmpty("PELICROW_SHOT")) {
        panel.resize(400, 330);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        QVERIFY(panel.grab().save(qEnvironmentVariable("PELICROW_SHOT")));
    }
}

void TestViewConfig::widgetsStartAsBuilt()
{
    ViewConfig panel(nullptr);
    const QStringList digits = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"};
    for (const QComboBox* combo :
        {panel.fastCutCombo(), panel.normalCutCombo(), panel.fullScreenCombo()}) {
        QCOMPARE(items(combo), digits);
        QCOMPARE(combo->currentIndex(), 0);
    }
    QCOMPARE(items(panel.imgTypeCombo()),
        QStringList({".png", ".jpg", ".jpeg", ".bmp", ".ppm", ".xpm", ".xbm"}));
    QCOMPARE(items(panel.proxyTypeCombo()), QStringList({"HTTP", "SOCKS5"}));
    QCOMPARE(panel.proxyTypeCombo()->currentIndex(), 0);
    QCOMPARE(panel.dirEdit()->text(), QDir::homePath() + "/Desktop");
    QVERIFY(!panel.dirEdit()->isEnabled());
    QCOMPARE(panel.passEdit()->echoMode(), QLineEdit::Password);
    for (const QLineEdit* edit :
        {panel.hostEdit(), panel.portEdit(), panel.userEdit(), panel.passEdit()}) {
        QVERIFY(!edit->validator());
        QVERIFY(edit->inputMask().isEmpty());
        QCOMPARE(edit->maxLength(), 32767);
    }
}

void TestViewConfig::untickedProxyGreysOutButKeepsContents()
{
    ViewConfig panel(nullptr);
    panel.hostEdit()->setText("proxy.lan");
    panel.userEdit()->setText("ann");
    panel.proxyBox()->setChecked(false);
    for (const QWidget* widget : {static_cast<QWidget*>(panel.hostEdit()),
             static_cast<QWidget*>(panel.portEdit()), static_cast<QWidget*>(panel.proxyTypeCombo()),
             static_cast<QWidget*>(panel.proxyAuthBox()), static_cast<QWidget*>(panel.userEdit()),
             static_cast<QWidget*>(panel.passEdit())})
        QVERIFY(!widget->isEnabled());
    QCOMPARE(panel.hostEdit()->text(), QString("proxy.lan"));
    QCOMPARE(panel.userEdit()->text(), QString("ann"));
    QVERIFY(panel.generalBox()->isEnabled());

    panel.proxyBox()->setChecked(true);
    QVERIFY(panel.hostEdit()->isEnabled());
    QVERIFY(panel.userEdit()->isEnabled());
}

QTEST_MAIN(TestViewConfig)
#include "tst_viewconfig.moc"
