#include "support/BenchBackend.hpp"

#include "vantrel/backend/Parse.hpp"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace vantrel_bench {

namespace {

const std::filesystem::path kRepository = std::filesystem::path(__FILE__).parent_path().parent_path().parent_path();

std::string quote(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace

std::filesystem::path stateDirectory() {
    const char* state = std::getenv("VANTREL_BACKEND_STATE");
    return state && *state ? std::filesystem::path(state) : std::filesystem::path("/var/tmp/vantrel-backend");
}

std::optional<Backend> loadBackend() {
    std::ifstream in(stateDirectory() / "backend.env");
    if (!in) return std::nullopt;
    Backend backend;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("export ", 0) == 0) line.erase(0, 7);
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        const auto name = line.substr(0, eq);
        const auto value = line.substr(eq + 1);
        if (name == "VANTREL_SERVER") backend.server = value;
        if (name == "VANTREL_APP_ID") backend.applicationId = value;
        if (name == "VANTREL_CLIENT_KEY") backend.clientKey = value;
        if (name == "VANTREL_MASTER_KEY") backend.masterKey = value;
        if (name == "VANTREL_CA_FILE") backend.caFile = value;
    }
    if (backend.server.empty()) return std::nullopt;
    return backend;
}

// Runs a Node tool of the repository with backend.env's variables; its stdout, or none.
std::optional<std::string> runNode(const std::vector<std::string>& arguments, const std::string& input) {
    const auto inputFile =
        std::filesystem::temp_directory_path() / ("vantrel-bench-" + std::to_string(::getpid()) + ".in");
    {
        std::ofstream out(inputFile);
        out << input;
    }
    std::string command = ". " + quote((stateDirectory() / "backend.env").string()) + " && cd " +
                          quote(kRepository.string()) + " && node";
    for (const auto& argument : arguments) command += " " + quote(argument);
    command += " < " + quote(inputFile.string());
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return std::nullopt;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    const int status = ::pclose(pipe);
    std::filesystem::remove(inputFile);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return out;
}

void configure(const Backend& backend) {
    vantrel::ParseClientConfiguration configuration;
    configuration.server = "https://" + backend.server;
    configuration.applicationId = backend.applicationId;
    configuration.clientKey = backend.clientKey;
    configuration.trustedCertificatesFile = backend.caFile;
    configuration.persistenceDirectory = (std::filesystem::temp_directory_path() / "vantrel-bench-session").string();
    vantrel::Parse::initialize(configuration);
}

namespace {
std::int64_t statusBytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0) return std::stoll(line.substr(prefix.size())) * 1024;
    return 0;
}
}  // namespace

std::int64_t peakResidentBytes() { return statusBytes("VmHWM"); }

std::int64_t restartResidentPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
    return statusBytes("VmRSS");
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto index =
        static_cast<std::size_t>(std::max(0.0, std::ceil(p / 100.0 * static_cast<double>(values.size())) - 1));
    return values[std::min(index, values.size() - 1)];
}

}  // namespace vantrel_bench
