// OBJ and Collada through the import helper: what reaches the scene graph, which files are refused
// before the helper starts, and how the library takes the helper's answer — as untrusted bytes whose
// every count, length and index is checked.

#include "graph/import/ImportProcess.hpp"
#include "graph/import/ImportWire.hpp"
#include "graph/import/SceneReading.hpp"
#include "unit/loader/SceneLoading.hpp"
#include "support/ScratchDirectory.hpp"
#include "support/TestPaths.hpp"
#include "vantrel/graph/SCNGeometry.hpp"
#include "vantrel/graph/SCNNode.hpp"
#include "vantrel/graph/SCNScene.hpp"
#include "vantrel/graph/SCNSceneSource.hpp"

#include <gtest/gtest.h>
#include <glm/gtc/type_ptr.hpp>

#include <fstream>

using vantrel::SCNSceneSource;
using vantrel::SCNSceneSourceError;
using vantrel::SCNSceneSourceStatus;
namespace wire = vantrel::detail::wire;

namespace {

std::filesystem::path dataModel(const std::string& relative) {
    return vantrel::test::sourceDirectory() / "tests/data/models" / relative;
}

std::string fileBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

using vantrel::loader_test::load;

std::shared_ptr<vantrel::SCNNode> named(const vantrel::SCNScene& scene, const std::string& name) {
    return scene.rootNode()->childNodeWithName(name, true);
}

void expectBox(const vantrel::SCNBoundingBox& box, glm::vec3 min, glm::vec3 max) {
    EXPECT_NEAR(box.min.x, min.x, 1e-5);
    EXPECT_NEAR(box.min.y, min.y, 1e-5);
    EXPECT_NEAR(box.min.z, min.z, 1e-5);
    EXPECT_NEAR(box.max.x, max.x, 1e-5);
    EXPECT_NEAR(box.max.y, max.y, 1e-5);
    EXPECT_NEAR(box.max.z, max.z, 1e-5);
}

std::shared_ptr<vantrel::SCNMaterial> materialNamed(const vantrel::SCNGeometry& geometry, const std::string& name) {
    for (const auto& m : geometry.materials())
        if (m->name() == name) return m;
    return nullptr;
}

long codeOf(const vantrel::Error& error) { return error.code; }

}  // namespace

TEST(ImportProcessTest, AnObjWithItsMtlReadsWithMaterialsTextureAndSize) {
    const auto scene = load(dataModel("obj/crate.obj"));
    ASSERT_TRUE(scene);
    const auto crate = named(*scene, "Crate");
    ASSERT_TRUE(crate);
    ASSERT_TRUE(crate->geometry());
    EXPECT_EQ(crate->geometry()->triangleCount(), 12u);
    expectBox(scene->rootNode()->boundingBox(), {-1, 0, -1}, {1, 2, 1});
    EXPECT_EQ(crate->geometry()->source().normals.size(), crate->geometry()->source().vertices.size())
        << "the file's normals come along";

    const auto paint = materialNamed(*crate->geometry(), "Paint");
    ASSERT_TRUE(paint);
    const auto red = paint->diffuse().contentsColor();
    ASSERT_TRUE(red);
    EXPECT_NEAR(red->red(), 0.8, 1e-6);
    EXPECT_NEAR(red->green(), 0.1, 1e-6);
    const auto lid = materialNamed(*crate->geometry(), "Lid");
    ASSERT_TRUE(lid);
    const auto checker = lid->diffuse().contentsImage();
    ASSERT_TRUE(checker) << "the MTL's map_Kd beside the model is found and decoded in the library";
    EXPECT_EQ(checker->width(), 4);
    EXPECT_EQ(checker->rgba().size(), 4u * 4 * 4);

    const auto centimetres = load(dataModel("obj/crate.obj"), 0.01);
    ASSERT_TRUE(centimetres);
    expectBox(centimetres->rootNode()->boundingBox(), {-0.01f, 0, -0.01f}, {0.01f, 0.02f, 0.01f});
}

TEST(ImportProcessTest, ColladaComesInMetersWithYUpFromItsOwnUnitAndAxis) {
    // 40 cm × 40 cm × 10 cm high with Z up, 50 cm along x: in meters, standing on y.
    const auto scene = load(dataModel("dae/lamp.dae"));
    ASSERT_TRUE(scene);
    const auto base = named(*scene, "LampBase");
    ASSERT_TRUE(base);
    ASSERT_TRUE(base->geometry());
    EXPECT_EQ(base->geometry()->triangleCount(), 12u);
    expectBox(scene->rootNode()->boundingBox(), {0.3f, 0, -0.2f}, {0.7f, 0.1f, 0.2f});
    ASSERT_FALSE(base->geometry()->materials().empty());
    const auto brass = base->geometry()->materials().front()->diffuse().contentsColor();
    ASSERT_TRUE(brass);
    EXPECT_NEAR(brass->green(), 0.5, 1e-6);
}

TEST(ImportProcessTest, TexturesOutsideTheModelsFolderAreNotRead) {
    vantrel::test::ScratchDirectory dir("import-confined");
    dir.write("outside.png", fileBytes(dataModel("obj/checker.png")));
    dir.write("model/crate.obj", fileBytes(dataModel("obj/crate.obj")));
    dir.write("model/crate.mtl", "newmtl Paint\nKd 1 1 1\nmap_Kd ../outside.png\nnewmtl Lid\nmap_Kd /etc/passwd\n");
    const auto scene = load(dir.path() / "model/crate.obj");
    ASSERT_TRUE(scene);
    const auto geometry = named(*scene, "Crate")->geometry();
    for (const auto& material : geometry->materials()) EXPECT_FALSE(material->diffuse().contentsImage()) << material->name();
}

TEST(ImportProcessTest, ProgressRisesThroughParsingAndProcessingAndEveryFormatButFourIsRefusedUpFront) {
    std::vector<std::pair<double, SCNSceneSourceStatus>> reports;
    const auto prepared = SCNSceneSource::make(dataModel("obj/crate.obj"))
                              ->read([&](double p, SCNSceneSourceStatus status, const vantrel::OptionalError&, bool&) {
                                  reports.emplace_back(p, status);
                              });
    ASSERT_TRUE(prepared);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.front(), std::make_pair(0.0, SCNSceneSourceStatus::parsing));
    for (std::size_t i = 1; i < reports.size(); ++i) EXPECT_GE(reports[i].first, reports[i - 1].first);
    EXPECT_EQ(reports.back().second, SCNSceneSourceStatus::processing);
    EXPECT_NEAR(reports.back().first, 0.95, 1e-9);

    vantrel::test::ScratchDirectory dir("import-gate");
    for (const std::string name : {"model.ply", "model.stl", "model.fbx", "model.3ds", "model.x", "model", "model.obj.zip"}) {
        SCOPED_TRACE(name);
        // Real OBJ bytes under another name: the extension alone decides, nothing is read.
        const auto file = dir.write(name, fileBytes(dataModel("obj/crate.obj")));
        std::optional<vantrel::Error> reported;
        const auto refused = SCNSceneSource::make(file)->read(
            [&](double, SCNSceneSourceStatus status, const vantrel::OptionalError& error, bool&) {
                if (status == SCNSceneSourceStatus::error) reported = error;
            });
        ASSERT_FALSE(refused);
        EXPECT_EQ(refused.error().domain, SCNSceneSource::errorDomain);
        EXPECT_EQ(codeOf(refused.error()), static_cast<long>(SCNSceneSourceError::unsupportedFormat));
        ASSERT_TRUE(reported);
        EXPECT_EQ(reported->code, refused.error().code);
    }
    EXPECT_EQ(vantrel::detail::importFormatOf("A/Chair.OBJ"), "obj");
    EXPECT_EQ(vantrel::detail::importFormatOf("lamp.Dae"), "dae");
}

namespace {

/// An answer made by hand, fed to the scene source as if the helper had sent it.
struct Answer {
    wire::Writer out;
    Answer() {
        out.raw(wire::kMagic, 4);
        out.u32(wire::kVersion);
    }
    /// One triangle of three vertices as geometry 0, naming `vertex` as its last corner.
    Answer& triangle(std::uint32_t vertex = 2, std::uint32_t normals = 3) {
        out.begin(wire::Frame::geometry);
        out.string("Triangle");
        out.u32(3);
        out.u8(1);  // normals
        out.u32(0);
        const float positions[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
        const float up[9] = {0, 0, 1, 0, 0, 1, 0, 0, 1};
        out.u32(3);
        out.raw(positions, sizeof(positions));
        out.u32(normals);
        out.raw(up, sizeof(float) * 3 * normals);
        out.u32(1);
        out.u8(2);
        const std::uint32_t indices[3] = {0, 1, vertex};
        out.array(indices, 3);
        out.u32(0);
        out.end();
        return *this;
    }
    /// A chain of `depth` nested nodes, the innermost showing `geometry`.
    Answer& nodes(int depth, std::uint32_t geometry = 0) {
        out.begin(wire::Frame::nodes);
        out.u32(1);
        const glm::mat4 identity(1.0f);
        for (int i = 0; i < depth; ++i) {
            out.string("n" + std::to_string(i));
            out.raw(glm::value_ptr(identity), 64);
            out.u32(i + 1 == depth ? geometry : wire::kNone);
            out.u32(wire::kNone);
            out.u32(wire::kNone);
            out.u32(i + 1 == depth ? 0 : 1);
        }
        out.end();
        return *this;
    }
    Answer& end() {
        out.begin(wire::Frame::end);
        out.end();
        return *this;
    }
    /// Reads the answer as the scene source does, with `budget` bytes allowed.
    vantrel::Expected<std::shared_ptr<SCNSceneSource::Prepared>> read(std::uint64_t budget = 1 << 20) {
        const std::string bytes = out.buffer();
        const SCNSceneSource source(dataModel("obj/crate.obj"), {});
        return vantrel::detail::readScene(
            source, {}, [&](const vantrel::detail::ImportRequest&, const auto& onFrame, const auto&) {
                return vantrel::detail::readImportAnswer(
                    std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), budget, onFrame);
            });
    }
};

void expectRefused(vantrel::Expected<std::shared_ptr<SCNSceneSource::Prepared>> result, SCNSceneSourceError code) {
    ASSERT_FALSE(result);
    EXPECT_EQ(codeOf(result.error()), static_cast<long>(code)) << result.error().message;
}

}  // namespace

TEST(ImportProcessTest, TheHelpersAnswerIsCheckedBeforeItIsBelieved) {
    ASSERT_TRUE(Answer().triangle().nodes(3).end().read()) << "the hand-made answer itself is sound";

    SCOPED_TRACE("a corner beyond the vertices");
    expectRefused(Answer().triangle(3).nodes(1).end().read(), SCNSceneSourceError::importerFailed);
    SCOPED_TRACE("normals for two of three vertices");
    expectRefused(Answer().triangle(2, 2).nodes(1).end().read(), SCNSceneSourceError::importerFailed);
    SCOPED_TRACE("a node showing a geometry that never came");
    expectRefused(Answer().nodes(1, 4).end().read(), SCNSceneSourceError::importerFailed);
    SCOPED_TRACE("nodes nested 2,000 deep");
    expectRefused(Answer().triangle().nodes(2000).end().read(), SCNSceneSourceError::invalidScene);
    SCOPED_TRACE("an answer that stops before its end");
    expectRefused(Answer().triangle().nodes(1).read(), SCNSceneSourceError::importerFailed);
    SCOPED_TRACE("an answer beyond its budget");
    expectRefused(Answer().triangle().nodes(1).end().read(64), SCNSceneSourceError::importerOutOfMemory);

    SCOPED_TRACE("a frame that claims 4 GiB");
    Answer huge;
    huge.out.u8(static_cast<std::uint8_t>(wire::Frame::geometry));
    huge.out.u32(0xfffffff0u);
    expectRefused(huge.read(), SCNSceneSourceError::importerOutOfMemory);

    SCOPED_TRACE("an array that claims four billion vertices in a few bytes");
    Answer lying;
    lying.out.begin(wire::Frame::geometry);
    lying.out.string("Lying");
    lying.out.u32(0xfffffffeu);
    lying.out.u8(0);
    lying.out.u32(0);
    lying.out.u32(0xfffffffeu);
    lying.out.end();
    expectRefused(lying.end().read(), SCNSceneSourceError::importerFailed);

    SCOPED_TRACE("an unknown frame and a foreign stream");
    Answer unknown;
    unknown.out.begin(static_cast<wire::Frame>(99));
    unknown.out.end();
    expectRefused(unknown.end().read(), SCNSceneSourceError::importerFailed);
    Answer foreign;
    foreign.out.buffer()[0] = 'X';
    expectRefused(foreign.end().read(), SCNSceneSourceError::importerFailed);
}

TEST(ImportProcessTest, AHelperThatIsMissingOrAnswersNonsenseEndsInATypedError) {
    const auto run = [](const std::filesystem::path& helper) {
        vantrel::detail::ImportRequest request;
        request.file = dataModel("obj/crate.obj");
        request.format = "obj";
        request.helper = helper;
        return vantrel::detail::runImportHelper(
            request, [](const vantrel::detail::ImportFrame&) { return std::nullopt; }, {});
    };
    for (const char* helper : {"/nonexistent/vantrel_import_helper", "/bin/echo", "/bin/true", "/bin/false"}) {
        SCOPED_TRACE(helper);
        const auto error = run(helper);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->code, static_cast<long>(SCNSceneSourceError::importerFailed)) << error->message;
    }
    EXPECT_FALSE(run({})) << "the helper built beside the library is found and answers";
}
