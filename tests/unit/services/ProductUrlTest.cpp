// Appending a company's extra parameters to a product link.

#include "services/ProductUrl.hpp"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

using services_detail::appendExtraParameters;

TEST(ProductUrlTest, ParametersSeparatedByQuestionMarksFollowTheLinksOwnItemsInOrder) {
    EXPECT_EQ(appendExtraParameters("https://shop.test/p?id=1", "?a=1?b=2"), "https://shop.test/p?id=1&a=1&b=2");
    EXPECT_EQ(appendExtraParameters("https://shop.test/p?id=1", "a=1&b=2"), "https://shop.test/p?id=1&a=1&b=2");
    EXPECT_EQ(appendExtraParameters("https://shop.test/p", "&utm=x"), "https://shop.test/p?utm=x");
}

TEST(ProductUrlTest, BlankParametersLeaveTheLinkAlone) {
    EXPECT_EQ(appendExtraParameters("https://shop.test/p?id=1", ""), "https://shop.test/p?id=1");
    EXPECT_EQ(appendExtraParameters("https://shop.test/p?id=1", " \n\t"), "https://shop.test/p?id=1");
    EXPECT_EQ(appendExtraParameters("https://shop.test/p?id=1", "?"), "https://shop.test/p?id=1");
}

TEST(ProductUrlTest, TheFragmentStaysLastAndEscapesAreKept) {
    EXPECT_EQ(appendExtraParameters("https://shop.test/p?q=a%20b#top", "?c=%C3%A9"),
              "https://shop.test/p?q=a%20b&c=%C3%A9#top");
    EXPECT_EQ(appendExtraParameters("https://shop.test/p#top", "a=1"), "https://shop.test/p?a=1#top");
}

TEST(ProductUrlTest, ParametersThatAreNoQueryAddNothing) {
    // Blanks inside and broken escapes cannot be part of a URL: the link stays as it is.
    EXPECT_EQ(appendExtraParameters("https://shop.test/p?id=1", "a=1 b=2"), "https://shop.test/p?id=1");
    EXPECT_EQ(appendExtraParameters("https://shop.test/p?id=1", "a=%G1"), "https://shop.test/p?id=1");
    EXPECT_EQ(appendExtraParameters("https://shop.test/p?id=1", "a=%4"), "https://shop.test/p?id=1");
    EXPECT_FALSE(services_detail::isValidQuery("a=<b>"));
    EXPECT_TRUE(services_detail::isValidQuery("a=1&b=/x:y@z?"));
}

}  // namespace
}  // namespace vantrel
