// Text frames from a LiveQuery server, and server URLs.

#include <cstdlib>
#include <string_view>

#include "backend/LiveQueryProtocol.hpp"

// Subscribing (the query side of the protocol) is not what this target reads; its one link to the
// query code is cut here rather than compiling the whole backend client.
nlohmann::json vantrel::ParseQuery::liveQueryJSON() const { std::abort(); }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto message = vantrel::backend_detail::parseServerMessage(text)) {
        (void)vantrel::backend_detail::eventOf(message->op);
        (void)message->object.dump();
    }
    (void)vantrel::backend_detail::parseWebSocketUrl(text);
    return 0;
}
