#include "modelconfig.h"

#include "app/appnames.h"
#include "app/defaults.h"

#include <QDebug>
#include <QDir>
#include <QFile>

namespace {

struct SettingFile
{
    const char* name;
    QString defaultText;
};

// In the order of ModelConfig::Setting; the directory's default is built at load time.
const SettingFile SettingFiles[ModelConfig::SettingCount] = {
    {"/config_boot.ini", "true"},
    {"/config_diretory.ini", {}},
    {"/config_fastcut.ini", QString::number(Defaults::FastCutKey)},
    {"/config_fullscreen.ini", QString::number(Defaults::FullScreenKey)},
    {"/config_imgtype.ini", Defaults::ImgType},
    {"/config_logincheck.ini", "false"},
    {"/config_normalcut.ini", QString::number(Defaults::NormalCutKey)},
    {"/config_proxyauthcheck.ini", "false"},
    {"/config_proxycheck.ini", "false"},
    {"/config_proxyhost.ini", ""},
    {"/config_proxypassword.ini", ""},
    {"/config_proxyport.ini", ""},
    {"/config_proxytype.ini", "https"},
    {"/config_proxyuser.ini", ""},
    {"/config_userlogin.ini", ""},
    {"/config_userpassword.ini", ""},
};

const QString TrueText = QStringLiteral("true");
const QString FalseText = QStringLiteral("false");
const QString DefaultImageType = QLatin1String(Defaults::ImgType);

QString flagText(bool flag)
{
    return flag ? TrueText : FalseText;
}

} // namespace

ModelConfig::ModelConfig(QObject* parent)
    : Model(parent)
{ }

QString ModelConfig::configDirectory()
{
    return QDir::homePath() + AppNames::SettingsFolder;
}

QString ModelConfig::fileName(Setting setting)
{
    return QLatin1String(SettingFiles[setting].name);
}

bool ModelConfig::isImageType(const QString& type)
{
    static const QStringList types = Defaults::imageTypeSuffixes();
    return types.contains(type, Qt::CaseSensitive);
}

void ModelConfig::setImgType(const QString& imgType)
{
    m_imgType = imgType;
    emit imgTypeChanged(imgType);
}

void ModelConfig::verificConfig()
{
    const QString directoryPath = configDirectory();
    const QMap<QString, QString> table = settingsTable();
    if (!QDir(directoryPath).exists()) {
        createSettingsDirectory(directoryPath);
        for (auto row = table.cbegin(); row != table.cend(); ++row)
            writeFile(row.key(), row.value());
    }
    int position = 0;
    for (auto row = table.cbegin(); row != table.cend(); ++row)
        loadSetting(row.key(), row.value(), Setting(position++));
    m_configFiles = table;
}

void ModelConfig::saveConfig()
{
    int position = 0;
    for (auto row = m_configFiles.cbegin(); row != m_configFiles.cend(); ++row)
        writeFile(row.key(), valueText(Setting(position++)));
}

QMap<QString, QString> ModelConfig::settingsTable() const
{
    const QString directoryPath = configDirectory();
    QMap<QString, QString> table;
    for (int setting = 0; setting < SettingCount; ++setting) {
        const SettingFile& file = SettingFiles[setting];
        const QString defaultText = setting == Directory
            ? QDir::homePath() + QStringLiteral("/Desktop/")
            : file.defaultText;
        table.insert(directoryPath + QLatin1String(file.name), defaultText);
    }
    return table;
}

void ModelConfig::createSettingsDirectory(const QString& path)
{
    if (!QDir().mkdir(path)) {
        qDebug() << "cannot create the settings directory" << path;
        return;
    }
    // It holds the proxy password: the owner alone may look inside.
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void ModelConfig::loadSetting(const QString& path, const QString& defaultText, Setting setting)
{
    const QString text = readFile(path);
    // The probe is closed at once: a bad value is rewritten below, and Windows cannot
    // replace a file that is open.
    const bool readable = QFile(path).open(QIODevice::ReadOnly);
    if (readable) {
        applyText(setting, path, text, defaultText);
    } else {
        writeFile(path, defaultText);
        applyText(setting, path, defaultText, defaultText);
    }
}

bool ModelConfig::flagValue(
    const QString& path, const QString& text, const QString& defaultText, bool fallback)
{
    if (text == TrueText)
        return true;
    if (text == FalseText)
        return false;
    writeFile(path, defaultText);
    return fallback;
}

QString ModelConfig::imageTypeValue(const QString& path, const QString& text)
{
    if (isImageType(text))
        return text;
    writeFile(path, DefaultImageType);
    return DefaultImageType;
}

void ModelConfig::applyText(
    Setting setting, const QString& path, const QString& text, const QString& defaultText)
{
    switch (setting) {
    case Boot:
        m_boot = flagValue(path, text, defaultText, true);
        break;
    case LoginCheck:
        m_loginCheck = flagValue(path, text, defaultText, false);
        break;
    case ProxyAuthCheck:
        m_proxyAuthCheck = flagValue(path, text, defaultText, false);
        break;
    case ProxyCheck:
        m_proxyCheck = flagValue(path, text, defaultText, false);
        break;
    case FastCutKey:
        m_fastCutKey = text.toInt(nullptr, 10);
        break;
    case FullScreenKey:
        m_fullScreenKey = text.toInt(nullptr, 10);
        break;
    case NormalCutKey:
        m_normalCutKey = text.toInt(nullptr, 10);
        break;
    case ImgType:
        setImgType(imageTypeValue(path, text));
        break;
    case Directory:
        m_directory = text;
        break;
    case ProxyHost:
        m_proxyHost = text;
        break;
    case ProxyPassword:
        m_proxyPassword = text;
        break;
    case ProxyPort:
        m_proxyPort = text;
        break;
    case ProxyType:
        m_proxyType = text;
        break;
    case ProxyUser:
        m_proxyUser = text;
        break;
    case UserLogin:
        m_userLogin = text;
        break;
    case UserPassword:
        m_userPassword = text;
        break;
    case SettingCount:
        break;
    }
}

QString ModelConfig::valueText(Setting setting) const
{
    switch (setting) {
    case Boot:
        return flagText(m_boot);
    case LoginCheck:
        return flagText(m_loginCheck);
    case ProxyAuthCheck:
        return flagText(m_proxyAuthCheck);
    case ProxyCheck:
        return flagText(m_proxyCheck);
    case FastCutKey:
        return QString::number(m_fastCutKey);
    case FullScreenKey:
        return QString::number(m_fullScreenKey);
    case NormalCutKey:
        return QString::number(m_normalCutKey);
    case ImgType:
        return m_imgType;
    case Directory:
        return m_directory;
    case ProxyHost:
        return m_proxyHost;
    case ProxyPassword:
        return m_proxyPassword;
    case ProxyPort:
        return m_proxyPort;
    case ProxyType:
        return m_proxyType;
    case ProxyUser:
        return m_proxyUser;
    case UserLogin:
        return m_userLogin;
    case UserPassword:
        return m_userPassword;
    case SettingCount:
        break;
    }
    return {};
}
