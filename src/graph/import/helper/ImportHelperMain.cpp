// The import helper: a small program the library starts for every OBJ, Collada (and, for now,
// glTF) file, so that whatever Assimp does with a hostile file (a crash, an endless loop, a
// runaway allocation) ends this process and not the host's.
//
//   vantrel_import_helper --memory=BYTES --cpu=SECONDS [--format=EXT] [--scale=FACTOR] -- FILE
//
// It takes its limits first thing, before it opens the file, then writes the import stream
// (ImportWire.hpp) to its standard output. Exit status: see wire::Exit.

#include "graph/import/ImportWire.hpp"
#include "graph/import/helper/AssimpImport.hpp"

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <new>
#include <string_view>

namespace {

using vantrel::detail::wire::Exit;

/// Writes all of `bytes` to the standard output; a reader that went away ends the program.
void writeOut(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) std::_Exit(static_cast<int>(Exit::usage));
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

template <class T>
bool parse(std::string_view text, T& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

bool setLimit(int resource, rlim_t soft, rlim_t hard) {
    const rlimit limit{soft, hard};
    return ::setrlimit(resource, &limit) == 0;
}

// The sanitizers reserve terabytes of address space up front, so an address-space limit would
// stop a sanitized helper before it starts; there the CPU limit and the library's clock remain.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kLimitAddressSpace = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kLimitAddressSpace = false;
#else
constexpr bool kLimitAddressSpace = true;
#endif
#else
constexpr bool kLimitAddressSpace = true;
#endif

}  // namespace

int main(int argc, char** argv) {
    vantrel::detail::AssimpImportRequest request;
    std::uint64_t memory = 0;
    std::uint64_t cpu = 0;
    bool haveFile = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        bool ok = true;
        if (arg == "--" && i + 1 == argc - 1) {
            request.file = argv[++i];
            haveFile = true;
        } else if (arg.starts_with("--memory=")) {
            ok = parse(arg.substr(9), memory);
        } else if (arg.starts_with("--cpu=")) {
            ok = parse(arg.substr(6), cpu);
        } else if (arg.starts_with("--format=")) {
            request.format = arg.substr(9);
        } else if (arg.starts_with("--scale=")) {
            ok = parse(arg.substr(8), request.unitScale);
        } else {
            ok = false;
        }
        if (!ok) return static_cast<int>(Exit::usage);
    }
    // No file is read without limits: a helper started without them refuses to work.
    if (!haveFile || memory == 0 || cpu == 0) return static_cast<int>(Exit::usage);
    // The soft CPU limit sends SIGXCPU, the hard one a second later SIGKILL; no core files.
    if (!setLimit(RLIMIT_CORE, 0, 0) || !setLimit(RLIMIT_CPU, cpu, cpu + 1) ||
        (kLimitAddressSpace && !setLimit(RLIMIT_AS, memory, memory)))
        return static_cast<int>(Exit::usage);
    // An allocation the limit refuses ends the helper with its own status, so the library can tell
    // a memory bomb from a crash.
    std::set_new_handler([] { std::_Exit(static_cast<int>(Exit::outOfMemory)); });

    writeOut(vantrel::detail::wire::header());
    Exit status = Exit::usage;
    try {
        status = vantrel::detail::importWithAssimp(request, writeOut);
    } catch (const std::bad_alloc&) {
        status = Exit::outOfMemory;
    } catch (...) {
    }
    // Everything is written (unbuffered); nothing is left to tear down that the exit status could
    // depend on, such as a leak checker's report in a sanitized build.
    std::_Exit(static_cast<int>(status));
}
