#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "office/pq.h"

// A throw-away PostgreSQL 15 cluster for tests: its data folder and Unix
// socket in a fresh temporary folder, the server a child of the test
// program that dies with it (even on a crash), stopped and removed with the
// Cluster. initdb runs once per build folder, as the postgres system user
// (it refuses root); each cluster starts from a copy of that.
//
// Authentication (pg_hba.conf): the role needs_password must give a
// password over the socket; every other role is trusted there. A TLS
// cluster also listens on 127.0.0.1 (a free port, nowhere else) and takes
// TLS connections only, trusted likewise; a TCP one takes any there.
namespace office_testing {

struct ClusterSetup {
    // Also TLS on 127.0.0.1, with a certificate for localhost signed by a
    // CA made for the cluster (CaFile); otherwise the Unix socket only.
    bool tls = false;
    // Also plain TCP (no TLS) on 127.0.0.1, trusted there.
    bool tcp = false;
};

enum class RoleKind { Login, NoLogin, Superuser, BypassRls };

class Cluster {
public:
    // Starts the cluster; throws std::runtime_error (with the server's log)
    // when it cannot.
    explicit Cluster(const ClusterSetup& setup = {});
    ~Cluster();
    Cluster(const Cluster&) = delete;
    Cluster& operator=(const Cluster&) = delete;

    // The temporary folder; it also holds the socket.
    const std::string& Folder() const { return folder_; }
    const std::string& SocketFolder() const { return folder_; }
    int Port() const { return port_; }
    // The CA that signed a TLS cluster's certificate (PEM).
    std::string CaFile() const { return folder_ + "/ca.crt"; }

    // A libpq connection string for `role` on `database` over the socket.
    std::string ConnectionString(const std::string& role, const std::string& database) const;
    // As the superuser (postgres) over the socket.
    office::pq::Connection Superuser(const std::string& database = "postgres") const;

    // A role, unless it exists; the same role for every test of the program.
    void CreateRole(const std::string& name, RoleKind kind = RoleKind::Login);
    // Makes `member` a member of `group`.
    void GrantRole(const std::string& group, const std::string& member);
    void CreateDatabase(const std::string& name, const std::string& owner);
    // A new database owned by `owner`, with a name no other test uses.
    std::string FreshDatabase(const std::string& owner);

    // pg_ctl stop -m immediate: as a crash or a power cut would stop it.
    void StopImmediately();
    // Starts it again on the same data after a stop.
    void Start();
    // Both: the office stopped hard and back, at the same socket and port.
    void Restart() {
        StopImmediately();
        Start();
    }
    bool Running() const { return server_ > 0; }

private:
    void Stop();
    std::string Superconnection() const;

    ClusterSetup setup_;
    std::string folder_;
    std::string data_;
    int port_ = 0;
    pid_t server_ = 0;
    int databases_ = 0;
};

// The test program's cluster: started on first use, stopped and removed
// when the program ends (see ClusterEnvironment).
Cluster& SharedCluster();

// Registers, with GoogleTest, the stop of the shared cluster at the end of
// the program, whether tests failed or not. Call from main before
// RUN_ALL_TESTS.
void AddClusterEnvironment();

// Runs a program (argv[0] a full path) to its end, as the postgres system
// user when asked and the test runs as root; standard output and error go
// to the file `log`. Returns the exit status, -1 when it did not exit.
int RunProgram(const std::vector<std::string>& argv, const std::string& log,
               bool asPostgres = false);

// A new certificate authority in `folder`, made with openssl: its
// certificate folder/name.crt and key folder/name.key. Returns the
// certificate's path.
std::string MakeCertificateAuthority(const std::string& folder, const std::string& name);

// A server certificate for the host name localhost (CN and SAN), signed by
// the authority `ca` (as made above): folder/server.crt and its key
// folder/server.key.
void MakeServerCertificate(const std::string& folder, const std::string& ca);

// A TCP port on 127.0.0.1 that nothing listened on a moment ago.
int FreePort();

// The whole of a text file, empty when it cannot be read.
std::string FileText(const std::string& path);

}  // namespace office_testing
