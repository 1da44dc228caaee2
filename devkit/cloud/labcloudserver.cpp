#include "labcloudserver.h"

#include "labcloudservice.h"
#include "labeventlog.h"
#include "labfault.h"
#include "peersocket.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QJsonDocument>

#include <sys/socket.h>
#include <thread>

namespace {

const char *const kPrefix = "/iot-gateway-mqtt/";
const char *const kJsonType = "application/json;charset=UTF-8";
const char *const kRawType = "text/html; charset=utf-8";

QString fromStd(const std::string &s)
{
    return QString::fromUtf8(s.data(), int(s.size()));
}

// The event line of an answer that went out.
QJsonObject replyEvent(const httplib::Request &req, int status, const QJsonValue &code, const QByteArray &body)
{
    return QJsonObject{{QStringLiteral("event"), QStringLiteral("reply")},
                       {QStringLiteral("path"), fromStd(req.path)},
                       {QStringLiteral("status"), status},
                       {QStringLiteral("code"), code},
                       {QStringLiteral("body"), QString::fromUtf8(body.left(4096))}};
}

// A server whose listening backlog can be widened after binding.
template <class Base>
class Listening : public Base
{
public:
    using Base::Base;
    bool widenBacklog(int backlog)
    {
        // listen() on a listening socket only changes its backlog.
        return ::listen(this->svr_sock_, backlog) == 0;
    }
};

template <class Server, class... Args>
std::unique_ptr<httplib::Server> makeServer(std::function<bool(int)> *widen, Args... args)
{
    auto server = std::make_unique<Listening<Server>>(args...);
    Listening<Server> *raw = server.get();
    *widen = [raw](int backlog) { return raw->widenBacklog(backlog); };
    return server;
}

const size_t kStreamPiece = 64 * 1024;

} // namespace

LabCloudServer::LabCloudServer(LabCloudService *service, LabEventLog *events, const QString &tlsCert,
                               const QString &tlsKey)
    : m_service(service), m_events(events), m_https(!tlsCert.isEmpty() || !tlsKey.isEmpty())
{
    if (m_https)
        m_server = makeServer<httplib::SSLServer>(&m_widenBacklog, tlsCert.toLocal8Bit().constData(),
                                                  tlsKey.toLocal8Bit().constData());
    else
        m_server = makeServer<httplib::Server>(&m_widenBacklog);
    httplib::Server &server = *m_server;
    // Held-back answers occupy a worker each; a large pool keeps hanging requests from
    // starving the others.
    server.new_task_queue = [] { return new httplib::ThreadPool(workerThreads); };
    server.set_payload_max_length(maxPayload);

    const struct { const char *path; const char *operation; } routes[] = {
        {"device/getDeviceList", "getDeviceList"},
        {"project/checkUuidIsExist", "checkUuidIsExist"},
        {"project/uploadToObject", "uploadToObject"},
    };
    for (const auto &r : routes) {
        const QString operation = QLatin1String(r.operation);
        server.Post(std::string(kPrefix) + r.path,
                    [this, operation](const httplib::Request &req, httplib::Response &res) {
                        handleOperation(req, res, operation);
                    });
    }
    server.set_error_handler(httplib::Server::Handler(
        [this](const httplib::Request &req, httplib::Response &res) { refuse(req, res); }));
    server.set_exception_handler(
        [](const httplib::Request &req, httplib::Response &res, std::exception_ptr ep) {
            try {
                if (ep)
                    std::rethrow_exception(ep);
            } catch (const std::exception &e) {
                qWarning() << "LabCloudServer exception" << req.path.c_str() << e.what();
            } catch (...) {
                qWarning() << "LabCloudServer exception" << req.path.c_str();
            }
            res.status = 500;
        });
}

bool LabCloudServer::isValid() const
{
    return m_server->is_valid();
}

int LabCloudServer::bind(int port)
{
    int bound = -1;
    if (port == 0)
        bound = m_server->bind_to_any_port("127.0.0.1");
    else if (m_server->bind_to_port("127.0.0.1", port))
        bound = port;
    if (bound > 0 && !m_widenBacklog(listenBacklog))
        qWarning() << "LabCloudServer::bind cannot widen the backlog";
    return bound;
}

bool LabCloudServer::serve()
{
    return m_server->listen_after_bind();
}

void LabCloudServer::stop()
{
    m_stopping = true;
    m_server->stop();
}

QJsonObject LabCloudServer::requestEvent(const httplib::Request &req) const
{
    QJsonObject headers;
    for (const char *name : {"Content-Type", "Content-Length"})
        if (req.has_header(name))
            headers.insert(QLatin1String(name), fromStd(req.get_header_value(name)));
    return QJsonObject{{QStringLiteral("event"), QStringLiteral("request")},
                       {QStringLiteral("method"), fromStd(req.method)},
                       {QStringLiteral("path"), fromStd(req.path)},
                       {QStringLiteral("headers"), headers}};
}

void LabCloudServer::handleOperation(const httplib::Request &req, httplib::Response &res,
                                     const QString &operation)
{
    LabOutcome outcome;
    const QByteArray body = QByteArray::fromStdString(req.body);
    if (operation == QLatin1String("getDeviceList")) {
        outcome = m_service->deviceList(body);
    } else if (operation == QLatin1String("checkUuidIsExist")) {
        outcome = m_service->checkUuid(body);
    } else {
        QList<LabUploadPart> parts;
        for (const auto &entry : req.files)
            parts.append({fromStd(entry.second.name), fromStd(entry.second.filename),
                          fromStd(entry.second.content_type),
                          QByteArray::fromStdString(entry.second.content)});
        outcome = m_service->upload(fromStd(req.get_header_value("Content-Type")), parts);
        if (!req.is_multipart_form_data()) {
            outcome.event.insert(QStringLiteral("bodySize"), body.size());
            outcome.event.insert(QStringLiteral("body"), QString::fromUtf8(body.left(256)));
        }
    }

    const QJsonObject fault = m_service->config().faultFor(operation, outcome.account);
    LabReply reply = LabFault::shape(fault, outcome.answer);
    if (!reply.changed) {
        // The service's own answer goes out: carry out what it says.
        m_service->commit(&outcome);
        reply = LabFault::shape(fault, outcome.answer);
    }

    QJsonObject event = requestEvent(req);
    for (auto it = outcome.event.begin(); it != outcome.event.end(); ++it)
        event.insert(it.key(), it.value());
    event.insert(QStringLiteral("code"), reply.eventCode);
    if (reply.delayMs > 0)
        event.insert(QStringLiteral("delayMs"), reply.delayMs);
    m_events->write(event);

    if (reply.hang) {
        holdBack(req, -1);
        return;
    }
    if (reply.delayMs > 0 && !holdBack(req, reply.delayMs))
        return;

    res.status = 200;
    if (reply.endless || reply.padTo > reply.body.size()) {
        streamBody(req, res, reply.body, reply.padTo, reply.endless);
        return;
    }
    res.set_content(reply.body.toStdString(), reply.raw ? kRawType : kJsonType);
    m_events->write(replyEvent(req, res.status, reply.eventCode, reply.body));
}

void LabCloudServer::streamBody(const httplib::Request &req, httplib::Response &res,
                                const QByteArray &body, qint64 padTo, bool endless)
{
    // {"code":..,"pad":"xxxx…"}: still one JSON object, however long.
    QByteArray head = body, end;
    if (body.startsWith('{') && body.endsWith('}')) {
        head = body.left(body.size() - 1) + (body.size() > 2 ? ",\"pad\":\"" : "\"pad\":\"");
        end = "\"}";
    }
    const std::string path = req.path;
    QJsonObject event = replyEvent(req, res.status, QStringLiteral("streamed"), head);
    event.insert(QStringLiteral("bodyBytes"), endless ? QJsonValue(QStringLiteral("endless")) : QJsonValue(double(padTo)));
    m_events->write(event);

    const qint64 total = endless ? -1 : qMax<qint64>(padTo, head.size() + end.size());
    auto piece = [head, end, total](qint64 offset, qint64 wanted) {
        QByteArray out;
        while (out.size() < wanted) {
            const qint64 at = offset + out.size();
            const qint64 left = wanted - out.size();
            if (at < head.size())
                out += head.mid(int(at), int(qMin<qint64>(left, head.size() - at)));
            else if (total < 0 || at < total - end.size())
                out += QByteArray(int(qMin<qint64>(left, total < 0 ? left : total - end.size() - at)), 'x');
            else
                out += end.mid(int(at - (total - end.size())), int(left));
        }
        return out;
    };
    auto closed = [this, path](qint64 sent, const char *reason) {
        m_events->write(QJsonObject{{QStringLiteral("event"), QStringLiteral("closed")},
                                    {QStringLiteral("path"), fromStd(path)},
                                    {QStringLiteral("reason"), QLatin1String(reason)},
                                    {QStringLiteral("sent"), double(sent)}});
    };
    const std::string type = kJsonType;
    if (endless) {
        res.set_chunked_content_provider(type, [this, piece, closed](size_t offset, httplib::DataSink &sink) {
            const QByteArray out = piece(qint64(offset), kStreamPiece);
            if (m_stopping || !sink.write(out.constData(), size_t(out.size()))) {
                closed(qint64(offset), m_stopping ? "stopping" : "client left");
                return false;
            }
            return true;
        });
        return;
    }
    res.set_content_provider(size_t(total), type,
                             [this, piece, closed, total](size_t offset, size_t length, httplib::DataSink &sink) {
        const QByteArray out = piece(qint64(offset), qMin<qint64>(qint64(length), kStreamPiece));
        if (m_stopping || !sink.write(out.constData(), size_t(out.size()))) {
            closed(qint64(offset), m_stopping ? "stopping" : "client left");
            return false;
        }
        if (qint64(offset) + out.size() >= total)
            closed(total, "complete");
        return true;
    });
}

bool LabCloudServer::holdBack(const httplib::Request &req, int ms)
{
    PeerSocket peer(req.remote_addr, req.remote_port, req.local_port);
    QElapsedTimer clock;
    clock.start();
    QString reason;
    for (;;) {
        if (m_stopping) {
            reason = QStringLiteral("stopping");
            break;
        }
        const qint64 left = ms < 0 ? 50 : ms - clock.elapsed();
        if (left <= 0)
            return true;
        if (peer.waitGone(int(qMin<qint64>(left, 50)))) {
            reason = QStringLiteral("client left");
            break;
        }
    }
    peer.shutDown();
    m_events->write(QJsonObject{{QStringLiteral("event"), QStringLiteral("closed")},
                                {QStringLiteral("path"), fromStd(req.path)},
                                {QStringLiteral("reason"), reason}});
    qDebug() << "LabCloudServer::holdBack no answer:" << reason;
    return false;
}

void LabCloudServer::refuse(const httplib::Request &req, httplib::Response &res)
{
    QString msg;
    switch (res.status) {
    case 400:
        msg = req.is_multipart_form_data() ? QStringLiteral("multipart格式错误")
                                           : QStringLiteral("请求格式错误");
        break;
    case 404:
        msg = QStringLiteral("接口不存在");
        break;
    case 413:
        msg = QStringLiteral("请求体过大");
        break;
    case 500:
        msg = QStringLiteral("服务内部错误");
        break;
    default:
        msg = QStringLiteral("请求被拒绝");
        break;
    }
    const QByteArray body = QJsonDocument(QJsonObject{{QStringLiteral("code"), res.status},
                                                      {QStringLiteral("msg"), msg}})
                                .toJson(QJsonDocument::Compact);
    res.set_content(body.toStdString(), kJsonType);

    QJsonObject event = requestEvent(req);
    event.insert(QStringLiteral("refused"), true);
    event.insert(QStringLiteral("code"), res.status);
    m_events->write(event);
    m_events->write(replyEvent(req, res.status, res.status, body));
    qDebug() << "LabCloudServer::refuse" << res.status << req.method.c_str() << req.path.c_str();
}
