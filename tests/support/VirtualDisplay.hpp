#pragma once

// An Xvfb server on a free display number for the lifetime of the object, for tests of windows.

#include <string>

#include <sys/types.h>

namespace vantrel::test {

class VirtualDisplay {
public:
    /// Starts Xvfb with one screen of `screen` ("320x240x24"); `display()` stays empty when Xvfb is
    /// missing or does not start.
    explicit VirtualDisplay(const std::string& screen = "320x240x24");
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    /// ":N", or empty.
    [[nodiscard]] const std::string& display() const { return display_; }

private:
    pid_t pid_ = 0;
    std::string display_;
};

}  // namespace vantrel::test
