#include "vantrel/graph/SCNRevision.hpp"

#include <atomic>

namespace vantrel::detail {

std::uint64_t RevisionStamp::next() noexcept {
    static std::atomic<std::uint64_t> counter{0};
    return counter.fetch_add(1, std::memory_order_relaxed) + 1;
}

}  // namespace vantrel::detail
