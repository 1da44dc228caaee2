#ifndef LABCLOUDSERVER_H
#define LABCLOUDSERVER_H

#include <QJsonObject>
#include <QString>

#include <httplib.h>

#include <atomic>
#include <functional>
#include <memory>

class LabCloudService;
class LabEventLog;

// The HTTP side of the lab's cloud service on 127.0.0.1 (HTTPS when given a certificate
// and its key): routes the three operations
// under /iot-gateway-mqtt/, applies the configured faults (delay, hang, altered
// bodies), answers refusals of the HTTP layer (malformed or oversized requests,
// unknown paths) with a JSON body, and records every request and answer as event
// lines.
class LabCloudServer
{
public:
    static const size_t maxPayload = 64u * 1024u * 1024u;
    static const size_t workerThreads = 128;
    static const int listenBacklog = 256;

    // With tlsCert and tlsKey (PEM files) the service speaks HTTPS only.
    LabCloudServer(LabCloudService *service, LabEventLog *events, const QString &tlsCert = QString(),
                   const QString &tlsKey = QString());

    // False when the certificate or its key could not be used.
    bool isValid() const;
    bool isHttps() const { return m_https; }

    // Binds 127.0.0.1:port (0: any free port). Returns the port, or -1.
    int bind(int port);
    // Serves until stop(); false when the server could not run.
    bool serve();
    // Callable from any thread. Answers held back (delays, hangs) are dropped.
    void stop();

private:
    void handleOperation(const httplib::Request &req, httplib::Response &res, const QString &operation);
    void refuse(const httplib::Request &req, httplib::Response &res);
    // Holds the answer back for ms milliseconds (ms < 0: until the client leaves or the
    // server stops). False when the answer must not be sent: the connection is then
    // shut down and the reason logged.
    bool holdBack(const httplib::Request &req, int ms);
    QJsonObject requestEvent(const httplib::Request &req) const;
    // Sends body padded to padTo bytes (a JSON object gets a "pad" member), or, when
    // endless, as a chunked body that never ends; both streamed. Stops when the client
    // leaves or the server stops, and records how much went out.
    void streamBody(const httplib::Request &req, httplib::Response &res, const QByteArray &body,
                    qint64 padTo, bool endless);

    LabCloudService *m_service;
    LabEventLog *m_events;
    bool m_https = false;
    std::unique_ptr<httplib::Server> m_server;
    // The library listens with a backlog of a few connections; bursts of connects (many
    // clients at once) then lose SYNs and wait a second for the retransmission.
    std::function<bool(int)> m_widenBacklog;
    std::atomic<bool> m_stopping{false};
};

#endif // LABCLOUDSERVER_H
