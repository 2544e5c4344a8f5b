#include "web/sessions.h"

#include <sys/random.h>

#include <algorithm>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace web {

namespace {
constexpr std::size_t kMaxRemembered = 10000;  // addresses or roles with failed logins
}  // namespace

std::string RandomToken(std::size_t bytes) {
    std::vector<unsigned char> random(bytes);
    std::size_t filled = 0;
    while (filled < bytes) {
        const ssize_t got = getrandom(random.data() + filled, bytes - filled, 0);
        if (got < 0) throw std::runtime_error("the kernel gave no random bytes");
        filled += static_cast<std::size_t>(got);
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string token;
    token.reserve(bytes * 2);
    for (const unsigned char byte : random) {
        token += kHex[byte >> 4U];
        token += kHex[byte & 0xFU];
    }
    return token;
}

bool TokensEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size() || a.empty()) return false;
    unsigned char differ = 0;
    for (std::size_t i = 0; i < a.size(); ++i) differ |= static_cast<unsigned char>(a[i] ^ b[i]);
    return differ == 0;
}

Session& SessionStore::Create(std::string role, std::string van,
                              std::unique_ptr<office::pq::Connection> conn, Clock::time_point now) {
    Session session;
    session.token = RandomToken();
    session.csrf = RandomToken();
    session.role = std::move(role);
    session.van = std::move(van);
    session.lastUsed = now;
    session.conn = std::move(conn);
    const std::string token = session.token;
    return sessions_.emplace(token, std::move(session)).first->second;
}

Session* SessionStore::Use(std::string_view token, Clock::time_point now) {
    const auto found = sessions_.find(token);
    if (found == sessions_.end()) return nullptr;
    if (now - found->second.lastUsed > idle_) {
        sessions_.erase(found);
        return nullptr;
    }
    found->second.lastUsed = now;
    return &found->second;
}

Session* SessionStore::Peek(std::string_view token) {
    const auto found = sessions_.find(token);
    return found == sessions_.end() ? nullptr : &found->second;
}

void SessionStore::End(std::string_view token) {
    if (const auto found = sessions_.find(token); found != sessions_.end()) sessions_.erase(found);
}

std::vector<std::string> SessionStore::EndIdle(Clock::time_point now) {
    std::vector<std::string> ended;
    for (auto it = sessions_.begin(); it != sessions_.end();) {
        if (now - it->second.lastUsed > idle_) {
            ended.push_back(it->first);
            it = sessions_.erase(it);
        } else {
            ++it;
        }
    }
    return ended;
}

Session* SessionStore::AnyOf(std::string_view role) {
    for (auto& [token, session] : sessions_)
        if (session.role == role && session.conn) return &session;
    return nullptr;
}

int LoginLimiter::Recent(Times& times, Clock::time_point since) {
    times.erase(std::remove_if(times.begin(), times.end(),
                               [since](Clock::time_point at) { return at < since; }),
                times.end());
    return static_cast<int>(times.size());
}

bool LoginLimiter::Allowed(const std::string& address, const std::string& role,
                           Clock::time_point now) {
    const Clock::time_point since = now - limits_.window;
    // Names tried once and long ago are forgotten, so guessing cannot fill memory.
    for (auto* counts : {&addresses_, &roles_})
        if (counts->size() > kMaxRemembered)
            for (auto it = counts->begin(); it != counts->end();)
                it = Recent(it->second, since) == 0 ? counts->erase(it) : std::next(it);
    const auto byAddress = addresses_.find(address);
    const auto byRole = roles_.find(role);
    return (byAddress == addresses_.end() ||
            Recent(byAddress->second, since) < limits_.perAddress) &&
           (byRole == roles_.end() || Recent(byRole->second, since) < limits_.perRole);
}

void LoginLimiter::Failed(const std::string& address, const std::string& role,
                          Clock::time_point now) {
    addresses_[address].push_back(now);
    roles_[role].push_back(now);
}

}  // namespace web
