#pragma once

#include <stdexcept>
#include <string>

// What can go wrong between a program and the office's database. what() is
// a complete Swedish message for whoever runs the program; detail() is
// libpq's own text, for standard error or a log, empty where the office's
// own rules refused; sqlstate() is the server's five-character code, empty
// when the failure never reached the server.
namespace office {

class Error : public std::runtime_error {
public:
    Error(const std::string& message, std::string detail, std::string sqlstate = {})
        : std::runtime_error(message), detail_(std::move(detail)), sqlstate_(std::move(sqlstate)) {}

    const std::string& detail() const { return detail_; }
    const std::string& sqlstate() const { return sqlstate_; }

private:
    std::string detail_;
    std::string sqlstate_;
};

// The connection string cannot be used: libpq cannot read it, it holds a
// password, or the service it names cannot be found. Nothing was sent
// anywhere.
class BadConnectionString : public Error {
public:
    using Error::Error;
};

// The office could not be reached, the connection was lost on the way or
// gave no answer in time (also while a commit was under way, so its outcome
// is unknown), or the server gave up on a statement that took too long or
// waited for a lock. Worth trying again later.
class Unreachable : public Error {
public:
    using Error::Error;
};

// The server answered and refused the login: no such role or database, a
// password needed and none found, no entry in its pg_hba.conf.
class LoginRefused : public Error {
public:
    using Error::Error;
};

// The encrypted connection could not be set up: the server's certificate
// does not verify against the CA given, does not name the host, or the
// server offers no TLS where it was required.
class TlsFailure : public Error {
public:
    using Error::Error;
};

// The office refused what was asked: a rule of its database (a constraint,
// the check on saves, row-level security) or of the office's own commands.
// Sending the same again will be refused again.
class Refused : public Error {
public:
    using Error::Error;
};

// The database has no Leverans schema, or one this program cannot use.
class SchemaError : public Error {
public:
    using Error::Error;
};

// SQLSTATEs raised by the check on saves (see schema.cpp).
inline constexpr const char* kSaveOnOtherRoute = "LVR01";  // a route never published for the day
inline constexpr const char* kSaveOfOtherJournal =
    "LVR02";  // another journal's day (schema versions 1 to 3 only)
inline constexpr const char* kSaveOutOfOrder = "LVR03";  // the journal's save before it is missing

}  // namespace office
