#include <vantrel/vantrel.hpp>

#include <iostream>

int main() {
    // The installed library finds its own bundle, wherever the prefix is; reading it proves it.
    const auto& bundle = vantrel::VantrelSDK::sdkBundle();
    if (!bundle || !bundle->infoDictionary()) return 1;
    std::cout << "vantrel consumer ok " << vantrel::VantrelSDK::isRootGroup("/")
              << "\nbundle=" << bundle->directory().string() << "\n";
    return 0;
}
