#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// A TCP forwarder on 127.0.0.1 for a network that goes silent: it passes
// each flow to a port on 127.0.0.1 and back, byte for byte, until told to
// silence the flows it holds. Those then swallow whatever comes from either
// side and never answer or close, as a tunnel, a dropped NAT entry or a
// mobile network changing cells does; TCP itself still acknowledges, so
// only a deadline of the caller's own notices. New flows pass as before.
namespace office_testing {

class TcpForwarder {
public:
    // Listens on a free port; throws std::system_error when it cannot.
    explicit TcpForwarder(int targetPort);
    ~TcpForwarder();
    TcpForwarder(const TcpForwarder&) = delete;
    TcpForwarder& operator=(const TcpForwarder&) = delete;

    int Port() const { return port_; }
    // Every flow accepted so far goes silent.
    void SilenceHeldFlows();
    // Flows accepted so far.
    int Flows();

private:
    struct Flow {
        int client = -1;
        int server = -1;
        std::atomic<bool> silent{false};
    };
    void Accept();
    static void Pump(Flow& flow, int from, int to);

    int target_;
    int listener_ = -1;
    int port_ = 0;
    std::mutex mutex_;
    bool stopping_ = false;
    std::vector<std::unique_ptr<Flow>> flows_;
    std::vector<std::thread> pumps_;
    std::thread acceptor_;
};

}  // namespace office_testing
