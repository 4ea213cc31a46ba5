#pragma once

#include <filesystem>

namespace vantrel::test {

/// The checkout the tests were built from.
std::filesystem::path sourceDirectory();
/// The build directory (test pictures and other outputs go below it).
std::filesystem::path binaryDirectory();
/// The shared glTF models beside the checkout.
std::filesystem::path modelsDirectory();

}  // namespace vantrel::test
