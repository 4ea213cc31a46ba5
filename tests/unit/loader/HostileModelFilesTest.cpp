// Hostile model files: tiny files that crash Assimp, keep it busy for ever or make it allocate
// gigabytes. The scene source refuses their formats before anything is read; run through the import
// helper directly (the format gate bypassed), each still ends in a typed error within the helper's
// limits while this process goes on. OBJ and Collada files made hostile go the public way.

#include "graph/import/ImportProcess.hpp"
#include "graph/import/SceneReading.hpp"
#include "support/ScratchDirectory.hpp"
#include "vantrel/graph/SCNSceneSource.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <map>
#include <tuple>

using vantrel::SCNSceneSource;
using vantrel::SCNSceneSourceError;
using vantrel::SCNSceneSourceStatus;
using Clock = std::chrono::steady_clock;

namespace {

// Under the sanitizers the helper cannot limit its address space (their shadow memory needs
// terabytes of it), so the memory bomb is left to the plain builds.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

struct Hostile {
    const char* name;
    std::string bytes;
};

/// The files, each a few dozen bytes.
const std::vector<Hostile>& hostileFiles() {
    static const std::vector<Hostile> files{
        // A face naming vertex 70,000,000 of three: a read far outside the vertex list.
        {"face.ase",
         "*3DSMAX_ASCIIEXPORT 200\n*GEOMOBJECT {\n*NODE_NAME \"a\"\n*MESH {\n*MESH_NUMVERTEX 3\n*MESH_NUMFACES 1\n"
         "*MESH_VERTEX_LIST {\n*MESH_VERTEX 0 0 0 0\n*MESH_VERTEX 1 1 0 0\n*MESH_VERTEX 2 0 1 0\n}\n"
         "*MESH_FACE_LIST {\n*MESH_FACE 0: A: 0 B: 1 C: 70000000\n}\n}\n}\n"},
        // A billion vertices announced in 17 bytes: the reader reserves them all.
        {"bomb.off", "OFF\n999999999 1 0\n"},
        // A node list that never ends: the reader loops on the end of the file.
        {"spin.smd", "version 1\nnodes\n"},
        // A binary PLY whose header is cut: the reader spins looking for its end.
        {"cut.ply",
         "ply\nformat binary_little_endian 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
         "property float z\nelement face 1\nproperty list uchar int vertex_"},
    };
    return files;
}

/// Limits small enough for a test: a second of processor time, 1 GiB of address space.
vantrel::detail::ImportLimits testLimits() {
    vantrel::detail::ImportLimits limits;
    limits.memoryBytes = std::uint64_t{1} << 30;
    limits.cpuTime = std::chrono::seconds(1);
    limits.wallTime = std::chrono::milliseconds(5000);
    return limits;
}

/// Runs the helper on `file` with every Assimp reader, as the format gate never would.
std::optional<vantrel::Error> throughTheHelper(const std::filesystem::path& file) {
    vantrel::detail::ImportRequest request;
    request.file = file;
    request.limits = testLimits();
    return vantrel::detail::runImportHelper(
        request, [](const vantrel::detail::ImportFrame&) { return std::nullopt; }, {});
}

long codeOf(const vantrel::Expected<std::shared_ptr<SCNSceneSource::Prepared>>& result) {
    return result ? 0 : result.error().code;
}

}  // namespace

TEST(HostileModelFilesTest, TheirFormatsAreRefusedBeforeTheHelperStarts) {
    vantrel::test::ScratchDirectory dir("hostile-gate");
    auto files = hostileFiles();
    files.push_back({"mistyped.md5mesh", "MD5Version 10\nnumJoints 1\nnumMeshes 1\njoinst {\n}\n"});
    for (const auto& hostile : files) {
        SCOPED_TRACE(hostile.name);
        const auto result = SCNSceneSource::make(dir.write(hostile.name, hostile.bytes))->read();
        ASSERT_FALSE(result);
        EXPECT_EQ(codeOf(result), static_cast<long>(SCNSceneSourceError::unsupportedFormat));
    }
}

TEST(HostileModelFilesTest, ThroughTheHelperACrashAHangAndAMemoryBombEachEndInATypedError) {
    vantrel::test::ScratchDirectory dir("hostile-helper");
    const std::map<std::string, SCNSceneSourceError> expected{
        {"face.ase", SCNSceneSourceError::importerFailed},
        {"bomb.off", SCNSceneSourceError::importerOutOfMemory},
        {"spin.smd", SCNSceneSourceError::importerTimedOut},
        {"cut.ply", SCNSceneSourceError::importerTimedOut},
    };
    for (const auto& hostile : hostileFiles()) {
        SCOPED_TRACE(hostile.name);
        if (kSanitized && expected.at(hostile.name) == SCNSceneSourceError::importerOutOfMemory) continue;
        const auto start = Clock::now();
        const auto error = throughTheHelper(dir.write(hostile.name, hostile.bytes));
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->domain, SCNSceneSource::errorDomain);
        EXPECT_EQ(error->code, static_cast<long>(expected.at(hostile.name))) << error->message;
        std::cout << hostile.name << ": " << error->message << " (" << took.count() << " ms)\n";
    }
}

TEST(HostileModelFilesTest, HostileObjAndColladaFilesEndInTypedErrorsThePublicWay) {
    vantrel::test::ScratchDirectory dir("hostile-public");
    const auto nested = [](int depth) {
        std::string dae = R"(<?xml version="1.0"?><COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" )"
                          R"(version="1.4.1"><library_visual_scenes><visual_scene id="s">)";
        for (int i = 0; i < depth; ++i) dae += "<node id=\"n" + std::to_string(i) + "\">";
        for (int i = 0; i < depth; ++i) dae += "</node>";
        return dae + R"(</visual_scene></library_visual_scenes><scene><instance_visual_scene url="#s"/></scene></COLLADA>)";
    };
    const std::vector<std::tuple<std::string, std::string, SCNSceneSourceError>> cases{
        {"index.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 70000000\n", SCNSceneSourceError::invalidScene},
        {"backwards.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 -70000000\n", SCNSceneSourceError::invalidScene},
        // Deeper than the scene graph takes: the helper refuses the tree it was given.
        {"deep.dae", nested(1100), SCNSceneSourceError::invalidScene},
        // So deep that Assimp's own Collada reader runs out of stack: the helper dies, not the host.
        {"abyss.dae", nested(20000), SCNSceneSourceError::importerFailed},
    };
    for (const auto& [name, bytes, code] : cases) {
        SCOPED_TRACE(name);
        const auto result = SCNSceneSource::make(dir.write(name, bytes))->read();
        ASSERT_FALSE(result);
        EXPECT_EQ(codeOf(result), static_cast<long>(code)) << result.error().message;
    }
}

TEST(HostileModelFilesTest, TheStatusHandlersStopEndsABusyHelperAtOnce) {
    vantrel::test::ScratchDirectory dir("hostile-cancel");
    const auto spinner = dir.write("spin.smd", "version 1\nnodes\n");
    const auto model = dir.write("model.obj", "v 0 0 0\n");
    // The scene source's own read, with the busy helper in place of the OBJ reader.
    const auto busyHelper = [&](const vantrel::detail::ImportRequest& request, const auto& onFrame,
                                const auto& shouldStop) {
        auto busy = request;
        busy.file = spinner;
        busy.format.clear();
        busy.limits.cpuTime = std::chrono::seconds(60);
        return vantrel::detail::runImportHelper(busy, onFrame, shouldStop);
    };
    int calls = 0;
    std::optional<Clock::time_point> stoppedAt;
    const SCNSceneSource source(model, {});
    const auto result = vantrel::detail::readScene(
        source,
        [&](double, SCNSceneSourceStatus status, const vantrel::OptionalError&, bool& stop) {
            // The handler is asked again while the helper works; the fifth time, it stops.
            if (status != SCNSceneSourceStatus::error && ++calls == 5) {
                stop = true;
                stoppedAt = Clock::now();
            }
        },
        busyHelper);
    const auto returnedAt = Clock::now();
    ASSERT_FALSE(result);
    EXPECT_EQ(codeOf(result), static_cast<long>(SCNSceneSourceError::cancelled)) << result.error().message;
    ASSERT_TRUE(stoppedAt) << "the handler was asked while the helper was busy";
    const auto latency = std::chrono::duration_cast<std::chrono::microseconds>(returnedAt - *stoppedAt);
    std::cout << "stopped " << latency.count() / 1000.0 << " ms after the handler asked\n";
    ::testing::Test::RecordProperty("stop_latency_us", std::to_string(latency.count()));
}

TEST(HostileModelFilesTest, TheHostsLimitsReachTheHelper) {
    vantrel::test::ScratchDirectory dir("hostile-limits");
    const auto model = dir.write("model.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    vantrel::SCNSceneSourceOptions options;
    options.importerMemoryBytes = std::uint64_t{300} << 20;
    options.importerCpuTime = std::chrono::milliseconds(2500);
    options.importerWallTime = std::chrono::milliseconds(4000);
    std::optional<vantrel::detail::ImportLimits> seen;
    const auto capturing = [&](const vantrel::detail::ImportRequest& request, const auto& onFrame,
                               const auto& shouldStop) {
        seen = request.limits;
        return vantrel::detail::runImportHelper(request, onFrame, shouldStop);
    };
    const SCNSceneSource source(model, options);
    const auto result = vantrel::detail::readScene(
        source, [](double, SCNSceneSourceStatus, const vantrel::OptionalError&, bool&) {}, capturing);
    ASSERT_TRUE(result) << result.error().message;
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->memoryBytes, std::uint64_t{300} << 20);
    EXPECT_EQ(seen->cpuTime, std::chrono::seconds(3));  // whole seconds, rounded up
    EXPECT_EQ(seen->wallTime, std::chrono::milliseconds(4000));

    // A wall-clock limit shorter than the helper's start ends the read as timed out.
    options.importerWallTime = std::chrono::milliseconds(1);
    const auto hurried = SCNSceneSource::make(model, options)->read();
    ASSERT_FALSE(hurried);
    EXPECT_EQ(codeOf(hurried), static_cast<long>(SCNSceneSourceError::importerTimedOut)) << hurried.error().message;
}
