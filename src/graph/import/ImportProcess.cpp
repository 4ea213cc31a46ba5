#include "graph/import/ImportProcess.hpp"

#include "vantrel/graph/SCNSceneSource.hpp"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <vector>

extern char** environ;

namespace vantrel::detail {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kHelperName = "vantrel_import_helper";
constexpr std::chrono::milliseconds kTick{20};
/// What is kept of the helper's standard error for the error message.
constexpr std::size_t kMaxErrorText = 2048;

Error importError(SCNSceneSourceError code, std::string message) {
    return Error(SCNSceneSource::errorDomain, static_cast<long>(code), std::move(message));
}

/// A file descriptor closed when it goes.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { reset(); }
    [[nodiscard]] int get() const noexcept { return fd_; }
    [[nodiscard]] bool open() const noexcept { return fd_ >= 0; }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

/// Both ends close on exec, so a helper started at the same time from another thread never holds
/// this helper's pipe open.
bool makePipe(Descriptor& read, Descriptor& write) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    read = Descriptor(fds[0]);
    write = Descriptor(fds[1]);
    return true;
}

/// The started helper: killed (if still running) and reaped when it goes, so no path through
/// `runImportHelper` leaves a zombie or a stray process behind.
class Child {
public:
    explicit Child(pid_t pid) : pid_(pid) {}
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() {
        if (pid_ > 0) {
            kill();
            reap();
        }
    }
    void kill() {
        if (pid_ > 0 && !reaped_) ::kill(pid_, SIGKILL);
    }
    /// Waits for the helper to end; false when someone else reaped it (the host ignores SIGCHLD).
    bool reap() {
        if (reaped_) return true;
        for (;;) {
            const pid_t done = ::wait4(pid_, &status_, 0, &usage_);
            if (done == pid_) break;
            if (done < 0 && errno == EINTR) continue;
            reaped_ = true;
            known_ = false;
            return false;
        }
        reaped_ = true;
        return true;
    }
    /// Whether the helper has ended, without waiting.
    bool ended() {
        if (reaped_) return true;
        const pid_t done = ::wait4(pid_, &status_, WNOHANG, &usage_);
        if (done == pid_ || (done < 0 && errno != EINTR)) {
            reaped_ = true;
            known_ = done == pid_;
        }
        return reaped_;
    }
    [[nodiscard]] bool statusKnown() const noexcept { return known_; }
    [[nodiscard]] int status() const noexcept { return status_; }
    [[nodiscard]] double cpuSeconds() const noexcept {
        return static_cast<double>(usage_.ru_utime.tv_sec + usage_.ru_stime.tv_sec) +
               static_cast<double>(usage_.ru_utime.tv_usec + usage_.ru_stime.tv_usec) / 1e6;
    }

private:
    pid_t pid_;
    bool reaped_ = false;
    bool known_ = true;
    int status_ = 0;
    rusage usage_{};
};

/// Cuts the helper's byte stream into frames, within the request's budget: a frame is taken in
/// only as its bytes arrive, and a length beyond the budget ends the run before anything is held
/// for it.
class FrameParser {
public:
    explicit FrameParser(std::uint64_t budget) : budget_(budget) {}

    /// Appends `bytes` and hands every complete frame to `onFrame`; an error ends the parse.
    std::optional<Error> feed(std::span<const std::uint8_t> bytes,
                              const std::function<std::optional<Error>(const ImportFrame&)>& onFrame) {
        received_ += bytes.size();
        if (received_ > budget_ + wire::kHeaderSize)
            return importError(SCNSceneSourceError::importerOutOfMemory,
                               "the importer's answer is larger than " + std::to_string(budget_) + " bytes");
        pending_.insert(pending_.end(), bytes.begin(), bytes.end());
        std::size_t offset = 0;
        std::optional<Error> error;
        while (!error) {
            const std::size_t available = pending_.size() - offset;
            if (!headerRead_) {
                if (available < wire::kHeaderSize) break;
                std::uint32_t version = 0;
                std::memcpy(&version, pending_.data() + offset + 4, 4);
                if (std::memcmp(pending_.data() + offset, wire::kMagic, 4) != 0 || version != wire::kVersion) {
                    error = importError(SCNSceneSourceError::importerFailed,
                                        "the importer answered in a form this library does not read");
                    break;
                }
                headerRead_ = true;
                offset += wire::kHeaderSize;
                continue;
            }
            if (ended_ && available > 0) {
                error = importError(SCNSceneSourceError::importerFailed, "the importer went on after its answer");
                break;
            }
            if (available < wire::kFrameHeadSize) break;
            std::uint32_t length = 0;
            std::memcpy(&length, pending_.data() + offset + 1, 4);
            if (length > budget_) {
                error = importError(SCNSceneSourceError::importerOutOfMemory,
                                    "the importer's answer is larger than " + std::to_string(budget_) + " bytes");
                break;
            }
            if (available < wire::kFrameHeadSize + length) break;
            const auto type = static_cast<wire::Frame>(pending_[offset]);
            ImportFrame frame{type, std::span<const std::uint8_t>(pending_.data() + offset + wire::kFrameHeadSize,
                                                                  length)};
            offset += wire::kFrameHeadSize + length;
            if (type == wire::Frame::end || type == wire::Frame::failure) ended_ = true;
            complete_ = type == wire::Frame::end;
            error = onFrame(frame);
        }
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(offset));
        return error;
    }

    /// True once the answer's `end` frame came, and nothing after it.
    [[nodiscard]] bool complete() const noexcept { return complete_ && !cutShort(); }
    /// True once the answer's `failure` frame came, and nothing after it.
    [[nodiscard]] bool refused() const noexcept { return ended_ && !complete_ && !cutShort(); }
    /// True when bytes wait that make no whole frame.
    [[nodiscard]] bool cutShort() const noexcept { return !pending_.empty() || !headerRead_; }

private:
    std::uint64_t budget_;
    std::uint64_t received_ = 0;
    std::vector<std::uint8_t> pending_;
    bool headerRead_ = false;
    bool ended_ = false;
    bool complete_ = false;
};

/// The directory of the file this code was loaded from (the shared library, or the program that
/// linked it statically).
std::filesystem::path libraryDirectory() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&libraryDirectory), &info) == 0 || info.dli_fname == nullptr) return {};
    std::error_code ec;
    auto file = std::filesystem::canonical(info.dli_fname, ec);
    return ec ? std::filesystem::path() : file.parent_path();
}

bool isExecutable(const std::filesystem::path& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec) && ::access(path.c_str(), X_OK) == 0;
}

std::string signalName(int signal) {
    const char* name = ::sigabbrev_np(signal);
    return name ? std::string("SIG") + name : "signal " + std::to_string(signal);
}

/// The error for a helper that ended without a complete answer.
Error abnormalEnd(const Child& child, const ImportRequest& request, const std::string& errorText) {
    const std::string said = errorText.empty() ? "" : " (it said: " + errorText + ")";
    if (!child.statusKnown())
        return importError(SCNSceneSourceError::importerFailed, "the importer ended without a complete answer");
    const int status = child.status();
    if (WIFEXITED(status)) {
        const int code = WEXITSTATUS(status);
        if (code == static_cast<int>(wire::Exit::outOfMemory))
            return importError(SCNSceneSourceError::importerOutOfMemory,
                               "the importer needed more than its " +
                                   std::to_string(request.limits.memoryBytes >> 20) + " MiB of memory");
        return importError(SCNSceneSourceError::importerFailed,
                           "the importer exited with status " + std::to_string(code) + said);
    }
    const int signal = WTERMSIG(status);
    // SIGXCPU comes at the soft processor limit, SIGKILL a second after it at the hard one.
    const double limit = static_cast<double>(request.limits.cpuTime.count());
    if (signal == SIGXCPU || (signal == SIGKILL && child.cpuSeconds() >= limit))
        return importError(SCNSceneSourceError::importerTimedOut,
                           "the importer used up its " + std::to_string(request.limits.cpuTime.count()) +
                               " s of processor time");
    return importError(SCNSceneSourceError::importerFailed, "the importer crashed with " + signalName(signal) + said);
}

/// Reads what is there on `fd` into `chunk`; 0 at the end of the stream, -1 when nothing was ready.
ssize_t readSome(int fd, std::array<std::uint8_t, 65536>& chunk) {
    for (;;) {
        const ssize_t got = ::read(fd, chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return -1;
        return got < 0 ? 0 : got;
    }
}

}  // namespace

std::optional<std::filesystem::path> importHelperPath() {
    if (const char* env = std::getenv("VANTREL_IMPORT_HELPER"); env != nullptr && *env != '\0') {
        if (isExecutable(env)) return std::filesystem::path(env);
        return std::nullopt;  // the environment said where; another helper would hide its mistake
    }
    const auto library = libraryDirectory();
    if (library.empty()) return std::nullopt;
    // Installed: in the library's own folder of executables; built: beside the library, at the top
    // of the build tree, where programs that link the library's objects themselves (tests,
    // benchmarks) find it too.
    std::vector<std::filesystem::path> candidates{
        (library / VANTREL_IMPORT_HELPER_FROM_LIBRARY / kHelperName).lexically_normal(), library / kHelperName};
    const std::filesystem::path buildTree(VANTREL_BUILD_DIR);
    if (const auto relative = library.lexically_relative(buildTree); !relative.empty() && *relative.begin() != "..")
        candidates.push_back(buildTree / kHelperName);
    for (const auto& candidate : candidates) {
        if (isExecutable(candidate)) return candidate;
    }
    return std::nullopt;
}

std::optional<Error> readImportAnswer(std::span<const std::uint8_t> answer, std::uint64_t budget,
                                      const std::function<std::optional<Error>(const ImportFrame&)>& onFrame) {
    FrameParser parser(budget);
    if (auto error = parser.feed(answer, onFrame)) return error;
    if (parser.complete()) return std::nullopt;
    return importError(parser.refused() ? SCNSceneSourceError::invalidScene : SCNSceneSourceError::importerFailed,
                       "the importer's answer is incomplete");
}

std::optional<Error> runImportHelper(const ImportRequest& request,
                                     const std::function<std::optional<Error>(const ImportFrame&)>& onFrame,
                                     const std::function<bool()>& shouldStop) {
    const auto start = Clock::now();
    const auto deadline = start + request.limits.wallTime;
    auto helper = request.helper;
    if (helper.empty()) {
        auto found = importHelperPath();
        if (!found)
            return importError(SCNSceneSourceError::importerFailed,
                               std::string("the import helper program '") + kHelperName + "' is not installed");
        helper = *found;
    }

    Descriptor outRead, outWrite, errRead, errWrite;
    if (!makePipe(outRead, outWrite) || !makePipe(errRead, errWrite))
        return importError(SCNSceneSourceError::importerFailed,
                           std::string("no pipe for the importer: ") + std::strerror(errno));
    for (const auto& fd : {outRead.get(), errRead.get()}) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);

    char scale[64];
    const auto [scaleEnd, scaleError] = std::to_chars(scale, scale + sizeof(scale), request.unitScale);
    std::vector<std::string> args{helper.string(),
                                  "--memory=" + std::to_string(request.limits.memoryBytes),
                                  "--cpu=" + std::to_string(std::max<long long>(1, request.limits.cpuTime.count())),
                                  "--scale=" + (scaleError == std::errc() ? std::string(scale, scaleEnd) : "1"),
                                  "--format=" + request.format,
                                  "--",
                                  request.file.string()};
    if (request.format.empty()) args.erase(args.begin() + 4);
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    // The helper gets /dev/null as input, the two pipes as output and error, and no other
    // descriptor of the host; its signals start with their defaults and none blocked, whatever
    // the host ignores or blocks.
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawnattr_init(&attributes);
    ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_adddup2(&actions, outWrite.get(), STDOUT_FILENO);
    ::posix_spawn_file_actions_adddup2(&actions, errWrite.get(), STDERR_FILENO);
    ::posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    ::posix_spawnattr_setsigmask(&attributes, &none);
    ::posix_spawnattr_setsigdefault(&attributes, &all);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, helper.c_str(), &actions, &attributes, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    ::posix_spawnattr_destroy(&attributes);
    if (spawned != 0)
        return importError(SCNSceneSourceError::importerFailed,
                           "unable to start the importer '" + helper.string() + "': " + std::strerror(spawned));
    Child child(pid);
    outWrite.reset();
    errWrite.reset();

    FrameParser parser(request.limits.answerBytes);
    std::string errorText;
    std::array<std::uint8_t, 65536> chunk{};
    const auto stop = [&](Error error) {
        child.kill();
        child.reap();
        return error;
    };
    auto lastAsked = Clock::now();
    while (outRead.open() || errRead.open()) {
        const auto now = Clock::now();
        if (now >= deadline)
            return stop(importError(SCNSceneSourceError::importerTimedOut,
                                    "the importer did not finish within " +
                                        std::to_string(request.limits.wallTime.count()) + " ms"));
        if (now - lastAsked >= kTick) {
            lastAsked = now;
            if (shouldStop && shouldStop())
                return stop(importError(SCNSceneSourceError::cancelled,
                                        "Loading of '" + request.file.string() + "' was stopped"));
        }
        std::array<pollfd, 2> fds{pollfd{outRead.get(), POLLIN, 0}, pollfd{errRead.get(), POLLIN, 0}};
        const auto wait = std::min<Clock::duration>(kTick, deadline - now);
        const int ready =
            ::poll(fds.data(), fds.size(),
                   static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count()));
        if (ready < 0 && errno != EINTR)
            return stop(importError(SCNSceneSourceError::importerFailed,
                                    std::string("waiting for the importer failed: ") + std::strerror(errno)));
        if (ready <= 0) continue;
        if (fds[1].revents != 0) {
            const ssize_t got = readSome(errRead.get(), chunk);
            if (got == 0) errRead.reset();
            if (got > 0 && errorText.size() < kMaxErrorText)
                errorText.append(reinterpret_cast<const char*>(chunk.data()),
                                 std::min<std::size_t>(static_cast<std::size_t>(got), kMaxErrorText - errorText.size()));
        }
        if (fds[0].revents != 0) {
            const ssize_t got = readSome(outRead.get(), chunk);
            if (got == 0) outRead.reset();
            if (got > 0) {
                if (auto error = parser.feed(std::span(chunk.data(), static_cast<std::size_t>(got)), onFrame))
                    return stop(std::move(*error));
            }
        }
    }
    // Both pipes are closed: the helper has ended or is ending. It is given until the deadline.
    while (!child.ended()) {
        if (Clock::now() >= deadline)
            return stop(importError(SCNSceneSourceError::importerTimedOut, "the importer did not exit"));
        ::poll(nullptr, 0, 2);
    }
    while (!errorText.empty() && std::isspace(static_cast<unsigned char>(errorText.back()))) errorText.pop_back();
    const bool exitedCleanly = !child.statusKnown() || (WIFEXITED(child.status()) && WEXITSTATUS(child.status()) ==
                                                                                          static_cast<int>(wire::Exit::ok));
    if (parser.complete() && exitedCleanly) return std::nullopt;
    // A refusal was handed to `onFrame` as its frame; the helper's own status says the rest.
    if (parser.refused() && child.statusKnown() && WIFEXITED(child.status()) &&
        WEXITSTATUS(child.status()) == static_cast<int>(wire::Exit::refused))
        return importError(SCNSceneSourceError::invalidScene, "the importer refused the file");
    return abnormalEnd(child, request, errorText);
}

}  // namespace vantrel::detail
