#include "opupdate.h"

#include "Model/modeljson.h"
#include "Network/opdownload.h"
#include "Network/opnetwork.h"
#include "app/appnames.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>

OpUpdate::OpUpdate(QObject* parent)
    : QObject(parent)
    , m_modelJson(new ModelJson(this))
    , m_version(AppNames::Version)
    , m_serviceUrl(AppNames::UpdateServiceUrl)
{
    connect(this, &OpUpdate::modelJsonReady, this, &OpUpdate::updateExecutable);
    connect(this, &OpUpdate::modelJsonReady, this, &OpUpdate::updateImages);
    connect(this, &OpUpdate::modelJsonReady, this, &OpUpdate::updateUrls);
}

QString OpUpdate::accessKey()
{
    return QStringLiteral("5c0d2e9a7b41f8e36a9d0c2b7e4f1a58");
}

QString OpUpdate::requestUrl() const
{
    // A base configured as "http://host/" must not give "//includes".
    QString base = m_serviceUrl;
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base + QStringLiteral("/includes/json.php");
}

QString OpUpdate::resourcesDirectory()
{
    return QDir::homePath() + AppNames::ResourcesFolder;
}

QString OpUpdate::executableDirectory()
{
    return QCoreApplication::applicationDirPath() + AppNames::DownloadFolder;
}

void OpUpdate::download(const QString& url, const QString& dir)
{
    auto* downloader = new OpDownload(this);
    connect(downloader, &OpNetwork::downloadProgress, downloader, &OpDownload::downloadProgress);
    connect(downloader, &OpNetwork::postDone, downloader, &OpDownload::appendBytes);
    connect(downloader, &OpDownload::downloadDone, downloader, &OpDownload::saveFile);
    downloader->flushData();
    downloader->clearFileData();
    downloader->setUrl(url);
    downloader->setFilePath(dir + QLatin1Char('/') + fileNameOf(url));
    downloader->doGet();
}

void OpUpdate::downloadAll(const QStringList& urls, const QString& dir)
{
    for (const QString& url : urls)
        download(url, dir);
}

QStringList OpUpdate::missingImages(QStringList urls) const
{
    QDir resources(resourcesDirectory());
    if (!resources.exists())
        resources.mkpath(QStringLiteral("."));
    const QFileInfoList entries = resources.entryInfoList();
    for (const QFileInfo& entry : entries) {
        if (!entry.isFile())
            continue;
        const QStringList before = urls;
        for (const QString& url : before) {
            if (fileNameOf(url) == entry.fileName())
                urls.removeOne(url);
        }
    }
    return urls;
}

QStringList OpUpdate::pendingImages() const
{
    return missingImages(m_modelJson->getStringList(QStringLiteral("images")));
}

QString OpUpdate::latestVersion() const
{
    QString latest;
    const QStringList versions = m_modelJson->getStringMap(QStringLiteral("versions")).keys();
    for (const QString& version : versions) {
        if (latest.toFloat() < version.toFloat())
            latest = version;
    }
    return latest;
}

void OpUpdate::downloadingJson(QByteArray bytearray)
{
    m_replyChunks += bytearray;
}

void OpUpdate::downloadJsonProgress(qint64 i, qint64 j)
{
    qDebug() << "total: " << j << "  progress: " << i;
}

void OpUpdate::updateJson()
{
    // A superseded request must not mix its chunks into the new reply.
    if (m_network)
        m_network->disconnect(this);
    m_replyChunks.clear();
    m_network = new OpNetwork(this);
    connect(m_network, &OpNetwork::downloadProgress, this, &OpUpdate::downloadJsonProgress);
    connect(m_network, &OpNetwork::postDone, this, &OpUpdate::downloadingJson);
    connect(m_network, &OpNetwork::replyFinished, this, &OpUpdate::jsonReplyFinished);
    m_network->flushData();
    m_network->setUrl(requestUrl());
    m_network->appendHeader(QStringLiteral("k"), accessKey());
    m_network->doPost();
}

void OpUpdate::updateModelJson(QByteArray json)
{
    m_modelJson->setJson(json);
    emit modelJsonReady();
}

void OpUpdate::updateImages()
{
    downloadAll(pendingImages(), resourcesDirectory());
}

void OpUpdate::updateExecutable()
{
    if (!(latestVersion().toFloat() > m_version.toFloat()))
        return;
    const QString address
        = m_modelJson->getStringMap(QStringLiteral("versions")).value(latestVersion());
    download(address, executableDirectory());
}

void OpUpdate::updateUrls() { }

void OpUpdate::startUpdate()
{
    updateJson();
}

void OpUpdate::startUpdate(QString version)
{
    m_version = version;
    updateJson();
}

void OpUpdate::jsonReplyFinished(bool succeeded)
{
    const QByteArray reply = m_replyChunks;
    m_replyChunks.clear();
    // An error page is no manifest; "1" and "0" are the service's way of saying nothing.
    if (!succeeded || reply == "1" || reply == "0")
        return;
    m_jsonData = reply;
    updateModelJson(m_jsonData);
}
