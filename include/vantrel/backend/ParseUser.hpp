#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/backend/ParseObject.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace vantrel {

class ParseUser;

/// Completion of logins: the signed-in user or the error.
using ParseUserResultBlock = std::function<void(std::shared_ptr<ParseUser> user, OptionalError error)>;

/// A backend user (class "_User") and the client's signed-in user.
///
/// The current user and its session token are kept in a file readable only by the user
/// (0600, under the configuration's persistence directory) so that they survive a restart of the
/// host; restoring makes the instance through the class registry (a registered user subclass
/// comes back as that subclass).
class ParseUser : public ParseObject {
public:
    /// The backend class name of users.
    static std::string parseClassName() { return "_User"; }

    /// An empty user (record subclasses derive from it).
    ParseUser();

    /// The signed-in user, none when signed out. The first call after `Parse::initialize` reads
    /// the persisted user.
    static std::shared_ptr<ParseUser> currentUser();
    /// Signs in and makes the answer the current user.
    static void logInWithUsernameInBackground(const std::string& username, const std::string& password,
                                              ParseUserResultBlock block);
    /// Makes the user of `sessionToken` the current user; blocks the caller (up to the request
    /// timeout), so never call it on the main thread. Returns none and fills `error` on failure.
    static std::shared_ptr<ParseUser> become(const std::string& sessionToken, OptionalError* error = nullptr);
    /// `become` in the background.
    static void becomeInBackground(const std::string& sessionToken, ParseUserResultBlock block);
    /// Signs out at once: forgets the current user and its file, and revokes the session on the
    /// server in the background.
    static void logOut();

    /// The session token, none when this user has not signed in here.
    [[nodiscard]] std::optional<std::string> sessionToken() const;
    /// True for the current user holding a session token.
    [[nodiscard]] bool isAuthenticated() const;

    /// The user name.
    [[nodiscard]] std::optional<std::string> username() const { return value("username").asString(); }
    /// Sets the user name.
    void setUsername(const std::string& name) { set("username", name); }
    /// Sets the password sent by the next save or sign-up (never read back).
    void setPassword(const std::string& password) { set("password", password); }
    /// The e-mail address.
    [[nodiscard]] std::optional<std::string> email() const { return value("email").asString(); }
    /// Sets the e-mail address.
    void setEmail(const std::string& email) { set("email", email); }

    /// Creates the user on the server and makes it the current user.
    void signUpInBackground(ParseBooleanResultBlock block);

protected:
    bool consumeServerField(const std::string& key, const ParseValue& value) override;
    void didSave() override;

private:
    friend class CurrentUserStore;
    std::optional<std::string> sessionToken_;
};

}  // namespace vantrel

#pragma GCC visibility pop
