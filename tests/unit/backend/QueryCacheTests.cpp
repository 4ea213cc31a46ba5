#include "backend/QueryCache.hpp"
#include "vantrel/core/Clock.hpp"

#include <gtest/gtest.h>

namespace vantrel::backend_detail {
namespace {

using nlohmann::json;

TEST(QueryCache, StoresAndForgets) {
    QueryCache cache(4);
    EXPECT_FALSE(cache.get("k"));
    cache.put("k", json{{"results", json::array()}});
    ASSERT_TRUE(cache.get("k"));
    EXPECT_EQ(*cache.get("k"), (json{{"results", json::array()}}));
    cache.remove("k");
    EXPECT_FALSE(cache.get("k"));
    cache.put("a", 1);
    cache.put("b", 2);
    cache.clear();
    EXPECT_EQ(cache.size(), 0u);
}

TEST(QueryCache, EvictsTheLeastRecentlyUsed) {
    QueryCache cache(2);
    cache.put("a", 1);
    cache.put("b", 2);
    ASSERT_TRUE(cache.get("a"));  // "b" is now the oldest use
    cache.put("c", 3);
    EXPECT_TRUE(cache.get("a"));
    EXPECT_FALSE(cache.get("b"));
    EXPECT_TRUE(cache.get("c"));
    cache.put("c", 4);  // replacing does not grow
    EXPECT_EQ(cache.size(), 2u);
    EXPECT_EQ(*cache.get("c"), 4);
}

TEST(QueryCache, MaxAgeIsMeasuredOnTheLibraryClock) {
    auto clock = std::make_shared<ManualClock>();
    Clock::install(clock);
    QueryCache cache;
    cache.put("k", 1);
    clock->advance(std::chrono::seconds(30));
    EXPECT_TRUE(cache.get("k", std::chrono::seconds(60)));
    clock->advance(std::chrono::seconds(31));
    EXPECT_FALSE(cache.get("k", std::chrono::seconds(60)));
    EXPECT_TRUE(cache.get("k"));  // without a limit any age will do
    Clock::install(nullptr);
}

}  // namespace
}  // namespace vantrel::backend_detail
