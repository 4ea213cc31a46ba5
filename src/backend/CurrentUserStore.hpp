#pragma once

#include "vantrel/backend/ParseUser.hpp"

#include <filesystem>
#include <memory>

namespace vantrel {

/// Keeps the signed-in user in memory and in a 0600 file, so that it survives a restart.
/// Lives in namespace vantrel because ParseUser befriends it.
class CurrentUserStore {
public:
    /// The user in memory; on first use after `reset`, the one read from the file.
    static std::shared_ptr<ParseUser> get();
    /// Makes `user` current and writes it out (nullptr signs out and deletes the file).
    static void set(const std::shared_ptr<ParseUser>& user);
    /// Forgets the user in memory so that the next `get` reads the file again.
    static void reset();
    /// Writes the current user again (after it changed) when `user` is the current one.
    static void saveIfCurrent(const ParseUser& user);
    /// The file for the configuration in force.
    static std::filesystem::path filePath();
    /// Sets the session token of `user` (the store is the one writer besides server data).
    static void setSessionToken(ParseUser& user, std::optional<std::string> token);
};

}  // namespace vantrel
