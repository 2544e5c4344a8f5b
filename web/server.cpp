#include "web/server.h"

#include <libpq-fe.h>

#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <cstring>
#include <ctime>
#include <utility>

#include "day/kept_days.h"
#include "day/local_time.h"
#include "day/route_file.h"
#include "office/errors.h"
#include "office/fleet.h"
#include "office/schema.h"
#include "office/van_day.h"
#include "web/request_parse.h"
#include "web/views.h"

namespace web {

namespace {

using Status = QHttpServerResponder::StatusCode;

constexpr const char* kSessionCookie = "leverans_session";
constexpr const char* kLoginCookie = "leverans_login";
constexpr const char* kChannel = "leverans_dag";
constexpr qint64 kMaxPendingPush = 1 << 20;                // a live page that stopped reading
constexpr auto kHeaderTimeout = std::chrono::seconds(20);  // a request begun and not sent on
constexpr auto kIdleConnection = std::chrono::minutes(2);

std::size_t BodyLimit(std::string_view path) {
    if (path == "/api/publicera") return day::kMaxRouteFileBytes + kUploadOverhead;
    return kMaxFormBytes;
}

const char* ReasonPhrase(int status) {
    switch (status) {
        case 400:
            return "Bad Request";
        case 408:
            return "Request Timeout";
        case 411:
            return "Length Required";
        case 413:
            return "Payload Too Large";
        case 431:
            return "Request Header Fields Too Large";
        case 505:
            return "HTTP Version Not Supported";
        default:
            return "Error";
    }
}

// Answers a request the gate refused, and closes the connection: nothing
// more of it is read.
void RefuseOnSocket(QTcpSocket* socket, int status, const std::string& message) {
    QObject::disconnect(socket, &QIODevice::readyRead, nullptr, nullptr);
    const std::string body = "Fel: " + message + "\n";
    const std::string answer = "HTTP/1.1 " + std::to_string(status) + " " + ReasonPhrase(status) +
                               "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
                               std::to_string(body.size()) +
                               "\r\nX-Content-Type-Options: nosniff\r\nConnection: close\r\n\r\n" +
                               body;
    socket->write(answer.data(), static_cast<qint64>(answer.size()));
    socket->disconnectFromHost();
}

// Puts a RequestGate in front of the HTTP server's own reading of a
// connection: it sees each arrival of bytes first, and refuses a request
// too large, malformed or too slow before the server reads its body.
void Guard(QTcpSocket* socket) {
    auto gate = std::make_shared<RequestGate>(&BodyLimit);
    auto last = std::make_shared<Clock::time_point>(Clock::now());
    auto* timer = new QTimer(socket);
    timer->start(std::chrono::seconds(5));
    QObject::connect(timer, &QTimer::timeout, socket, [socket, gate, last, timer] {
        const auto quiet = Clock::now() - *last;
        if (gate->MidRequest() && quiet > kHeaderTimeout) {
            timer->stop();
            RefuseOnSocket(socket, 408, "begäran kom inte fram i tid");
        } else if (!gate->MidRequest() && quiet > kIdleConnection) {
            timer->stop();
            socket->disconnectFromHost();
        }
    });
    auto reading = std::make_shared<QMetaObject::Connection>();
    *reading = QObject::connect(
        socket, &QIODevice::readyRead, socket, [socket, gate, last, timer, reading] {
            *last = Clock::now();
            // The server reads all that has come after this; only the head is looked at.
            const QByteArray bytes = socket->peek(socket->bytesAvailable());
            switch (gate->Feed(
                std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())))) {
                case RequestGate::State::Reading:
                    break;
                case RequestGate::State::Refused:
                    timer->stop();
                    RefuseOnSocket(socket, gate->Refused().status, gate->Refused().message);
                    break;
                case RequestGate::State::Upgraded:
                    timer->stop();
                    QObject::disconnect(*reading);
                    break;
            }
        });
}

template <typename Base>
class GatedServer : public Base {
public:
    using Base::Base;
    QTcpSocket* nextPendingConnection() override {
        QTcpSocket* socket = Base::nextPendingConnection();
        if (socket) Guard(socket);
        return socket;
    }
};

std::string Text(const QByteArray& bytes) {
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

QByteArray Bytes(const std::string& text) {
    return {text.data(), static_cast<qsizetype>(text.size())};
}

std::string Today() { return day::LocalTimestampNow().substr(0, 10); }

std::string Message(const std::string& text) { return "{\"fel\":" + JsonString(text) + "}"; }

std::string PublishedText(const office::Publication& done, const std::string& name,
                          const std::string& van, const std::string& date) {
    return "Rutten " + name + " är publicerad för bil " + van + " den " + date + " (" +
           std::to_string(done.shops) + (done.shops == 1 ? " butik, " : " butiker, ") +
           std::to_string(done.articles) + (done.articles == 1 ? " artikel)" : " artiklar)") +
           (done.replaced ? "; den ersätter rutten som fanns." : ".");
}

struct Page {
    const char* path;
    const char* resource;
    const char* type;
    bool needsSession;
};

constexpr Page kPages[] = {
    {"/", ":/web/live.html", "text/html; charset=utf-8", true},
    {"/bil", ":/web/van.html", "text/html; charset=utf-8", true},
    {"/publicera", ":/web/publish.html", "text/html; charset=utf-8", true},
    {"/logga-in", ":/web/login.html", "text/html; charset=utf-8", false},
    {"/stil.css", ":/web/style.css", "text/css; charset=utf-8", false},
    {"/gemensam.js", ":/web/common.js", "text/javascript; charset=utf-8", false},
    {"/lage.js", ":/web/live.js", "text/javascript; charset=utf-8", false},
    {"/bil.js", ":/web/van.js", "text/javascript; charset=utf-8", false},
    {"/publicera.js", ":/web/publish.js", "text/javascript; charset=utf-8", false},
    {"/logga-in.js", ":/web/login.js", "text/javascript; charset=utf-8", false},
};

}  // namespace

// One request's answer, with the headers every answer carries.
class Answer {
public:
    Answer(int status, QByteArray type, QByteArray body)
        : response_(std::move(type), std::move(body), static_cast<Status>(status)) {
        response_.addHeader("Content-Security-Policy",
                            "default-src 'none'; script-src 'self'; style-src 'self'; "
                            "img-src 'self'; connect-src 'self'; form-action 'self'; "
                            "base-uri 'none'; frame-ancestors 'none'");
        response_.addHeader("X-Content-Type-Options", "nosniff");
        response_.addHeader("X-Frame-Options", "DENY");
        response_.addHeader("Referrer-Policy", "no-referrer");
        response_.addHeader("Cache-Control", "no-store");
    }
    static Answer Json(int status, const std::string& json) {
        return {status, "application/json; charset=utf-8", Bytes(json)};
    }
    static Answer Redirect(const QByteArray& to) {
        Answer answer(303, "text/plain; charset=utf-8", QByteArray());
        answer.Header("Location", to);
        return answer;
    }
    Answer& Header(const QByteArray& name, const QByteArray& value) & {
        response_.addHeader(name, value);
        return *this;
    }
    Answer&& Header(const QByteArray& name, const QByteArray& value) && {
        response_.addHeader(name, value);
        return std::move(*this);
    }
    void Send(QHttpServerResponder&& responder) { response_.write(std::move(responder)); }

private:
    QHttpServerResponse response_;
};

WebServer::WebServer(ServerSettings settings, QObject* parent)
    : QAbstractHttpServer(parent), settings_(std::move(settings)), sessions_(settings_.idle) {
    tls_ = !settings_.certificateFile.isEmpty();
    connect(this, &QAbstractHttpServer::newWebSocketConnection, this, &WebServer::AcceptWebSocket);
    reconnect_.setSingleShot(true);
    connect(&reconnect_, &QTimer::timeout, this, &WebServer::Listen);
    connect(&sweep_, &QTimer::timeout, this, [this] {
        for (const std::string& token : sessions_.EndIdle(Clock::now()))
            EndSession(token, QStringLiteral("Sessionen har gått ut; logga in igen."));
    });
    sweep_.start(std::chrono::seconds(30));
}

WebServer::~WebServer() = default;

quint16 WebServer::Start() {
    QTcpServer* server = nullptr;
    if (tls_) {
        QFile certificateFile(settings_.certificateFile);
        QFile keyFile(settings_.keyFile);
        if (!certificateFile.open(QIODevice::ReadOnly))
            throw std::runtime_error(settings_.certificateFile.toStdString() +
                                     ": certifikatet kunde inte läsas");
        if (!keyFile.open(QIODevice::ReadOnly))
            throw std::runtime_error(settings_.keyFile.toStdString() +
                                     ": nyckeln kunde inte läsas");
        const QList<QSslCertificate> chain = QSslCertificate::fromData(certificateFile.readAll());
        const QByteArray keyBytes = keyFile.readAll();
        QSslKey key(keyBytes, QSsl::Rsa);
        if (key.isNull()) key = QSslKey(keyBytes, QSsl::Ec);
        if (chain.isEmpty())
            throw std::runtime_error(settings_.certificateFile.toStdString() +
                                     ": inget certifikat (PEM) i filen");
        if (key.isNull())
            throw std::runtime_error(settings_.keyFile.toStdString() +
                                     ": ingen privat nyckel (PEM, RSA eller EC, utan lösenord) "
                                     "i filen");
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setLocalCertificateChain(chain);
        configuration.setPrivateKey(key);
        configuration.setProtocol(QSsl::TlsV1_2OrLater);
        auto* ssl = new GatedServer<QSslServer>(this);
        ssl->setSslConfiguration(configuration);
        server = ssl;
    } else {
        server = new GatedServer<QTcpServer>(this);
    }
    if (!server->listen(settings_.address, settings_.port))
        throw std::runtime_error(
            "kan inte lyssna på " + settings_.address.toString().toStdString() + ":" +
            std::to_string(settings_.port) + " (" + server->errorString().toStdString() + ")");
    bind(server);
    Listen();
    if (!listener_.handle())
        throw std::runtime_error("kontorets databas kan inte nås för att höra sparningar");
    try {
        const int version = office::StoredSchemaVersion(listener_);
        if (version < office::kSchemaVersion)
            throw std::runtime_error("kontorets databas har schemaversion " +
                                     std::to_string(version) + "; webbsidorna behöver version " +
                                     std::to_string(office::kSchemaVersion) +
                                     ". Kör leverans kontor skapa först");
    } catch (const office::Error& e) {
        throw std::runtime_error(e.what());
    }
    return server->serverPort();
}

// The one connection that listens for saves, with the server's own rights;
// what it hears is only which day changed.
void WebServer::Listen() {
    notifier_.reset();
    listener_.Close();
    try {
        listener_ = office::pq::Connection::Open(settings_.conninfo);
        listener_.Execute("LISTEN leverans_dag");
    } catch (const office::Error& e) {
        listener_.Close();
        std::fprintf(stderr, "leverans: kontorets databas kan inte höras (%s); försöker igen\n",
                     e.what());
        reconnect_.start(std::chrono::seconds(2));
        return;
    }
    notifier_ =
        std::make_unique<QSocketNotifier>(PQsocket(listener_.handle()), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &WebServer::ReadNotifications);
    // What happened while no one listened.
    std::set<std::string> all;
    for (const auto& [socket, watcher] : watchers_) all.insert(watcher.date);
    Refresh(all);
}

void WebServer::ReadNotifications() {
    PGconn* conn = listener_.handle();
    if (PQconsumeInput(conn) == 0 || PQstatus(conn) != CONNECTION_OK) {
        notifier_.reset();
        listener_.Close();
        reconnect_.start(std::chrono::seconds(1));
        return;
    }
    std::set<std::string> dates;
    bool any = false;
    while (PGnotify* notice = PQnotifies(conn)) {
        if (std::strcmp(notice->relname, kChannel) == 0) {
            const std::string day = notice->extra ? notice->extra : "";
            if (day.empty())
                any = true;
            else
                dates.insert(day);
        }
        PQfreemem(notice);
    }
    if (any)
        for (const auto& [socket, watcher] : watchers_) dates.insert(watcher.date);
    if (!dates.empty()) Refresh(dates);
}

// Each day's status once per role watching it, queried as that role, sent
// to that role's live pages only: row-level security decides what a van's
// role sees, and no other role's answer reaches it.
void WebServer::Refresh(const std::set<std::string>& dates, const std::string* onlyRole) {
    std::map<std::pair<std::string, std::string>, std::vector<QWebSocket*>> groups;
    for (const auto& [socket, watcher] : watchers_) {
        if (!dates.count(watcher.date)) continue;
        const Session* session = sessions_.Peek(watcher.token);
        if (session && (!onlyRole || session->role == *onlyRole))
            groups[{session->role, watcher.date}].push_back(socket);
    }
    std::set<std::string> broken;
    for (const auto& [key, sockets] : groups) {
        Session* session = sessions_.AnyOf(key.first);
        if (!session) continue;
        std::string json;
        try {
            json = StatusJson(office::FleetStatus(*session->conn, key.second), key.second,
                              std::time(nullptr));
        } catch (const office::Error& e) {
            broken.insert(session->token);
            continue;
        } catch (const day::FileError& e) {
            json = Message(e.what());
        }
        latest_[key] = json;
        for (QWebSocket* socket : sockets) SendStatus(socket, json);
    }
    for (const std::string& token : broken)
        EndSession(token,
                   QStringLiteral("Förbindelsen med kontorets databas bröts; logga in igen."));
}

void WebServer::SendStatus(QWebSocket* socket, const std::string& json) {
    socket->sendTextMessage(QString::fromUtf8(json.data(), static_cast<qsizetype>(json.size())));
    // A page that does not read is let go rather than kept in memory.
    if (socket->bytesToWrite() > kMaxPendingPush) socket->abort();
}

void WebServer::EndSession(const std::string& token, const QString& why) {
    for (auto it = watchers_.begin(); it != watchers_.end();) {
        QWebSocket* socket = it->first;
        if (it->second.token == token) {
            it = watchers_.erase(it);
            socket->close(QWebSocketProtocol::CloseCodePolicyViolated, why);
        } else {
            ++it;
        }
    }
    // Last: `token` may be the session's own, gone with it.
    sessions_.End(token);
}

void WebServer::AcceptWebSocket() {
    while (hasPendingWebSocketConnections()) {
        QWebSocket* socket = nextPendingWebSocketConnection().release();
        socket->setParent(this);
        connect(socket, &QWebSocket::disconnected, this, [this, socket] {
            watchers_.erase(socket);
            socket->deleteLater();
        });
        socket->setMaxAllowedIncomingMessageSize(256);
        const QNetworkRequest request = socket->request();
        const auto cookies = ParseCookies(Text(request.rawHeader("Cookie")));
        const auto cookie = cookies.find(kSessionCookie);
        const auto query =
            ParseQuery(Text(socket->requestUrl().query(QUrl::FullyEncoded).toUtf8()));
        const std::string origin = socket->origin().toStdString();
        Session* session =
            cookie == cookies.end() ? nullptr : sessions_.Use(cookie->second, Clock::now());
        std::string date = query && query->count("datum") ? query->at("datum") : Today();
        if (socket->requestUrl().path() != QStringLiteral("/api/lage") ||
            !SameOrigin(origin, Text(request.rawHeader("Host"))) || !session ||
            !day::IsDate(date)) {
            socket->close(
                QWebSocketProtocol::CloseCodePolicyViolated,
                session ? QStringLiteral("Fel begäran.") : QStringLiteral("Inte inloggad."));
            continue;
        }
        // Another page of the role on that day has been kept current: the
        // newcomer gets the same, without asking the database again.
        const std::string role = session->role;
        const auto cached = latest_.find({role, date});
        bool current = false;
        for (const auto& [other, watcher] : watchers_) {
            const Session* watching = sessions_.Peek(watcher.token);
            current = current || (watcher.date == date && watching && watching->role == role);
        }
        watchers_[socket] = {session->token, date};
        const std::string token = session->token;
        // The page says when its person is at work, which keeps the session.
        connect(socket, &QWebSocket::textMessageReceived, this,
                [this, token] { sessions_.Use(token, Clock::now()); });
        if (current && cached != latest_.end())
            SendStatus(socket, cached->second);
        else
            Refresh({date}, &role);
    }
}

void WebServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    Answer::Json(404, Message("Sidan finns inte.")).Send(makeResponder(request, socket));
}

bool WebServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    // A WebSocket's opening request taken without an answer becomes a
    // WebSocket (AcceptWebSocket checks its session and origin).
    if (request.value("Upgrade").compare("websocket", Qt::CaseInsensitive) == 0)
        return request.url().path() == QStringLiteral("/api/lage");
    const QString path = request.url().path();
    const bool post = request.method() == QHttpServerRequest::Method::Post;
    const bool get = request.method() == QHttpServerRequest::Method::Get;
    const auto now = Clock::now();
    const auto cookies = ParseCookies(Text(request.value("Cookie")));
    const auto sessionCookie = cookies.find(kSessionCookie);
    Session* session =
        sessionCookie == cookies.end() ? nullptr : sessions_.Use(sessionCookie->second, now);
    const auto send = [&](Answer answer) { answer.Send(makeResponder(request, socket)); };
    const QByteArray secure =
        tls_ || request.value("X-Forwarded-Proto") == "https" ? "; Secure" : "";

    for (const Page& page : kPages) {
        if (path != QLatin1String(page.path)) continue;
        if (!get) {
            send(Answer::Json(405, Message("Metoden är inte tillåten här.")));
            return true;
        }
        if (page.needsSession && !session) {
            send(Answer::Redirect("/logga-in"));
            return true;
        }
        QFile file(QString::fromLatin1(page.resource));
        file.open(QIODevice::ReadOnly);
        send(Answer(200, page.type, file.readAll()));
        return true;
    }

    const std::string route = path.toStdString();
    if (route.rfind("/api/", 0) != 0) return false;
    const auto query = ParseQuery(Text(request.url().query(QUrl::FullyEncoded).toUtf8()));
    if (!query) {
        send(Answer::Json(400, Message("Adressens frågedel kunde inte läsas.")));
        return true;
    }
    const auto QueryDate = [&]() -> std::optional<std::string> {
        const auto found = query->find("datum");
        if (found == query->end() || found->second.empty()) return Today();
        if (!day::IsDate(found->second)) return std::nullopt;
        return found->second;
    };

    // Every request that changes something comes from our own pages: the
    // browser's Origin is this server, and it carries the session's token.
    if (post && !SameOrigin(Text(request.value("Origin")), Text(request.value("Host")))) {
        send(Answer::Json(403, Message("Begäran kommer inte från kontorets egna sidor.")));
        return true;
    }
    const std::string csrf = Text(request.value("X-CSRF-Token"));

    if (route == "/api/session" && get) {
        if (!session) {
            // Before logging in: a token for the login form, in a cookie and the answer.
            const std::string token = RandomToken();
            send(Answer::Json(401, "{\"inloggad\":false,\"csrf\":\"" + token + "\"}")
                     .Header("Set-Cookie", QByteArray(kLoginCookie) + "=" + Bytes(token) +
                                               "; Path=/api/logga-in; HttpOnly; SameSite=Strict" +
                                               secure));
            return true;
        }
        send(Answer::Json(
            200, "{\"inloggad\":true,\"roll\":" + JsonString(session->role) +
                     ",\"bil\":" + (session->van.empty() ? "null" : JsonString(session->van)) +
                     ",\"csrf\":\"" + session->csrf + "\",\"idag\":\"" + Today() + "\"}"));
        return true;
    }

    if (route == "/api/logga-in" && post) {
        const auto loginCookie = cookies.find(kLoginCookie);
        if (loginCookie == cookies.end() || !TokensEqual(loginCookie->second, csrf)) {
            send(Answer::Json(403,
                              Message("Inloggningen saknar giltig CSRF-token; ladda om sidan.")));
            return true;
        }
        auto form = ParseQuery(Text(request.body()));
        if (!form || form->find("roll") == form->end() || form->find("losenord") == form->end()) {
            send(Answer::Json(400, Message("Ange roll och lösenord.")));
            return true;
        }
        const std::string role = form->at("roll");
        std::string& password = form->at("losenord");
        const std::string address = request.remoteAddress().toString().toStdString();
        if (!limiter_.Allowed(address, role, now)) {
            send(Answer::Json(
                429,
                Message(
                    "För många misslyckade inloggningar; vänta några minuter och försök igen.")));
            return true;
        }
        std::unique_ptr<office::pq::Connection> conn;
        std::string van;
        int status = 200;
        std::string refusal;
        if (role.empty() || password.empty()) {
            status = 401;
        } else {
            try {
                conn = std::make_unique<office::pq::Connection>(
                    office::pq::Connection::Open(settings_.conninfo, role, password));
                const office::pq::Result own = conn->Exec("SELECT leverans.own_van()");
                if (own.Rows() == 1 && !own.IsNull(0, 0)) van = own.Text(0, 0);
            } catch (const office::LoginRefused&) {
                status = 401;
            } catch (const office::Error& e) {
                status = 503;
                refusal = e.what();
            }
        }
        explicit_bzero(password.data(), password.size());
        if (status == 401) {
            limiter_.Failed(address, role, now);
            // An unknown role and a wrong password are told alike.
            send(Answer::Json(401, Message("Fel roll eller lösenord.")));
            return true;
        }
        if (status != 200) {
            send(Answer::Json(status, Message(refusal)));
            return true;
        }
        if (session) sessions_.End(session->token);
        Session& created = sessions_.Create(role, van, std::move(conn), now);
        send(Answer::Json(200, "{\"inloggad\":true}")
                 .Header("Set-Cookie", QByteArray(kSessionCookie) + "=" + Bytes(created.token) +
                                           "; Path=/; HttpOnly; SameSite=Strict" + secure));
        return true;
    }

    if (!session) {
        send(Answer::Json(401,
                          Message("Inte inloggad, eller sessionen har gått ut; logga in igen.")));
        return true;
    }
    if (post && !TokensEqual(session->csrf, csrf)) {
        send(Answer::Json(403, Message("Begäran saknar giltig CSRF-token; ladda om sidan.")));
        return true;
    }

    if (route == "/api/logga-ut" && post) {
        EndSession(session->token, QStringLiteral("Utloggad."));
        send(Answer::Json(200, "{\"inloggad\":false}")
                 .Header("Set-Cookie", QByteArray(kSessionCookie) +
                                           "=; Path=/; Max-Age=0; HttpOnly; SameSite=Strict" +
                                           secure));
        return true;
    }

    try {
        if ((route == "/api/lage" || route == "/api/rapport" || route == "/api/bil") && get) {
            const auto date = QueryDate();
            if (!date) {
                send(Answer::Json(400, Message("Datumet ska skrivas ÅÅÅÅ-MM-DD.")));
                return true;
            }
            if (route == "/api/lage") {
                send(Answer::Json(200, StatusJson(office::FleetStatus(*session->conn, *date), *date,
                                                  std::time(nullptr))));
            } else if (route == "/api/rapport") {
                send(Answer(200, "text/csv; charset=utf-8",
                            Bytes(office::FleetReport(*session->conn, *date)))
                         .Header("Content-Disposition",
                                 Bytes("attachment; filename=\"rapport-" + *date + ".csv\"")));
            } else {
                const auto van = query->find("bil");
                const auto found = van == query->end()
                                       ? std::nullopt
                                       : office::VanDayDetail(*session->conn, van->second, *date);
                if (!found)
                    send(Answer::Json(
                        404, Message("Ingen rutt är publicerad för den bilen den dagen.")));
                else
                    send(Answer::Json(200, VanDayJson(*found)));
            }
            return true;
        }

        if (route == "/api/publicera" && post) {
            const auto parts =
                ParseMultipart(Text(request.value("Content-Type")), Text(request.body()));
            if (!parts) {
                send(Answer::Json(400, Message("Formuläret kunde inte läsas.")));
                return true;
            }
            std::string van;
            std::string date;
            const FormPart* file = nullptr;
            bool replace = false;
            for (const FormPart& part : *parts) {
                if (part.name == "bil") van = part.data;
                if (part.name == "datum") date = part.data;
                if (part.name == "ersatt") replace = part.data == "1";
                if (part.name == "fil" && part.fileName) file = &part;
            }
            const auto name = file ? BaseFileName(*file->fileName) : std::nullopt;
            if (!name) {
                send(Answer::Json(422, Message("Välj en ruttfil.")));
                return true;
            }
            if (!day::IsDate(date)) {
                send(Answer::Json(422, Message("Datumet ska skrivas ÅÅÅÅ-MM-DD.")));
                return true;
            }
            if (file->data.size() > day::kMaxRouteFileBytes) {
                send(Answer::Json(413, Message(*name + ": filen är för stor för en ruttfil")));
                return true;
            }
            office::CheckVanName(van);
            day::ParseRouteFile(file->data, *name);
            const office::Publication done =
                office::PublishRoute(*session->conn, van, date, *name, file->data,
                                     replace ? office::Replace::Anyway : office::Replace::IfUnused);
            send(Answer::Json(
                200, "{\"text\":" + JsonString(PublishedText(done, *name, van, date)) + "}"));
            return true;
        }
    } catch (const day::FileError& e) {
        send(Answer::Json(422, Message(e.what())));
        return true;
    } catch (const office::Unreachable& e) {
        send(Answer::Json(503, Message(e.what())));
        return true;
    } catch (const office::Error& e) {
        send(Answer::Json(409, Message(e.what())));
        return true;
    }
    send(Answer::Json(404, Message("Sidan finns inte.")));
    return true;
}

}  // namespace web
