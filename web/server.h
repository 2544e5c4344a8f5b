#pragma once

#include <QAbstractHttpServer>
#include <QHostAddress>
#include <QSocketNotifier>
#include <QTimer>
#include <QWebSocket>
#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "office/pq.h"
#include "web/sessions.h"

// The office's web server: the fleet's day live, a van's day, publishing a
// route and the day's report, for people logged in with their own database
// role. One thread: every request and every push runs on the event loop.
namespace web {

struct ServerSettings {
    std::string conninfo;  // the office's database, as for the other kontor commands
    QHostAddress address = QHostAddress::LocalHost;
    quint16 port = 8080;
    QString certificateFile;  // both or neither: TLS
    QString keyFile;
    std::chrono::minutes idle{30};  // a session ends after this long unused
};

class WebServer : public QAbstractHttpServer {
    Q_OBJECT
public:
    explicit WebServer(ServerSettings settings, QObject* parent = nullptr);
    ~WebServer() override;

    // Listens and connects the listener for saves; throws std::runtime_error
    // with a Swedish message when it cannot. The port listened on.
    quint16 Start();

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    struct Watcher {
        std::string token;
        std::string date;
    };

    void Listen();
    void ReadNotifications();
    // The days' status for every role watching them, or for one role.
    void Refresh(const std::set<std::string>& dates, const std::string* onlyRole = nullptr);
    void AcceptWebSocket();
    void EndSession(const std::string& token, const QString& why);
    void SendStatus(QWebSocket* socket, const std::string& json);

    ServerSettings settings_;
    bool tls_ = false;
    SessionStore sessions_;
    LoginLimiter limiter_;
    std::map<QWebSocket*, Watcher> watchers_;
    std::map<std::pair<std::string, std::string>, std::string> latest_;  // (role, day) -> status
    office::pq::Connection listener_;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer reconnect_;
    QTimer sweep_;
};

}  // namespace web
