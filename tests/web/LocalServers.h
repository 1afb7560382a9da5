#pragma once
// Loopback servers for the request tests: an httplib server (plain or TLS with a throw-away
// self-signed certificate) and a raw TCP server that answers with exact bytes and records
// the exact request bytes it received.

#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ovx::test {

// A latch that handlers wait on (a stalling server) and the test opens at its end.
class Gate {
  public:
    void Open();
    // Waits until opened; false on time-out.
    bool Wait(std::chrono::milliseconds limit = std::chrono::seconds(30));

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool open_ = false;
};

// An httplib server on 127.0.0.1 with a free port, listening on its own thread.
class HttpServer {
  public:
    explicit HttpServer(bool tls = false);
    ~HttpServer();
    httplib::Server& server() { return *server_; }
    // Binds and starts serving; call after registering the handlers.
    void Start();
    int port() const { return port_; }
    std::string Url(const std::string& path) const;

  private:
    bool tls_;
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = -1;
};

// A TCP server on 127.0.0.1 that hands every connection to a handler with the request's
// bytes (head and, with a Content-Length, body).
class RawServer {
  public:
    // Writes the answer to the socket; the connection is closed afterwards.
    using Handler = std::function<void(int socket, const std::string& request)>;
    explicit RawServer(Handler handler);
    ~RawServer();
    int port() const { return port_; }
    std::string Url(const std::string& path) const;
    // Requests received so far, in arrival order.
    std::vector<std::string> Requests();
    int connections() const { return connections_.load(); }

    static void Send(int socket, const std::string& bytes);

  private:
    void Run();
    void Serve(int socket);

    Handler handler_;
    int listener_ = -1;
    int port_ = -1;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::mutex mutex_;
    std::vector<std::string> requests_;
    std::vector<std::thread> workers_;
    std::thread thread_;
};

}  // namespace ovx::test
