#include "app/defaults.h"
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

// A field by its accessor's name, or a label by its text ("text#1": the second such label).
QWidget* widgetNamed(const ViewConfig& panel, const QString& name)
{
    const QMap<QString, QWidget*> fields
        = {{"dirEdit", panel.dirEdit()}, {"dirButton", panel.dirButton()},
            {"fastCutCombo", panel.fastCutCombo()}, {"normalCutCombo", panel.normalCutCombo()},
            {"fullScreenCombo", panel.fullScreenCombo()}, {"imgTypeCombo", panel.imgTypeCombo()},
            {"bootCheck", panel.bootCheck()}, {"hostEdit", panel.hostEdit()},
            {"portEdit", panel.portEdit()}, {"proxyTypeCombo", panel.proxyTypeCombo()},
            {"userEdit", panel.userEdit()}, {"passEdit", panel.passEdit()}};
    if (fields.contains(name))
        return fields.value(name);
    const QString text = name.section('#', 0, 0);
    const int index = name.section('#', 1).toInt();
    for (const QGroupBox* box : {panel.generalBox(), panel.proxyBox(), panel.proxyAuthBox()}) {
        if (QLabel* label = labelsNamed(box, text).value(index))
            return label;
    }
    return nullptr;
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
    void groupsFollowSizeHints_data();
    void groupsFollowSizeHints();
    void boxesEncloseTheirRows();
    void widerFastCutLabelMovesColumns();
    void boxesAndButtons();
    void widgetsStartAsBuilt();
    void untickedProxyGreysOutButKeepsContents();

private:
    void useBoldFont(bool bold);
    QFont originalFont = QApplication::font();
};

void TestViewConfig::cleanup()
{
    QApplication::setFont(originalFont);
}

// The panel keeps its own size, but takes the family and weight of its surroundings.
void TestViewConfig::useBoldFont(bool bold)
{
    QFont font = originalFont;
    font.setBold(bold);
    QApplication::setFont(font);
}

// Each widget of a row lies `gap` pixels right of the one named in `after` (or at x 10 when
// none), at height `y`, with a fixed size or, where none is given, its size hint.
void TestViewConfig::groupsFollowSizeHints_data()
{
    QTest::addColumn<bool>("bold");
    QTest::addColumn<QString>("widget");
    QTest::addColumn<QString>("after");
    QTest::addColumn<int>("gap");
    QTest::addColumn<int>("y");
    QTest::addColumn<QSize>("size");
    const struct
    {
        const char* widget;
        const char* after;
        int gap;
        int y;
        QSize size;
    } rows[] = {
        {"Images Destiny:", "", 0, 25, {}},
        {"dirEdit", "Images Destiny:", 5, 20, {207, 20}},
        {"dirButton", "dirEdit", 6, 20, {40, 20}},
        {"FastCut:", "", 0, 50, {}},
        {"NormalCut:", "", 0, 75, {}},
        {"FullScreenCut:", "", 0, 100, {}},
        // The three rows line up on the first one's label.
        {" Ctrl + Shift +#0", "FastCut:", 29, 50, {}},
        {" Ctrl + Shift +#1", "FastCut:", 29, 75, {}},
        {" Ctrl + Shift +#2", "FastCut:", 29, 100, {}},
        {"fastCutCombo", " Ctrl + Shift +#0", 7, 45, {30, 20}},
        {"normalCutCombo", " Ctrl + Shift +#1", 7, 70, {30, 20}},
        {"fullScreenCombo", " Ctrl + Shift +#2", 7, 95, {30, 20}},
        {"Image Type:", "fastCutCombo", 49, 50, {}},
        {"imgTypeCombo", "Image Type:", 8, 45, {50, 20}},
        {"bootCheck", "fastCutCombo", 49, 75, {}},
        {"Host:", "", 0, 25, {}},
        {"hostEdit", "Host:", 5, 20, {100, 20}},
        {"Port:", "hostEdit", 5, 25, {}},
        {"portEdit", "Port:", 5, 20, {50, 20}},
        {"Type:", "portEdit", 5, 25, {}},
        {"proxyTypeCombo", "Type:", 5, 20, {104, 20}},
        {"Usser:", "", 0, 25, {}},
        {"userEdit", "Usser:", 5, 20, {125, 20}},
        {"Pass: ", "userEdit", 10, 25, {}},
        {"passEdit", "Pass: ", 0, 20, {125, 20}},
    };
    for (bool bold : {false, true}) {
        for (const auto& row : rows) {
            QTest::addRow("%s, %s", row.widget, bold ? "bold" : "regular")
                << bold << row.widget << row.after << row.gap << row.y << row.size;
        }
    }
}

void TestViewConfig::groupsFollowSizeHints()
{
    QFETCH(bool, bold);
    QFETCH(QString, widget);
    QFETCH(QString, after);
    QFETCH(int, gap);
    QFETCH(int, y);
    QFETCH(QSize, size);
    useBoldFont(bold);
    ViewConfig panel(nullptr);
    const QWidget* placed = widgetNamed(panel, widget);
    QVERIFY(placed);
    const QWidget* before = after.isEmpty() ? nullptr : widgetNamed(panel, after);
    // The widget before has its own row, so its width is checked there.
    const int x = before ? before->x() + before->width() + gap : 10;
    QCOMPARE(placed->geometry(), QRect(QPoint(x, y), size.isValid() ? size : placed->sizeHint()));
}

void TestViewConfig::boxesEncloseTheirRows()
{
    for (bool bold : {false, true}) {
        useBoldFont(bold);
        ViewConfig panel(nullptr);
        QCOMPARE(panel.generalBox()->pos(), QPoint(10, 25));
        QCOMPARE(panel.proxyBox()->pos(), QPoint(10, 170));
        QCOMPARE(panel.proxyAuthBox()->pos(), QPoint(10, 50));
        for (const QGroupBox* box : {panel.generalBox(), panel.proxyBox(), panel.proxyAuthBox()})
            QVERIFY(enclosesChildren(box));
    }
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
    useBoldFont(true);
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
    // With the panel's own font nothing spills over the outer box's edge.
    QVERIFY(panel.configBox()->rect().contains(panel.generalBox()->geometry()));
    QVERIFY(panel.configBox()->rect().contains(panel.proxyBox()->geometry()));

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
    QCOMPARE(items(panel.imgTypeCombo()), Defaults::imageTypeSuffixes());
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
