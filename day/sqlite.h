#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

// A thin RAII layer over the SQLite C API: a connection, a prepared
// statement and a transaction. Every failure throws sql::Error with the
// extended result code, so callers can tell a full disk from a damaged file.
namespace day::sql {

class Error : public std::runtime_error {
public:
    // code: extended result code; systemError: errno behind an I/O failure
    // (0 if none); text: SQLite's own English description.
    Error(int code, int systemError, const std::string& text);

    int code() const { return code_; }
    int primary() const { return code_ & 0xff; }
    int systemError() const { return systemError_; }

private:
    int code_;
    int systemError_;
};

class Connection {
public:
    Connection() = default;
    // flags are SQLITE_OPEN_*; extended result codes are switched on. The
    // connection, and its statements, belong to one thread at a time.
    Connection(const std::string& path, int flags);
    ~Connection();
    Connection(Connection&& other) noexcept;
    Connection& operator=(Connection&& other) noexcept;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    sqlite3* handle() const { return db_; }
    bool IsOpen() const { return db_ != nullptr; }
    // Runs one or more statements that return no rows.
    void Execute(const char* sql);
    // A single integer result, as from PRAGMA user_version.
    int64_t QueryInt(const char* sql);
    // Whether a transaction is open on the connection.
    bool InTransaction() const;
    void Close();

    // The error SQLite reports for rc on this connection.
    Error MakeError(int rc) const;

private:
    sqlite3* db_ = nullptr;
};

class Statement {
public:
    Statement() = default;
    Statement(const Connection& db, std::string_view sql);
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Parameters are 1-based. Text is copied by SQLite.
    void Bind(int index, int64_t value);
    void Bind(int index, std::string_view text);
    void BindBlob(int index, std::string_view bytes);
    // True when a row is ready, false when the statement is done.
    bool Step();
    // Ready to run again; bindings stay.
    void Reset();

    // Columns are 0-based.
    bool IsInteger(int column) const;
    bool IsText(int column) const;
    bool IsBlob(int column) const;
    int64_t Int(int column) const;
    std::string Text(int column) const;
    std::string Blob(int column) const;

private:
    sqlite3* db_ = nullptr;
    sqlite3_stmt* stmt_ = nullptr;
};

// BEGIN on construction; ROLLBACK on destruction unless committed, so an
// exception anywhere in between leaves the connection outside a transaction.
class Transaction {
public:
    enum class Kind { Deferred, Immediate };

    Transaction(Connection& db, Kind kind);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void Commit();

private:
    Connection& db_;
    bool open_ = true;
};

}  // namespace day::sql
