#include "office/pq.h"

#include <libpq-fe.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <new>
#include <stdexcept>
#include <utility>
#include <vector>

namespace office::pq {

namespace {

using Clock = std::chrono::steady_clock;

// Settings of ours where the connection's own (its string, a service file,
// the environment) leave them out. Keepalives find a connection gone dead
// while idle, tcp_user_timeout one whose data goes unacknowledged; a
// silent network that still acknowledges is met by the call timeout.
struct Default {
    const char* keyword;
    const char* value;
};
constexpr Default kDefaults[] = {
    {"application_name", "leverans"}, {"connect_timeout", "5"},     {"keepalives", "1"},
    {"keepalives_idle", "20"},        {"keepalives_interval", "5"}, {"keepalives_count", "3"},
    {"tcp_user_timeout", "20000"},
};

// A value of target_session_attrs libpq refuses (see Resolved).
constexpr const char* kProbe = "leverans-probe";

using Settings = std::map<std::string, std::string, std::less<>>;

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// libpq's text with the connection string itself left out: a string that
// could not be read is echoed whole, and it may hold a password.
std::string Redacted(std::string text, const std::string& conninfo) {
    if (conninfo.empty()) return text;
    for (std::size_t at = text.find(conninfo); at != std::string::npos;
         at = text.find(conninfo, at + 3))
        text.replace(at, conninfo.size(), "...");
    return text;
}

// The quoted part of a libpq message after `lead`, as in `missing "=" after "x"`.
std::string QuotedAfter(std::string_view message, std::string_view lead) {
    const std::size_t start = message.find(lead);
    if (start == std::string_view::npos) return {};
    const std::size_t open = message.find('"', start + lead.size());
    if (open == std::string_view::npos) return {};
    const std::size_t close = message.find('"', open + 1);
    if (close == std::string_view::npos) return {};
    return std::string(message.substr(open + 1, close - open - 1));
}

// Why libpq could not read a connection string, in Swedish. The messages
// that echo the whole string are told without it.
std::string ParseCause(const std::string& english) {
    if (StartsWith(english, "missing \"=\" after"))
        return "\"=\" saknas efter \"" + QuotedAfter(english, "after") + "\"";
    if (StartsWith(english, "unterminated quoted string"))
        return "ett värde inom apostrofer avslutas aldrig";
    if (StartsWith(english, "invalid connection option"))
        return "okänd inställning \"" + QuotedAfter(english, "option") + "\"";
    if (StartsWith(english, "unexpected character")) {
        const std::string character = QuotedAfter(english, "character");
        const std::size_t at = english.find("at position ");
        std::string position;
        if (at != std::string::npos) {
            const std::size_t from = at + 12;
            position = english.substr(from, english.find(' ', from) - from);
        }
        return "oväntat tecken \"" + character + "\" på position " + position +
               " i URI:n (\":\" eller \"/\" väntades)";
    }
    if (StartsWith(english, "invalid URI query parameter"))
        return "okänd parameter \"" + QuotedAfter(english, "parameter:") + "\" i URI:n";
    if (StartsWith(english, "missing key/value separator"))
        return "\"=\" saknas i en parameter i URI:n";
    if (StartsWith(english, "extra key/value separator"))
        return "en parameter i URI:n har mer än ett \"=\"";
    if (StartsWith(english, "invalid percent-encoded token")) return "en %-kod i URI:n är felaktig";
    if (StartsWith(english, "forbidden value %00")) return "%00 är inte tillåtet i URI:n";
    if (StartsWith(english, "end of string reached when looking for matching \"]\""))
        return "\"]\" saknas efter IPv6-adressen i URI:n";
    if (StartsWith(english, "IPv6 host address may not be empty"))
        return "IPv6-adressen i URI:n är tom";
    return "libpq kan inte läsa den";
}

// How far a connection attempt got, in the order an attempt goes.
enum class Stage { None, Reaching, Tls, Answered };

Stage StageOf(ConnStatusType status) {
    switch (status) {
        case CONNECTION_NEEDED:
        case CONNECTION_STARTED:
        case CONNECTION_MADE:
            return Stage::Reaching;
        case CONNECTION_SSL_STARTUP:
        case CONNECTION_GSS_STARTUP:
            return Stage::Tls;
        case CONNECTION_AWAITING_RESPONSE:
        case CONNECTION_AUTH_OK:
        case CONNECTION_SETENV:
        case CONNECTION_CHECK_WRITABLE:
        case CONNECTION_CONSUME:
        case CONNECTION_CHECK_TARGET:
        case CONNECTION_CHECK_STANDBY:
            return Stage::Answered;
        case CONNECTION_OK:
        case CONNECTION_BAD:
            break;
    }
    return Stage::None;
}

// A host that is the folder of a Unix socket (or none: the default one).
bool IsSocketFolder(std::string_view host) {
    return host.empty() || host.front() == '/' || host.front() == '@';
}

// The server the attempt went to, as a reader can check it against the
// connection string.
std::string Where(PGconn* conn) {
    const std::string host = PQhost(conn) ? PQhost(conn) : "";
    const std::string port = PQport(conn) ? PQport(conn) : "";
    if (IsSocketFolder(host)) return "uttaget " + host + "/.s.PGSQL." + port;
    return "värden " + host + ", port " + port;
}

// The settings given, by keyword.
Settings SettingsOf(const PQconninfoOption* options) {
    Settings settings;
    for (const PQconninfoOption* option = options; option && option->keyword; ++option)
        if (option->val && *option->val) settings.emplace(option->keyword, option->val);
    return settings;
}

// A connection's settings as libpq uses them.
Settings SettingsOf(PGconn* conn) {
    const std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)> options(PQconninfo(conn),
                                                                               PQconninfoFree);
    return SettingsOf(options.get());
}

std::string ValueOf(const Settings& settings, std::string_view keyword) {
    const auto found = settings.find(keyword);
    return found == settings.end() ? std::string() : found->second;
}

std::string HomeFile(const std::string& name) {
    const char* home = std::getenv("HOME");
    return home && *home ? std::string(home) + "/" + name : "~/" + name;
}

// A service that cannot be looked up is a fault of the settings, not of
// the network: said as such, naming the service and the file.
[[noreturn]] void FailService(const std::string& conninfo, const std::string& detail) {
    std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)> options(
        PQconninfoParse(conninfo.c_str(), nullptr), PQconninfoFree);
    std::string service = ValueOf(SettingsOf(options.get()), "service");
    const char* fromEnvironment = std::getenv("PGSERVICE");
    if (service.empty() && fromEnvironment) service = fromEnvironment;
    if (service.empty())
        throw BadConnectionString("anslutningen har en inställning som libpq inte godtar", detail);
    const char* named = std::getenv("PGSERVICEFILE");
    if (named && *named && ::access(named, R_OK) != 0)
        throw BadConnectionString("tjänstefilen \"" + std::string(named) +
                                      "\" som PGSERVICEFILE anger finns inte eller kan inte "
                                      "läsas, så anslutningens tjänst \"" +
                                      service + "\" kan inte slås upp",
                                  detail);
    throw BadConnectionString(
        "anslutningens tjänst \"" + service + "\" finns inte i tjänstefilen \"" +
            (named && *named ? std::string(named) : HomeFile(".pg_service.conf")) +
            "\" eller i systemets pg_service.conf, eller filen har ett fel",
        detail);
}

// The settings libpq will connect with: the string's own, then a service
// file's, the environment's and libpq's defaults. libpq works them out only
// as it starts a connection; started with a value it refuses, checked after
// that and before anything is sent, it gives them without a byte sent.
Settings Resolved(const std::string& conninfo) {
    const char* keywords[] = {"dbname", "target_session_attrs", nullptr};
    const char* values[] = {conninfo.c_str(), kProbe, nullptr};
    const std::unique_ptr<PGconn, decltype(&PQfinish)> probe(
        PQconnectStartParams(keywords, values, 1), PQfinish);
    if (!probe) throw std::bad_alloc();
    Settings settings = SettingsOf(probe.get());
    // Without the probe's value libpq could not read what the string names.
    if (ValueOf(settings, "target_session_attrs") != kProbe)
        FailService(conninfo, Trimmed(PQerrorMessage(probe.get())));
    settings.erase("target_session_attrs");
    return settings;
}

// Whether any server the settings name is reached over TCP.
bool OverTcp(const Settings& settings) {
    if (!ValueOf(settings, "hostaddr").empty()) return true;
    const std::string list = ValueOf(settings, "host");
    const std::string_view hosts = list;
    std::size_t from = 0;
    for (std::size_t comma = hosts.find(','); from <= hosts.size(); comma = hosts.find(',', from)) {
        if (comma == std::string_view::npos) comma = hosts.size();
        if (!IsSocketFolder(hosts.substr(from, comma - from))) return true;
        from = comma + 1;
    }
    return false;
}

// The sslmode for a TCP connection whose settings say none, or prefer
// (libpq's default, which takes a server's word that it has no TLS):
// verify-full where there is a root certificate to verify against, as
// libpq looks for one; otherwise at least TLS.
std::string TcpSslmode(const Settings& settings) {
    std::string given = ValueOf(settings, "sslmode");
    if (!given.empty() && given != "prefer") return given;
    const std::string root = ValueOf(settings, "sslrootcert");
    if (!root.empty() || ::access(HomeFile(".postgresql/root.crt").c_str(), F_OK) == 0)
        return "verify-full";
    return "require";
}

// connect_timeout as libpq reads it: none or 0 waits for ever, less than 2
// seconds is 2.
int TimeoutSeconds(PGconn* conn) {
    const std::string text = ValueOf(SettingsOf(conn), "connect_timeout");
    int seconds = 0;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (parsed.ec != std::errc() || seconds <= 0) return 0;
    return std::max(seconds, 2);
}

// Waits until libpq's socket is ready for any of `events`; what it is
// ready for, 0 at the deadline.
short WaitForSocket(PGconn* conn, short events, std::optional<Clock::time_point> deadline) {
    pollfd watched{};
    watched.fd = PQsocket(conn);
    watched.events = events;
    if (watched.fd < 0) return events;  // libpq will say what is wrong
    for (;;) {
        int wait = -1;
        if (deadline) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now());
            if (left.count() <= 0) return 0;
            wait = static_cast<int>(std::min<long long>(left.count(), 60'000));
        }
        const int ready = ::poll(&watched, 1, wait);
        if (ready > 0) return watched.revents;
        if (ready < 0 && errno != EINTR) return events;  // let libpq meet the error itself
    }
}

// "10 sekunder", "1,5 sekunder".
std::string Seconds(std::chrono::milliseconds time) {
    const long long ms = time.count();
    std::string text = std::to_string(ms / 1000);
    if (ms % 1000 != 0) text += "," + std::to_string(ms % 1000 / 100);
    return text + (text == "1" ? " sekund" : " sekunder");
}

bool Failed(const pg_result* result) {
    const ExecStatusType status = PQresultStatus(result);
    return !result || (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK);
}

// libpq's message without the verbose mode's source locations.
std::string WithoutLocations(const std::string& message) {
    std::string kept;
    std::size_t from = 0;
    while (from < message.size()) {
        std::size_t end = message.find('\n', from);
        if (end == std::string::npos) end = message.size();
        const std::string_view line(message.data() + from, end - from);
        if (!StartsWith(line, "LOCATION:")) {
            if (!kept.empty()) kept += '\n';
            kept += line;
        }
        from = end + 1;
    }
    return kept;
}

[[noreturn]] void FailToConnect(PGconn* conn, Stage furthest, bool atOnce) {
    const std::string verbose = Trimmed(PQerrorMessage(conn));
    const std::string detail = WithoutLocations(verbose);
    const std::string where = Where(conn);
    const std::string sqlstate = SqlstateIn(verbose);
    const std::string role = PQuser(conn) ? PQuser(conn) : "";
    switch (furthest) {
        case Stage::Answered:
            if (PQconnectionNeedsPassword(conn))
                throw LoginRefused("kontorets databasserver (" + where +
                                       ") kräver ett lösenord för rollen \"" + role +
                                       "\" och inget hittades. Lägg lösenordet i ~/.pgpass (eller "
                                       "filen som PGPASSFILE anger) eller en tjänstefil "
                                       "(service=...), eller logga in med ett klientcertifikat",
                                   detail, sqlstate);
            if (sqlstate == "3D000")
                throw LoginRefused("databasen \"" + std::string(PQdb(conn) ? PQdb(conn) : "") +
                                       "\" finns inte på kontorets databasserver (" + where + ")",
                                   detail, sqlstate);
            if (StartsWith(sqlstate, "28") || sqlstate == "42501")
                throw LoginRefused("kontorets databasserver (" + where +
                                       ") nekade inloggningen som rollen \"" + role + "\"",
                                   detail, sqlstate);
            if (sqlstate.empty() || StartsWith(sqlstate, "08") || StartsWith(sqlstate, "53") ||
                StartsWith(sqlstate, "57"))
                throw Unreachable("kontorets databasserver (" + where +
                                      ") tar inte emot anslutningar just nu; försök igen senare",
                                  detail, sqlstate);
            throw LoginRefused("kontorets databasserver (" + where + ") nekade anslutningen",
                               detail, sqlstate);
        case Stage::Tls:
            throw TlsFailure("den krypterade förbindelsen (TLS) med kontorets databasserver (" +
                                 where +
                                 ") kunde inte upprättas: serverns certifikat kunde inte styrkas "
                                 "med CA-certifikatet (sslrootcert), det gäller inte värdnamnet, "
                                 "eller servern erbjuder ingen TLS",
                             detail, sqlstate);
        case Stage::Reaching:
        case Stage::None:
            break;
    }
    // Settings libpq refuses only when it starts (sslmode=fel, port=x).
    if (atOnce && furthest == Stage::None &&
        (StartsWith(detail, "invalid ") || StartsWith(detail, "ogiltig")))
        throw BadConnectionString("anslutningen har en inställning som libpq inte godtar", detail);
    throw Unreachable("kontorets databasserver kan inte nås (" + where +
                          "): den svarar inte, tar inte emot anslutningar eller värden är okänd. "
                          "Kontrollera anslutningen och nätet och försök igen",
                      detail);
}

bool IsSqlstateCharacter(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'); }

// The server's notices (a shutdown's warning to its clients, say) are for
// its own log: what the program must tell comes through its errors.
void IgnoreNotice(void* /*arg*/, const char* /*message*/) {}

}  // namespace

std::string SqlstateIn(std::string_view message) {
    // Verbose messages read "SEVERITY:  CODE: text"; the severity may be translated.
    std::string found;
    for (std::size_t at = message.find(":  "); at != std::string_view::npos;
         at = message.find(":  ", at + 1)) {
        const std::string_view code = message.substr(at + 3, 6);
        if (code.size() == 6 && code[5] == ':' &&
            std::all_of(code.begin(), code.begin() + 5, IsSqlstateCharacter))
            found = std::string(code.substr(0, 5));
    }
    return found;
}

void CheckConnectionString(const std::string& conninfo) {
    char* error = nullptr;
    std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)> options(
        PQconninfoParse(conninfo.c_str(), &error), PQconninfoFree);
    if (!options) {
        const std::string english = Trimmed(error ? error : "out of memory");
        PQfreemem(error);
        // libpq's own words only where ours could not say it: they echo
        // parts of the string, which may be a password.
        const std::string cause = ParseCause(english);
        throw BadConnectionString("anslutningen kan inte läsas: " + cause,
                                  StartsWith(cause, "libpq") ? Redacted(english, conninfo) : "");
    }
    const Settings given = SettingsOf(options.get());
    if (given.count("password"))
        throw BadConnectionString(
            "anslutningen innehåller ett lösenord, och där syns det för andra (i "
            "processlistan och skalets historik). Lägg lösenordet i ~/.pgpass (eller filen "
            "som PGPASSFILE anger) eller i en tjänstefil (service=...), eller logga in med "
            "ett klientcertifikat, och ta bort det ur anslutningen",
            "");
    if (given.count("sslpassword"))
        throw BadConnectionString(
            "anslutningen innehåller lösenordet till klientcertifikatets nyckel (sslpassword), "
            "och där syns det för andra (i processlistan och skalets historik). Lägg det i en "
            "tjänstefil (service=...) eller använd en nyckel utan lösenord, och ta bort det ur "
            "anslutningen",
            "");
}

Param Param::Text(std::string_view text) {
    if (text.find('\0') != std::string_view::npos)
        throw std::invalid_argument("text for the database holds a NUL byte");
    Param param;
    param.value_ = std::string(text);
    return param;
}

Param Param::Int(int64_t value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    Param param;
    param.value_ = std::string(digits, result.ptr);
    return param;
}

Param Param::Bytes(std::string_view bytes) {
    Param param;
    param.value_ = std::string(bytes);
    param.binary_ = true;
    return param;
}

Param Param::Null() { return Param(); }

Result::~Result() { PQclear(result_); }

Result::Result(Result&& other) noexcept : result_(std::exchange(other.result_, nullptr)) {}

Result& Result::operator=(Result&& other) noexcept {
    if (this != &other) {
        PQclear(result_);
        result_ = std::exchange(other.result_, nullptr);
    }
    return *this;
}

int Result::Rows() const { return result_ ? PQntuples(result_) : 0; }

int64_t Result::Affected() const {
    const std::string_view text = result_ ? PQcmdTuples(result_) : "";
    int64_t count = 0;
    std::from_chars(text.data(), text.data() + text.size(), count);
    return count;
}

bool Result::IsNull(int row, int column) const { return PQgetisnull(result_, row, column) != 0; }

std::string Result::Text(int row, int column) const {
    return std::string(PQgetvalue(result_, row, column),
                       static_cast<std::size_t>(PQgetlength(result_, row, column)));
}

int64_t Result::Int(int row, int column) const {
    const std::string text = Text(row, column);
    int64_t value = 0;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
    if (parsed.ec != std::errc() || parsed.ptr != text.data() + text.size())
        throw Error("kontorets databas gav ett oväntat svar",
                    "not an integer in column " + std::to_string(column) + ": " + text);
    return value;
}

std::string Result::Bytes(int row, int column) const {
    std::size_t size = 0;
    unsigned char* bytes = PQunescapeBytea(
        reinterpret_cast<const unsigned char*>(PQgetvalue(result_, row, column)), &size);
    if (!bytes) throw std::bad_alloc();
    std::string copy(reinterpret_cast<const char*>(bytes), size);
    PQfreemem(bytes);
    return copy;
}

Connection Connection::Open(const std::string& conninfo, std::chrono::milliseconds callTimeout) {
    return Open(conninfo, {}, {}, callTimeout);
}

Connection Connection::Open(const std::string& conninfo, const std::string& role,
                            const std::string& password, std::chrono::milliseconds callTimeout) {
    CheckConnectionString(conninfo);

    // Keywords after dbname win over the string's own: ours go there only
    // where the connection's settings have none.
    const Settings resolved = Resolved(conninfo);
    std::vector<const char*> keys{"dbname"};
    std::vector<const char*> values{conninfo.c_str()};
    for (const Default& setting : kDefaults) {
        if (resolved.count(setting.keyword)) continue;
        keys.push_back(setting.keyword);
        values.push_back(setting.value);
    }
    const bool tcp = OverTcp(resolved);
    const std::string sslmode = tcp ? TcpSslmode(resolved) : "";
    if (tcp) {
        keys.push_back("sslmode");
        values.push_back(sslmode.c_str());
    }
    keys.push_back("client_encoding");  // names go both ways as UTF-8
    values.push_back("UTF8");
    if (!role.empty()) {
        keys.push_back("user");
        values.push_back(role.c_str());
        keys.push_back("password");
        values.push_back(password.c_str());
        keys.push_back("passfile");  // the service's own ~/.pgpass is not the person's
        values.push_back("/nonexistent");
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);

    PGconn* raw = PQconnectStartParams(keys.data(), values.data(), 1);
    if (!raw) throw std::bad_alloc();
    Connection conn(raw);
    conn.callTimeout_ = callTimeout;
    // Verbose messages carry the server's SQLSTATE, which tells a refused
    // login apart from a server that cannot take connections now.
    PQsetErrorVerbosity(raw, PQERRORS_VERBOSE);
    PQsetNoticeProcessor(raw, IgnoreNotice, nullptr);

    // Polled by hand to see how far each attempt gets: a failure before the
    // server answered is the network, during TLS the certificate, after it
    // the login. libpq leaves the timeout to the caller here; like libpq it
    // counts per server tried.
    const int timeout = TimeoutSeconds(raw);
    const auto NewDeadline = [timeout]() -> std::optional<Clock::time_point> {
        if (timeout == 0) return std::nullopt;
        return Clock::now() + std::chrono::seconds(timeout);
    };
    auto deadline = NewDeadline();
    std::string attempt = Where(raw);
    Stage furthest = Stage::None;
    const bool atOnce = PQstatus(raw) == CONNECTION_BAD;
    PostgresPollingStatusType state = atOnce ? PGRES_POLLING_FAILED : PGRES_POLLING_WRITING;
    while (state != PGRES_POLLING_OK && state != PGRES_POLLING_FAILED) {
        furthest = std::max(furthest, StageOf(PQstatus(raw)));
        if (WaitForSocket(raw, state == PGRES_POLLING_READING ? POLLIN : POLLOUT, deadline) == 0) {
            const std::string where = Where(raw);
            throw Unreachable("kontorets databasserver (" + where + ") svarade inte inom " +
                                  std::to_string(timeout) +
                                  " sekunder. Kontrollera anslutningen och nätet och försök igen",
                              "timeout expired");
        }
        state = PQconnectPoll(raw);
        if (std::string now = Where(raw); now != attempt) {
            attempt = std::move(now);
            deadline = NewDeadline();
        }
    }
    if (state == PGRES_POLLING_FAILED) FailToConnect(raw, furthest, atOnce);
    // Over a network a connection without TLS could be read and changed
    // on the way; only sslmode=disable says that is meant.
    if (!IsSocketFolder(PQhost(raw) ? PQhost(raw) : "") && PQsslInUse(raw) == 0 &&
        ValueOf(SettingsOf(raw), "sslmode") != "disable")
        throw TlsFailure("förbindelsen med kontorets databasserver (" + Where(raw) +
                             ") är inte krypterad (TLS). Ange sslmode=verify-full och "
                             "sslrootcert, eller sslmode=disable om ingen annan kan nå nätet "
                             "mellan er",
                         "TLS not in use, sslmode=" + ValueOf(SettingsOf(raw), "sslmode"));
    PQsetErrorVerbosity(raw, PQERRORS_DEFAULT);
    // Statements are sent and awaited by hand, each within the call timeout.
    if (PQsetnonblocking(raw, 1) != 0)
        throw Unreachable("förbindelsen med kontorets databasserver kunde inte ställas in",
                          Trimmed(PQerrorMessage(raw)));
    return conn;
}

Connection::~Connection() { Close(); }

Connection::Connection(Connection&& other) noexcept
    : conn_(std::exchange(other.conn_, nullptr)), callTimeout_(other.callTimeout_) {}

Connection& Connection::operator=(Connection&& other) noexcept {
    if (this != &other) {
        Close();
        conn_ = std::exchange(other.conn_, nullptr);
        callTimeout_ = other.callTimeout_;
    }
    return *this;
}

void Connection::Close() {
    if (conn_) PQfinish(std::exchange(conn_, nullptr));
}

std::string Connection::User() const { return conn_ && PQuser(conn_) ? PQuser(conn_) : ""; }

Result Connection::Exec(const char* sql, std::initializer_list<Param> params) {
    std::vector<const char*> values;
    std::vector<int> lengths;
    std::vector<int> formats;
    values.reserve(params.size());
    lengths.reserve(params.size());
    formats.reserve(params.size());
    for (const Param& param : params) {
        values.push_back(param.IsNull() ? nullptr : param.Value().c_str());
        lengths.push_back(param.IsNull() ? 0 : static_cast<int>(param.Value().size()));
        formats.push_back(param.IsBinary() ? 1 : 0);
    }
    if (!conn_ || !PQsendQueryParams(conn_, sql, static_cast<int>(params.size()), nullptr,
                                     values.data(), lengths.data(), formats.data(), 0))
        Fail(nullptr);
    return Answers();
}

void Connection::Execute(const char* sql) {
    if (!conn_ || !PQsendQuery(conn_, sql)) Fail(nullptr);
    Answers();
}

Result Connection::Answers() {
    const auto deadline = Clock::now() + callTimeout_;
    // What the socket did not take at once goes as it does; answers that
    // come meanwhile are read, or the server could wait on us.
    for (int left = PQflush(conn_); left != 0; left = PQflush(conn_)) {
        if (left < 0) Fail(nullptr);
        const short ready = WaitForSocket(conn_, POLLIN | POLLOUT, deadline);
        if (ready == 0) Abandon();
        if ((ready & POLLIN) != 0 && !PQconsumeInput(conn_)) Fail(nullptr);
    }
    // Every answer is read, so the connection is ready for the next
    // statement; the first failure is the one to tell.
    Result kept;
    for (;;) {
        while (PQisBusy(conn_)) {
            if (WaitForSocket(conn_, POLLIN, deadline) == 0) Abandon();
            if (!PQconsumeInput(conn_)) Fail(nullptr);
        }
        Result next(PQgetResult(conn_));
        if (!next.result_) break;
        if (!kept.result_ || !Failed(kept.result_)) kept = std::move(next);
    }
    if (Failed(kept.result_)) Fail(kept.result_);
    return kept;
}

void Connection::Abandon() {
    const std::string where = Where(conn_);
    Close();
    throw Unreachable("kontorets databasserver (" + where + ") svarade inte inom " +
                          Seconds(callTimeout_) +
                          ", och förbindelsen stängdes; det som skickades sist kan ha kommit "
                          "fram eller inte. Kontrollera anslutningen och nätet och försök igen",
                      "no answer within the call timeout");
}

void Connection::Fail(pg_result* result) const {
    const std::string sqlstate = result && PQresultErrorField(result, PG_DIAG_SQLSTATE)
                                     ? PQresultErrorField(result, PG_DIAG_SQLSTATE)
                                     : "";
    const std::string detail =
        Trimmed(result && *PQresultErrorMessage(result) ? PQresultErrorMessage(result)
                                                        : PQerrorMessage(conn_));
    // Errors of libpq's own carry no SQLSTATE: they are the connection's
    // (closed, reset, lost sync), and libpq may not mark it bad until later.
    if (sqlstate.empty() || PQstatus(conn_) == CONNECTION_BAD || StartsWith(sqlstate, "08") ||
        sqlstate == "57P01" || sqlstate == "57P02" || sqlstate == "57P03")
        throw Unreachable(
            "förbindelsen med kontorets databasserver bröts; det som skickades sist kan ha "
            "kommit fram eller inte",
            detail, sqlstate);
    // statement_timeout, lock_timeout and NOWAIT: the server was busy.
    if (sqlstate == "57014" || sqlstate == "55P03")
        throw Unreachable(
            "kontorets databasserver hann inte med det som efterfrågades, eller väntade för "
            "länge på annat arbete; försök igen senare",
            detail, sqlstate);
    if (sqlstate == "40001" || sqlstate == "40P01")
        throw Unreachable(
            "kontorets databasserver avbröt arbetet för att något annat pågick; "
            "försök igen",
            detail, sqlstate);
    if (sqlstate == "42P01" || sqlstate == "3F000" || sqlstate == "42883")
        throw SchemaError(
            "kontorets databas har inga Leverans-tabeller; kör leverans kontor skapa först", detail,
            sqlstate);
    if (sqlstate == "42501")
        throw Refused("kontorets databas nekade rollen \"" + User() + "\" det som efterfrågades",
                      detail, sqlstate);
    if (sqlstate == kSaveOnOtherRoute)
        throw Refused(
            "sparningen gjordes på en rutt som kontoret aldrig har publicerat för bilen den dagen",
            detail, sqlstate);
    if (sqlstate == kSaveOfOtherJournal)
        throw Refused("kontoret har redan sparningar från en annan journal för den dagen", detail,
                      sqlstate);
    if (sqlstate == kSaveOutOfOrder)
        throw Refused("sparningen före den har inte kommit fram till kontoret", detail, sqlstate);
    if (StartsWith(sqlstate, "23"))
        throw Refused("kontorets databas godtar inte ändringen (" + sqlstate + ")", detail,
                      sqlstate);
    throw Refused("kontorets databas vägrade (" + (sqlstate.empty() ? "okänt fel" : sqlstate) + ")",
                  detail, sqlstate);
}

Transaction::Transaction(Connection& conn) : conn_(conn) { conn_.Execute("BEGIN"); }

Transaction::~Transaction() {
    PGconn* raw = conn_.handle();
    if (!open_ || !raw || PQstatus(raw) != CONNECTION_OK ||
        PQtransactionStatus(raw) == PQTRANS_IDLE)
        return;
    try {
        conn_.Execute("ROLLBACK");
    } catch (const Error&) {
        // The connection is lost, and the server rolls back with it.
    }
}

void Transaction::Commit() {
    // A transaction that failed earlier answers COMMIT with ROLLBACK, no error.
    const Result result = conn_.Exec("COMMIT");
    open_ = false;
    if (std::string_view(PQcmdStatus(result.result_)) != "COMMIT")
        throw Refused("kontorets databas ångrade ändringen i stället för att spara den",
                      std::string("COMMIT answered ") + PQcmdStatus(result.result_));
}

}  // namespace office::pq
