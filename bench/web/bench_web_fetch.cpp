// Image-download throughput of WebRequestCom against a loopback server.
//
//   bench_web_fetch serve COUNT SIZE   serves COUNT distinct images of SIZE bytes at
//                                      /img/<n>.jpg, prints "port <n>", runs until stdin closes
//   bench_web_fetch fetch URLFILE      fetches every URL of the file in turn, one thread,
//                                      and prints the count, the bytes and the seconds
// bench/web/run.sh drives both and compares with the curl command line.

#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "web/WebRequestCom.h"

namespace {

int Serve(int count, std::size_t size) {
    std::vector<std::string> images(static_cast<std::size_t>(count));
    std::uint32_t state = 12345;
    for (auto& image : images) {
        image.resize(size);
        for (char& c : image) {
            state = state * 1664525u + 1013904223u;
            c = static_cast<char>(state >> 24);
        }
    }
    httplib::Server server;
    server.set_keep_alive_max_count(1000000);
    server.set_tcp_nodelay(true);
    server.Get(R"(/img/(\d+)\.jpg)", [&](const httplib::Request& req, httplib::Response& res) {
        const auto n = std::strtoul(req.matches[1].str().c_str(), nullptr, 10);
        if (n >= images.size()) {
            res.status = 404;
            return;
        }
        res.set_content(images[n], "image/jpeg");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    if (port <= 0) return 1;
    std::thread listener([&] { server.listen_after_bind(); });
    std::cout << "port " << port << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    server.stop();
    listener.join();
    return 0;
}

int Fetch(const char* file) {
    std::ifstream in(file);
    std::vector<std::string> urls;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) urls.push_back(line);
    }
    std::size_t bytes = 0;
    int failed = 0;
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& url : urls) {
        int status = 0;
        const ovx::Bytes body =
            ovx::WebRequestCom(ovx::Text(url), {.statusCode = &status, .timeoutSeconds = 30});
        if (status != 200) ++failed;
        bytes += body.size();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("fetched %zu urls, %zu bytes, %d failed, %.3f s\n", urls.size(), bytes, failed,
                seconds);
    return failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "serve" && argc == 4) {
        return Serve(std::atoi(argv[2]), static_cast<std::size_t>(std::atol(argv[3])));
    }
    if (mode == "fetch" && argc == 3) return Fetch(argv[2]);
    std::fprintf(stderr, "usage: %s serve COUNT SIZE | fetch URLFILE\n", argv[0]);
    return 2;
}
