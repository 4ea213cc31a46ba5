#include "vantrel/graph/SCNTransaction.hpp"

#include <cmath>
#include <vector>

namespace vantrel {
namespace {

struct OpenTransaction {
    double duration = 0.25;
    SCNTimingFunction timing = SCNTimingFunction::linear();
};

std::vector<OpenTransaction>& openTransactions() {
    thread_local std::vector<OpenTransaction> stack;
    return stack;
}

}  // namespace

void SCNTransaction::begin() { openTransactions().emplace_back(); }

void SCNTransaction::commit() {
    auto& stack = openTransactions();
    if (!stack.empty()) {
        stack.pop_back();
    }
}

double SCNTransaction::animationDuration() {
    const auto& stack = openTransactions();
    return stack.empty() ? 0.0 : stack.back().duration;
}

void SCNTransaction::setAnimationDuration(double seconds) {
    auto& stack = openTransactions();
    if (!stack.empty()) {
        stack.back().duration = (std::isnan(seconds) || seconds < 0.0) ? 0.0 : seconds;
    }
}

SCNTimingFunction SCNTransaction::animationTimingFunction() {
    const auto& stack = openTransactions();
    return stack.empty() ? SCNTimingFunction::linear() : stack.back().timing;
}

void SCNTransaction::setAnimationTimingFunction(const SCNTimingFunction& function) {
    auto& stack = openTransactions();
    if (!stack.empty()) {
        stack.back().timing = function;
    }
}

int SCNTransaction::depth() { return static_cast<int>(openTransactions().size()); }

}  // namespace vantrel
