#include "vantrel/backend/ParseUser.hpp"

#include "backend/CurrentUserStore.hpp"
#include "backend/RestClient.hpp"
#include "vantrel/backend/Parse.hpp"
#include "vantrel/backend/ParseError.hpp"

#include <condition_variable>
#include <mutex>

namespace vantrel {

using backend_detail::performRequestWithSession;
using nlohmann::json;

namespace {

// Turns a login or "me" answer into the registered user class and makes it current.
std::pair<std::shared_ptr<ParseUser>, OptionalError> adoptUser(const json& result,
                                                               const std::optional<std::string>& token) {
    auto user = std::dynamic_pointer_cast<ParseUser>(ParseObject::fromJSON(result, ParseUser::parseClassName()));
    if (!user) return {nullptr, makeParseError(ParseErrorCode::invalidJSON, "The server's answer holds no user.")};
    if (token && !user->sessionToken()) CurrentUserStore::setSessionToken(*user, token);
    if (!user->sessionToken())
        return {nullptr, makeParseError(ParseErrorCode::invalidSessionToken, "The server's answer holds no session.")};
    CurrentUserStore::set(user);
    return {user, std::nullopt};
}

}  // namespace

ParseUser::ParseUser() : ParseObject(parseClassName()) {}

bool ParseUser::consumeServerField(const std::string& key, const ParseValue& value) {
    if (key == "sessionToken") {
        if (const auto* token = value.stringValue()) sessionToken_ = *token;
        return true;
    }
    // The password is write-only; never keep it (nor write it to the session file).
    return key == "password";
}

void ParseUser::didSave() {
    // The password is write-only: once sent it is not kept, nor written to the session file.
    forgetValue("password");
    CurrentUserStore::saveIfCurrent(*this);
}

std::optional<std::string> ParseUser::sessionToken() const {
    std::lock_guard lock(mutex_);
    return sessionToken_;
}

bool ParseUser::isAuthenticated() const {
    if (!sessionToken()) return false;
    auto current = CurrentUserStore::get();
    if (!current) return false;
    if (current.get() == this) return true;
    const auto id = objectId();
    return id && id == current->objectId();
}

std::shared_ptr<ParseUser> ParseUser::currentUser() { return CurrentUserStore::get(); }

void ParseUser::logInWithUsernameInBackground(const std::string& username, const std::string& password,
                                              ParseUserResultBlock block) {
    const json body = {{"username", username}, {"password", password}};
    performRequestWithSession("POST", "login", body, std::nullopt,
                              [block = std::move(block)](json result, OptionalError error) {
                                  if (error) {
                                      if (block) block(nullptr, std::move(error));
                                      return;
                                  }
                                  auto [user, failure] = adoptUser(result, std::nullopt);
                                  if (block) block(std::move(user), std::move(failure));
                              });
}

void ParseUser::becomeInBackground(const std::string& sessionToken, ParseUserResultBlock block) {
    performRequestWithSession("GET", "users/me", std::nullopt, sessionToken,
                              [token = sessionToken, block = std::move(block)](json result, OptionalError error) {
                                  if (error) {
                                      if (block) block(nullptr, std::move(error));
                                      return;
                                  }
                                  auto [user, failure] = adoptUser(result, token);
                                  if (block) block(std::move(user), std::move(failure));
                              });
}

std::shared_ptr<ParseUser> ParseUser::become(const std::string& sessionToken, OptionalError* error) {
    struct Outcome {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        std::shared_ptr<ParseUser> user;
        OptionalError error;
    };
    auto outcome = std::make_shared<Outcome>();
    becomeInBackground(sessionToken, [outcome](std::shared_ptr<ParseUser> user, OptionalError failure) {
        std::lock_guard lock(outcome->mutex);
        outcome->user = std::move(user);
        outcome->error = std::move(failure);
        outcome->finished = true;
        outcome->done.notify_all();
    });
    // The request is bounded by its own timeout; the margin only guards against a lost answer.
    const auto limit =
        Parse::configuration().requestTimeout + Parse::configuration().connectTimeout + std::chrono::seconds(5);
    std::unique_lock lock(outcome->mutex);
    if (!outcome->done.wait_for(lock, limit, [&] { return outcome->finished; })) {
        if (error) *error = makeParseError(ParseErrorCode::timeout, "No answer to the session check in time.");
        return nullptr;
    }
    if (error) *error = outcome->error;
    return outcome->user;
}

void ParseUser::logOut() {
    auto user = CurrentUserStore::get();
    CurrentUserStore::set(nullptr);
    if (!user) return;
    if (auto token = user->sessionToken()) {
        // Revoking is best effort: the user is signed out here whatever the server says.
        performRequestWithSession("POST", "logout", json::object(), token, [](const json&, const OptionalError&) {});
    }
}

void ParseUser::signUpInBackground(ParseBooleanResultBlock block) {
    auto self = std::static_pointer_cast<ParseUser>(weak_from_this().lock());
    saveInBackground([self, block = std::move(block)](bool succeeded, OptionalError error) {
        if (succeeded && self && self->sessionToken()) CurrentUserStore::set(self);
        if (block) block(succeeded, std::move(error));
    });
}

}  // namespace vantrel
