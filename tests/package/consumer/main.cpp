#include <vantrel/vantrel.hpp>

#include <iostream>

int main() {
    // The installed bundle is found through VANTREL_RESOURCES; reading it proves the install.
    const auto& bundle = vantrel::VantrelSDK::sdkBundle();
    if (!bundle || !bundle->infoDictionary()) return 1;
    std::cout << "vantrel consumer ok " << vantrel::VantrelSDK::isRootGroup("/") << "\n";
    return 0;
}
