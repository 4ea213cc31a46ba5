#include "support/TestPaths.hpp"

// The paths are compiled into this one file only, so every other test source compiles to the same
// command in any checkout and the compiler cache serves it.
namespace vantrel::test {

std::filesystem::path sourceDirectory() { return VANTREL_SOURCE_DIR; }
std::filesystem::path binaryDirectory() { return VANTREL_BINARY_DIR; }
std::filesystem::path modelsDirectory() { return VANTREL_MODELS_DIR; }

}  // namespace vantrel::test
