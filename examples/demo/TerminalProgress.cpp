#include "TerminalProgress.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace demo {

namespace {
constexpr int kBarWidth = 30;
}

TerminalProgress::TerminalProgress(std::string label) : label_(std::move(label)), interactive_(::isatty(1) != 0) {
    draw({});
}

TerminalProgress::~TerminalProgress() {
    if (!finished_) finish("stopped");
}

void TerminalProgress::update(double fraction, const std::string& note) {
    fraction_ = std::clamp(std::isfinite(fraction) ? fraction : 0.0, 0.0, 1.0);
    draw(note);
}

void TerminalProgress::finish(const std::string& outcome) {
    if (finished_) return;
    finished_ = true;
    // A bar that already shows its outcome at 100 % is not drawn again.
    if (interactive_ || lastPercentPrinted_ != 100 || lastNote_ != outcome) draw(outcome);
    if (interactive_) std::printf("\n");
    std::fflush(stdout);
}

void TerminalProgress::draw(const std::string& note) {
    const int percent = static_cast<int>(std::lround(fraction_ * 100.0));
    if (!interactive_) {
        // Without a terminal a line per quarter keeps logs short.
        if (!finished_ && percent / 25 == lastPercentPrinted_ / 25 && lastPercentPrinted_ >= 0) return;
    }
    lastPercentPrinted_ = percent;
    lastNote_ = note;
    const int filled = static_cast<int>(fraction_ * kBarWidth);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kBarWidth - filled), '.');
    if (interactive_)
        std::printf("\r  %-28s [%s] %3d%% %-40s", label_.c_str(), bar.c_str(), percent, note.c_str());
    else
        std::printf("  %-28s [%s] %3d%% %s\n", label_.c_str(), bar.c_str(), percent, note.c_str());
    std::fflush(stdout);
}

}  // namespace demo
