// The demo host: a command-line application that embeds the library the way an app would and
// walks the typical road end to end against the reference backend — sign in, list the
// catalogue, load models with progress, place and dock them, re-colour parts, draw pictures, save
// the design and render its order — printing where every output is.
//
//   vantrel_demo [--out DIR] [--email E --password P] [--picture-size WxH] [--debug]

#include "Await.hpp"
#include "DemoRoad.hpp"
#include "TerminalProgress.hpp"

#include <vantrel/vantrel.hpp>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    demo::DemoOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--debug")
            options.debugLogging = true;
        else if (arg == "--out" && hasValue)
            options.outputDirectory = argv[++i];
        else if (arg == "--email" && hasValue)
            options.email = argv[++i];
        else if (arg == "--ar-session" && hasValue)
            options.arSession = argv[++i];
        else if (arg == "--password" && hasValue)
            options.password = argv[++i];
        else if (arg == "--picture-size" && hasValue &&
                 std::sscanf(argv[++i], "%dx%d", &options.pictureWidth, &options.pictureHeight) == 2 &&
                 options.pictureWidth > 0 && options.pictureHeight > 0)
            continue;
        else {
            std::fprintf(
                stderr,
                "usage: %s [--out DIR] [--email E --password P] [--picture-size WxH] [--ar-session DIR] [--debug]\n",
                argv[0]);
            return 2;
        }
    }

    vantrel::Paths::setHostApplicationName("VantrelDemo");
    vantrel::VantrelSDK::initialize({
        {vantrel::SdkInitializeOption::variant, vantrel::SdkVariant::B2B},
        {vantrel::SdkInitializeOption::debugLogging, options.debugLogging},
    });
    // Initialization finishes on the library's lifecycle queue; the host keeps its loop running.
    if (!vantrel::MainRunLoop::runUntil([] { return vantrel::VantrelSDK::isInitialized(); },
                                        std::chrono::seconds(10))) {
        std::fprintf(stderr, "demo: the library did not finish initializing\n");
        return 1;
    }
    std::printf("Vantrel SDK %s against %s\n", vantrel::VantrelSDK::version().c_str(),
                vantrel::VantrelSDK::serverUrl().c_str());

    demo::DemoRoad road(options);
    const int status = road.run();
    road.printSummary();
    return status;
}
