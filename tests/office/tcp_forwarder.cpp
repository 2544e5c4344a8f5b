#include "tests/office/tcp_forwarder.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace office_testing {

namespace {

sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    return address;
}

// Small messages go at once, as they would between the two ends directly.
void NoDelay(int socket) {
    const int on = 1;
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

}  // namespace

TcpForwarder::TcpForwarder(int targetPort) : target_(targetPort) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (listener_ < 0 ||
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::listen(listener_, 16) != 0) {
        const int error = errno;
        if (listener_ >= 0) ::close(listener_);
        throw std::system_error(error, std::generic_category(), "forwarder");
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { Accept(); });
}

TcpForwarder::~TcpForwarder() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    ::shutdown(listener_, SHUT_RDWR);  // ends the accept under way
    acceptor_.join();
    for (const auto& flow : flows_) {
        ::shutdown(flow->client, SHUT_RDWR);
        ::shutdown(flow->server, SHUT_RDWR);
    }
    for (std::thread& pump : pumps_) pump.join();
    for (const auto& flow : flows_) {
        ::close(flow->client);
        ::close(flow->server);
    }
    ::close(listener_);
}

void TcpForwarder::SilenceHeldFlows() {
    const std::lock_guard lock(mutex_);
    for (const auto& flow : flows_) flow->silent = true;
}

int TcpForwarder::Flows() {
    const std::lock_guard lock(mutex_);
    return static_cast<int>(flows_.size());
}

void TcpForwarder::Accept() {
    for (;;) {
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            return;  // shut down
        }
        const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in address = Loopback(target_);
        if (server < 0 ||
            ::connect(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            if (server >= 0) ::close(server);
            ::close(client);
            continue;
        }
        NoDelay(client);
        NoDelay(server);
        const std::lock_guard lock(mutex_);
        if (stopping_) {
            ::close(client);
            ::close(server);
            return;
        }
        auto flow = std::make_unique<Flow>();
        flow->client = client;
        flow->server = server;
        Flow& held = *flow;
        flows_.push_back(std::move(flow));
        pumps_.emplace_back([&held] { Pump(held, held.client, held.server); });
        pumps_.emplace_back([&held] { Pump(held, held.server, held.client); });
    }
}

void TcpForwarder::Pump(Flow& flow, int from, int to) {
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(from, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            // An end passes on, unless the flow is silent: then the other
            // side never hears of it.
            if (!flow.silent) ::shutdown(to, SHUT_WR);
            return;
        }
        if (flow.silent) continue;
        for (ssize_t sent = 0; sent < got;) {
            const ssize_t wrote =
                ::send(to, buffer + sent, static_cast<std::size_t>(got - sent), MSG_NOSIGNAL);
            if (wrote < 0 && errno == EINTR) continue;
            if (wrote < 0) return;
            sent += wrote;
        }
    }
}

}  // namespace office_testing
