#include "backend/CurrentUserStore.hpp"

#include "vantrel/backend/Parse.hpp"
#include "vantrel/core/Log.hpp"
#include "vantrel/core/Paths.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>

namespace vantrel {

using nlohmann::json;

namespace {

struct State {
    std::mutex mutex;
    bool loaded = false;
    std::shared_ptr<ParseUser> user;
};

State& state() {
    static State instance;
    return instance;
}

std::filesystem::path directory() {
    const auto& configured = Parse::configuration().persistenceDirectory;
    if (!configured.empty()) return configured;
    return Paths::dataDirectory() / "Parse";
}

// Written to a temporary file created 0600 and renamed over the old one, so a crash never
// leaves a half-written file and the token is never readable by others, not even briefly.
bool writePrivateFile(const std::filesystem::path& path, const std::string& contents) {
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    ::chmod(path.parent_path().c_str(), 0700);
    const auto temporary = path.string() + ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        VLOG_ERROR("Cannot write the current user to " + temporary + ": " + std::strerror(errno));
        return false;
    }
    ::fchmod(fd, 0600);
    std::size_t written = 0;
    while (written < contents.size()) {
        const auto n = ::write(fd, contents.data() + written, contents.size() - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            ::unlink(temporary.c_str());
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    ::fsync(fd);
    ::close(fd);
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

json encode(const ParseUser& user) {
    json out = {{"applicationId", Parse::configuration().applicationId},
                {"server", Parse::configuration().server},
                {"user", user.toJSON()}};
    if (auto token = user.sessionToken()) out["user"]["sessionToken"] = *token;
    return out;
}

std::shared_ptr<ParseUser> load() {
    std::ifstream in(CurrentUserStore::filePath());
    if (!in) return nullptr;
    std::stringstream buffer;
    buffer << in.rdbuf();
    const json stored = json::parse(buffer.str(), nullptr, false);
    if (!stored.is_object() || !stored.contains("user") || !stored["user"].is_object()) return nullptr;
    if (stored.value("applicationId", std::string()) != Parse::configuration().applicationId) return nullptr;
    auto object = ParseObject::fromJSON(stored["user"], ParseUser::parseClassName());
    auto user = std::dynamic_pointer_cast<ParseUser>(object);
    if (!user) VLOG_WARNING("The class registered for _User does not derive from ParseUser; the stored user is ignored.");
    return user;
}

}  // namespace

std::filesystem::path CurrentUserStore::filePath() { return directory() / "currentUser.json"; }

std::shared_ptr<ParseUser> CurrentUserStore::get() {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    if (!s.loaded) {
        s.loaded = true;
        if (Parse::isInitialized()) s.user = load();
    }
    return s.user;
}

void CurrentUserStore::set(const std::shared_ptr<ParseUser>& user) {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    s.loaded = true;
    s.user = user;
    if (!Parse::isInitialized()) return;
    std::error_code ec;
    if (user) {
        writePrivateFile(filePath(), encode(*user).dump());
    } else {
        std::filesystem::remove(filePath(), ec);
    }
}

void CurrentUserStore::reset() {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    s.loaded = false;
    s.user.reset();
}

void CurrentUserStore::saveIfCurrent(const ParseUser& user) {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    if (s.user.get() != &user || !Parse::isInitialized()) return;
    writePrivateFile(filePath(), encode(user).dump());
}

void CurrentUserStore::setSessionToken(ParseUser& user, std::optional<std::string> token) {
    std::lock_guard lock(user.mutex_);
    user.sessionToken_ = std::move(token);
}

}  // namespace vantrel
