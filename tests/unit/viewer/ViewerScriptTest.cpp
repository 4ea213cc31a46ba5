// Viewer scripts are files from outside: every number is checked before it drives the window.

#include "viewer/ViewerScript.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace {

using vantrel::CGPoint;

struct RecordingHost final : viewer::ScriptHost {
    std::vector<std::string> calls;
    std::chrono::milliseconds passed{0};
    std::optional<CGPoint> resolve(const std::string& name) override {
        if (name == "snap") return CGPoint(5, 6);
        return std::nullopt;
    }
    void button(int button, bool pressed, CGPoint at) override {
        calls.push_back("button " + std::to_string(button) + (pressed ? " down " : " up ") + std::to_string(int(at.x)) +
                        "," + std::to_string(int(at.y)));
    }
    void moved(CGPoint) override { calls.emplace_back("move"); }
    void wheel(double steps, CGPoint) override { calls.push_back("wheel " + std::to_string(steps)); }
    void key(char key) override { calls.push_back(std::string("key ") + key); }
    void pass(std::chrono::milliseconds duration) override { passed += duration; }
    bool screenshot(const std::filesystem::path& file) override {
        calls.push_back("screenshot " + file.string());
        return true;
    }
    void print() override { calls.emplace_back("print"); }
};

// Reads `text` as a script file; the steps, or the error.
std::optional<std::string> read(const std::string& text, std::vector<viewer::ScriptStep>& steps) {
    const auto path = std::filesystem::temp_directory_path() / ("vantrel-viewer-script-" + std::to_string(::getpid()));
    std::ofstream(path) << text;
    auto error = viewer::readScript(path, steps);
    std::filesystem::remove(path);
    return error;
}

TEST(ViewerScriptTest, NumbersThatAreNotPlainFiniteAndWithinBoundsAreRefusedNamingTheLine) {
    const struct {
        const char* line;
        const char* mentioned;
    } cases[] = {
        {"click nan 20", "\"nan\" is not a number"},
        {"click 10 inf", "\"inf\" is not a number"},
        {"click 1e12 20", "out of bounds"},
        {"hold 10 20 1e30", "out of bounds"},
        {"drag 0 0 100 100 2e9", "out of bounds"},
        {"drag 0 0 100 100 0", "out of bounds"},
        {"orbit 0 0 100 100 2.5", "not a whole number"},
        {"click 10px 20px", "\"10px\" is not a number"},
        {"wait 100ms", "\"100ms\" is not a number"},
        {"wait -5000", "out of bounds"},
        {"wait 600001", "out of bounds"},
        {"wheel 1 2 1e9", "out of bounds"},
        {"click 10 20 30", "unexpected \"30\""},
        {"click 10", "a number is missing"},
        {"drag @snap", "a position is missing"},
        {"key ab", "one letter"},
        {"screenshot", "one file"},
        {"jump 1 2", "unknown command"},
    };
    for (const auto& c : cases) {
        std::vector<viewer::ScriptStep> steps;
        const auto error = read(std::string("# a script\nwait 10\n") + c.line + "\n", steps);
        ASSERT_TRUE(error.has_value()) << c.line;
        EXPECT_EQ(error->rfind("line 3: ", 0), 0u) << *error;
        EXPECT_NE(error->find(c.mentioned), std::string::npos) << c.line << " -> " << *error;

        // Steps made without reading a file are checked the same way before they play.
        std::istringstream words(c.line);
        viewer::ScriptStep step;
        step.line = 7;
        words >> step.command;
        for (std::string word; words >> word;) step.arguments.push_back(word);
        RecordingHost host;
        const auto played = viewer::playScript({step}, host);
        ASSERT_TRUE(played.has_value()) << c.line;
        EXPECT_EQ(played->rfind("line 7: ", 0), 0u) << *played;
        EXPECT_TRUE(host.calls.empty()) << c.line;
    }
}

TEST(ViewerScriptTest, CommentsMayFollowEveryCommandAndGoodScriptsPlay) {
    std::vector<viewer::ScriptStep> steps;
    const auto error = read(
        "# whole-line comment\n"
        "click 10 20 # tap the sofa\n"
        "drag 0 0 100 -50 4 # four moves\n"
        "drag @snap 30.5 40 #no space\n"
        "orbit 0 0 10 10\n"
        "hold 1 2 500 # long press\n"
        "wheel 3 4 -2.5\n"
        "wait 0 # nothing\n"
        "key s # save\n"
        "screenshot shot.png # picture\n"
        "print # positions\n",
        steps);
    ASSERT_FALSE(error.has_value()) << *error;
    ASSERT_EQ(steps.size(), 10u);
    EXPECT_EQ(steps[1].arguments, (std::vector<std::string>{"0", "0", "100", "-50", "4"}));
    EXPECT_EQ(steps[1].line, 3);

    RecordingHost host;
    ASSERT_FALSE(viewer::playScript(steps, host).has_value());
    EXPECT_EQ(host.calls.front(), "button 0 down 10,20");
    EXPECT_EQ(std::count(host.calls.begin(), host.calls.end(), "move"), 4 + 12 + 12) << "4 moves, then 12 by default twice";
    EXPECT_NE(std::find(host.calls.begin(), host.calls.end(), "button 0 down 5,6"), host.calls.end());
    EXPECT_NE(std::find(host.calls.begin(), host.calls.end(), "wheel -2.500000"), host.calls.end());
    EXPECT_NE(std::find(host.calls.begin(), host.calls.end(), "screenshot shot.png"), host.calls.end());
    EXPECT_EQ(host.calls.back(), "print");
}

}  // namespace
