#include "render/GlFunctions.hpp"

namespace vantrel::detail {

std::vector<std::string> GlFunctions::load(const Loader& loader) {
    std::vector<std::string> missing;
#define VANTREL_GL_LOAD(type, name)                    \
    name = reinterpret_cast<type>(loader("gl" #name)); \
    if (name == nullptr) {                             \
        missing.emplace_back("gl" #name);              \
    }
    VANTREL_GL_FUNCTIONS(VANTREL_GL_LOAD)
#undef VANTREL_GL_LOAD
    return missing;
}

}  // namespace vantrel::detail
