#include "ViewerScript.hpp"

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
        try {
            return std::stod(step_.arguments[index_++]);
        } catch (const std::exception&) {
            return fail<double>(error, "\"" + step_.arguments[index_ - 1] + "\" is not a number");
        }
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
        if (!(words >> step.command) || step.command.front() == '#') continue;
        if (!shapes().contains(step.command)) return at(line) + "unknown command \"" + step.command + "\"";
        for (std::string word; words >> word;) step.arguments.push_back(word);
        steps.push_back(std::move(step));
    }
    return std::nullopt;
}

std::optional<std::string> playScript(const std::vector<ScriptStep>& steps, ScriptHost& host) {
    for (const auto& step : steps) {
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
                if (!n || *n < 1) return at(step.line) + (error.empty() ? "steps must be at least 1" : error);
                count = static_cast<int>(*n);
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
            if (step.arguments.empty() || step.arguments.front().size() != 1)
                return at(step.line) + "key takes one letter";
            host.key(step.arguments.front().front());
            host.pass(kStepTime);
        } else if (command == "screenshot") {
            if (step.arguments.empty()) return at(step.line) + "screenshot takes a file";
            if (!host.screenshot(step.arguments.front())) return at(step.line) + "the screenshot failed";
        } else if (command == "print") {
            host.print();
        }
    }
    return std::nullopt;
}

}  // namespace viewer
