// The office's web server under a fleet's day: 50 vans saving while 20 live
// pages watch (WebSocket clients, as the page's script is one), the time
// from a save's commit to each page having it; the live page's status
// served with 50 vans; and memory per idle live connection, 200 of them.
// Prints figures; needs the program (LEVERANS_BINARY) and a throw-away
// PostgreSQL from the office tests' support library.
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QWebSocket>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/office_support.h"
#include "day/fingerprint.h"
#include "office/fleet.h"
#include "office/van.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kVans = 50;
constexpr int kShops = 30;
constexpr int kSavesPerVan = 12;
constexpr int kPages = 20;
constexpr int kIdle = 200;
constexpr const char* kDate = "2026-12-07";

long RssKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto at = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1));
    return values[at];
}

void Wait(int ms) {
    QEventLoop loop;
    // Qt owns the posted call.
    // NOLINTNEXTLINE(clang-analyzer-cplusplus.NewDeleteLeaks)
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace

int main(int argc, char** argv) {
    const QCoreApplication application(argc, argv);
    office_bench::FleetCluster fleet(kVans + 40);
    office_testing::Cluster& cluster = fleet.Cluster();
    const std::string database = office_bench::MakeOffice(cluster, kVans);
    const std::string office = cluster.ConnectionString("kontor", database);
    std::map<int, std::string> fingerprints;
    {
        office::pq::Connection conn = office::pq::Connection::Open(office);
        for (int van = 1; van <= kVans; ++van) {
            const std::string route =
                office_bench::RouteFileText(20, kShops, static_cast<unsigned>(van));
            office::PublishRoute(conn, std::to_string(van), kDate, "rutt.csv", route);
            fingerprints[van] = day::Fingerprint(route);
        }
    }

    const int port = office_testing::FreePort();
    const pid_t server = ::fork();
    if (server == 0) {
        ::setpgid(0, 0);
        ::execl(LEVERANS_BINARY, LEVERANS_BINARY, "kontor", "webb", "--kontor", office.c_str(),
                "--lyssna", ("127.0.0.1:" + std::to_string(port)).c_str(), nullptr);
        ::_exit(127);
    }
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(port);
    QNetworkAccessManager http;
    const auto Get = [&](const QString& path, const QByteArray& cookie, int* status) {
        QNetworkRequest request(QUrl(base + path));
        if (!cookie.isEmpty()) request.setRawHeader("Cookie", cookie);
        QNetworkReply* reply = http.get(request);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        *status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QByteArray body = reply->readAll();
        reply->deleteLater();
        return std::pair{body, reply->rawHeader("Set-Cookie")};
    };
    int status = 0;
    for (int tries = 0; tries < 100 && status == 0; ++tries) {
        Wait(100);
        Get(QStringLiteral("/logga-in"), {}, &status);
    }
    // Logged in as the office (the bench cluster trusts every role).
    const auto [first, loginCookie] = Get(QStringLiteral("/api/session"), {}, &status);
    const QByteArray csrf =
        QJsonDocument::fromJson(first).object().value("csrf").toString().toUtf8();
    QNetworkRequest login(QUrl(base + "/api/logga-in"));
    login.setRawHeader("Cookie", loginCookie.split(';').first());
    login.setRawHeader("X-CSRF-Token", csrf);
    login.setRawHeader("Origin", base.toUtf8());
    login.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
    QNetworkReply* loggedIn = http.post(login, "roll=kontor&losenord=x");
    {
        QEventLoop loop;
        QObject::connect(loggedIn, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    const QByteArray cookie = loggedIn->rawHeader("Set-Cookie").split(';').first();
    if (loggedIn->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 200) {
        std::fprintf(stderr, "web_bench: the login was refused\n");
        ::kill(-server, SIGTERM);
        return 1;
    }

    // The live page's status with 50 vans, as the page asks for it.
    std::vector<double> served;
    for (int i = 0; i < 200; ++i) {
        QElapsedTimer timer;
        timer.start();
        Get(QStringLiteral("/api/lage?datum=%1").arg(kDate), cookie, &status);
        served.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }

    // 20 live pages, then 50 vans saving a shop each in turn.
    std::mutex lock;
    std::map<std::pair<int, int>, Clock::time_point> committed;  // (van, seq) -> commit
    std::vector<double> latencies;
    std::vector<std::map<int, int>> seen(kPages);  // per page: van -> saved shops seen
    std::vector<std::unique_ptr<QWebSocket>> pages;
    const auto Open = [&](QWebSocket* socket) {
        QNetworkRequest request(
            QUrl(QStringLiteral("ws://127.0.0.1:%1/api/lage?datum=%2").arg(port).arg(kDate)));
        request.setRawHeader("Cookie", cookie);
        socket->open(request);
    };
    for (int page = 0; page < kPages; ++page) {
        pages.push_back(std::make_unique<QWebSocket>(base));
        QObject::connect(
            pages.back().get(), &QWebSocket::textMessageReceived, [&, page](const QString& text) {
                const Clock::time_point now = Clock::now();
                const QJsonArray vans =
                    QJsonDocument::fromJson(text.toUtf8()).object().value("bilar").toArray();
                const std::lock_guard<std::mutex> held(lock);
                for (const auto& value : vans) {
                    const int van = value.toObject().value("bil").toString().toInt();
                    const int saved = value.toObject().value("sparade").toInt();
                    for (int seq = seen[page][van] + 1; seq <= saved; ++seq) {
                        const auto at = committed.find({van, seq});
                        const double ms =
                            at == committed.end()
                                ? 0.0
                                : std::chrono::duration<double, std::milli>(now - at->second)
                                      .count();
                        latencies.push_back(std::max(0.0, ms));
                    }
                    seen[page][van] = std::max(seen[page][van], saved);
                }
            });
        Open(pages.back().get());
    }
    Wait(1000);

    std::atomic<bool> done = false;
    std::thread vans([&] {
        std::vector<office::pq::Connection> conns;
        for (int van = 1; van <= kVans; ++van)
            conns.push_back(office::pq::Connection::Open(
                cluster.ConnectionString("bil" + std::to_string(van), database)));
        for (int seq = 1; seq <= kSavesPerVan; ++seq)
            for (int van = 1; van <= kVans; ++van) {
                office::SaveToSend save;
                save.van = std::to_string(van);
                save.date = kDate;
                save.uid = "0123456789abcdef0123456789abcdef";
                save.fingerprint = fingerprints[van];
                save.seq = seq;
                save.shop = static_cast<int16_t>(seq);
                save.savedAt = std::string(kDate) + "T09:00:00+01:00";
                save.lev.assign(20, 3);
                office::SendSave(conns[static_cast<std::size_t>(van - 1)], save);
                {
                    const std::lock_guard<std::mutex> held(lock);
                    committed[{van, seq}] = Clock::now();
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        done = true;
    });
    while (!done) Wait(50);
    vans.join();
    Wait(2000);

    // 200 idle live connections held by the server.
    const long before = RssKiB(server);
    std::vector<std::unique_ptr<QWebSocket>> idle;
    for (int i = 0; i < kIdle; ++i) {
        idle.push_back(std::make_unique<QWebSocket>(base));
        Open(idle.back().get());
    }
    Wait(3000);
    int open = 0;
    for (const auto& socket : idle) open += socket->state() == QAbstractSocket::ConnectedState;
    const long after = RssKiB(server);

    const std::size_t expected = static_cast<std::size_t>(kPages) * kVans * kSavesPerVan;
    std::printf(
        "web: live page's status, 50 vans, over HTTP on this machine: median %.1f ms, p99 %.1f ms "
        "(goal: <= 100 ms)\n",
        Percentile(served, 0.5), Percentile(served, 0.99));
    std::printf(
        "web: save commit -> live page, %d vans x %d saves, %d pages: %zu of %zu seen, median %.0f "
        "ms, p99 %.0f ms, max %.0f ms (goal: p99 <= 1000 ms)\n",
        kVans, kSavesPerVan, kPages, latencies.size(), expected, Percentile(latencies, 0.5),
        Percentile(latencies, 0.99), Percentile(latencies, 1.0));
    std::printf(
        "web: %d idle live connections (%d open): server RSS %ld KiB -> %ld KiB, %.1f KiB per "
        "connection\n",
        kIdle, open, before, after, static_cast<double>(after - before) / kIdle);
    ::kill(-server, SIGTERM);
    ::waitpid(server, nullptr, 0);
    return latencies.size() == expected ? 0 : 1;
}
