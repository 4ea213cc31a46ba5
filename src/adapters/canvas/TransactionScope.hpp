#pragma once

#include "vantrel/graph/SCNTransaction.hpp"

namespace vantrel::detail {

/// Opens a scene transaction of `duration` seconds for the scope (none when `animate` is false), so
/// that the changes made in it animate together.
class TransactionScope {
public:
    explicit TransactionScope(double duration, bool animate = true) : open_(animate) {
        if (open_) {
            SCNTransaction::begin();
            SCNTransaction::setAnimationDuration(duration);
        }
    }
    ~TransactionScope() {
        if (open_) SCNTransaction::commit();
    }
    TransactionScope(const TransactionScope&) = delete;
    TransactionScope& operator=(const TransactionScope&) = delete;

private:
    bool open_;
};

}  // namespace vantrel::detail
