#include "vantrel/backend/Parse.hpp"

#include "backend/CurrentUserStore.hpp"
#include "backend/RestClient.hpp"
#include "vantrel/backend/ParseRole.hpp"
#include "vantrel/backend/ParseUser.hpp"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace vantrel {

namespace {

struct ConfigurationState {
    std::mutex mutex;
    std::shared_ptr<const ParseClientConfiguration> current = std::make_shared<const ParseClientConfiguration>();
    // Earlier configurations stay alive: callers may hold references from `configuration()`.
    std::vector<std::shared_ptr<const ParseClientConfiguration>> retired;
    std::atomic<bool> initialized{false};
};

ConfigurationState& configurationState() {
    static auto* state = new ConfigurationState();  // never destroyed: read by requests until exit's stops
    return *state;
}

std::atomic<int> currentLogLevel{1};

}  // namespace

void Parse::initialize(const ParseClientConfiguration& configuration) {
    auto& state = configurationState();
    {
        std::lock_guard lock(state.mutex);
        state.retired.push_back(state.current);
        state.current = std::make_shared<const ParseClientConfiguration>(configuration);
        state.initialized = true;
    }
    backend_detail::installRestClient(std::make_shared<backend_detail::RestClient>(configuration));
    // As after a restart: the current user comes back from its file on next use.
    CurrentUserStore::reset();
}

bool Parse::isInitialized() { return configurationState().initialized.load(); }

const ParseClientConfiguration& Parse::configuration() {
    auto& state = configurationState();
    std::lock_guard lock(state.mutex);
    return *state.current;
}

void Parse::setLogLevel(int level) { currentLogLevel = level; }
int Parse::logLevel() { return currentLogLevel.load(); }

}  // namespace vantrel
