#pragma once

// Scripted input for the viewer: a text file of pointer and key events, one per line, played
// through the same input path as the window's own events. Used by the viewer's test under Xvfb
// and handy for reproducing a session.
//
//   click X Y              tap                      wait MS             let MS of time pass
//   doubleclick X Y        double tap               key K               a key (e g s h c f)
//   hold X Y MS            long press               screenshot FILE     the window as a PNG
//   drag X Y X2 Y2 [N]     one-finger drag in N steps
//   orbit X Y X2 Y2 [N]    two-finger drag          print               model positions to stdout
//   wheel X Y STEPS        pinch                    # comment
//
// A position is either two numbers (view points, origin top left) or a name the host resolves:
// "@model:<product number>" (the centre of that product's first model on screen) or "@snap"
// (the first snapping point offered on screen); such a name replaces both numbers.
//
// Numbers are plain decimal numbers without units, finite and within bounds: coordinates within
// ±100000, milliseconds 0 to 600000, drag and orbit steps whole numbers 1 to 10000 (12 when left
// out), wheel steps within ±1000. A word starting with # starts a comment that runs to the end of
// the line, on a line of its own or after a command. A command with missing, extra or out-of-bounds
// arguments is refused with its line number.

#include <vantrel/vantrel.hpp>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace viewer {

/// What a script needs from the application that plays it.
class ScriptHost {
public:
    virtual ~ScriptHost() = default;
    /// The view point of a named target, or nothing when it is not on screen.
    virtual std::optional<vantrel::CGPoint> resolve(const std::string& name) = 0;
    virtual void button(int button, bool pressed, vantrel::CGPoint at) = 0;
    virtual void moved(vantrel::CGPoint at) = 0;
    virtual void wheel(double steps, vantrel::CGPoint at) = 0;
    virtual void key(char key) = 0;
    /// Runs the application's loop (events, main queue, frames) for `duration`.
    virtual void pass(std::chrono::milliseconds duration) = 0;
    virtual bool screenshot(const std::filesystem::path& file) = 0;
    virtual void print() = 0;
};

/// One parsed line.
struct ScriptStep {
    std::string command;
    std::vector<std::string> arguments;
    int line = 0;
};

/// Reads a script; an error text naming the line when it cannot be read or parsed.
std::optional<std::string> readScript(const std::filesystem::path& file, std::vector<ScriptStep>& steps);

/// Plays `steps` against `host` (each checked as `readScript` checks it first); an error text naming
/// the failing line, or nothing.
std::optional<std::string> playScript(const std::vector<ScriptStep>& steps, ScriptHost& host);

}  // namespace viewer
