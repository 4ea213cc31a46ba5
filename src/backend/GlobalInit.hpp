#pragma once

#include <functional>
#include <memory>

namespace vantrel::backend_detail {

/// Initializes libcurl (and through it OpenSSL) once per process, and arranges for the exit stops
/// below to run at exit, before OpenSSL's own exit handler. Every client that owns transfer
/// threads calls it before it starts them.
void initializeTransportLibraries();

/// Ends one client's threads when the process exits while the client still lives (a host that
/// returns from main with requests under way, whether or not it shut the library down). Stops
/// run from an exit handler made right after the transport libraries, newest first, before those
/// libraries clean up; process-wide objects that the threads use until then are never destroyed.
/// Destroying the stop unregisters it, waiting while it runs on another thread.
class ExitStop {
public:
    explicit ExitStop(std::function<void()> stop);
    ~ExitStop();
    ExitStop(const ExitStop&) = delete;
    ExitStop& operator=(const ExitStop&) = delete;

    /// Runs every registered stop now (what the exit handler does); later calls do nothing.
    static void runAll();

    struct Entry;

private:
    std::shared_ptr<Entry> entry_;
};

}  // namespace vantrel::backend_detail
