#include "support/BackendPeerListener.hpp"

#include "support/BackendFixture.hpp"

#include <algorithm>
#include "support/TestPaths.hpp"

namespace vantrel::test {

PeerListener::PeerListener(const std::vector<std::string>& options, const std::string& className,
                           const std::string& whereJson, int count, int timeoutSeconds) {
    const auto state = BackendEnvironment::defaultStateDirectory();
    std::string command = ". " + shellQuote((state / "backend.env").string()) + " && cd " +
                          shellQuote(vantrel::test::sourceDirectory().string()) +
                          " && exec node backend/peer/peer.mjs --timeout " + std::to_string(timeoutSeconds) + " ";
    for (const auto& option : options) command += shellQuote(option) + " ";
    command += "listen " + shellQuote(className) + " " + shellQuote(whereJson) + " " + std::to_string(count) + " 2>&1";
    pipe_ = ::popen(command.c_str(), "r");
    reader_ = std::thread([this] {
        if (!pipe_) return;
        std::string line;
        int c;
        while ((c = std::fgetc(pipe_)) != EOF) {
            if (c == '\n') {
                lines_.add(line);
                line.clear();
            } else {
                line.push_back(static_cast<char>(c));
            }
        }
        if (!line.empty()) lines_.add(line);
    });
}

PeerListener::~PeerListener() {
    if (reader_.joinable()) reader_.join();
    if (pipe_) ::pclose(pipe_);
}

bool PeerListener::waitUntilSubscribed() {
    return lines_.waitFor([](const std::vector<std::string>& lines) {
        return std::any_of(lines.begin(), lines.end(),
                           [](const std::string& l) { return l.find("peer: subscribed") != std::string::npos; });
    });
}

}  // namespace vantrel::test
