// FaultServer in a process of its own, so that a test measures its own memory and threads without the server's.
// Prints "port <n>" once it listens (or "error" and exits 1), then answers each command line on stdin with one line:
//   fault <name>              switches to the fault named as faultName() names it          -> "ok"
//   slow <ms>                 sets the delay of Slow                                       -> "ok"
//   huge <bytes> length|streamed   sets the HugeBody size and mode                       -> "ok"
//   faulted                   -> "<requests that met a fault>"
// Anything else gets "error". The server stops when stdin closes.

#include "FaultServer.h"

#include <iostream>
#include <optional>
#include <sstream>
#include <string>

using zqt::test::Fault;
using zqt::test::FaultServer;
using zqt::test::HugeBodyMode;

namespace {

std::optional<Fault> faultNamed(const std::string& name) {
    for (Fault f : {Fault::None, Fault::Refused, Fault::Slow, Fault::Hang, Fault::Html, Fault::TruncatedJson,
                    Fault::HugeBody, Fault::ServerError, Fault::CutMidBody, Fault::Flapping})
        if (name == zqt::test::faultName(f))
            return f;
    return std::nullopt;
}

} // namespace

int main() {
    FaultServer server;
    if (server.port() <= 0) {
        std::cout << "error" << std::endl;
        return 1;
    }
    std::cout << "port " << server.port() << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string command;
        in >> command;
        std::string reply = "error";
        if (command == "fault") {
            std::string name;
            in >> name;
            if (const auto f = faultNamed(name)) {
                server.setFault(*f);
                reply = server.port() > 0 ? "ok" : "error";
            }
        } else if (command == "slow") {
            long long ms = -1;
            if (in >> ms && ms >= 0) {
                server.setSlowDelay(std::chrono::milliseconds(ms));
                reply = "ok";
            }
        } else if (command == "huge") {
            long long bytes = -1;
            std::string mode;
            if (in >> bytes >> mode && bytes > 0 && (mode == "length" || mode == "streamed")) {
                server.setHugeBody(bytes, mode == "length" ? HugeBodyMode::WithLength : HugeBodyMode::Streamed);
                reply = "ok";
            }
        } else if (command == "faulted") {
            reply = std::to_string(server.faultedRequests());
        }
        std::cout << reply << std::endl;
    }
    server.stop();
    return 0;
}
