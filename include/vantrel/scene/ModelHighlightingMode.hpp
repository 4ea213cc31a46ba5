#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

namespace vantrel {

/// How a model is made to stand out while it is selected (`ModelNode::highlight`). Compared and hashed
/// as an ordinary enumeration (`std::hash` covers it).
enum class ModelHighlightingMode {
    glow,        ///< The adapters draw a glow around the model's geometry.
    levitation,  ///< The model rises a little above its place and bobs gently up and down.
};

}  // namespace vantrel

#pragma GCC visibility pop
