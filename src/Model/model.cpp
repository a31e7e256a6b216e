#include "model.h"

#include <QDebug>
#include <QFile>
#include <QSaveFile>

Model::Model(QObject* parent)
    : QObject(parent)
{ }

QString Model::readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qDebug() << "error in the opening process (.txt)";
        return QLatin1String("");
    }
    QByteArray bytes = file.readAll();
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    return QString::fromUtf8(bytes.constData(), bytes.size());
}

void Model::writeFile(const QString& path, const QString& text)
{
    if (text.isNull())
        return;
    const int nul = text.indexOf(QChar(0));
    const QByteArray bytes = (nul >= 0 ? text.left(nul) : text).toUtf8();
    // A file that already holds these bytes is left alone: every start saves
    // all settings, and each safe write waits for the disk.
    QFile old(path);
    if (old.open(QIODevice::ReadOnly) && old.size() == bytes.size() && old.readAll() == bytes)
        return;
    old.close();
    // Written beside the old file and renamed over it: a crash never leaves it cut short.
    // In binary mode: text mode would write CR LF on Windows, and the bytes above would
    // never compare equal again.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(bytes);
    file.commit();
}
