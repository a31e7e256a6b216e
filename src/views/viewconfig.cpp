#include "viewconfig.h"

#include "app/defaults.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

const int InputHeight = 20;
const QString CtrlShiftText = QStringLiteral(" Ctrl + Shift +");

QLabel* createLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->adjustSize();
    return label;
}

QLineEdit* createEdit(int width, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setFixedSize(width, InputHeight);
    return edit;
}

QComboBox* createCombo(int width, QWidget* parent)
{
    auto* combo = new QComboBox(parent);
    combo->setFixedSize(width, InputHeight);
    return combo;
}

int rightOf(const QWidget* widget)
{
    return widget->x() + widget->width();
}

// Places `widget` at `gap` pixels right of `neighbour`'s right edge.
void placeAfter(QWidget* widget, const QWidget* neighbour, int gap, int y)
{
    widget->move(rightOf(neighbour) + gap, y);
}

} // namespace

ViewConfig::ViewConfig(QWidget* parent)
    : QWidget(parent)
{
    useCompactFont();
    setTexts();
    createConfigBox();
    createGeneralBox();
    createProxyBox();
    createButtons();
}

// The fixed pixel widths were drawn for a small dialog font; a narrow 8-point face keeps
// the labels clear of each other where the desktop's default font is wider.
void ViewConfig::useCompactFont()
{
    QFont compact = font();
    compact.setPointSize(8);
    compact.setStretch(QFont::SemiCondensed);
    setFont(compact);
}

void ViewConfig::setTexts()
{
    m_configText = QStringLiteral("Configurations");
    m_generalText = QStringLiteral("General Configurations");
    m_dirText = QStringLiteral("Images Destiny:");
    m_imgTypeText = QStringLiteral("Image Type:");
    m_bootText = QStringLiteral("Start With System");
    m_proxyText = QStringLiteral("Proxy");
    m_hostText = QStringLiteral("Host:");
    m_portText = QStringLiteral("Port:");
    m_typeText = QStringLiteral("Type:");
    m_proxyAuthText = QStringLiteral("Proxy Authentication");
    m_userText = QStringLiteral("Usser:");
    m_passText = QStringLiteral("Pass: ");
    m_saveText = QStringLiteral("Save");
    m_cancelText = QStringLiteral("Cancel");
}

void ViewConfig::createConfigBox()
{
    m_configBox = new QGroupBox(m_configText, this);
    m_configBox->setGeometry(1, 0, 398, 330);
}

void ViewConfig::createGeneralBox()
{
    m_generalBox = new QGroupBox(m_generalText, m_configBox);
    m_generalBox->move(10, 25);

    QLabel* dirLabel = createLabel(m_dirText, m_generalBox);
    m_dirEdit = createEdit(207, m_generalBox);
    m_dirEdit->setText(QDir::homePath() + QStringLiteral("/Desktop"));
    // Only the directory chooser may change it.
    m_dirEdit->setEnabled(false);
    m_dirButton = new QPushButton(QStringLiteral("..."), m_generalBox);
    m_dirButton->setFixedSize(40, InputHeight);
    QLabel* ctrlShift[3];
    for (QLabel*& label : ctrlShift)
        label = createLabel(CtrlShiftText, m_generalBox);
    QLabel* fastLabel = createLabel(QStringLiteral("FastCut:"), m_generalBox);
    m_fastCutCombo = createCombo(30, m_generalBox);
    QLabel* typeLabel = createLabel(m_imgTypeText, m_generalBox);
    m_imgTypeCombo = createCombo(50, m_generalBox);
    QLabel* normalLabel = createLabel(QStringLiteral("NormalCut:"), m_generalBox);
    m_normalCutCombo = createCombo(30, m_generalBox);
    m_bootCheck = new QCheckBox(m_bootText, m_generalBox);
    m_bootCheck->adjustSize();
    QLabel* fullLabel = createLabel(QStringLiteral("FullScreenCut:"), m_generalBox);
    m_fullScreenCombo = createCombo(30, m_generalBox);
    fillGeneralCombos();

    dirLabel->move(10, 25);
    placeAfter(m_dirEdit, dirLabel, 5, 20);
    m_dirButton->move(m_dirEdit->x() + 207 + 6, 20);
    fastLabel->move(10, 50);
    // The hot-key column follows the width of "FastCut:".
    ctrlShift[0]->move(fastLabel->width() + 39, 50);
    placeAfter(m_fastCutCombo, ctrlShift[0], 7, 45);
    typeLabel->move(m_fastCutCombo->x() + 30 + 49, 50);
    placeAfter(m_imgTypeCombo, typeLabel, 8, 45);
    normalLabel->move(10, 75);
    ctrlShift[1]->move(ctrlShift[0]->x(), 75);
    m_normalCutCombo->move(m_fastCutCombo->x(), 70);
    m_bootCheck->move(typeLabel->x(), 75);
    fullLabel->move(10, 100);
    ctrlShift[2]->move(ctrlShift[0]->x(), 100);
    m_fullScreenCombo->move(m_fastCutCombo->x(), 95);

    m_generalBox->adjustSize();
}

void ViewConfig::fillGeneralCombos()
{
    // 30 pixels leave no room for the digit beside a full-width arrow.
    for (QComboBox* combo : {m_fastCutCombo, m_normalCutCombo, m_fullScreenCombo})
        combo->setStyleSheet(QStringLiteral(
            "QComboBox { padding-left: 4px; } QComboBox::drop-down { width: 12px; }"));
    for (int digit = 0; digit <= 9; ++digit) {
        const QString text = QString::number(digit);
        m_fastCutCombo->addItem(text);
        m_normalCutCombo->addItem(text);
        m_fullScreenCombo->addItem(text);
    }
    m_imgTypeCombo->addItems(Defaults::imageTypeSuffixes());
}

void ViewConfig::createProxyBox()
{
    m_proxyBox = new QGroupBox(m_proxyText, m_configBox);
    m_proxyBox->move(10, 170);
    m_proxyBox->setCheckable(true);

    QLabel* hostLabel = createLabel(m_hostText, m_proxyBox);
    QLabel* portLabel = createLabel(m_portText, m_proxyBox);
    QLabel* typeLabel = createLabel(m_typeText, m_proxyBox);
    m_hostEdit = createEdit(100, m_proxyBox);
    m_portEdit = createEdit(50, m_proxyBox);
    m_proxyTypeCombo = createCombo(104, m_proxyBox);
    m_proxyTypeCombo->addItems({"HTTP", "SOCKS5"});
    m_proxyTypeCombo->setCurrentIndex(0);

    hostLabel->move(10, 25);
    placeAfter(m_hostEdit, hostLabel, 5, 20);
    placeAfter(portLabel, m_hostEdit, 5, 25);
    placeAfter(m_portEdit, portLabel, 5, 20);
    placeAfter(typeLabel, m_portEdit, 5, 25);
    placeAfter(m_proxyTypeCombo, typeLabel, 5, 20);

    createProxyAuthBox();
    m_proxyBox->adjustSize();
}

void ViewConfig::createProxyAuthBox()
{
    m_proxyAuthBox = new QGroupBox(m_proxyAuthText, m_proxyBox);
    m_proxyAuthBox->move(10, 50);
    m_proxyAuthBox->setCheckable(true);

    QLabel* userLabel = createLabel(m_userText, m_proxyAuthBox);
    m_userEdit = createEdit(125, m_proxyAuthBox);
    QLabel* passLabel = createLabel(m_passText, m_proxyAuthBox);
    m_passEdit = createEdit(125, m_proxyAuthBox);
    m_passEdit->setEchoMode(QLineEdit::Password);

    userLabel->move(10, 25);
    placeAfter(m_userEdit, userLabel, 5, 20);
    placeAfter(passLabel, m_userEdit, 10, 25);
    // The label's trailing blank is the gap.
    placeAfter(m_passEdit, passLabel, 0, 20);

    m_proxyAuthBox->adjustSize();
}

void ViewConfig::createButtons()
{
    m_saveButton = new QPushButton(m_saveText, m_configBox);
    m_saveButton->adjustSize();
    m_saveButton->move(125, 305);
    m_cancelButton = new QPushButton(m_cancelText, m_configBox);
    m_cancelButton->adjustSize();
    m_cancelButton->move(201, 305);
}
