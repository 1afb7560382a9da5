#include "LocalServers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

namespace ovx::test {

void Gate::Open() {
    {
        std::lock_guard lock(mutex_);
        open_ = true;
    }
    cv_.notify_all();
}

bool Gate::Wait(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, limit, [this] { return open_; });
}

namespace {

// A self-signed certificate for "localhost", made fresh for each TLS server.
std::unique_ptr<httplib::Server> MakeTlsServer() {
    EVP_PKEY* key = EVP_RSA_gen(2048);
    X509* cert = X509_new();
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), 0);
    X509_gmtime_adj(X509_getm_notAfter(cert), 3600);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
    X509_set_issuer_name(cert, name);
    X509_sign(cert, key, EVP_sha256());
    auto server = std::make_unique<httplib::SSLServer>(cert, key);
    X509_free(cert);
    EVP_PKEY_free(key);
    return server;
}

}  // namespace

HttpServer::HttpServer(bool tls)
    : tls_(tls), server_(tls ? MakeTlsServer() : std::make_unique<httplib::Server>()) {
    // A client that keeps its connection open holds the server's shutdown this long.
    server_->set_keep_alive_timeout(1);
}

HttpServer::~HttpServer() {
    server_->stop();
    if (thread_.joinable()) thread_.join();
}

void HttpServer::Start() {
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) std::abort();
    thread_ = std::thread([this] { server_->listen_after_bind(); });
}

std::string HttpServer::Url(const std::string& path) const {
    return std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) + path;
}

RawServer::RawServer(Handler handler) : handler_(std::move(handler)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener_, 64) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        std::abort();
    }
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { Run(); });
}

RawServer::~RawServer() {
    stop_ = true;
    thread_.join();
    for (auto& w : workers_) w.join();
    ::close(listener_);
}

std::string RawServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> RawServer::Requests() {
    std::lock_guard lock(mutex_);
    return requests_;
}

void RawServer::Send(int socket, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return;
        sent += static_cast<std::size_t>(n);
    }
}

void RawServer::Run() {
    while (!stop_) {
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) continue;
        const int s = ::accept(listener_, nullptr, nullptr);
        if (s < 0) continue;
        ++connections_;
        workers_.emplace_back([this, s] { Serve(s); });
    }
}

void RawServer::Serve(int socket) {
    std::string request;
    char buffer[4096];
    std::size_t need = std::string::npos;
    while (!stop_) {
        if (need != std::string::npos && request.size() >= need) break;
        pollfd p{socket, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) continue;
        const ssize_t n = ::recv(socket, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        request.append(buffer, static_cast<std::size_t>(n));
        const std::size_t end = request.find("\r\n\r\n");
        if (need == std::string::npos && end != std::string::npos) {
            std::size_t length = 0;
            const std::size_t at = request.find("Content-Length: ");
            if (at != std::string::npos && at < end)
                length = std::strtoul(request.c_str() + at + 16, nullptr, 10);
            need = end + 4 + length;
        }
    }
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
    }
    if (!stop_) handler_(socket, request);
    ::shutdown(socket, SHUT_RDWR);
    ::close(socket);
}

}  // namespace ovx::test
