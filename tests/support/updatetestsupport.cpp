#include "updatetestsupport.h"

#include "signingsupport.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_WIN
#include <windows.h>

#include <psapi.h>
#endif

namespace UpdateTest {

QByteArray httpResponse(
    int status, const QByteArray& body, bool withLength, const QByteArray& extraHeaders)
{
    QByteArray raw = "HTTP/1.1 " + QByteArray::number(status) + " Scripted\r\n";
    raw += "Content-Type: application/octet-stream\r\nConnection: close\r\n";
    if (withLength)
        raw += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    return raw + extraHeaders + "\r\n" + body;
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

QString proxiedHost()
{
    return qEnvironmentVariable("PELICROW_TEST_ADDRESS");
}

QHostAddress serverAddress()
{
    return proxiedHost().isEmpty() ? QHostAddress::LocalHost : QHostAddress::AnyIPv4;
}

int rerunRelocated(int argc, char** argv)
{
    if (!qEnvironmentVariableIsEmpty("PELICROW_TEST_RELOCATED"))
        return -1;
    QCoreApplication app(argc, argv);
    QTemporaryDir appDir;
    const QString copy = appDir.filePath(QFileInfo(app.applicationFilePath()).fileName());
    if (!QFile::copy(app.applicationFilePath(), copy))
        return 2;
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PELICROW_TEST_RELOCATED"), QStringLiteral("1"));
    child.setProcessEnvironment(environment);
    child.start(copy, app.arguments().mid(1));
    child.waitForFinished(-1);
    return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : 3;
}

ScriptedServer::ScriptedServer(QObject* parent)
    : QObject(parent)
{
    m_otherResponse = httpResponse(404, "no such path");
    // Servers listen directly, whatever proxy the application uses.
    m_server.setProxy(QNetworkProxy::NoProxy);
    m_server.listen(serverAddress(), 0);
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

QString ScriptedServer::url(const QString& path, const QString& host) const
{
    return QStringLiteral("http://%1:%2%3").arg(host).arg(m_server.serverPort()).arg(path);
}

void ScriptedServer::respond(const QByteArray& path, const QByteArray& raw, Ending ending)
{
    m_responses.insert(path, qMakePair(raw, ending));
}

void ScriptedServer::readRequest(QTcpSocket* socket)
{
    QByteArray& pending = m_pending[socket];
    pending += socket->readAll();
    const int headerEnd = pending.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return;
    qint64 length = 0;
    for (const QByteArray& line : pending.left(headerEnd).split('\n')) {
        if (line.toLower().startsWith("content-length:"))
            length = line.mid(15).trimmed().toLongLong();
    }
    if (pending.size() < headerEnd + 4 + length)
        return;
    const QByteArray request = pending;
    m_pending.remove(socket);
    m_requests << request;
    m_lastConnection = socket;
    m_lastPeer = socket->peerAddress();
    const QByteArray path = request.split(' ').value(1);
    const auto response = m_responses.value(path, qMakePair(m_otherResponse, Close));
    socket->write(response.first);
    if (response.second == Close)
        socket->disconnectFromHost();
    if (response.second == Endless) {
        connect(socket, &QTcpSocket::bytesWritten, socket, [socket] {
            if (socket->bytesToWrite() < 65536)
                socket->write(QByteArray(65536, 'e'));
        });
    }
    emit requestReceived(request);
}

BackgroundProcess::~BackgroundProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
}

bool BackgroundProcess::start(const QString& program, const QStringList& arguments)
{
    // Its log lines join the test's output; nobody has to drain a pipe.
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(program, arguments);
    return m_process.waitForStarted(5000);
}

bool ReferenceService::start(const QString& contentFolder, const QStringList& options)
{
    const QString script
        = TestSupport::sourcePath(QStringLiteral("tools/update-service/update-service.py"));
    if (!BackgroundProcess::start(QStringLiteral("python3"),
            QStringList {script, "--host", serverAddress().toString(), "--port", "0", "--content",
                contentFolder, "--signing-key", TestSupport::signingKeyPath()}
                + options))
        return false;
    QDeadlineTimer deadline(10000);
    while (!process().canReadLine() && !deadline.hasExpired())
        process().waitForReadyRead(int(deadline.remainingTime()));
    const QByteArray line = process().readLine().trimmed();
    m_port = line.mid(line.lastIndexOf(':') + 1).toUShort();
    return m_port != 0;
}

QString ReferenceService::baseUrl(const QString& host) const
{
    return QStringLiteral("http://%1:%2").arg(host).arg(m_port);
}

int threadCount(qint64 pid)
{
    const QString process = pid ? QString::number(pid) : QStringLiteral("self");
    return QDir(QStringLiteral("/proc/%1/task").arg(process))
        .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
        .size();
}

qint64 residentBytes()
{
#ifdef Q_OS_WIN
    PROCESS_MEMORY_COUNTERS counters {};
    return GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))
        ? qint64(counters.WorkingSetSize)
        : -1;
#else
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return -1;
#endif
}

bool waitForPort(quint16 port, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        if (probe.waitForConnected(200))
            return true;
        QTest::qWait(25); // a refused connection returns at once: poll, do not spin
    }
    return false;
}

} // namespace UpdateTest

namespace UpdateTest {

bool startHttpProxy(BackgroundProcess& proxy, const QString& folder, const QString& user,
    const QString& password, quint16* port)
{
    *port = freePort();
    const QString config = folder + QStringLiteral("/tinyproxy.conf");
    writeFile(config,
        QStringLiteral("Port %1\nListen 127.0.0.1\nTimeout 30\nMaxClients 20\n"
                       "Allow 127.0.0.1\nBasicAuth %2 %3\nLogLevel Warning\n")
            .arg(*port)
            .arg(user, password)
            .toUtf8());
    return proxy.start(QStringLiteral("tinyproxy"), {"-d", "-c", config}) && waitForPort(*port);
}

bool startSocksProxy(BackgroundProcess& proxy, const QString& user, const QString& password,
    quint16* port, const QString& outgoing)
{
    *port = freePort();
    QStringList arguments
        = {"-i", "127.0.0.1", "-p", QString::number(*port), "-u", user, "-P", password};
    if (!outgoing.isEmpty())
        arguments << "-b" << outgoing;
    return proxy.start(QStringLiteral("microsocks"), arguments) && waitForPort(*port);
}

bool useProxy(BackgroundProcess& proxy, bool socks, const QString& folder, const QString& user,
    const QString& password, const QString& clientPassword)
{
    quint16 port = 0;
    if (!(socks ? startSocksProxy(proxy, user, password, &port)
                : startHttpProxy(proxy, folder, user, password, &port)))
        return false;
    QNetworkProxy::setApplicationProxy(
        QNetworkProxy(socks ? QNetworkProxy::Socks5Proxy : QNetworkProxy::HttpProxy,
            QStringLiteral("127.0.0.1"), port, user, clientPassword));
    return true;
}

} // namespace UpdateTest
