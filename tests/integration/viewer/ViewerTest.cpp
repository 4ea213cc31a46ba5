// The viewer on a virtual display, driven by a script of pointer events: a click selects the end
// module of a sofa, a drag moves it, a double click on the snapping point beside the middle module
// docks it there, and a screenshot shows the result.

#include "support/ModelArchives.hpp"
#include "support/ServicesBackendFixture.hpp"
#include "support/TestPaths.hpp"
#include "support/VirtualDisplay.hpp"

#include "vantrel/graph/SCNVector3.hpp"
#include "vantrel/graph/UIImage.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

extern char** environ;

namespace vantrel {
namespace {

using nlohmann::json;

// Runs the viewer with `arguments` and DISPLAY set; its exit status and what it printed.
std::pair<int, std::string> runViewer(const std::vector<std::string>& arguments, const std::string& display,
                                      const std::filesystem::path& home, const std::filesystem::path& output) {
#ifdef VANTREL_VIEWER
    std::vector<std::string> argvText = {VANTREL_VIEWER};
#else
    std::vector<std::string> argvText = {"vantrel_viewer"};
#endif
    argvText.insert(argvText.end(), arguments.begin(), arguments.end());
    std::vector<std::string> environment = {"HOME=" + home.string(), "DISPLAY=" + display,
                                            "VANTREL_RESOURCES=" + test::sourceDirectory().string() + "/resources"};
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        if (!text.starts_with("HOME=") && !text.starts_with("DISPLAY=") && !text.starts_with("VANTREL_RESOURCES="))
            environment.emplace_back(text);
    }
    std::vector<char*> argv, envp;
    for (auto& argument : argvText) argv.push_back(argument.data());
    for (auto& entry : environment) envp.push_back(entry.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return {-1, {}};
    int status = 0;
    ::waitpid(pid, &status, 0);
    std::ifstream in(output);
    std::stringstream printed;
    printed << in.rdbuf();
    return {status, printed.str()};
}

// Every "model <product> at x y z" line, in order, per product.
std::map<std::string, std::vector<SCNVector3>> printedPositions(const std::string& printed) {
    std::map<std::string, std::vector<SCNVector3>> found;
    std::istringstream lines(printed);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string word, product, at;
        SCNVector3 p;
        if (words >> word >> product >> at >> p.x >> p.y >> p.z && word == "model" && at == "at")
            found[product].push_back(p);
    }
    return found;
}

class ViewerTest : public test::ServicesBackendFixture {};

TEST_F(ViewerTest, ScriptedPointerEventsSelectMoveAndDockAModule) {
#ifndef VANTREL_VIEWER
    GTEST_SKIP() << "built without the examples";
#endif
    test::VirtualDisplay display("1024x640x24");
    if (display.display().empty()) GTEST_SKIP() << "Xvfb is not installed";

    const auto p = uniqueName("viewer");
    seed({{"description", "viewer " + p},
          {"files", json::array({test::modelArchiveFile(p + "/sofa.zip", "GlamVelvetSofa")})}});
    const json catalog = {{"$ref", "catalog"}};
    const auto data = seedCompany(json::array({
        {{"alias", "middle"},
         {"className", "Component"},
         {"fields",
          {{"catalog", catalog}, {"name", "Middle"}, {"productNumber", "MID"}, {"scnModelFilePath", p + "/sofa.zip"}}}},
        {{"alias", "end"},
         {"className", "Component"},
         {"fields",
          {{"catalog", catalog},
           {"name", "End"},
           {"productNumber", "END"},
           {"scnModelFilePath", p + "/sofa.zip"},
           {"snappingAreas", json::array({{{"connectToComponentId", {{"$id", "middle"}}},
                                           {"offsetPosition", "2.18844, 0, 0"},
                                           {"offsetRotation", "0,0,0,1"}}})}}}},
    }));

    const auto work = test::binaryDirectory() / "test-output" / "viewer";
    std::filesystem::create_directories(work);
    const auto home = std::filesystem::temp_directory_path() / uniqueName("vantrel-viewer-home");
    std::filesystem::create_directories(home);
    const auto screenshot = work / "docked.png";
    std::filesystem::remove(screenshot);
    const auto script = work / "dock.script";
    // The end module first stands beside the middle one, on its own snapping point: a click selects
    // it, a drag carries it off (the point shows), a double click on the point docks it there.
    std::ofstream(script) << "print\n"
                             "click @model:END\n"
                             "wait 500\n"
                             "drag @model:END 200 560 16\n"
                             "wait 600\n"
                             "print\n"
                             "doubleclick @snap\n"
                             "wait 800\n"
                             "print\n"
                             "screenshot "
                          << screenshot.string() << "\n";

    const auto& employee = data["employee"];
    const auto [status, printed] =
        runViewer({"--email", employee["username"], "--password", employee["password"], "--size", "1024x640",
                   "--products", "MID,END", "--script", script.string()},
                  display.display(), home, work / "viewer.out");
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status << "\n" << printed;
    EXPECT_NE(printed.find("selected"), std::string::npos) << printed;

    // Docked: the end module stands one sofa width to the right of the middle one.
    const auto placed = printedPositions(printed);
    ASSERT_TRUE(placed.contains("MID") && placed.contains("END") && placed.at("END").size() == 3) << printed;
    const auto& middle = placed.at("MID").back();
    const auto& moved = placed.at("END")[1];
    const auto& end = placed.at("END").back();
    EXPECT_GT(std::hypot(moved.x - end.x, moved.z - end.z), 0.5f) << "the drag moved the module away\n" << printed;
    EXPECT_NEAR(end.x - middle.x, 2.18844f, 1e-3) << printed;
    EXPECT_NEAR(end.y - middle.y, 0.0f, 1e-3) << printed;
    EXPECT_NEAR(end.z - middle.z, 0.0f, 1e-3) << printed;

    // The window's picture shows the sofas on their grey ground, not an empty view: their velvet
    // (dark, or coloured where the light catches it) covers a good share of it.
    const auto image = UIImage::fromFile(screenshot);
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(image->width(), 1024);
    std::size_t velvet = 0;
    const auto& rgba = image->rgba();
    for (std::size_t i = 0; i + 3 < rgba.size(); i += 4) {
        const int r = rgba[i], g = rgba[i + 1], b = rgba[i + 2];
        const bool dark = r + g + b < 150;
        const bool coloured = std::max({r, g, b}) - std::min({r, g, b}) > 24;
        velvet += dark || coloured ? 1 : 0;
    }
    EXPECT_GT(velvet, rgba.size() / 4 / 50) << "under 2 % of the picture is sofa";
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
}

}  // namespace
}  // namespace vantrel
