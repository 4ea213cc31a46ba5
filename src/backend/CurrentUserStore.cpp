#include "backend/CurrentUserStore.hpp"

#include "backend/JsonDocument.hpp"
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
    static auto* instance = new State();  // never destroyed: every request reads it, until exit's stops
    return *instance;
}

std::filesystem::path directory() {
    const auto& configured = Parse::configuration().persistenceDirectory;
    if (!configured.empty()) return configured;
    return Paths::dataDirectory() / "Parse";
}

// The directory must be ours and closed to others before a token goes in: in a shared place
// (the temporary directory, say) someone else may have made it first.
bool preparePrivateDirectory(const std::filesystem::path& directory) {
    std::error_code ec;
    std::filesystem::create_directories(directory, ec);
    struct stat info {};
    if (::lstat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
        VLOG_ERROR("Cannot keep the current user in " + directory.string() + ": not a directory of this user");
        return false;
    }
    if ((info.st_mode & 0077) != 0 && ::chmod(directory.c_str(), 0700) != 0) {
        VLOG_ERROR("Cannot keep the current user in " + directory.string() + ": " + std::strerror(errno));
        return false;
    }
    return true;
}

// Written to a temporary file of a unique name, created 0600 with O_EXCL (mkstemp: no existing
// file or link is ever opened), and renamed over the old one, so a crash never leaves a
// half-written file and the token is never readable by others, not even briefly. Failures are
// logged: the user stays signed in for this run but will not be restored.
bool writePrivateFile(const std::filesystem::path& path, const std::string& contents) {
    if (!preparePrivateDirectory(path.parent_path())) return false;
    std::string temporary = path.string() + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    const auto fail = [&](const char* what) {
        VLOG_ERROR(std::string("Cannot save the current user (") + what + "): " + std::strerror(errno));
        if (fd >= 0) ::unlink(temporary.c_str());
        return false;
    };
    if (fd < 0) return fail("create");
    std::size_t written = 0;
    while (written < contents.size()) {
        const auto n = ::write(fd, contents.data() + written, contents.size() - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int saved = errno;
            ::close(fd);
            errno = saved;
            return fail("write");
        }
        written += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return fail("sync");
    }
    if (::close(fd) != 0) return fail("close");
    if (::rename(temporary.c_str(), path.c_str()) != 0) return fail("rename");
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
    const json stored = backend_detail::parseJsonDocument(buffer.str());
    if (!stored.is_object() || !stored.contains("user") || !stored["user"].is_object()) return nullptr;
    const auto text = [&stored](const char* key) {
        const auto it = stored.find(key);
        return it != stored.end() && it->is_string() ? it->get<std::string>() : std::string();
    };
    if (text("applicationId") != Parse::configuration().applicationId) return nullptr;
    // A session belongs to the server that issued it: another server never gets its token.
    if (text("server") != Parse::configuration().server) {
        VLOG_INFO("The stored current user belongs to another server; it is not restored.");
        return nullptr;
    }
    auto object = ParseObject::fromJSON(stored["user"], ParseUser::parseClassName());
    auto user = std::dynamic_pointer_cast<ParseUser>(object);
    if (!user)
        VLOG_WARNING("The class registered for _User does not derive from ParseUser; the stored user is ignored.");
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
        if (ec) VLOG_ERROR("Cannot delete the stored current user " + filePath().string() + ": " + ec.message());
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
