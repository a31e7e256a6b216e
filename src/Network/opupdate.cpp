#include "opupdate.h"

#include "Model/modeljson.h"
#include "Network/downloadlimits.h"
#include "Network/opdownload.h"
#include "Network/opnetwork.h"
#include "app/appnames.h"
#include "app/executablecheck.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>

OpUpdate::OpUpdate(QObject* parent)
    : QObject(parent)
    , m_modelJson(new ModelJson(this))
    , m_version(AppNames::Version)
    , m_serviceUrl(AppNames::UpdateServiceUrl)
    , m_transferTimeout(DownloadLimits::TransferTimeoutMs)
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
    if (!OpNetwork::isFetchable(QUrl(url, QUrl::TolerantMode))) {
        qWarning() << "not fetched, not a web address:" << url;
        return;
    }
    auto* downloader = new OpDownload(this);
    connect(downloader, &OpNetwork::downloadProgress, downloader, &OpDownload::downloadProgress);
    connect(downloader, &OpNetwork::postDone, downloader, &OpDownload::appendBytes);
    // The data go to the file as they arrive: the end of the reply only puts it in place.
    const bool executable = QDir(dir) == QDir(executableDirectory());
    if (executable)
        connect(downloader, &OpNetwork::replyFinished, this, &OpUpdate::executablePartEnded);
    connect(downloader, &OpNetwork::replyFinished, this, &OpUpdate::downloadEnded);
    downloader->flushData();
    downloader->clearFileData();
    downloader->setUrl(url);
    downloader->setFilePath(dir + QLatin1Char('/') + fileNameOf(url));
    downloader->setKind(executable ? OpDownload::Kind::Executable : OpDownload::Kind::Picture);
    downloader->setTransferTimeout(m_transferTimeout);
    m_queue.append(downloader);
    startQueued();
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
    if (m_replyChunks.size() > DownloadLimits::ManifestBytes) {
        qWarning() << "update reply abandoned, larger than a manifest can be";
        m_replyChunks.clear();
        m_network->abortReply();
    }
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
    m_requestPending = true;
    m_network = new OpNetwork(this);
    m_network->setTransferTimeout(m_transferTimeout);
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
    // Without a key nothing downloaded could ever be installed.
    if (!ExecutableCheck::hasPublicKey())
        return;
    // Installed system-wide, the programs' folder belongs to the package manager.
    const QString programDir = QCoreApplication::applicationDirPath();
    if (!QFileInfo(programDir).isWritable()) {
        qInfo() << "version" << latestVersion() << "not fetched:" << programDir
                << "is not writable; update the installed package instead";
        return;
    }
    const QString address
        = m_modelJson->getStringMap(QStringLiteral("versions")).value(latestVersion());
    // The program and its detached signature; once both have ended, a pair that
    // does not verify is removed, so that it is never offered.
    m_pendingExecutable = executableDirectory() + QLatin1Char('/') + fileNameOf(address);
    m_executableParts = 2;
    download(address, executableDirectory());
    download(address + QStringLiteral(".sig"), executableDirectory());
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
    m_requestPending = false;
    // An error page is no manifest; "1" and "0" are the service's way of saying nothing.
    if (succeeded && reply != "1" && reply != "0") {
        m_jsonData = reply;
        updateModelJson(m_jsonData);
    }
    finishIfIdle();
}

void OpUpdate::executablePartEnded()
{
    if (--m_executableParts > 0)
        return;
    const QString problem = ExecutableCheck::problemWith(m_pendingExecutable);
    if (!problem.isEmpty())
        ExecutableCheck::discard(m_pendingExecutable, problem);
}

void OpUpdate::downloadEnded()
{
    --m_running;
    startQueued();
    finishIfIdle();
}

void OpUpdate::startQueued()
{
    while (m_running < DownloadLimits::ParallelDownloads && !m_queue.isEmpty()) {
        ++m_running;
        m_queue.takeFirst()->start();
    }
}

void OpUpdate::finishIfIdle()
{
    if (!m_requestPending && m_running == 0 && m_queue.isEmpty())
        emit cycleFinished();
}
