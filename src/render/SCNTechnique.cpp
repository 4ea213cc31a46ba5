#include "vantrel/render/SCNTechnique.hpp"

#include <cstdio>

#include "vantrel/render/RenderError.hpp"

namespace vantrel {
namespace {

Error invalid(const std::string& why) { return makeRenderError(RenderErrorCode::invalidTechnique, why); }

std::string stringAt(const nlohmann::json& object, const char* key) {
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

std::optional<std::uint64_t> maskAt(const nlohmann::json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end()) {
        return std::nullopt;
    }
    if (it->is_number_unsigned()) {
        return it->get<std::uint64_t>();
    }
    if (it->is_number_integer()) {
        return static_cast<std::uint64_t>(it->get<std::int64_t>());
    }
    return std::nullopt;
}

}  // namespace

Expected<std::shared_ptr<SCNTechnique>> SCNTechnique::techniqueWithDictionary(const nlohmann::json& dictionary) {
    if (!dictionary.is_object()) {
        return invalid("a technique is a dictionary");
    }
    auto technique = std::make_shared<SCNTechnique>();
    technique->dictionary_ = dictionary;
    const auto passes = dictionary.find("passes");
    if (passes == dictionary.end() || !passes->is_object() || passes->empty()) {
        return invalid("a technique needs \"passes\"");
    }
    for (const auto& [name, description] : passes->items()) {
        if (!description.is_object()) {
            return invalid("pass \"" + name + "\" is not a dictionary");
        }
        SCNTechniquePass pass;
        pass.name = name;
        const std::string draw = stringAt(description, "draw");
        if (draw == "DRAW_SCENE") {
            pass.draw = SCNTechniquePass::Draw::scene;
        } else if (draw == "DRAW_QUAD") {
            pass.draw = SCNTechniquePass::Draw::quad;
        } else {
            return invalid("pass \"" + name + "\" draws \"" + draw + "\", which is not DRAW_SCENE or DRAW_QUAD");
        }
        pass.vertexShader = stringAt(description, "vertexShader");
        if (pass.vertexShader.empty()) {
            pass.vertexShader = stringAt(description, "metalVertexShader");
        }
        pass.fragmentShader = stringAt(description, "fragmentShader");
        if (pass.fragmentShader.empty()) {
            pass.fragmentShader = stringAt(description, "metalFragmentShader");
        }
        if (pass.vertexShader.empty() || pass.fragmentShader.empty()) {
            return invalid("pass \"" + name + "\" names no shaders");
        }
        pass.includeCategoryMask = maskAt(description, "includeCategoryMask").value_or(pass.includeCategoryMask);
        pass.excludeCategoryMask = maskAt(description, "excludeCategoryMask").value_or(0);
        if (const auto states = description.find("colorStates"); states != description.end() && states->is_object()) {
            pass.clearColor = states->value("clear", true);
        }
        if (const auto inputs = description.find("inputs"); inputs != description.end() && inputs->is_object()) {
            for (const auto& [input, source] : inputs->items()) {
                if (source.is_string()) {
                    pass.inputs[input] = source.get<std::string>();
                } else if (source.is_object() && source.contains("target")) {
                    pass.inputs[input] = stringAt(source, "target");
                }
            }
        }
        if (const auto outputs = description.find("outputs"); outputs != description.end() && outputs->is_object()) {
            const std::string color = stringAt(*outputs, "color");
            if (!color.empty()) {
                pass.output = color;
            }
        }
        technique->passes_.emplace(name, std::move(pass));
    }
    const auto sequence = dictionary.find("sequence");
    if (sequence == dictionary.end() || !sequence->is_array() || sequence->empty()) {
        return invalid("a technique needs a \"sequence\"");
    }
    for (const auto& entry : *sequence) {
        if (!entry.is_string() || technique->passes_.count(entry.get<std::string>()) == 0) {
            return invalid("the sequence names a pass that does not exist: " + entry.dump());
        }
        technique->sequence_.push_back(entry.get<std::string>());
    }
    if (const auto targets = dictionary.find("targets"); targets != dictionary.end() && targets->is_object()) {
        for (const auto& [name, description] : targets->items()) {
            SCNTechniqueTarget target;
            target.name = name;
            if (description.is_object()) {
                const std::string size = stringAt(description, "size");
                if (!size.empty()) {
                    char tail = 0;
                    if (std::sscanf(size.c_str(), "%dx%d%c", &target.width, &target.height, &tail) != 2 ||
                        target.width <= 0 || target.height <= 0 || target.width > 16384 || target.height > 16384) {
                        return invalid("target \"" + name + "\" has a malformed size \"" + size + "\"");
                    }
                }
                const auto scale = description.find("scaleFactor");
                if (scale != description.end() && scale->is_number() && scale->get<double>() > 0.0) {
                    target.scaleFactor = scale->get<double>();
                }
            }
            technique->targets_.emplace(name, target);
        }
    }
    if (const auto symbols = dictionary.find("symbols"); symbols != dictionary.end() && symbols->is_object()) {
        for (const auto& [name, description] : symbols->items()) {
            if (description.is_object() && stringAt(description, "semantic") == "vertex") {
                technique->vertexSymbols_.emplace(name, 0);
            }
        }
    }
    return technique;
}

void SCNTechnique::setValue(const SCNTechniqueValue& value, std::string_view keyPath) {
    values_.insert_or_assign(std::string(keyPath), value);
    revision_.bump();
}

std::optional<SCNTechniqueValue> SCNTechnique::valueForKeyPath(std::string_view keyPath) const {
    const auto it = values_.find(keyPath);
    if (it == values_.end()) {
        return std::nullopt;
    }
    return it->second;
}

}  // namespace vantrel
