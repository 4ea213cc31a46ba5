#include "support/BackendFixture.hpp"

#include "support/BackendAwait.hpp"
#include "vantrel/backend/LiveQueryClient.hpp"
#include "vantrel/backend/ParseCloud.hpp"
#include "vantrel/backend/Parse.hpp"
#include "vantrel/backend/ParseQuery.hpp"
#include "vantrel/backend/ParseUser.hpp"

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include "support/TestPaths.hpp"

namespace vantrel::test {

using nlohmann::json;

namespace {

std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

std::string trim(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text;
}

std::filesystem::path scratchDirectory() {
    auto dir = std::filesystem::temp_directory_path() / ("vantrel-it-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return dir;
}

std::string environmentPrefix() {
    const auto state = BackendEnvironment::defaultStateDirectory();
    // backend.env holds plain export lines; sourcing it gives every tool the same settings.
    return ". " + shellQuote((state / "backend.env").string()) + " && ";
}

}  // namespace

std::filesystem::path BackendEnvironment::defaultStateDirectory() {
    const char* state = std::getenv("VANTREL_BACKEND_STATE");
    return state && *state ? std::filesystem::path(state) : std::filesystem::path("/var/tmp/vantrel-backend");
}

std::optional<BackendEnvironment> BackendEnvironment::load(std::string* why) {
    const auto file = defaultStateDirectory() / "backend.env";
    std::ifstream in(file);
    if (!in) {
        if (why) *why = "no " + file.string();
        return std::nullopt;
    }
    BackendEnvironment env;
    env.stateDirectory = defaultStateDirectory();
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("export ", 0) == 0) line.erase(0, 7);
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        const auto name = line.substr(0, eq);
        auto value = line.substr(eq + 1);
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\''))
            value = value.substr(1, value.size() - 2);
        if (name == "VANTREL_SERVER") env.server = value;
        if (name == "VANTREL_SECOND_SERVER") env.secondServer = value;
        if (name == "VANTREL_APP_ID") env.applicationId = value;
        if (name == "VANTREL_CLIENT_KEY") env.clientKey = value;
        if (name == "VANTREL_MASTER_KEY") env.masterKey = value;
        if (name == "VANTREL_CA_FILE") env.caFile = value;
    }
    if (env.server.empty() || env.applicationId.empty() || env.caFile.empty()) {
        if (why) *why = file.string() + " lacks VANTREL_SERVER, VANTREL_APP_ID or VANTREL_CA_FILE";
        return std::nullopt;
    }
    return env;
}

std::string shellQuote(const std::string& argument) {
    std::string out = "'";
    for (char c : argument) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

CommandResult runCommand(const std::vector<std::string>& argv, const std::string& input) {
    static std::atomic<int> counter{0};
    const auto dir = scratchDirectory();
    const auto id = std::to_string(counter.fetch_add(1));
    const auto errFile = dir / ("cmd-" + id + ".err");
    const auto inFile = dir / ("cmd-" + id + ".in");
    std::string command = environmentPrefix() + "cd " + shellQuote(vantrel::test::sourceDirectory().string()) + " && ";
    for (const auto& arg : argv) command += shellQuote(arg) + " ";
    {
        std::ofstream out(inFile, std::ios::binary);
        out << input;
    }
    command += "< " + shellQuote(inFile.string()) + " 2> " + shellQuote(errFile.string());
    CommandResult result;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, n);
        const int status = ::pclose(pipe);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    result.err = readAll(errFile);
    std::error_code ec;
    std::filesystem::remove(errFile, ec);
    std::filesystem::remove(inFile, ec);
    return result;
}

void BackendFixture::SetUp() {
    std::string why;
    auto env = BackendEnvironment::load(&why);
    ASSERT_TRUE(env) << "The reference backend is not set up (" << why << "). Start it with: scripts/backend.sh start";
    env_ = *env;
    const auto status = runCommand({"bash", "scripts/backend.sh", "status"});
    ASSERT_EQ(status.exitCode, 0) << "The reference backend does not answer. Start it with: scripts/backend.sh start\n"
                                  << status.out << status.err;
    persistence_ = scratchDirectory() / uniqueName("session");
    reinitialize();
    ParseUser::logOut();
    ParseQuery::clearAllCachedResults();
}

void BackendFixture::TearDown() {
    ParseUser::logOut();
    ParseQuery::clearAllCachedResults();
    LiveQueryClient::setShared(nullptr);
}

ParseClientConfiguration BackendFixture::configuration(bool second) const {
    ParseClientConfiguration configuration;
    configuration.server = "https://" + (second ? env_.secondServer : env_.server);
    configuration.applicationId = env_.applicationId;
    configuration.clientKey = env_.clientKey;
    configuration.trustedCertificatesFile = env_.caFile;
    configuration.requestTimeout = std::chrono::seconds(30);
    configuration.persistenceDirectory = persistence_.string();
    return configuration;
}

void BackendFixture::reinitialize(bool second) { Parse::initialize(configuration(second)); }

std::string BackendFixture::liveQueryUrl(bool second) const {
    return "wss://" + (second ? env_.secondServer : env_.server);
}

json BackendFixture::seed(const json& fixture) {
    const auto result = runCommand({"node", "backend/tools/seed.mjs", "apply", "-"}, fixture.dump());
    EXPECT_EQ(result.exitCode, 0) << "seed failed: " << result.err << result.out;
    const json aliases = json::parse(result.out, nullptr, false);
    EXPECT_TRUE(aliases.is_object()) << "seed printed: " << result.out;
    return aliases.is_object() ? aliases : json::object();
}

std::string BackendFixture::peer(const std::vector<std::string>& arguments) {
    std::vector<std::string> argv = {"node", "backend/peer/peer.mjs"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const auto result = runCommand(argv);
    EXPECT_EQ(result.exitCode, 0) << "peer failed: " << result.err << result.out;
    return trim(result.out);
}

std::string BackendFixture::uniqueName(const std::string& prefix) {
    static std::mt19937_64 random(std::random_device{}());
    static std::atomic<int> counter{0};
    return prefix + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1)) + "-" +
           std::to_string(random() % 1000000);
}

json BackendFixture::seedCompany(const json& extraRecords) {
    const auto tag = uniqueName("co");
    json records = json::array({
        {{"alias", "company"}, {"className", "Company"}, {"fields", {{"name", "Company " + tag}}}},
        {{"alias", "catalog"},
         {"className", "Catalog"},
         {"fields", {{"company", {{"$ref", "company"}}}, {"name", "Catalog " + tag}}}},
        {{"alias", "manager"},
         {"className", "_User"},
         {"username", "manager-" + tag + "@test.invalid"},
         {"password", "manager-pass-1"},
         {"email", "manager-" + tag + "@test.invalid"},
         {"roles", {"ROLE_COMPANY_MANAGER"}},
         {"login", true},
         {"fields", {{"fullName", "Manager"}, {"company", {{"$ref", "company"}}}}}},
        {{"alias", "employee"},
         {"className", "_User"},
         {"username", "employee-" + tag + "@test.invalid"},
         {"password", "employee-pass-1"},
         {"email", "employee-" + tag + "@test.invalid"},
         {"roles", {"ROLE_COMPANY_EMPLOYEE"}},
         {"login", true},
         {"fields", {{"fullName", "Employee"}, {"company", {{"$ref", "company"}}}}}},
    });
    for (const auto& record : extraRecords) records.push_back(record);
    return seed({{"description", "backend client test " + tag}, {"records", records}});
}

void BackendFixture::logIn(const std::string& username, const std::string& password) {
    Await<OptionalError> done;
    ParseUser::logInWithUsernameInBackground(
        username, password, [done](std::shared_ptr<ParseUser>, OptionalError error) { done.set(std::move(error)); });
    const auto result = done.get();
    ASSERT_TRUE(result) << "login did not complete";
    ASSERT_FALSE(*result) << "login failed: " << (*result)->description();
}

namespace {
template <class T>
T awaited(const Await<T>& done, const char* what) {
    auto value = done.get();
    if (!value) ADD_FAILURE() << what << " did not complete in time";
    return value.value_or(T{});
}
}  // namespace

BackendFixture::Objects BackendFixture::find(const ParseQuery& query) {
    Await<Objects> done;
    query.findInBackground([done](auto objects, auto error) { done.set({std::move(objects), std::move(error)}); });
    return awaited(done, "find");
}

std::pair<int, OptionalError> BackendFixture::count(const ParseQuery& query) {
    Await<std::pair<int, OptionalError>> done;
    query.countInBackground([done](int n, OptionalError error) { done.set({n, std::move(error)}); });
    return awaited(done, "count");
}

BackendFixture::One BackendFixture::first(const ParseQuery& query) {
    Await<One> done;
    query.getFirstInBackground([done](auto object, auto error) { done.set({std::move(object), std::move(error)}); });
    return awaited(done, "getFirst");
}

BackendFixture::One BackendFixture::get(const ParseQuery& query, const std::string& objectId) {
    Await<One> done;
    query.getObjectInBackground(objectId, [done](auto object, auto error) {
        done.set({std::move(object), std::move(error)});
    });
    return awaited(done, "getObject");
}

std::pair<bool, OptionalError> BackendFixture::save(const std::shared_ptr<ParseObject>& object) {
    Await<std::pair<bool, OptionalError>> done;
    object->saveInBackground([done](bool ok, OptionalError error) { done.set({ok, std::move(error)}); });
    return awaited(done, "save");
}

std::pair<bool, OptionalError> BackendFixture::remove(const std::shared_ptr<ParseObject>& object) {
    Await<std::pair<bool, OptionalError>> done;
    object->deleteInBackground([done](bool ok, OptionalError error) { done.set({ok, std::move(error)}); });
    return awaited(done, "delete");
}

BackendFixture::One BackendFixture::fetch(const std::shared_ptr<ParseObject>& object) {
    Await<One> done;
    object->fetchInBackground([done](auto fetched, auto error) { done.set({std::move(fetched), std::move(error)}); });
    return awaited(done, "fetch");
}

std::pair<json, OptionalError> BackendFixture::call(const std::string& function, const json& parameters) {
    Await<std::pair<json, OptionalError>> done;
    ParseCloud::callFunctionInBackground(function, parameters, [done](json result, OptionalError error) {
        done.set({std::move(result), std::move(error)});
    });
    return awaited(done, "cloud function");
}

}  // namespace vantrel::test
