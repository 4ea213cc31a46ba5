// A host that leaves as soon as it has signed in, run over and over by the integration suite: the
// library must end cleanly whatever its threads are doing at that moment (the sign-in's follow-up
// checks, the live subscriptions starting).
//
//   vantrel_exit_after_sign_in MODE EMAIL PASSWORD VERSION
//     MODE asked     returns from main right after asking to sign in
//          answered  returns from main as soon as the sign-in block ran (exit 2 when refused)
//          explicit  as answered, with VantrelSDK::shutdown() first
//
// The resource bundle comes from VANTREL_RESOURCES; the session is stored under HOME.

#include "vantrel/core/VantrelSDK.hpp"
#include "vantrel/services/AuthService.hpp"

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s asked|answered|explicit EMAIL PASSWORD VERSION\n", argv[0]);
        return 64;
    }
    const std::string mode = argv[1];
    vantrel::VantrelSDK::initialize({});
    vantrel::VantrelSDK::setVersionName(std::string(argv[4]));

    // The sign-in block may run after main returned (during the shutdown at exit), so what it
    // touches lives on the heap for good rather than on main's stack.
    struct Answer {
        std::mutex mutex;
        std::condition_variable answered;
        bool done = false, signedIn = false;
    };
    auto* answer = new Answer();
    vantrel::AuthService::sharedInstance().signIn(
        std::nullopt, std::nullopt, std::string(argv[2]), std::string(argv[3]),
        [answer](std::shared_ptr<vantrel::UserEntity> user, vantrel::OptionalError) {
            std::lock_guard lock(answer->mutex);
            answer->done = true;
            answer->signedIn = user != nullptr;
            answer->answered.notify_all();
        });
    if (mode == "asked") return 0;
    bool signedIn = false;
    {
        std::unique_lock lock(answer->mutex);
        if (!answer->answered.wait_for(lock, std::chrono::seconds(60), [&] { return answer->done; })) return 3;
        signedIn = answer->signedIn;
    }
    if (!signedIn) return 2;
    if (mode == "explicit") vantrel::VantrelSDK::shutdown();
    return 0;
}
