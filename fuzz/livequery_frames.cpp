// Text frames from a LiveQuery server, and server URLs.

#include <string_view>

#include "backend/LiveQueryProtocol.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto message = vantrel::backend_detail::parseServerMessage(text)) {
        (void)vantrel::backend_detail::eventOf(message->op);
        (void)message->object.dump();
    }
    (void)vantrel::backend_detail::parseWebSocketUrl(text);
    return 0;
}
