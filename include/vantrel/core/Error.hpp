#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

/// The one error type of the library. Network, file and backend failures come back as values of
/// this type (never as exceptions across the API); the library's own errors are made by TextError.
struct Error {
    /// Where the error comes from, for example "Parse", "Transport", "TextError".
    std::string domain;
    /// Numeric code. Backend errors keep the server's code (101 object not found, 209 invalid session...).
    long code = 0;
    /// Human-readable text; the "localized description".
    std::string message;
    /// Additional information; an "error" text here wins over `message` in `description()`.
    nlohmann::json userInfo = nlohmann::json::object();

    Error() = default;
    Error(std::string domain, long code, std::string message, nlohmann::json userInfo = nlohmann::json::object());

    /// The localized description: the message itself.
    [[nodiscard]] const std::string& localizedDescription() const noexcept { return message; }

    /// The text log lines show: "[" code "] " message, where message is the user-information
    /// "error" text when present; the message alone when the code is -1.
    [[nodiscard]] std::string description() const;

    friend bool operator==(const Error& a, const Error& b) noexcept {
        return a.domain == b.domain && a.code == b.code && a.message == b.message;
    }
};

/// An optional error, as completion blocks deliver it.
using OptionalError = std::optional<Error>;

/// The errors the library itself creates: one text, the localized text of a message key from the
/// library's string table (the key itself when the table has none). The code is -1, so the
/// description is the text alone.
struct TextError : Error {
    /// Domain of every text error.
    static constexpr std::string_view kDomain = "TextError";
    /// The error whose text is the localized text of `messageKey`.
    explicit TextError(std::string_view messageKey);
    /// The error whose text is the localized text of `messageKey` used as a format with `arguments`.
    TextError(std::string_view messageKey, const std::vector<std::string>& arguments);

    /// The message key this error was made from (kept in the user information under "messageKey").
    [[nodiscard]] std::string messageKey() const;
};

}  // namespace vantrel

#pragma GCC visibility pop
