#pragma once

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "office/errors.h"

struct pg_conn;
struct pg_result;

// A thin RAII layer over libpq: a connection, a result and a transaction.
// Every statement is fixed text with its values bound as parameters; every
// failure throws one of the errors in office/errors.h, carrying libpq's
// message and the SQLSTATE.
namespace office::pq {

// One bound value: text, binary bytes (for bytea) or NULL.
class Param {
public:
    static Param Text(std::string_view text);
    static Param Int(int64_t value);
    static Param Bytes(std::string_view bytes);
    static Param Null();

    bool IsNull() const { return !value_; }
    bool IsBinary() const { return binary_; }
    const std::string& Value() const { return *value_; }

private:
    std::optional<std::string> value_;
    bool binary_ = false;
};

class Connection;
class Transaction;

// How long one statement may take, from sending it to its last answer,
// before the connection is given up as lost: the office's own commands
// wait long, a van short (it tries again on a new connection, and a
// network gone silent must not hold its saves back).
inline constexpr std::chrono::milliseconds kOfficeCallTimeout{30'000};
inline constexpr std::chrono::milliseconds kVanCallTimeout{10'000};

class Result {
public:
    Result() = default;
    explicit Result(pg_result* result) : result_(result) {}
    ~Result();
    Result(Result&& other) noexcept;
    Result& operator=(Result&& other) noexcept;
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;

    int Rows() const;
    // Rows an INSERT, UPDATE or DELETE touched.
    int64_t Affected() const;

    // Rows and columns are 0-based; values come as text.
    bool IsNull(int row, int column) const;
    std::string Text(int row, int column) const;
    int64_t Int(int row, int column) const;
    // A bytea column's bytes.
    std::string Bytes(int row, int column) const;

private:
    friend class Connection;
    friend class Transaction;
    pg_result* result_ = nullptr;
};

class Connection {
public:
    Connection() = default;
    // Connects with a libpq connection string or URI, given to libpq with
    // its TLS settings (sslmode, sslrootcert, ...) as written. Settings it
    // leaves out, also after a service file and the environment, are ours:
    // application_name leverans, connect_timeout 5 seconds, TCP keepalives
    // and tcp_user_timeout, and over TCP (where sslmode is none or prefer)
    // sslmode verify-full when a root certificate is at hand (sslrootcert,
    // ~/.postgresql/root.crt), require otherwise. Over TCP a connection
    // without TLS is refused unless the settings say sslmode=disable.
    // Refused before connecting (BadConnectionString) when libpq cannot read
    // the string, it holds a password, or its service cannot be found; then
    // Unreachable, LoginRefused or TlsFailure. Every statement then has
    // `callTimeout`.
    static Connection Open(const std::string& conninfo,
                           std::chrono::milliseconds callTimeout = kOfficeCallTimeout);
    // The same as `role` with `password` given to libpq as a parameter of
    // its own (never in a string that could be shown or logged). No
    // password file is read then: the password given is the only one.
    static Connection Open(const std::string& conninfo, const std::string& role,
                           const std::string& password,
                           std::chrono::milliseconds callTimeout = kOfficeCallTimeout);

    ~Connection();
    Connection(Connection&& other) noexcept;
    Connection& operator=(Connection&& other) noexcept;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    pg_conn* handle() const { return conn_; }
    // The role logged in as.
    std::string User() const;

    // One statement with its parameters ($1, $2, ...), results as text.
    Result Exec(const char* sql, std::initializer_list<Param> params = {});
    // Fixed SQL without parameters, possibly several statements (DDL).
    void Execute(const char* sql);

    // A statement without its last answer within this is Unreachable, and
    // the connection is closed: what it sent may or may not have been done.
    void SetCallTimeout(std::chrono::milliseconds timeout) { callTimeout_ = timeout; }
    std::chrono::milliseconds CallTimeout() const { return callTimeout_; }

    void Close();

private:
    friend class Transaction;
    explicit Connection(pg_conn* conn) : conn_(conn) {}
    // Waits for the answers to what was just sent, within the call timeout.
    Result Answers();
    [[noreturn]] void Fail(pg_result* result) const;
    [[noreturn]] void Abandon();

    pg_conn* conn_ = nullptr;
    std::chrono::milliseconds callTimeout_ = kOfficeCallTimeout;
};

// BEGIN on construction; ROLLBACK on destruction unless committed. A commit
// lost with the connection is Unreachable: it may or may not have happened.
class Transaction {
public:
    explicit Transaction(Connection& conn);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void Commit();

private:
    Connection& conn_;
    bool open_ = true;
};

// The checks made before connecting, on their own: throws
// BadConnectionString when libpq cannot read conninfo or it holds a
// password (password, sslpassword).
void CheckConnectionString(const std::string& conninfo);

// The SQLSTATE in a verbose libpq message ("FATAL:  28P01: ..."), the last
// one when there are several; empty when there is none.
std::string SqlstateIn(std::string_view message);

}  // namespace office::pq
