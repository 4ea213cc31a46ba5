#pragma once

// A one-line progress bar on the terminal: redrawn in place while a step runs, closed with its
// outcome. Falls back to plain lines when standard output is not a terminal (logs, CI).

#include <string>

namespace demo {

class TerminalProgress {
public:
    /// Starts a bar labelled `label` at 0 %.
    explicit TerminalProgress(std::string label);
    ~TerminalProgress();
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    /// Shows `fraction` (clamped to 0…1) with an optional note after the bar.
    void update(double fraction, const std::string& note = {});
    /// Ends the bar with `outcome` ("done", an error text…).
    void finish(const std::string& outcome);

private:
    void draw(const std::string& note);

    std::string label_;
    double fraction_ = 0.0;
    int lastPercentPrinted_ = -1;
    std::string lastNote_;
    bool interactive_;
    bool finished_ = false;
};

}  // namespace demo
