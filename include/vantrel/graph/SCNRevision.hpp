#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <cstdint>

namespace vantrel::detail {

/// A change stamp for renderers that keep derived data (GPU buffers, textures, uniforms) and need to
/// know whether an object changed since they last looked.
///
/// Every stamp comes from one process-wide counter, so a newer stamp is always larger than any older
/// one, across objects. Making or copying an object takes a fresh stamp (a copy is a new object to a
/// renderer), and every change takes a fresh stamp through `bump`. Comparing a stored stamp with the
/// current one tells whether anything changed in between. The counter is atomic, so stamps may be
/// taken on any thread (geometry is built on loader threads).
class RevisionStamp {
public:
    RevisionStamp() noexcept : value_(next()) {}
    RevisionStamp(const RevisionStamp&) noexcept : value_(next()) {}
    RevisionStamp& operator=(const RevisionStamp&) noexcept {
        value_ = next();
        return *this;
    }
    ~RevisionStamp() = default;

    /// Takes a fresh stamp: the object changed.
    void bump() noexcept { value_ = next(); }
    /// The current stamp.
    [[nodiscard]] std::uint64_t value() const noexcept { return value_; }

    /// A fresh stamp from the process-wide counter (also used for stable object ids).
    [[nodiscard]] static std::uint64_t next() noexcept;

private:
    std::uint64_t value_;
};

}  // namespace vantrel::detail

#pragma GCC visibility pop
