#include "tests/office/cluster.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace office_testing {

namespace {

namespace fs = std::filesystem;

constexpr const char* kBin = "/usr/lib/postgresql/15/bin";
// A changed initdb command line needs a new template; the name carries it.
constexpr const char* kTemplateName = "cluster-template-2";

struct SystemUser {
    uid_t uid = 0;
    gid_t gid = 0;
};

// Whom the server runs as: postgres when the tests run as root (the
// server refuses root), otherwise whoever runs them.
SystemUser ServerUser() {
    if (geteuid() != 0) return {geteuid(), getegid()};
    const passwd* user = getpwnam("postgres");
    if (!user)
        throw std::runtime_error("no postgres system user: install postgresql-15 (scripts/setup)");
    return {user->pw_uid, user->pw_gid};
}

void GiveToServer(const std::string& path) {
    const SystemUser user = ServerUser();
    if (::chown(path.c_str(), user.uid, user.gid) != 0)
        throw std::system_error(errno, std::generic_category(), "chown " + path);
}

void GiveTreeToServer(const std::string& root) {
    GiveToServer(root);
    for (const auto& entry : fs::recursive_directory_iterator(root))
        GiveToServer(entry.path().string());
}

// Where clusters live: in memory where the machine has it (/dev/shm), as
// a cluster writes tens of megabytes that a disk is slow to take.
std::string TemporaryRoot() {
    if (::access("/dev/shm", W_OK | X_OK) == 0) return "/dev/shm";
    const char* temporary = std::getenv("TMPDIR");
    return temporary && *temporary ? temporary : "/tmp";
}

// A new private folder for a cluster, owned by the server's user.
std::string MakeFolder(const char* prefix) {
    std::string pattern = TemporaryRoot() + "/" + prefix + "-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        throw std::system_error(errno, std::generic_category(), "mkdtemp");
    GiveToServer(pattern);
    return pattern;
}

// Starts argv as a child; with `dieWithParent` it gets SIGQUIT when the
// test program ends, however it ends.
pid_t Spawn(const std::vector<std::string>& argv, const std::string& log, bool asPostgres,
            bool dieWithParent) {
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const bool switchUser = asPostgres && geteuid() == 0;
    const SystemUser user = switchUser ? ServerUser() : SystemUser{};
    const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (out < 0) throw std::system_error(errno, std::generic_category(), "open " + log);
    const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t parent = ::getpid();

    const pid_t child = ::fork();
    if (child < 0) {
        const int error = errno;
        ::close(out);
        ::close(in);
        throw std::system_error(error, std::generic_category(), "fork");
    }
    if (child == 0) {
        // Only async-signal-safe calls from here on.
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(out, 2);
        if (switchUser) {
            if (::setgroups(1, &user.gid) != 0 || ::setgid(user.gid) != 0 ||
                ::setuid(user.uid) != 0)
                ::_exit(126);
        }
        // After the change of user, which clears it.
        if (dieWithParent) {
            if (::prctl(PR_SET_PDEATHSIG, SIGQUIT) != 0) ::_exit(126);
            if (::getppid() != parent) ::_exit(126);  // the parent is gone already
        }
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(out);
    ::close(in);
    return child;
}

// Waits for a child; false when it did not end within `limit`.
bool WaitFor(pid_t child, std::chrono::seconds limit, int* status) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const pid_t done = ::waitpid(child, status, WNOHANG);
        if (done == child) return true;
        if (done < 0 && errno != EINTR) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// initdb once per build folder, under a lock against test programs run at
// the same time; each cluster copies the result.
std::string Template() {
    const fs::path home(LEVERANS_CLUSTER_CACHE);
    fs::create_directories(home);
    const fs::path made = home / kTemplateName;
    const std::string lockPath = (home / (std::string(kTemplateName) + ".lock")).string();
    const int lock = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0) throw std::system_error(errno, std::generic_category(), "open " + lockPath);
    while (::flock(lock, LOCK_EX) != 0 && errno == EINTR) {
    }
    try {
        if (!fs::exists(made / "PG_VERSION")) {
            const std::string work = MakeFolder("leverans-initdb");
            const std::string log = work + "/initdb.log";
            const int status =
                RunProgram({std::string(kBin) + "/initdb", "-D", work + "/data", "--no-sync", "-A",
                            "trust", "-U", "postgres", "-E", "UTF8", "--no-locale",
                            "--wal-segsize=1", "--no-instructions"},
                           log, true);
            if (status != 0) {
                const std::string said = FileText(log);
                fs::remove_all(work);
                throw std::runtime_error("initdb failed (" + std::to_string(status) + "):\n" +
                                         said);
            }
            const fs::path partial = home / (std::string(kTemplateName) + ".new");
            fs::remove_all(partial);
            fs::copy(work + "/data", partial, fs::copy_options::recursive);
            fs::rename(partial, made);
            fs::remove_all(work);
        }
    } catch (...) {
        ::close(lock);
        throw;
    }
    ::close(lock);
    return made.string();
}

std::string Quote(office::pq::Connection& conn, const std::string& name) {
    char* quoted = PQescapeIdentifier(conn.handle(), name.c_str(), name.size());
    if (!quoted) throw std::runtime_error("PQescapeIdentifier failed");
    std::string text(quoted);
    PQfreemem(quoted);
    return text;
}

std::unique_ptr<Cluster>& Shared() {
    static std::unique_ptr<Cluster> cluster;
    return cluster;
}

class ClusterEnvironment : public ::testing::Environment {
public:
    void TearDown() override { Shared().reset(); }
};

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::trunc);
    file << text;
    file.close();
    if (!file) throw std::runtime_error("cannot write " + path);
}

void Openssl(const std::vector<std::string>& arguments, const std::string& folder) {
    std::vector<std::string> argv{"/usr/bin/openssl"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const std::string log = folder + "/openssl.log";
    if (RunProgram(argv, log) != 0)
        throw std::runtime_error("openssl " + arguments.front() + " failed:\n" + FileText(log));
}

// Clusters of test programs that died without cleaning up (killed, or
// crashed: their servers went with them) would keep their memory in
// /dev/shm until the machine restarts.
void RemoveAbandoned() {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(TemporaryRoot(), error)) {
        if (entry.path().filename().string().rfind("leverans-office-", 0) != 0) continue;
        const std::string owner = FileText((entry.path() / "owner").string());
        if (owner.empty()) continue;  // being made, or not ours to judge
        const pid_t pid = static_cast<pid_t>(std::strtol(owner.c_str(), nullptr, 10));
        if (pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH) {
            std::error_code ignored;
            fs::remove_all(entry.path(), ignored);
        }
    }
}

}  // namespace

int FreePort() {
    const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe < 0) throw std::system_error(errno, std::generic_category(), "socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const int error = errno;
        ::close(probe);
        throw std::system_error(error, std::generic_category(), "free port");
    }
    ::close(probe);
    return ntohs(address.sin_port);
}

std::string MakeCertificateAuthority(const std::string& folder, const std::string& name) {
    const std::string config = folder + "/" + name + ".cnf";
    WriteText(config,
              "[req]\n"
              "distinguished_name = dn\n"
              "x509_extensions = authority\n"
              "prompt = no\n"
              "[dn]\n"
              "CN = Leverans test " +
                  name +
                  "\n"
                  "[authority]\n"
                  "basicConstraints = critical,CA:TRUE\n"
                  "keyUsage = critical,keyCertSign,cRLSign\n"
                  "subjectKeyIdentifier = hash\n");
    std::string certificate = folder + "/" + name + ".crt";
    Openssl({"req", "-x509", "-config", config, "-newkey", "ec", "-pkeyopt",
             "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", folder + "/" + name + ".key",
             "-out", certificate, "-days", "2"},
            folder);
    return certificate;
}

void MakeServerCertificate(const std::string& folder, const std::string& ca) {
    const std::string config = folder + "/server.cnf";
    WriteText(config,
              "[req]\n"
              "distinguished_name = dn\n"
              "prompt = no\n"
              "[dn]\n"
              "CN = localhost\n");
    WriteText(folder + "/server.ext",
              "subjectAltName = DNS:localhost\n"
              "basicConstraints = CA:FALSE\n"
              "keyUsage = critical,digitalSignature\n"
              "extendedKeyUsage = serverAuth\n");
    Openssl({"req", "-new", "-config", config, "-newkey", "ec", "-pkeyopt",
             "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", folder + "/server.key", "-out",
             folder + "/server.csr"},
            folder);
    const std::string caKey = ca.substr(0, ca.size() - 4) + ".key";
    Openssl({"x509", "-req", "-in", folder + "/server.csr", "-CA", ca, "-CAkey", caKey,
             "-CAcreateserial", "-out", folder + "/server.crt", "-days", "2", "-extfile",
             folder + "/server.ext"},
            folder);
}

std::string FileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

int RunProgram(const std::vector<std::string>& argv, const std::string& log, bool asPostgres) {
    const pid_t child = Spawn(argv, log, asPostgres, true);
    int status = 0;
    if (!WaitFor(child, std::chrono::seconds(120), &status)) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Cluster::Cluster(const ClusterSetup& setup) : setup_(setup) {
    const std::string copyFrom = Template();
    RemoveAbandoned();
    folder_ = MakeFolder("leverans-office");
    data_ = folder_ + "/data";
    port_ = FreePort();
    try {
        WriteText(folder_ + "/owner", std::to_string(::getpid()));
        fs::copy(copyFrom, data_, fs::copy_options::recursive);
        std::ofstream hba(data_ + "/pg_hba.conf", std::ios::trunc);
        hba << "local all needs_password scram-sha-256\n"
               "local all all trust\n";
        if (setup_.tls) hba << "hostssl all all 127.0.0.1/32 trust\n";
        if (setup_.tcp) hba << "host all all 127.0.0.1/32 trust\n";
        hba.close();
        if (!hba) throw std::runtime_error("pg_hba.conf could not be written");
        if (setup_.tls) {
            MakeServerCertificate(folder_, MakeCertificateAuthority(folder_, "ca"));
            // The server reads its key only when no one else may.
            GiveToServer(folder_ + "/server.key");
            fs::permissions(folder_ + "/server.key", fs::perms::owner_read | fs::perms::owner_write,
                            fs::perm_options::replace);
        }
        GiveTreeToServer(data_);
        fs::permissions(data_, fs::perms::owner_all, fs::perm_options::replace);
        Start();
    } catch (...) {
        Stop();
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
        throw;
    }
}

Cluster::~Cluster() {
    Stop();
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

void Cluster::Start() {
    if (server_ > 0) return;
    std::vector<std::string> argv{
        std::string(kBin) + "/postgres", "-D", data_, "-p", std::to_string(port_), "-c",
        "unix_socket_directories=" + folder_, "-c", "unix_socket_permissions=0700",
        // Speed over durability against power cuts: the cluster is thrown
        // away. Commits still reach the log before they are acknowledged,
        // so a hard stop of the server loses none.
        "-c", "fsync=off", "-c", "full_page_writes=off", "-c", "shared_buffers=16MB", "-c",
        "max_connections=40", "-c", "autovacuum=off", "-c", "lc_messages=C"};
    argv.insert(argv.end(), {"-c", std::string("listen_addresses=") +
                                       (setup_.tls || setup_.tcp ? "127.0.0.1" : "")});
    if (setup_.tls) {
        argv.insert(argv.end(), {"-c", "ssl=on", "-c", "ssl_cert_file=" + folder_ + "/server.crt",
                                 "-c", "ssl_key_file=" + folder_ + "/server.key"});
    }
    server_ = Spawn(argv, folder_ + "/postgres.log", true, true);

    const std::string ping = Superconnection() + " connect_timeout=2";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        if (PQping(ping.c_str()) == PQPING_OK) return;
        int status = 0;
        if (::waitpid(server_, &status, WNOHANG) == server_) {
            server_ = 0;
            throw std::runtime_error("PostgreSQL did not start:\n" +
                                     FileText(folder_ + "/postgres.log"));
        }
        if (std::chrono::steady_clock::now() > deadline) {
            Stop();
            throw std::runtime_error("PostgreSQL did not answer within 60 seconds:\n" +
                                     FileText(folder_ + "/postgres.log"));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void Cluster::StopImmediately() {
    if (server_ <= 0) return;
    const int status =
        RunProgram({std::string(kBin) + "/pg_ctl", "stop", "-D", data_, "-m", "immediate", "-w"},
                   folder_ + "/pg_ctl.log", true);
    int ended = 0;
    if (status != 0 || !WaitFor(server_, std::chrono::seconds(30), &ended)) {
        ::kill(server_, SIGKILL);
        ::waitpid(server_, &ended, 0);
    }
    server_ = 0;
}

void Cluster::Stop() {
    if (server_ <= 0) return;
    ::kill(server_, SIGINT);  // fast shutdown
    int status = 0;
    if (!WaitFor(server_, std::chrono::seconds(30), &status)) {
        ::kill(server_, SIGKILL);
        ::waitpid(server_, &status, 0);
    }
    server_ = 0;
}

std::string Cluster::Superconnection() const { return ConnectionString("postgres", "postgres"); }

std::string Cluster::ConnectionString(const std::string& role, const std::string& database) const {
    return "host=" + folder_ + " port=" + std::to_string(port_) + " dbname=" + database +
           " user=" + role;
}

office::pq::Connection Cluster::Superuser(const std::string& database) const {
    return office::pq::Connection::Open(ConnectionString("postgres", database));
}

void Cluster::CreateRole(const std::string& name, RoleKind kind) {
    office::pq::Connection conn = Superuser();
    if (conn.Exec("SELECT 1 FROM pg_roles WHERE rolname = $1", {office::pq::Param::Text(name)})
            .Rows() > 0)
        return;
    const char* attributes = "LOGIN";
    switch (kind) {
        case RoleKind::Login:
            break;
        case RoleKind::NoLogin:
            attributes = "NOLOGIN";
            break;
        case RoleKind::Superuser:
            attributes = "LOGIN SUPERUSER";
            break;
        case RoleKind::BypassRls:
            attributes = "LOGIN BYPASSRLS";
            break;
    }
    const std::string sql = "CREATE ROLE " + Quote(conn, name) + " " + attributes;
    conn.Execute(sql.c_str());
}

void Cluster::GrantRole(const std::string& group, const std::string& member) {
    office::pq::Connection conn = Superuser();
    const std::string sql = "GRANT " + Quote(conn, group) + " TO " + Quote(conn, member);
    conn.Execute(sql.c_str());
}

void Cluster::CreateDatabase(const std::string& name, const std::string& owner) {
    office::pq::Connection conn = Superuser();
    // FILE_COPY: with fsync off its checkpoints cost nothing, and it is the
    // faster copy of a small template.
    const std::string sql = "CREATE DATABASE " + Quote(conn, name) + " OWNER " +
                            Quote(conn, owner) + " STRATEGY FILE_COPY";
    conn.Execute(sql.c_str());
}

std::string Cluster::FreshDatabase(const std::string& owner) {
    std::string name = "test_" + std::to_string(++databases_);
    CreateDatabase(name, owner);
    return name;
}

Cluster& SharedCluster() {
    if (!Shared()) Shared() = std::make_unique<Cluster>();
    return *Shared();
}

void AddClusterEnvironment() { ::testing::AddGlobalTestEnvironment(new ClusterEnvironment); }

}  // namespace office_testing
