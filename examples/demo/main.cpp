// The demo host: a command-line application that embeds the library the way an app would.
// For now it initializes the library from its resource bundle and waits for the start banner.

#include <vantrel/vantrel.hpp>

#include <chrono>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    bool debug = false;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--debug") == 0) debug = true;

    vantrel::Paths::setHostApplicationName("VantrelDemo");
    vantrel::VantrelSDK::initialize({
        {vantrel::SdkInitializeOption::variant, vantrel::SdkVariant::B2B},
        {vantrel::SdkInitializeOption::debugLogging, debug},
    });

    // Initialization finishes on the library's lifecycle queue; the host keeps its loop running.
    const bool ready = vantrel::MainRunLoop::runUntil([] { return vantrel::VantrelSDK::isInitialized(); },
                                                      std::chrono::seconds(10));
    if (!ready) {
        std::fprintf(stderr, "demo: the library did not finish initializing\n");
        return 1;
    }
    std::printf("demo: VantrelSDK %s initialized against %s\n", vantrel::VantrelSDK::version().c_str(),
                vantrel::VantrelSDK::serverUrl().c_str());
    return 0;
}
