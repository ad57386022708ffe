// A GPS daemon on a loopback port for the serial tests: it greets with its version
// line, waits for the client's watch request and then sends what the test queues.
// It can also refuse connections (nothing listens), stay silent, or send one
// endless line.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace testing_support {

class FakeGpsDaemon {
  public:
    enum class Mode { Normal, Silent };
    explicit FakeGpsDaemon(Mode mode = Mode::Normal);
    ~FakeGpsDaemon();
    FakeGpsDaemon(const FakeGpsDaemon&) = delete;
    FakeGpsDaemon& operator=(const FakeGpsDaemon&) = delete;

    int port() const { return port_; }
    // "127.0.0.1:PORT"
    std::string address() const;
    // Queues bytes for the connected client (sent in order, after the watch request).
    void Send(const std::string& bytes);
    // Ends the connection once everything queued went out.
    void HangUp();
    // The watch request the client sent ("" before it came); waits up to 5 s.
    std::string WatchRequest();

  private:
    void Serve();

    Mode mode_;
    int listenFd_ = -1;
    int port_ = 0;
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<std::string> outgoing_;
    bool hangUp_ = false;
    bool stopping_ = false;
    std::string watch_;
    std::thread thread_;
};

// A loopback port that nothing listens on.
int UnusedLoopbackPort();

}  // namespace testing_support
