#pragma once

#include "testsupport.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QTcpServer>

class QTcpSocket;

// Real servers and proxies on loopback, for the tests of the network client.
namespace UpdateTest {

// A raw HTTP/1.1 response; with `withLength` false the body ends when the connection does.
QByteArray httpResponse(int status, const QByteArray& body, bool withLength = true,
    const QByteArray& extraHeaders = QByteArray());
using TestSupport::fileBytes;
using TestSupport::writeFile;
quint16 freePort();
// An address of this machine that is not loopback, where the servers below listen
// too: Qt sends requests for "localhost" and 127.x past every proxy, so proxied tests
// address this one. Empty outside a network namespace of the test's own.
QString proxiedHost();
// Where the servers listen: every address inside the test's own namespace, else loopback.
QHostAddress serverAddress();

// Starts the test executable again from a copy in a temporary directory, so that
// files placed beside "the program" land there. Returns the copy's exit code, or
// -1 when already running as the copy.
int rerunRelocated(int argc, char** argv);

// A hand-written HTTP server: answers each path with scripted bytes and records
// every request it receives, byte for byte.
class ScriptedServer : public QObject
{
    Q_OBJECT
public:
    // Endless: after the scripted bytes, more bytes for as long as the client reads.
    enum Ending { Close, KeepOpen, Endless };

    explicit ScriptedServer(QObject* parent = nullptr);

    QString url(const QString& path, const QString& host = QStringLiteral("127.0.0.1")) const;
    void respond(const QByteArray& path, const QByteArray& raw, Ending ending = Close);
    // The answer to every path without one of its own (a 404 page unless set).
    void respondToOthers(const QByteArray& raw) { m_otherResponse = raw; }

    QList<QByteArray> requests() const { return m_requests; }
    // Where the last request came from.
    QHostAddress lastPeer() const { return m_lastPeer; }
    // The connection of the last request, for tests that feed a reply piece by piece.
    QTcpSocket* lastConnection() const { return m_lastConnection; }

signals:
    void requestReceived(QByteArray request);

private:
    void readRequest(QTcpSocket* socket);

    QTcpServer m_server;
    QHash<QByteArray, QPair<QByteArray, Ending>> m_responses;
    QHash<QTcpSocket*, QByteArray> m_pending;
    QList<QByteArray> m_requests;
    QByteArray m_otherResponse;
    QTcpSocket* m_lastConnection = nullptr;
    QHostAddress m_lastPeer;
};

// A helper program run for the length of a test; ended when destroyed.
class BackgroundProcess
{
public:
    ~BackgroundProcess();
    bool start(const QString& program, const QStringList& arguments);
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
};

// The project's reference update service on a free loopback port, signing with the tests' key.
class ReferenceService : public BackgroundProcess
{
public:
    bool start(const QString& contentFolder, const QStringList& options = {});
    QString baseUrl(const QString& host = QStringLiteral("127.0.0.1")) const;
    quint16 port() const { return m_port; }

private:
    quint16 m_port = 0;
};

// Threads of a process (this one when 0), from /proc.
int threadCount(qint64 pid = 0);
// Resident memory (the working set) of this process in bytes.
qint64 residentBytes();

// Waits until something accepts connections on the loopback port.
bool waitForPort(quint16 port, int timeoutMs = 10000);

} // namespace UpdateTest

namespace UpdateTest {

// Debian's tinyproxy with basic authentication, on a free loopback port.
bool startHttpProxy(BackgroundProcess& proxy, const QString& folder, const QString& user,
    const QString& password, quint16* port);
// microsocks with user and password, on a free loopback port; it connects onwards
// from `outgoing` when given.
bool startSocksProxy(BackgroundProcess& proxy, const QString& user, const QString& password,
    quint16* port, const QString& outgoing = QString());
// Either proxy for user:password, made the application's proxy; the application
// logs in with clientPassword.
bool useProxy(BackgroundProcess& proxy, bool socks, const QString& folder, const QString& user,
    const QString& password, const QString& clientPassword);

} // namespace UpdateTest
