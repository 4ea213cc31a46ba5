// The window path: a GLFW window on a virtual X server (Xvfb) started by the test.

#include <csignal>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "RenderTestSupport.hpp"
#include "vantrel/graph/SCNBox.hpp"
#include "vantrel/render/RenderContext.hpp"
#include "vantrel/render/RenderSurface.hpp"

extern char** environ;

namespace vantrel {
namespace {

using namespace render_test;

// An Xvfb server on a free display number, for the lifetime of the object. Xvfb tells the number
// it chose through a pipe once it accepts connections, so nothing waits on a timer.
class VirtualDisplay {
public:
    VirtualDisplay() {
        if (access("/usr/bin/Xvfb", X_OK) != 0) {
            return;
        }
        int fds[2];
        if (pipe(fds) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const std::string fd = std::to_string(fds[1]);
        std::string args[] = {"Xvfb", "-displayfd", fd, "-screen", "0", "320x240x24", "-nolisten", "tcp"};
        char* argv[] = {args[0].data(), args[1].data(), args[2].data(), args[3].data(), args[4].data(),
                        args[5].data(), args[6].data(), args[7].data(), nullptr};
        const int spawned = posix_spawn(&pid_, "/usr/bin/Xvfb", &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (spawned != 0) {
            pid_ = 0;
            close(fds[0]);
            return;
        }
        char buffer[16] = {};
        std::string number;
        for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) {
            number.append(buffer, static_cast<std::size_t>(n));
            if (number.find('\n') != std::string::npos) {
                break;
            }
        }
        close(fds[0]);
        while (!number.empty() && (number.back() == '\n' || number.back() == '\r')) {
            number.pop_back();
        }
        if (!number.empty()) {
            display_ = ":" + number;
        }
    }
    ~VirtualDisplay() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    [[nodiscard]] const std::string& display() const { return display_; }

private:
    pid_t pid_ = 0;
    std::string display_;
};

TEST(WindowSurface, AViewDrawsIntoAWindowOnAVirtualDisplay) {
    VirtualDisplay server;
    if (server.display().empty()) {
        GTEST_SKIP() << "Xvfb is not installed";
    }
    const char* previous = std::getenv("DISPLAY");
    const std::string saved = previous ? previous : "";
    setenv("DISPLAY", server.display().c_str(), 1);
    {
        auto surface = WindowSurface::make(96, 64, "window test");
        ASSERT_TRUE(surface.hasValue()) << surface.error().description();
        EXPECT_FALSE((*surface)->isOffscreen());
        EXPECT_EQ((*surface)->drawableSize(), CGSize(96, 64));
        auto context = RenderContext::make(std::move(surface).value());
        ASSERT_TRUE(context.hasValue()) << context.error().description();

        LitScene lit;
        lit.add(SCNBox::make(1.0f, 1.0f, 1.0f), UIColor(1, 0, 0), SCNLightingModel::constant);
        SCNView view(CGRect(0, 0, 96, 64), std::move(context).value());
        view.setScene(lit.scene);
        view.setPointOfView(lit.camera);
        view.setBackgroundColor(UIColor::blackColor());
        ASSERT_FALSE(view.draw().has_value());
        EXPECT_FALSE(view.needsDisplay());
        auto image = view.snapshot();
        ASSERT_TRUE(image.hasValue());
        EXPECT_TRUE(near(pixelAt(**image, 48, 32), 255, 0, 0, 1));
        EXPECT_TRUE(near(pixelAt(**image, 2, 2), 0, 0, 0, 1));
    }
    if (saved.empty()) {
        unsetenv("DISPLAY");
    } else {
        setenv("DISPLAY", saved.c_str(), 1);
    }
}

}  // namespace
}  // namespace vantrel
