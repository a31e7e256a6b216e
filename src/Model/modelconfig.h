#pragma once

#include "app/defaults.h"
#include "model.h"

#include <QMap>
#include <QString>

// The sixteen settings of the program, each kept in a one-value file under
// home + "/Pelicrow". The one instance is shared by every component.
class ModelConfig : public Model
{
    Q_OBJECT
public:
    // Positions in the settings table; the ascending order of the file names.
    enum Setting {
        Boot,
        Directory,
        FastCutKey,
        FullScreenKey,
        ImgType,
        LoginCheck,
        NormalCutKey,
        ProxyAuthCheck,
        ProxyCheck,
        ProxyHost,
        ProxyPassword,
        ProxyPort,
        ProxyType,
        ProxyUser,
        UserLogin,
        UserPassword,
        SettingCount
    };

    explicit ModelConfig(QObject* parent = nullptr);

    static QString configDirectory();
    static QString fileName(Setting setting);
    static bool isImageType(const QString& type);

    void saveConfig();

    bool boot() const { return m_boot; }
    void setBoot(bool boot) { m_boot = boot; }
    QString directory() const { return m_directory; }
    void setDirectory(const QString& directory) { m_directory = directory; }
    QString imgType() const { return m_imgType; }
    void setImgType(const QString& imgType);
    int fastCutKey() const { return m_fastCutKey; }
    void setFastCutKey(int key) { m_fastCutKey = key; }
    int normalCutKey() const { return m_normalCutKey; }
    void setNormalCutKey(int key) { m_normalCutKey = key; }
    int fullScreenKey() const { return m_fullScreenKey; }
    void setFullScreenKey(int key) { m_fullScreenKey = key; }
    bool proxyCheck() const { return m_proxyCheck; }
    void setProxyCheck(bool check) { m_proxyCheck = check; }
    bool proxyAuthCheck() const { return m_proxyAuthCheck; }
    void setProxyAuthCheck(bool check) { m_proxyAuthCheck = check; }
    QString proxyHost() const { return m_proxyHost; }
    void setProxyHost(const QString& host) { m_proxyHost = host; }
    QString proxyPort() const { return m_proxyPort; }
    void setProxyPort(const QString& port) { m_proxyPort = port; }
    QString proxyType() const { return m_proxyType; }
    void setProxyType(const QString& type) { m_proxyType = type; }
    QString proxyUser() const { return m_proxyUser; }
    void setProxyUser(const QString& user) { m_proxyUser = user; }
    QString proxyPassword() const { return m_proxyPassword; }
    void setProxyPassword(const QString& password) { m_proxyPassword = password; }
    QString userLogin() const { return m_userLogin; }
    void setUserLogin(const QString& login) { m_userLogin = login; }
    QString userPassword() const { return m_userPassword; }
    void setUserPassword(const QString& password) { m_userPassword = password; }
    bool loginCheck() const { return m_loginCheck; }
    void setLoginCheck(bool check) { m_loginCheck = check; }

signals:
    void imgTypeChanged(QString imgType);

public slots:
    void verificConfig();

private:
    QMap<QString, QString> settingsTable() const;
    void createSettingsDirectory(const QString& path);
    void loadSetting(const QString& path, const QString& defaultText, Setting setting);
    bool flagValue(
        const QString& path, const QString& text, const QString& defaultText, bool fallback);
    QString imageTypeValue(const QString& path, const QString& text);
    void applyText(
        Setting setting, const QString& path, const QString& text, const QString& defaultText);
    QString valueText(Setting setting) const;

    QString m_proxyHost;
    QString m_proxyUser;
    QString m_proxyPassword;
    QString m_proxyPort;
    QString m_directory;
    QString m_imgType;
    QString m_proxyType;
    QString m_userLogin;
    QString m_userPassword;
    int m_fastCutKey = Defaults::FastCutKey;
    int m_normalCutKey = Defaults::NormalCutKey;
    int m_fullScreenKey = Defaults::FullScreenKey;
    bool m_loginCheck = false;
    bool m_proxyCheck = false;
    bool m_proxyAuthCheck = false;
    bool m_boot = false;
    QMap<QString, QString> m_configFiles;
};
