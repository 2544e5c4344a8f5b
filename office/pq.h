#pragma once

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
    // Connects with a libpq connection string or URI, given unchanged to
    // libpq, so that its TLS settings (sslmode, sslrootcert, ...) apply as
    // written. application_name is leverans, connect_timeout 5 seconds
    // unless the string or PGCONNECT_TIMEOUT sets one. Refused before
    // connecting (BadConnectionString) when libpq cannot read the string or
    // it holds a password; then Unreachable, LoginRefused or TlsFailure.
    static Connection Open(const std::string& conninfo);
    // The same as `role` with `password` given to libpq as a parameter of
    // its own (never in a string that could be shown or logged). No
    // password file is read then: the password given is the only one.
    static Connection Open(const std::string& conninfo, const std::string& role,
                           const std::string& password);

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

    void Close();

private:
    friend class Transaction;
    explicit Connection(pg_conn* conn) : conn_(conn) {}
    [[noreturn]] void Fail(pg_result* result) const;

    pg_conn* conn_ = nullptr;
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
// password.
void CheckConnectionString(const std::string& conninfo);

// The SQLSTATE in a verbose libpq message ("FATAL:  28P01: ..."), the last
// one when there are several; empty when there is none.
std::string SqlstateIn(std::string_view message);

}  // namespace office::pq
