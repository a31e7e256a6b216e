#pragma once

#include "model.h"

#include <QJsonDocument>
#include <QMap>
#include <QStringList>

class QJsonArray;
class QJsonObject;
class QJsonValue;

// The update service's manifest: image addresses under "images", executable
// addresses by version under "versions". Anything of another shape reads as empty.
class ModelJson : public Model
{
    Q_OBJECT
public:
    explicit ModelJson(QObject* parent = nullptr);

    void setJson(const QByteArray& json);
    void setJson(const QString& json);

    QStringList getStringList(const QString& key) const;
    QMap<QString, QString> getStringMap(const QString& key) const;
    void getVersionMap();
    QMap<QString, QString> versionMap() const { return m_versionMap; }

    void verifyValue(const QJsonValue& value);
    void verifyValue(const QJsonValue& value, const QString& name);
    void verifyObject(const QJsonObject& object);
    void verifyArray(const QJsonArray& array);
    QString verifyDocument(const QJsonDocument& document);

private:
    QJsonObject member(const QString& key) const;
    void verifyContent(
        const QJsonValue& value, const QString& arrayLabel, const QString& objectLabel);

    QJsonDocument m_document;
    QMap<QString, QString> m_versionMap;
};
