#include "opconfig.h"

#include "Model/modelconfig.h"
#include "app/defaults.h"
#include "views/viewconfig.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

namespace {

const int FirstKeyCode = 48; // '0'
const int LastKeyCode = 57; // '9'
const QString Socks5Text = QStringLiteral("SOCKS5");
const QString HttpText = QStringLiteral("HTTP");

} // namespace

OpConfig::OpConfig(QObject* parent)
    : QObject(parent)
{ }

void OpConfig::setModel(ModelConfig* model)
{
    m_model = model;
    doProxyConfiguration();
}

void OpConfig::setView(ViewConfig* view)
{
    m_view = view;
    connect(m_view->dirButton(), SIGNAL(clicked()), this, SLOT(changeDir()));
    connect(m_view->saveButton(), SIGNAL(clicked()), this, SLOT(updateModel()));
    connect(m_view->cancelButton(), SIGNAL(clicked()), this, SLOT(updateConfigLayout()));
    updateConfigLayout();
}

quint16 OpConfig::proxyPortNumber(const QString& text)
{
    bool isNumber = false;
    const int port = text.toInt(&isNumber, 10);
    // Out of range is as unusable as no number: cutting it to 16 bits would
    // silently aim at an unrelated port.
    if (!isNumber || port < 0 || port > 65535)
        return 0;
    return quint16(port);
}

void OpConfig::changeDir()
{
    if (!m_view || !m_model)
        return;
    QString chosen = QFileDialog::getExistingDirectory(m_view, QStringLiteral("Choose Directory"),
        m_model->directory(), QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty())
        return;
    if (!chosen.endsWith(QLatin1Char('/')))
        chosen += QLatin1Char('/');
    m_view->dirEdit()->setText(chosen);
}

void OpConfig::updateModel()
{
    if (!m_view || !m_model)
        return;
    updateGeneralConfigModel();
    updateProxyModel();
    m_model->saveConfig();
    emit modelChanged();
}

void OpConfig::updateGeneralLayout()
{
    if (!m_view || !m_model)
        return;
    m_view->fastCutCombo()->setCurrentIndex(keyIndex(m_model->fastCutKey(), Defaults::FastCutKey));
    m_view->normalCutCombo()->setCurrentIndex(
        keyIndex(m_model->normalCutKey(), Defaults::NormalCutKey));
    m_view->fullScreenCombo()->setCurrentIndex(
        keyIndex(m_model->fullScreenKey(), Defaults::FullScreenKey));
    m_view->bootCheck()->setChecked(m_model->boot());
    m_view->dirEdit()->setText(m_model->directory());
    m_view->imgTypeCombo()->setCurrentIndex(imgTypeIndex());
}

void OpConfig::updateProxyLayout()
{
    if (!m_view || !m_model)
        return;
    m_view->proxyBox()->setChecked(m_model->proxyCheck());
    m_view->proxyAuthBox()->setChecked(m_model->proxyAuthCheck());
    m_view->hostEdit()->setText(m_model->proxyHost());
    m_view->portEdit()->setText(m_model->proxyPort());
    m_view->userEdit()->setText(m_model->proxyUser());
    m_view->passEdit()->setText(m_model->proxyPassword());
    m_view->proxyTypeCombo()->setCurrentIndex(m_model->proxyType() == Socks5Text ? 1 : 0);
}

void OpConfig::updateConfigLayout()
{
    updateGeneralLayout();
    updateProxyLayout();
}

void OpConfig::updateProxyModel()
{
    if (!m_view || !m_model)
        return;
    m_model->setProxyCheck(m_view->proxyBox()->isChecked());
    m_model->setProxyHost(m_view->hostEdit()->text());
    m_model->setProxyPort(m_view->portEdit()->text());
    m_model->setProxyType(m_view->proxyTypeCombo()->currentText());
    m_model->setProxyAuthCheck(m_view->proxyAuthBox()->isChecked());
    m_model->setProxyUser(m_view->userEdit()->text());
    m_model->setProxyPassword(m_view->passEdit()->text());
    doProxyConfiguration();
    m_model->saveConfig();
}

void OpConfig::doProxyConfiguration()
{
    if (!m_model)
        return;
    if (m_model->proxyCheck()) {
        m_proxy.setHostName(m_model->proxyHost());
        m_proxy.setPort(proxyPortNumber(m_model->proxyPort()));
        // Any other type text leaves the type as an earlier set-up gave it.
        if (m_model->proxyType() == HttpText)
            m_proxy.setType(QNetworkProxy::HttpProxy);
        else if (m_model->proxyType() == Socks5Text)
            m_proxy.setType(QNetworkProxy::Socks5Proxy);
        if (m_model->proxyAuthCheck()) {
            m_proxy.setUser(m_model->proxyUser());
            m_proxy.setPassword(m_model->proxyPassword());
        }
    } else {
        m_proxy.setType(QNetworkProxy::NoProxy);
    }
    QNetworkProxy::setApplicationProxy(m_proxy);
}

void OpConfig::updateGeneralConfigModel()
{
    if (!m_view || !m_model)
        return;
    m_model->setFastCutKey(m_view->fastCutCombo()->currentIndex() + FirstKeyCode);
    m_model->setNormalCutKey(m_view->normalCutCombo()->currentIndex() + FirstKeyCode);
    m_model->setFullScreenKey(m_view->fullScreenCombo()->currentIndex() + FirstKeyCode);
    m_model->setBoot(m_view->bootCheck()->isChecked());
    m_model->setDirectory(m_view->dirEdit()->text());
    m_model->setImgType(m_view->imgTypeCombo()->currentText());
}

// A code outside the digits would leave the list without a current entry and
// "Save" would store 47; the row's own default is shown instead.
int OpConfig::keyIndex(int keyCode, int defaultKeyCode)
{
    if (keyCode < FirstKeyCode || keyCode > LastKeyCode)
        keyCode = defaultKeyCode;
    return keyCode - FirstKeyCode;
}

// An unknown type would leave the list blank and "Save" would store an empty type;
// ".png" is shown instead, as the tray menu marks it.
int OpConfig::imgTypeIndex() const
{
    const int index = m_view->imgTypeCombo()->findText(
        m_model->imgType(), Qt::MatchExactly | Qt::MatchCaseSensitive);
    return index < 0 ? 0 : index;
}
