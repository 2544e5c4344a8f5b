// The office's pages in a real browser (headless Chromium through
// Selenium, browser_test.py) against the program's web server and a
// throw-away PostgreSQL where every role but the office's own needs its
// password.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "office/fleet.h"
#include "office/schema.h"
#include "tests/office/cluster.h"
#include "tests/office/office_fixture.h"

namespace {

using office_testing::OfficeTest;

// A child process, stopped with its group when the test ends.
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::string& log) {
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setpgid(0, 0);
            if (!std::freopen(log.c_str(), "w", stdout) || !std::freopen(log.c_str(), "a", stderr))
                ::_exit(127);
            std::vector<char*> args;
            args.reserve(argv.size() + 1);
            for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
            args.push_back(nullptr);
            ::execv(args[0], args.data());
            ::_exit(127);
        }
    }
    ~Child() {
        if (pid_ > 0) {
            ::kill(-pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

private:
    pid_t pid_ = -1;
};

class BrowserTest : public OfficeTest {};

TEST_F(BrowserTest, OfficePagesInChromium) {
    MakeFleet();
    office::pq::Connection super = cluster->Superuser(database);
    // Passwords for the people; only the server's own role logs in without one.
    super.Execute("ALTER ROLE kontorist PASSWORD 'kontorets-losen'");
    super.Execute("ALTER ROLE bil3 PASSWORD 'bilens-losen'");
    super.Execute("ALTER ROLE bil4 PASSWORD 'bil4-losen'");
    const std::string hba = super.Exec("SHOW hba_file").Text(0, 0);
    super.Exec(("COPY (VALUES ('local all postgres trust'), ('local all kontor trust'), "
                "('local all all scram-sha-256')) TO '" +
                hba + "'")
                   .c_str());
    super.Execute("SELECT pg_reload_conf()");

    const int port = office_testing::FreePort();
    const std::string url = "http://127.0.0.1:" + std::to_string(port);
    const std::string folder = cluster->Folder();
    const Child server({LEVERANS_BINARY, "kontor", "webb", "--kontor", Conninfo("kontor"),
                        "--lyssna", "127.0.0.1:" + std::to_string(port)},
                       folder + "/webb.log");

    // The same server with a certificate of its own, for https.
    const std::string tls = folder + "/webb-tls";
    std::filesystem::create_directories(tls);
    const std::string ca = office_testing::MakeCertificateAuthority(tls, "ca");
    office_testing::MakeServerCertificate(tls, ca);
    const int tlsPort = office_testing::FreePort();
    const Child tlsServer({LEVERANS_BINARY, "kontor", "webb", "--kontor", Conninfo("kontor"),
                           "--lyssna", "127.0.0.1:" + std::to_string(tlsPort), "--certifikat",
                           tls + "/server.crt", "--nyckel", tls + "/server.key"},
                          folder + "/webb-tls.log");
    setenv("TLS_PORT", std::to_string(tlsPort).c_str(), 1);
    setenv("TLS_CA", ca.c_str(), 1);

    const std::string shots =
        std::getenv("LEVERANS_SCREENSHOTS") ? std::getenv("LEVERANS_SCREENSHOTS") : folder;
    setenv("LEVERANS_URL", url.c_str(), 1);
    setenv("LEVERANS_BINARY", LEVERANS_BINARY, 1);
    setenv("VAN_SAVE", VAN_SAVE, 1);
    setenv("OFFICE_CONNINFO", Conninfo("kontor").c_str(), 1);
    setenv("VAN_CONNINFO_3", Conninfo("bil3").c_str(), 1);
    setenv("VAN_CONNINFO_4", Conninfo("bil4").c_str(), 1);
    setenv("AXE_JS", AXE_JS, 1);
    setenv("SCREENSHOT_FOLDER", shots.c_str(), 1);
    setenv("TEST_DATE", office_testing::kDate, 1);
    const std::string log = folder + "/browser.log";
    const int status = office_testing::RunProgram({"/usr/bin/python3", BROWSER_SCRIPT}, log);
    EXPECT_EQ(status, 0) << office_testing::FileText(log) << "\nserver:\n"
                         << office_testing::FileText(folder + "/webb.log")
                         << office_testing::FileText(folder + "/webb-tls.log");
}

}  // namespace
