#include "Model/modelconfig.h"
#include "app/defaults.h"
#include "config/opconfig.h"
#include "settingfiles.h"
#include "testsupport.h"
#include "views/viewconfig.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QNetworkProxy>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

// Everything the panel shows, in one comparable list.
QStringList panelState(const ViewConfig& view)
{
    auto flag = [](bool value) { return QString(value ? "on" : "off"); };
    return {QString::number(view.fastCutCombo()->currentIndex()),
        QString::number(view.normalCutCombo()->currentIndex()),
        QString::number(view.fullScreenCombo()->currentIndex()),
        flag(view.bootCheck()->isChecked()), view.dirEdit()->text(),
        view.imgTypeCombo()->currentText(), flag(view.proxyBox()->isChecked()),
        flag(view.proxyAuthBox()->isChecked()), view.hostEdit()->text(), view.portEdit()->text(),
        view.userEdit()->text(), view.passEdit()->text(), view.proxyTypeCombo()->currentText()};
}

} // namespace

// The controller between the settings and the configuration panel, and the
// application proxy it installs.
class TestOpConfig : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void hotKeysShowAndSave_data();
    void hotKeysShowAndSave();
    void chosenHotKeyIsSavedAsCode();
    void imgTypeShowsAndSaves_data();
    void imgTypeShowsAndSaves();
    void proxyTypeShowsAndSaves_data();
    void proxyTypeShowsAndSaves();
    void typedTextsAreStoredAsTyped();
    void saveWritesSettingsAndReports();
    void cancelRestoresEveryField();
    void changeDirFillsFieldOnly_data();
    void changeDirFillsFieldOnly();

    void firstRunInstallsNoProxy();
    void socks5WithAuthentication();
    void authenticationOffKeepsCredentials();
    void proxyOffKeepsEarlierValues();
    void unknownTypeKeepsEarlierType();
    void portText_data();
    void portText();

private:
    void bind();
    void save() { view->saveButton()->click(); }

    std::unique_ptr<ModelConfig> model;
    std::unique_ptr<ViewConfig> view;
    std::unique_ptr<OpConfig> opConfig;
};

void TestOpConfig::init()
{
    QDir(ModelConfig::configDirectory()).removeRecursively();
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::HttpProxy, "stale", 1));
    model = std::make_unique<ModelConfig>();
    model->verificConfig();
    view = std::make_unique<ViewConfig>(nullptr);
    opConfig = std::make_unique<OpConfig>();
}

void TestOpConfig::cleanup()
{
    opConfig.reset();
    view.reset();
    model.reset();
}

void TestOpConfig::bind()
{
    opConfig->setModel(model.get());
    opConfig->setView(view.get());
}

void TestOpConfig::hotKeysShowAndSave_data()
{
    QTest::addColumn<QVector<int>>("stored");
    QTest::addColumn<QVector<int>>("shown");
    QTest::addColumn<QVector<int>>("saved");
    const QVector<int> defaults
        = {Defaults::FastCutKey, Defaults::NormalCutKey, Defaults::FullScreenKey};
    QTest::newRow("defaults") << defaults << QVector<int> {2, 4, 3} << defaults;
    QTest::newRow("ends") << QVector<int> {48, 57, 55} << QVector<int> {0, 9, 7}
                          << QVector<int> {48, 57, 55};
    // Outside the digits: each row shows and then saves its own default.
    QTest::newRow("outside digits")
        << QVector<int> {47, 58, -1} << QVector<int> {2, 4, 3} << defaults;
}

void TestOpConfig::hotKeysShowAndSave()
{
    QFETCH(QVector<int>, stored);
    QFETCH(QVector<int>, shown);
    QFETCH(QVector<int>, saved);
    model->setFastCutKey(stored[0]);
    model->setNormalCutKey(stored[1]);
    model->setFullScreenKey(stored[2]);
    bind();
    QCOMPARE(view->fastCutCombo()->currentIndex(), shown[0]);
    QCOMPARE(view->normalCutCombo()->currentIndex(), shown[1]);
    QCOMPARE(view->fullScreenCombo()->currentIndex(), shown[2]);
    save();
    QCOMPARE(
        QVector<int>({model->fastCutKey(), model->normalCutKey(), model->fullScreenKey()}), saved);
}

void TestOpConfig::chosenHotKeyIsSavedAsCode()
{
    bind();
    view->fastCutCombo()->setCurrentText("7");
    save();
    QCOMPARE(model->fastCutKey(), 55);
    QCOMPARE(SettingFiles::text(ModelConfig::FastCutKey), QString("55"));
    QCOMPARE(model->normalCutKey(), Defaults::NormalCutKey);
}

void TestOpConfig::imgTypeShowsAndSaves_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("shown");
    QTest::addColumn<QString>("saved");
    QTest::newRow(".xbm is last") << ".xbm" << 6 << ".xbm";
    QTest::newRow(".xpm before it") << ".xpm" << 5 << ".xpm";
    QTest::newRow(".jpeg") << ".jpeg" << 2 << ".jpeg";
    QTest::newRow("unknown") << ".gif" << 0 << ".png";
    QTest::newRow("other case") << ".XBM" << 0 << ".png";
}

void TestOpConfig::imgTypeShowsAndSaves()
{
    QFETCH(QString, stored);
    QFETCH(int, shown);
    QFETCH(QString, saved);
    model->setImgType(stored);
    bind();
    QCOMPARE(view->imgTypeCombo()->currentIndex(), shown);
    QSignalSpy typeChanged(model.get(), &ModelConfig::imgTypeChanged);
    save();
    QCOMPARE(model->imgType(), saved);
    QCOMPARE(SettingFiles::text(ModelConfig::ImgType), saved);
    QCOMPARE(typeChanged.count(), 1);
}

void TestOpConfig::proxyTypeShowsAndSaves_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::newRow("first-run https") << "https"
                                     << "HTTP";
    QTest::newRow("HTTP") << "HTTP"
                          << "HTTP";
    QTest::newRow("SOCKS5") << "SOCKS5"
                            << "SOCKS5";
    QTest::newRow("lower-case socks5") << "socks5"
                                       << "HTTP";
}

void TestOpConfig::proxyTypeShowsAndSaves()
{
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    model->setProxyType(stored);
    bind();
    QCOMPARE(view->proxyTypeCombo()->currentText(), shown);
    save();
    QCOMPARE(SettingFiles::text(ModelConfig::ProxyType), shown);
}

void TestOpConfig::typedTextsAreStoredAsTyped()
{
    bind();
    view->proxyBox()->setChecked(true);
    view->proxyAuthBox()->setChecked(true);
    view->hostEdit()->setText(" prøxy host ");
    view->portEdit()->setText("eighty");
    view->userEdit()->setText("ann = \"admin\"");
    view->passEdit()->setText("p@ss word\t%");
    save();
    QCOMPARE(SettingFiles::text(ModelConfig::ProxyHost), QString(" prøxy host "));
    QCOMPARE(SettingFiles::text(ModelConfig::ProxyPort), QString("eighty"));
    QCOMPARE(SettingFiles::text(ModelConfig::ProxyUser), QString("ann = \"admin\""));
    QCOMPARE(SettingFiles::text(ModelConfig::ProxyPassword), QString("p@ss word\t%"));
    QCOMPARE(QNetworkProxy::applicationProxy().port(), quint16(0));
    QCOMPARE(QNetworkProxy::applicationProxy().user(), QString("ann = \"admin\""));
}

void TestOpConfig::saveWritesSettingsAndReports()
{
    bind();
    QSignalSpy changed(opConfig.get(), &OpConfig::modelChanged);
    view->bootCheck()->setChecked(false);
    view->proxyBox()->setChecked(true);
    view->hostEdit()->setText("10.0.0.1");
    view->portEdit()->setText("3128");
    save();
    QCOMPARE(changed.count(), 1);
    QCOMPARE(SettingFiles::text(ModelConfig::Boot), QString("false"));
    QCOMPARE(SettingFiles::text(ModelConfig::ProxyCheck), QString("true"));
    QCOMPARE(SettingFiles::text(ModelConfig::ProxyHost), QString("10.0.0.1"));
    QCOMPARE(SettingFiles::text(ModelConfig::ProxyPort), QString("3128"));
    QCOMPARE(SettingFiles::text(ModelConfig::ProxyType), QString("HTTP"));
    const QNetworkProxy installed = QNetworkProxy::applicationProxy();
    QCOMPARE(installed.type(), QNetworkProxy::HttpProxy);
    QCOMPARE(installed.hostName(), QString("10.0.0.1"));
    QCOMPARE(installed.port(), quint16(3128));
}

void TestOpConfig::cancelRestoresEveryField()
{
    model->setImgType(".bmp");
    model->setProxyCheck(true);
    model->setProxyHost("proxy.lan");
    model->setProxyPort("8080");
    model->setProxyType("SOCKS5");
    model->setProxyUser("ann");
    model->setProxyPassword("secret");
    bind();
    const QStringList loaded = panelState(*view);
    QCOMPARE(loaded,
        QStringList({"2", "4", "3", "on", QDir::homePath() + "/Desktop/", ".bmp", "on", "off",
            "proxy.lan", "8080", "ann", "secret", "SOCKS5"}));

    view->fastCutCombo()->setCurrentIndex(9);
    view->normalCutCombo()->setCurrentIndex(8);
    view->fullScreenCombo()->setCurrentIndex(7);
    view->bootCheck()->setChecked(false);
    view->dirEdit()->setText("/tmp/");
    view->imgTypeCombo()->setCurrentIndex(6);
    view->proxyBox()->setChecked(false);
    view->proxyAuthBox()->setChecked(true);
    view->hostEdit()->setText("other");
    view->portEdit()->setText("1");
    view->userEdit()->setText("bob");
    view->passEdit()->setText("x");
    view->proxyTypeCombo()->setCurrentIndex(0);
    QSignalSpy changed(opConfig.get(), &OpConfig::modelChanged);
    view->cancelButton()->click();
    QCOMPARE(panelState(*view), loaded);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(SettingFiles::text(ModelConfig::ProxyHost), QString(""));
}

void TestOpConfig::changeDirFillsFieldOnly_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("shown");
    const QString pictures = QDir::homePath() + "/Pictures";
    QTest::newRow("no trailing slash") << pictures << pictures + "/";
    QTest::newRow("root") << "/"
                          << "/";
    QTest::newRow("cancelled") << "" << QDir::homePath() + "/Desktop/";
}

void TestOpConfig::changeDirFillsFieldOnly()
{
    QFETCH(QString, chosen);
    QFETCH(QString, shown);
    QVERIFY(QDir().mkpath(QDir::homePath() + "/Pictures"));
    bind();
    const QString before = model->directory();
    TestSupport::answerDirectoryDialog(chosen);
    view->dirButton()->click();
    QCOMPARE(view->dirEdit()->text(), shown);
    QCOMPARE(model->directory(), before);
    save();
    QCOMPARE(model->directory(), shown);
}

void TestOpConfig::firstRunInstallsNoProxy()
{
    QVERIFY(!model->proxyCheck());
    opConfig->setModel(model.get());
    QCOMPARE(QNetworkProxy::applicationProxy().type(), QNetworkProxy::NoProxy);
}

void TestOpConfig::socks5WithAuthentication()
{
    model->setProxyCheck(true);
    model->setProxyType("SOCKS5");
    model->setProxyHost("socks.lan");
    model->setProxyPort("1080");
    model->setProxyAuthCheck(true);
    model->setProxyUser("ann");
    model->setProxyPassword("secret");
    opConfig->setModel(model.get());
    const QNetworkProxy installed = QNetworkProxy::applicationProxy();
    QCOMPARE(installed.type(), QNetworkProxy::Socks5Proxy);
    QCOMPARE(installed.hostName(), QString("socks.lan"));
    QCOMPARE(installed.port(), quint16(1080));
    QCOMPARE(installed.user(), QString("ann"));
    QCOMPARE(installed.password(), QString("secret"));
}

void TestOpConfig::authenticationOffKeepsCredentials()
{
    socks5WithAuthentication();
    opConfig->setView(view.get());
    view->proxyAuthBox()->setChecked(false);
    view->userEdit()->setText("bob");
    save();
    QCOMPARE(model->proxyUser(), QString("bob"));
    const QNetworkProxy installed = QNetworkProxy::applicationProxy();
    QCOMPARE(installed.type(), QNetworkProxy::Socks5Proxy);
    QCOMPARE(installed.user(), QString("ann"));
    QCOMPARE(installed.password(), QString("secret"));
}

void TestOpConfig::proxyOffKeepsEarlierValues()
{
    socks5WithAuthentication();
    model->setProxyCheck(false);
    model->setProxyHost("ignored");
    opConfig->doProxyConfiguration();
    QCOMPARE(QNetworkProxy::applicationProxy().type(), QNetworkProxy::NoProxy);
    QCOMPARE(QNetworkProxy::applicationProxy().hostName(), QString("socks.lan"));

    model->setProxyCheck(true);
    model->setProxyAuthCheck(false);
    model->setProxyType("HTTP");
    opConfig->doProxyConfiguration();
    const QNetworkProxy installed = QNetworkProxy::applicationProxy();
    QCOMPARE(installed.type(), QNetworkProxy::HttpProxy);
    QCOMPARE(installed.hostName(), QString("ignored"));
    QCOMPARE(installed.user(), QString("ann"));
}

void TestOpConfig::unknownTypeKeepsEarlierType()
{
    model->setProxyCheck(true);
    model->setProxyHost("proxy.lan");
    model->setProxyPort("3128");
    opConfig->setModel(model.get());
    QCOMPARE(model->proxyType(), QString("https"));
    // A new proxy object's type is the default one, which the toolkit installs as no proxy.
    QCOMPARE(QNetworkProxy::applicationProxy().type(), QNetworkProxy::NoProxy);

    model->setProxyType("SOCKS5");
    opConfig->doProxyConfiguration();
    model->setProxyType("https");
    opConfig->doProxyConfiguration();
    QCOMPARE(QNetworkProxy::applicationProxy().type(), QNetworkProxy::Socks5Proxy);
}

void TestOpConfig::portText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("port");
    QTest::newRow("number") << "1080" << 1080;
    QTest::newRow("highest") << "65535" << 65535;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("word") << "abc" << 0;
    QTest::newRow("hexadecimal") << "0x50" << 0;
    QTest::newRow("negative") << "-1" << 0;
    // Cut to 16 bits this would silently become port 4464.
    QTest::newRow("too large") << "70000" << 0;
}

void TestOpConfig::portText()
{
    QFETCH(QString, text);
    QFETCH(int, port);
    QCOMPARE(int(OpConfig::proxyPortNumber(text)), port);
    model->setProxyCheck(true);
    model->setProxyType("HTTP");
    model->setProxyPort(text);
    opConfig->setModel(model.get());
    QCOMPARE(int(QNetworkProxy::applicationProxy().port()), port);
}

QTEST_MAIN(TestOpConfig)
#include "tst_opconfig.moc"
