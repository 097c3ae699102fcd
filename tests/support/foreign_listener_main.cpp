// A recording HTTP server meant to run as another user (see ForeignListener): it stands for another account's
// program listening on the engine's port. Prints "port <n>" once it listens on 127.0.0.1 (or "error" and exits 1),
// then answers each line on stdin:
//   requests   -> one line per request received so far,
//                 "request <METHOD> <target> body=<body in hex or -> auth=<Authorization or ->", then "end"
// Anything else gets "error". The server stops when stdin closes.

#include "RecordingServer.h"

#include <iostream>
#include <string>

namespace {

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 0xF];
    }
    return out;
}

} // namespace

int main() {
    zqt::test::RecordingServer server;
    if (server.port() <= 0) {
        std::cout << "error" << std::endl;
        return 1;
    }
    std::cout << "port " << server.port() << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line != "requests") {
            std::cout << "error" << std::endl;
            continue;
        }
        for (const auto& r : server.requests())
            std::cout << "request " << r.method << ' ' << r.target
                      << " body=" << (r.body.empty() ? std::string("-") : hex(r.body))
                      << " auth=" << (r.hasHeader("Authorization") ? r.header("Authorization") : std::string("-"))
                      << '\n';
        std::cout << "end" << std::endl;
    }
    return 0;
}
