#include "Model/modelconfig.h"
#include "messagecapture.h"
#include "settingfiles.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

using TestSupport::fileBytes;

// The loaded value of one setting, in the text form its file would hold.
QString loadedValue(const ModelConfig& config, ModelConfig::Setting setting)
{
    auto flag = [](bool value) { return QString(value ? "true" : "false"); };
    switch (setting) {
    case ModelConfig::Boot:
        return flag(config.boot());
    case ModelConfig::Directory:
        return config.directory();
    case ModelConfig::FastCutKey:
        return QString::number(config.fastCutKey());
    case ModelConfig::FullScreenKey:
        return QString::number(config.fullScreenKey());
    case ModelConfig::ImgType:
        return config.imgType();
    case ModelConfig::LoginCheck:
        return flag(config.loginCheck());
    case ModelConfig::NormalCutKey:
        return QString::number(config.normalCutKey());
    case ModelConfig::ProxyAuthCheck:
        return flag(config.proxyAuthCheck());
    case ModelConfig::ProxyCheck:
        return flag(config.proxyCheck());
    case ModelConfig::ProxyHost:
        return config.proxyHost();
    case ModelConfig::ProxyPassword:
        return config.proxyPassword();
    case ModelConfig::ProxyPort:
        return config.proxyPort();
    case ModelConfig::ProxyType:
        return config.proxyType();
    case ModelConfig::ProxyUser:
        return config.proxyUser();
    case ModelConfig::UserLogin:
        return config.userLogin();
    case ModelConfig::UserPassword:
        return config.userPassword();
    case ModelConfig::SettingCount:
        break;
    }
    return {};
}

QMap<QString, QByteArray> allFiles()
{
    QMap<QString, QByteArray> files;
    for (int s = 0; s < ModelConfig::SettingCount; ++s)
        files.insert(SettingFiles::path(ModelConfig::Setting(s)),
            fileBytes(SettingFiles::path(ModelConfig::Setting(s))));
    return files;
}

} // namespace

class TestModelConfig : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void firstRunCreatesDefaults();
    void loadRules_data();
    void loadRules();
    void deletedFileAloneIsRecreated();
    void saveAndLoadRoundTrip();
    void keyCodeThatIsNoNumberIsSavedAsZero();
    void saveBeforeLoadWritesNothing();
    void writeFileReplacesWholeFileAndSkipsNullText();
    void unusableHomeNeitherCrashesNorBlocks();

private:
    QTemporaryDir* home = nullptr;
    QString homePath; // the home the settings go to: on Windows the profile
    std::unique_ptr<MessageCapture> messages;
};

void TestModelConfig::init()
{
    home = new QTemporaryDir;
    QVERIFY(home->isValid());
    homePath = TestSupport::useHome(home->path());
    messages = std::make_unique<MessageCapture>();
}

void TestModelConfig::cleanup()
{
    messages.reset();
    delete home;
}

void TestModelConfig::firstRunCreatesDefaults()
{
    ModelConfig config;
    QSignalSpy typeChanges(&config, &ModelConfig::imgTypeChanged);
    config.verificConfig();

    QVERIFY(messages->messages().isEmpty());
    const QString desktop = homePath + "/Desktop/";
    const QMap<QString, QByteArray> expected
        = {{"/config_boot.ini", "true"}, {"/config_diretory.ini", desktop.toUtf8()},
            {"/config_fastcut.ini", "50"}, {"/config_fullscreen.ini", "51"},
            {"/config_imgtype.ini", ".png"}, {"/config_logincheck.ini", "false"},
            {"/config_normalcut.ini", "52"}, {"/config_proxyauthcheck.ini", "false"},
            {"/config_proxycheck.ini", "false"}, {"/config_proxyhost.ini", ""},
            {"/config_proxypassword.ini", ""}, {"/config_proxyport.ini", ""},
            {"/config_proxytype.ini", "https"}, {"/config_proxyuser.ini", ""},
            {"/config_userlogin.ini", ""}, {"/config_userpassword.ini", ""}};
    const QString directory = homePath + "/Pelicrow";
    QCOMPARE(QDir(directory).entryList(QDir::Files).size(), expected.size());
    for (auto file = expected.cbegin(); file != expected.cend(); ++file)
        QCOMPARE(fileBytes(directory + file.key()), file.value());

#ifndef Q_OS_WIN // there the profile's access list keeps it the user's
    QCOMPARE(QFileInfo(directory).permissions() & (0x7000 | 0x0077),
        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
#endif
    QVERIFY(config.boot());
    QCOMPARE(config.directory(), desktop);
    QCOMPARE(config.imgType(), QString(".png"));
    QCOMPARE(config.fastCutKey(), 50);
    QCOMPARE(config.normalCutKey(), 52);
    QCOMPARE(config.fullScreenKey(), 51);
    QCOMPARE(config.proxyType(), QString("https"));
    QVERIFY(!config.proxyCheck() && !config.proxyAuthCheck() && !config.loginCheck());
    QCOMPARE(typeChanges.size(), 1);
    QCOMPARE(typeChanges.first().first().toString(), QString(".png"));
}

void TestModelConfig::loadRules_data()
{
    QTest::addColumn<int>("setting");
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("fileAfterLoad");

    auto row = [](const char* name, ModelConfig::Setting setting, const QByteArray& stored,
                   const QString& value, const QByteArray& fileAfterLoad) {
        QTest::newRow(name) << int(setting) << stored << value << fileAfterLoad;
    };
    const QByteArray nonAscii = QString("/home/zoë/Bilder/写真/").toUtf8();
    const QByteArray withNul("proxy.lan\0junk", 14);
    row("flag true", ModelConfig::ProxyCheck, "true", "true", "true");
    row("capitalised flag", ModelConfig::ProxyCheck, "TRUE", "false", "false");
    row("empty boot flag", ModelConfig::Boot, "", "true", "true");
    row("flag with line end", ModelConfig::Boot, "false\n", "true", "true");
    row("boot off", ModelConfig::Boot, "false", "false", "false");
    row("known type", ModelConfig::ImgType, ".jpeg", ".jpeg", ".jpeg");
    row("upper-case type", ModelConfig::ImgType, "PNG", ".png", ".png");
    row("unknown type", ModelConfig::ImgType, ".gif", ".png", ".png");
    row("key code", ModelConfig::NormalCutKey, "55", "55", "55");
    row("key code letter", ModelConfig::FastCutKey, "a", "0", "a");
    row("non-ASCII directory", ModelConfig::Directory, nonAscii, QString::fromUtf8(nonAscii),
        nonAscii);
    row("bytes after NUL", ModelConfig::ProxyHost, withNul, "proxy.lan", withNul);
    row("text kept as is", ModelConfig::ProxyPort, " 8080\n", " 8080\n", " 8080\n");
    row("empty text", ModelConfig::ProxyUser, "", "", "");
    row("proxy type untouched", ModelConfig::ProxyType, "SOCKS5", "SOCKS5", "SOCKS5");
}

void TestModelConfig::loadRules()
{
    QFETCH(int, setting);
    QFETCH(QByteArray, stored);
    QFETCH(QString, value);
    QFETCH(QByteArray, fileAfterLoad);

    ModelConfig().verificConfig();
    const QString path = SettingFiles::path(ModelConfig::Setting(setting));
    TestSupport::writeFile(path, stored);
    QMap<QString, QByteArray> others = allFiles();
    others.remove(path);

    ModelConfig config;
    config.verificConfig();
    QCOMPARE(loadedValue(config, ModelConfig::Setting(setting)), value);
    QCOMPARE(fileBytes(path), fileAfterLoad);
    QVERIFY(messages->messages().isEmpty());
    QMap<QString, QByteArray> othersAfter = allFiles();
    othersAfter.remove(path);
    QCOMPARE(othersAfter, others);
}

void TestModelConfig::deletedFileAloneIsRecreated()
{
    {
        ModelConfig first;
        first.verificConfig();
        first.setFullScreenKey(57);
        first.setProxyHost("proxy.lan");
        first.saveConfig();
    }
    QVERIFY(QFile::remove(SettingFiles::path(ModelConfig::FullScreenKey)));
    const QMap<QString, QByteArray> before = allFiles();

    ModelConfig config;
    config.verificConfig();
    QCOMPARE(messages->messages(), QStringList {"error in the opening process (.txt)"});
    QCOMPARE(config.fullScreenKey(), 51);
    QCOMPARE(config.proxyHost(), QString("proxy.lan"));
    QCOMPARE(fileBytes(SettingFiles::path(ModelConfig::FullScreenKey)), QByteArray("51"));
    QMap<QString, QByteArray> after = allFiles();
    after.remove(SettingFiles::path(ModelConfig::FullScreenKey));
    QMap<QString, QByteArray> untouched = before;
    untouched.remove(SettingFiles::path(ModelConfig::FullScreenKey));
    QCOMPARE(after, untouched);
}

void TestModelConfig::saveAndLoadRoundTrip()
{
    ModelConfig config;
    config.verificConfig();
    config.setBoot(false);
    config.setDirectory(QString::fromUtf8("/data/Ärger & 写真/"));
    config.setImgType(".bmp");
    config.setFastCutKey(48);
    config.setNormalCutKey(57);
    config.setFullScreenKey(49);
    config.setProxyCheck(true);
    config.setProxyAuthCheck(true);
    config.setProxyHost("127.0.0.1");
    config.setProxyPort("3128");
    config.setProxyType("SOCKS5");
    config.setProxyUser("ünïcode\n");
    config.setProxyPassword(QString());
    config.setUserLogin("");
    config.saveConfig();

    QCOMPARE(fileBytes(SettingFiles::path(ModelConfig::UserLogin)), QByteArray(""));
    QCOMPARE(fileBytes(SettingFiles::path(ModelConfig::FastCutKey)), QByteArray("48"));

    ModelConfig loaded;
    loaded.verificConfig();
    for (int s = 0; s < ModelConfig::SettingCount; ++s)
        QCOMPARE(loadedValue(loaded, ModelConfig::Setting(s)),
            loadedValue(config, ModelConfig::Setting(s)));
    QVERIFY(messages->messages().isEmpty());
}

void TestModelConfig::keyCodeThatIsNoNumberIsSavedAsZero()
{
    ModelConfig().verificConfig();
    TestSupport::writeFile(SettingFiles::path(ModelConfig::FastCutKey), "x1");
    ModelConfig config;
    config.verificConfig();
    QCOMPARE(config.fastCutKey(), 0);
    config.saveConfig();
    QCOMPARE(fileBytes(SettingFiles::path(ModelConfig::FastCutKey)), QByteArray("0"));
}

void TestModelConfig::saveBeforeLoadWritesNothing()
{
    ModelConfig config;
    config.saveConfig();
    QVERIFY(!QFileInfo::exists(ModelConfig::configDirectory()));
}

void TestModelConfig::writeFileReplacesWholeFileAndSkipsNullText()
{
    Model model;
    const QString path = home->path() + "/value.ini";
    model.writeFile(path, "a much longer first value");
    model.writeFile(path, QString::fromLatin1("short\0tail", 10));
    QCOMPARE(fileBytes(path), QByteArray("short"));
    model.writeFile(path, QString());
    QCOMPARE(fileBytes(path), QByteArray("short"));
    QCOMPARE(QDir(home->path()).entryList(QDir::Files | QDir::Hidden), QStringList {"value.ini"});
}

void TestModelConfig::unusableHomeNeitherCrashesNorBlocks()
{
    // A plain file where the settings directory belongs: nobody, not even root, writes in it.
    TestSupport::writeFile(ModelConfig::configDirectory(), "x");

    ModelConfig config;
    config.verificConfig();
    QVERIFY(config.boot());
    QCOMPARE(config.imgType(), QString(".png"));
    QCOMPARE(config.fastCutKey(), 50);
    QCOMPARE(config.proxyType(), QString("https"));
    QCOMPARE(messages->messages().count("error in the opening process (.txt)"), 16);
    config.saveConfig();
}

QTEST_GUILESS_MAIN(TestModelConfig)
#include "tst_modelconfig.moc"
