#include "ViewerScript.hpp"

#include <charconv>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

namespace viewer {

using vantrel::CGPoint;

namespace {

// Commands and how many position pairs and plain numbers follow them.
struct Shape {
    int positions;
    int numbers;
    int optionalNumbers;
};
const std::map<std::string, Shape>& shapes() {
    static const std::map<std::string, Shape> table = {
        {"click", {1, 0, 0}}, {"doubleclick", {1, 0, 0}}, {"hold", {1, 1, 0}}, {"drag", {2, 0, 1}},
        {"orbit", {2, 0, 1}}, {"wheel", {1, 1, 0}},       {"wait", {0, 1, 0}}, {"key", {0, 0, 0}},
        {"print", {0, 0, 0}}, {"screenshot", {0, 0, 0}},
    };
    return table;
}

std::string at(int line) { return "line " + std::to_string(line) + ": "; }

// The bounds of the numbers, checked before any is turned into an integer or a duration.
constexpr double kMaxCoordinate = 100000.0;  // view points, either way from the origin
constexpr double kMaxMilliseconds = 600000.0;
constexpr double kMaxMoves = 10000.0;
constexpr double kMaxWheelSteps = 1000.0;

// A number written as a number and nothing else ("10px", "nan" and "inf" are not), finite.
std::optional<double> plainNumber(const std::string& word) {
    double value = 0.0;
    const char* end = word.data() + word.size();
    const auto [stop, failure] = std::from_chars(word.data(), end, value);
    if (failure != std::errc() || stop != end || !std::isfinite(value)) return std::nullopt;
    return value;
}

bool isName(const std::string& word) { return !word.empty() && word.front() == '@'; }

// Checks a step's arguments against its command without playing it: the right count, positions
// as two numbers or one name, every number plain and within its bounds.
std::optional<std::string> check(const ScriptStep& step) {
    const auto shape = shapes().find(step.command);
    if (shape == shapes().end()) return "unknown command \"" + step.command + "\"";
    const auto& words = step.arguments;
    if (step.command == "key") {
        if (words.size() != 1 || words.front().size() != 1) return std::string("key takes one letter");
        return std::nullopt;
    }
    if (step.command == "screenshot") {
        if (words.size() != 1) return std::string("screenshot takes one file");
        return std::nullopt;
    }
    std::size_t next = 0;
    const auto number = [&](double low, double high, const char* what,
                            bool whole = false) -> std::optional<std::string> {
        if (next >= words.size()) return std::string("a number is missing");
        const std::string& word = words[next++];
        const auto value = plainNumber(word);
        if (!value) return "\"" + word + "\" is not a number";
        if (whole && *value != std::floor(*value)) return "\"" + word + "\" is not a whole number of " + what;
        if (*value < low || *value > high) {
            std::ostringstream bounds;
            bounds << "\"" << word << "\" is out of bounds: " << what << " lie between " << low << " and " << high;
            return bounds.str();
        }
        return std::nullopt;
    };
    for (int i = 0; i < shape->second.positions; ++i) {
        if (next >= words.size()) return std::string("a position is missing");
        if (isName(words[next])) {
            ++next;
            continue;
        }
        for (int axis = 0; axis < 2; ++axis) {
            if (auto error = number(-kMaxCoordinate, kMaxCoordinate, "positions")) return error;
        }
    }
    const bool timed = step.command == "hold" || step.command == "wait";
    for (int i = 0; i < shape->second.numbers + shape->second.optionalNumbers; ++i) {
        if (i >= shape->second.numbers && next >= words.size()) break;
        std::optional<std::string> error;
        if (timed) {
            error = number(0, kMaxMilliseconds, "milliseconds");
        } else if (step.command == "wheel") {
            error = number(-kMaxWheelSteps, kMaxWheelSteps, "wheel steps");
        } else {
            error = number(1, kMaxMoves, "moves", true);
        }
        if (error) return error;
    }
    if (next < words.size()) return "unexpected \"" + words[next] + "\" after " + step.command;
    return std::nullopt;
}

// Reads the positions and numbers of a step from its arguments.
class Reader {
public:
    Reader(const ScriptStep& step, ScriptHost& host) : step_(step), host_(host) {}

    std::optional<CGPoint> position(std::string& error) {
        if (index_ >= step_.arguments.size()) return fail(error, "a position is missing");
        const auto& first = step_.arguments[index_];
        if (!first.empty() && first.front() == '@') {
            ++index_;
            auto point = host_.resolve(first.substr(1));
            if (!point) return fail(error, first + " is not on screen");
            return point;
        }
        const auto x = number(error);
        const auto y = x ? number(error) : std::nullopt;
        if (!y) return std::nullopt;
        return CGPoint(*x, *y);
    }

    std::optional<double> number(std::string& error) {
        if (index_ >= step_.arguments.size()) return fail<double>(error, "a number is missing");
        const auto& word = step_.arguments[index_++];
        const auto value = plainNumber(word);
        if (!value) return fail<double>(error, "\"" + word + "\" is not a number");
        return value;
    }

    [[nodiscard]] bool more() const { return index_ < step_.arguments.size(); }

private:
    template <class T = CGPoint>
    std::optional<T> fail(std::string& error, const std::string& why) {
        error = why;
        return std::nullopt;
    }

    const ScriptStep& step_;
    ScriptHost& host_;
    std::size_t index_ = 0;
};

constexpr std::chrono::milliseconds kStepTime{16};

void drag(ScriptHost& host, int button, CGPoint from, CGPoint to, int steps) {
    host.button(button, true, from);
    host.pass(kStepTime);
    for (int i = 1; i <= steps; ++i) {
        const double t = static_cast<double>(i) / steps;
        host.moved(CGPoint(from.x + (to.x - from.x) * t, from.y + (to.y - from.y) * t));
        host.pass(kStepTime);
    }
    host.button(button, false, to);
    host.pass(kStepTime);
}

}  // namespace

std::optional<std::string> readScript(const std::filesystem::path& file, std::vector<ScriptStep>& steps) {
    std::ifstream in(file);
    if (!in) return "the script " + file.string() + " cannot be read";
    std::string text;
    for (int line = 1; std::getline(in, text); ++line) {
        std::istringstream words(text);
        ScriptStep step;
        step.line = line;
        // A word starting with # starts a comment, to the end of the line, after any command.
        if (!(words >> step.command) || step.command.front() == '#') continue;
        for (std::string word; words >> word && word.front() != '#';) step.arguments.push_back(word);
        if (auto error = check(step)) return at(line) + *error;
        steps.push_back(std::move(step));
    }
    return std::nullopt;
}

std::optional<std::string> playScript(const std::vector<ScriptStep>& steps, ScriptHost& host) {
    for (const auto& step : steps) {
        if (auto invalid = check(step)) return at(step.line) + *invalid;
        Reader read(step, host);
        std::string error;
        const auto& command = step.command;
        if (command == "click" || command == "doubleclick") {
            const auto point = read.position(error);
            if (!point) return at(step.line) + error;
            for (int i = 0; i < (command == "click" ? 1 : 2); ++i) {
                host.button(0, true, *point);
                host.pass(kStepTime);
                host.button(0, false, *point);
                host.pass(kStepTime);
            }
        } else if (command == "hold") {
            const auto point = read.position(error);
            const auto ms = point ? read.number(error) : std::nullopt;
            if (!ms) return at(step.line) + error;
            host.button(0, true, *point);
            host.pass(std::chrono::milliseconds(static_cast<long>(*ms)));
            host.button(0, false, *point);
            host.pass(kStepTime);
        } else if (command == "drag" || command == "orbit") {
            const auto from = read.position(error);
            const auto to = from ? read.position(error) : std::nullopt;
            if (!to) return at(step.line) + error;
            int count = 12;
            if (read.more()) {
                const auto n = read.number(error);
                if (!n) return at(step.line) + error;
                count = static_cast<int>(*n);  // a whole number within bounds: checked above
            }
            drag(host, command == "drag" ? 0 : 1, *from, *to, count);
        } else if (command == "wheel") {
            const auto point = read.position(error);
            const auto notches = point ? read.number(error) : std::nullopt;
            if (!notches) return at(step.line) + error;
            host.wheel(*notches, *point);
            host.pass(kStepTime);
        } else if (command == "wait") {
            const auto ms = read.number(error);
            if (!ms) return at(step.line) + error;
            host.pass(std::chrono::milliseconds(static_cast<long>(*ms)));
        } else if (command == "key") {
            host.key(step.arguments.front().front());
            host.pass(kStepTime);
        } else if (command == "screenshot") {
            if (!host.screenshot(step.arguments.front())) return at(step.line) + "the screenshot failed";
        } else if (command == "print") {
            host.print();
        }
    }
    return std::nullopt;
}

}  // namespace viewer
