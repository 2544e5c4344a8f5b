#include "day/sqlite.h"

#include <sqlite3.h>

#include <cerrno>
#include <utility>

namespace day::sql {

namespace {

// callErrno: errno as the failed call left it, cleared before the call.
// SQLite records the system error only for some failures (not for those of
// a COMMIT, where a full disk shows), so the call's own errno comes first.
Error ErrorFrom(sqlite3* db, int rc, int callErrno = 0) {
    if (!db) return Error(rc, callErrno, sqlite3_errstr(rc));
    // The connection's own code is the extended form of rc when they agree.
    const int extended = sqlite3_extended_errcode(db);
    const int code = (extended & 0xff) == (rc & 0xff) ? extended : rc;
    return Error(code, callErrno != 0 ? callErrno : sqlite3_system_errno(db), sqlite3_errmsg(db));
}

}  // namespace

Error::Error(int code, int systemError, const std::string& text)
    : std::runtime_error(text), code_(code), systemError_(systemError) {}

Connection::Connection(const std::string& path, int flags) {
    sqlite3* db = nullptr;
    errno = 0;
    // A connection stays with one thread, so SQLite need not lock it on
    // every call: a journal reads hundreds of thousands of values at once.
    const int rc = sqlite3_open_v2(path.c_str(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        // A handle comes back even on failure, carrying the message.
        const Error error = ErrorFrom(db, rc, errno);
        sqlite3_close_v2(db);
        throw Error(error);
    }
    sqlite3_extended_result_codes(db, 1);
    db_ = db;
}

Connection::~Connection() { Close(); }

Connection::Connection(Connection&& other) noexcept : db_(std::exchange(other.db_, nullptr)) {}

Connection& Connection::operator=(Connection&& other) noexcept {
    if (this != &other) {
        Close();
        db_ = std::exchange(other.db_, nullptr);
    }
    return *this;
}

void Connection::Close() {
    // _v2: statements still alive would otherwise make the close fail.
    if (db_) sqlite3_close_v2(std::exchange(db_, nullptr));
}

Error Connection::MakeError(int rc) const { return ErrorFrom(db_, rc); }

void Connection::Execute(const char* sql) {
    errno = 0;
    const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) throw ErrorFrom(db_, rc, errno);
}

int64_t Connection::QueryInt(const char* sql) {
    Statement statement(*this, sql);
    if (!statement.Step()) throw Error(SQLITE_MISMATCH, 0, "no row from a query for one value");
    return statement.Int(0);
}

bool Connection::InTransaction() const { return db_ && sqlite3_get_autocommit(db_) == 0; }

Statement::Statement(const Connection& db, std::string_view sql) : db_(db.handle()) {
    const int rc = sqlite3_prepare_v3(db_, sql.data(), static_cast<int>(sql.size()),
                                      SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr);
    if (rc != SQLITE_OK) throw db.MakeError(rc);
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement::Statement(Statement&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)), stmt_(std::exchange(other.stmt_, nullptr)) {}

Statement& Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(stmt_);
        db_ = std::exchange(other.db_, nullptr);
        stmt_ = std::exchange(other.stmt_, nullptr);
    }
    return *this;
}

void Statement::Bind(int index, int64_t value) {
    const int rc = sqlite3_bind_int64(stmt_, index, value);
    if (rc != SQLITE_OK) throw ErrorFrom(db_, rc);
}

void Statement::Bind(int index, std::string_view text) {
    const int rc = sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()),
                                     SQLITE_TRANSIENT);
    if (rc != SQLITE_OK) throw ErrorFrom(db_, rc);
}

void Statement::BindBlob(int index, std::string_view bytes) {
    const int rc = sqlite3_bind_blob64(stmt_, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT);
    if (rc != SQLITE_OK) throw ErrorFrom(db_, rc);
}

bool Statement::Step() {
    errno = 0;
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    const Error error = ErrorFrom(db_, rc, errno);
    sqlite3_reset(stmt_);  // ready for another try; it repeats the error code only
    throw Error(error);
}

void Statement::Reset() { sqlite3_reset(stmt_); }

bool Statement::IsInteger(int column) const {
    return sqlite3_column_type(stmt_, column) == SQLITE_INTEGER;
}

bool Statement::IsText(int column) const {
    return sqlite3_column_type(stmt_, column) == SQLITE_TEXT;
}

bool Statement::IsBlob(int column) const {
    return sqlite3_column_type(stmt_, column) == SQLITE_BLOB;
}

int64_t Statement::Int(int column) const { return sqlite3_column_int64(stmt_, column); }

std::string Statement::Text(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    if (!text) return {};
    return std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)));
}

std::string Statement::Blob(int column) const {
    const void* bytes = sqlite3_column_blob(stmt_, column);
    if (!bytes) return {};
    return std::string(static_cast<const char*>(bytes),
                       static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)));
}

Transaction::Transaction(Connection& db, Kind kind) : db_(db) {
    db_.Execute(kind == Kind::Immediate ? "BEGIN IMMEDIATE" : "BEGIN");
}

Transaction::~Transaction() {
    // An I/O error may already have rolled the transaction back; then there
    // is nothing left to do, and a failing ROLLBACK here changes nothing.
    if (open_ && db_.InTransaction())
        sqlite3_exec(db_.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::Commit() {
    db_.Execute("COMMIT");
    open_ = false;
}

}  // namespace day::sql
