// Colour parsing and writing, and the text presence test.

#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "vantrel/graph/CIColor.hpp"
#include "vantrel/graph/TextPresence.hpp"
#include "vantrel/graph/UIColor.hpp"

namespace vantrel {
namespace {

TEST(UIColorFromHex, TrimsUpperCasesAndDropsOneHash) {
    const UIColor orange = UIColor::fromHexRgbString("  #ff8000\n");
    EXPECT_DOUBLE_EQ(orange.red(), 1.0);
    EXPECT_DOUBLE_EQ(orange.green(), 128.0 / 255.0);
    EXPECT_DOUBLE_EQ(orange.blue(), 0.0);
    EXPECT_DOUBLE_EQ(orange.alpha(), 1.0);
    EXPECT_EQ(UIColor::fromHexRgbString("FF8000"), orange) << "the hash is optional";
    EXPECT_EQ(UIColor::fromHexRgbString("\t\r\n#Ff8000 \u00A0"), orange) << "Unicode blanks are trimmed too";
}

TEST(UIColorFromHex, TextWithoutHexDigitsIsOpaqueBlack) {
    for (const char* text : {"", "   ", "#", "##ff8000", "zz", "-ff8000", "#xyz123"}) {
        EXPECT_EQ(UIColor::fromHexRgbString(text), UIColor(0, 0, 0, 1)) << '"' << text << '"';
    }
}

TEST(UIColorFromHex, ReadsTheLeadingDigitsAndKeepsTheLowTwentyFourBits) {
    EXPECT_EQ(UIColor::fromHexRgbString("#00ff00zz"), UIColor(0, 1, 0, 1)) << "stops at the first non-digit";
    EXPECT_EQ(UIColor::fromHexRgbString("12ff0000"), UIColor(1, 0, 0, 1)) << "digits beyond six: low 24 bits";
    EXPECT_EQ(UIColor::fromHexRgbString("fff"), UIColor(0, 15.0 / 255.0, 1, 1)) << "short text is a small number";
    EXPECT_EQ(UIColor::fromHexRgbString("0x0000ff"), UIColor(0, 0, 1, 1)) << "a scanner accepts the 0x prefix";
    // More digits than 64 bits hold: the scanner saturates, so the low 24 bits are all ones.
    EXPECT_EQ(UIColor::fromHexRgbString("123456789abcdef0123"), UIColor(1, 1, 1, 1));
}

TEST(UIColorRgbaString, RoundTripsExactly) {
    const UIColor colors[] = {UIColor(1, 0.5, 0, 1), UIColor::fromHexRgbString("#3a7bd5"), UIColor(0.1, 0.2, 0.3, 0.4),
                              UIColor::clearColor()};
    for (const UIColor& color : colors) {
        const std::string text = color.rgbaString();
        const auto back = UIColor::fromRgbaString(text);
        ASSERT_TRUE(back.has_value()) << text;
        EXPECT_EQ(*back, color) << text;
    }
    EXPECT_EQ(UIColor(1, 0.5, 0, 1).rgbaString(), "1 0.5 0 1");
}

TEST(UIColorRgbaString, AcceptsTheImageColourFormsAndRefusesOtherText) {
    EXPECT_EQ(UIColor::fromRgbaString("[0.5 0.25 1 0.5]"), UIColor(0.5, 0.25, 1, 0.5));
    EXPECT_EQ(UIColor::fromRgbaString("0.5 0.25 1"), UIColor(0.5, 0.25, 1, 1)) << "alpha defaults to 1";
    for (const char* text : {"", "1 0", "1 0 0 1 1", "red green blue", "1,0,0,1", "[1 0 0 1", "1 0 0 nan", "1 0 0x"}) {
        EXPECT_EQ(UIColor::fromRgbaString(text), std::nullopt) << '"' << text << '"';
    }
}

TEST(TextPresence, BlankAbsentAndEmptyTextsAreNotPresent) {
    EXPECT_FALSE(isNotBlank(std::optional<std::string>{}));
    EXPECT_FALSE(isNotBlank(std::optional<std::string>{""}));
    EXPECT_FALSE(isNotBlank(std::optional<std::string>{" \t\n\r "}));
    EXPECT_FALSE(isNotBlank("\u2028\u3000 "));
    EXPECT_FALSE(isNotBlank(static_cast<const char*>(nullptr)));
    EXPECT_TRUE(isNotBlank(std::optional<std::string>{" a "}));
    EXPECT_TRUE(isNotBlank(std::string("files/model.zip")));
    EXPECT_EQ(trimmingWhitespaceAndNewlines("\n  key \u00A0"), "key");
}

}  // namespace
}  // namespace vantrel
