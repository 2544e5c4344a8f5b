#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "office/pq.h"

// Who is logged in to the office's web server. A session is a database
// connection made as the person's own role (row-level security decides what
// it sees), a random token in a cookie and a token against cross-site
// requests; nothing of the password is kept. Plain C++: the clock is given.
namespace web {

using Clock = std::chrono::steady_clock;

// 128 random bits or more, as hex, from the kernel's generator.
std::string RandomToken(std::size_t bytes = 32);

// Compares in a time that does not depend on where they differ.
bool TokensEqual(std::string_view a, std::string_view b);

struct Session {
    std::string token;
    std::string csrf;
    std::string role;
    std::string van;  // the van the role drives; empty for the office
    Clock::time_point lastUsed;
    std::unique_ptr<office::pq::Connection> conn;
};

class SessionStore {
public:
    explicit SessionStore(Clock::duration idle) : idle_(idle) {}

    Session& Create(std::string role, std::string van, std::unique_ptr<office::pq::Connection> conn,
                    Clock::time_point now);
    // The session of a token, marked as used now; none when there is none or
    // it has been idle too long (it ends then).
    Session* Use(std::string_view token, Clock::time_point now);
    // Without marking it used (a push to a live page is not the person's doing).
    Session* Peek(std::string_view token);
    void End(std::string_view token);
    // Ends every session idle too long; their tokens.
    std::vector<std::string> EndIdle(Clock::time_point now);
    // One session of `role`, for a query with that role's rights.
    Session* AnyOf(std::string_view role);
    std::size_t Size() const { return sessions_.size(); }

private:
    Clock::duration idle_;
    std::map<std::string, Session, std::less<>> sessions_;
};

// Failed logins counted per address and per role over a window; when either
// has too many, logins from it or as it are refused without trying.
class LoginLimiter {
public:
    struct Limits {
        int perAddress = 20;
        int perRole = 5;
        Clock::duration window = std::chrono::minutes(5);
    };
    LoginLimiter() : LoginLimiter(Limits{}) {}
    explicit LoginLimiter(Limits limits) : limits_(limits) {}

    bool Allowed(const std::string& address, const std::string& role, Clock::time_point now);
    void Failed(const std::string& address, const std::string& role, Clock::time_point now);

private:
    using Times = std::vector<Clock::time_point>;
    static int Recent(Times& times, Clock::time_point since);

    Limits limits_;
    std::map<std::string, Times> addresses_;
    std::map<std::string, Times> roles_;
};

}  // namespace web
