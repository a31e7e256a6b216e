#include "modeljson.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>

ModelJson::ModelJson(QObject* parent)
    : Model(parent)
{ }

void ModelJson::setJson(const QByteArray& json)
{
    m_document = QJsonDocument::fromJson(json);
}

void ModelJson::setJson(const QString& json)
{
    setJson(json.toUtf8());
}

QStringList ModelJson::getStringList(const QString& key) const
{
    QStringList result;
    const QJsonObject object = member(key);
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        if (it.value().isString())
            result << it.value().toString();
    }
    return result;
}

QMap<QString, QString> ModelJson::getStringMap(const QString& key) const
{
    QMap<QString, QString> result;
    const QJsonObject object = member(key);
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        if (it.value().isString())
            result.insert(it.key(), it.value().toString());
    }
    return result;
}

void ModelJson::getVersionMap()
{
    if (!m_document.isObject())
        return;
    const QJsonObject versions = member(QStringLiteral("versions"));
    for (auto it = versions.constBegin(); it != versions.constEnd(); ++it) {
        qDebug() << it.key() << " : " << it.value();
        m_versionMap.insert(it.key(), it.value().toString());
    }
}

void ModelJson::verifyValue(const QJsonValue& value)
{
    verifyContent(value, QStringLiteral("Value: "), QStringLiteral("Value"));
}

void ModelJson::verifyValue(const QJsonValue& value, const QString& name)
{
    qDebug() << "Key: " << name;
    verifyContent(value, QStringLiteral("Value Array:"), QStringLiteral("Value Object:"));
}

void ModelJson::verifyObject(const QJsonObject& object)
{
    for (auto it = object.constBegin(); it != object.constEnd(); ++it)
        verifyValue(it.value(), it.key());
}

void ModelJson::verifyArray(const QJsonArray& array)
{
    for (const QJsonValue& element : array)
        verifyValue(element);
}

QString ModelJson::verifyDocument(const QJsonDocument& document)
{
    if (document.isArray()) {
        verifyArray(document.array());
        return QString();
    }
    if (document.isObject()) {
        verifyObject(document.object());
        return QString();
    }
    return QStringLiteral("VAZIO");
}

QJsonObject ModelJson::member(const QString& key) const
{
    if (!m_document.isObject())
        return QJsonObject();
    return m_document.object().value(key).toObject();
}

void ModelJson::verifyContent(
    const QJsonValue& value, const QString& arrayLabel, const QString& objectLabel)
{
    switch (value.type()) {
    case QJsonValue::Array:
        qDebug().noquote() << arrayLabel;
        verifyArray(value.toArray());
        break;
    case QJsonValue::Object:
        qDebug().noquote() << objectLabel;
        verifyObject(value.toObject());
        break;
    case QJsonValue::Bool:
        qDebug() << "Value: " << value.toBool();
        break;
    case QJsonValue::Double:
        qDebug() << "Value: " << value.toDouble();
        break;
    case QJsonValue::String:
        qDebug() << "Value: " << value.toString();
        break;
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        qDebug() << "Value";
        break;
    }
}
