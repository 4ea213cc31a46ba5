#include "vantrel/core/Error.hpp"
#include "vantrel/core/ResourceBundle.hpp"
#include "vantrel/core/Strings.hpp"

#include <gtest/gtest.h>

using vantrel::Error;
using vantrel::Strings;
using vantrel::TextError;

TEST(ErrorDescription, ShowsCodeAndPrefersUserInfoErrorText) {
    EXPECT_EQ(Error("Parse", 101, "Object not found.").description(), "[101] Object not found.");
    Error withInfo("Parse", 209, "generic", {{"error", "Invalid session token"}});
    EXPECT_EQ(withInfo.description(), "[209] Invalid session token");
    // A non-text "error" entry does not replace the message.
    Error numericInfo("Parse", 1, "message", {{"error", 42}});
    EXPECT_EQ(numericInfo.description(), "[1] message");
    // Code -1 shows the message alone.
    EXPECT_EQ(Error("X", -1, "plain").description(), "plain");
}

TEST(TextError, UsesTheKeyWhenTheTableHasNoText) {
    TextError error("someService_error_that_is_not_in_the_table");
    EXPECT_EQ(error.message, "someService_error_that_is_not_in_the_table");
    EXPECT_EQ(error.messageKey(), "someService_error_that_is_not_in_the_table");
    EXPECT_EQ(error.code, -1);
    EXPECT_EQ(error.description(), error.message);
}

TEST(TextError, TakesTheTextOfTheBundleTable) {
    TextError error("common_internal_error");
    EXPECT_NE(error.message, "common_internal_error");
    EXPECT_FALSE(error.message.empty());
}

TEST(StringsFormat, ReplacesConversionsInOrderAndByPosition) {
    EXPECT_EQ(Strings::format("Status %d for %@", {"404", "file.zip"}), "Status 404 for file.zip");
    EXPECT_EQ(Strings::format("%2$@ then %1$@", {"a", "b"}), "b then a");
    EXPECT_EQ(Strings::format("100%% of %ld", {"7"}), "100% of 7");
    // Missing arguments leave nothing behind; unknown conversions stay as written.
    EXPECT_EQ(Strings::format("[%@][%@]", {"x"}), "[x][]");
    EXPECT_EQ(Strings::format("50%x", {}), "50%x");
    EXPECT_EQ(Strings::format("trailing %", {}), "trailing %");
}
