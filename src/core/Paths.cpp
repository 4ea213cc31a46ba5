#include "vantrel/core/Paths.hpp"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <vector>

namespace vantrel {

namespace {
std::mutex& nameMutex() {
    static std::mutex mutex;
    return mutex;
}
std::string& hostName() {
    static auto* name = new std::string();  // never destroyed: read by threads that outlive exit
    return *name;
}

std::filesystem::path home() {
    if (const char* value = std::getenv("HOME"); value != nullptr && *value != '\0') return value;
    // Without HOME (a service, a stripped environment) the account's own home directory, never a
    // directory that every user shares.
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir &&
        found->pw_dir[0] == '/')
        return found->pw_dir;
    return std::filesystem::temp_directory_path();
}

std::filesystem::path xdgDirectory(const char* variable, const char* fallbackBelowHome) {
    // An XDG variable holding a relative path is invalid and must be ignored.
    if (const char* value = std::getenv(variable); value != nullptr && *value == '/') return value;
    return home() / fallbackBelowHome;
}

std::string programName() {
    std::ifstream comm("/proc/self/comm");
    std::string name;
    std::getline(comm, name);
    return name.empty() ? std::string("vantrel-host") : name;
}
}  // namespace

std::string Paths::hostApplicationName() {
    std::lock_guard lock(nameMutex());
    if (hostName().empty()) hostName() = programName();
    return hostName();
}

void Paths::setHostApplicationName(std::string name) {
    std::lock_guard lock(nameMutex());
    hostName() = std::move(name);
}

std::filesystem::path Paths::cachesDirectory() {
    return xdgDirectory("XDG_CACHE_HOME", ".cache") / hostApplicationName();
}

std::filesystem::path Paths::dataDirectory() {
    return xdgDirectory("XDG_DATA_HOME", ".local/share") / hostApplicationName();
}

std::filesystem::path Paths::logsDirectory() { return cachesDirectory() / "Logs"; }

}  // namespace vantrel
