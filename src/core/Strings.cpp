#include "vantrel/core/Strings.hpp"

#include "vantrel/core/ResourceBundle.hpp"

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <optional>
#include <unordered_map>

namespace vantrel {

namespace {

struct Table {
    std::mutex mutex;
    std::optional<std::unordered_map<std::string, std::string>> entries;
};

Table& table() {
    static auto* instance = new Table();  // never destroyed: errors are made on threads that outlive exit
    return *instance;
}

/// The language of the texts: VANTREL_LANGUAGE, else LC_ALL / LC_MESSAGES / LANG ("de_DE.UTF-8" → "de").
std::string preferredLanguage() {
    for (const char* variable : {"VANTREL_LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value == nullptr || *value == '\0') continue;
        std::string language(value);
        language = language.substr(0, language.find_first_of("_.@"));
        if (language == "C" || language == "POSIX") return "en";
        if (!language.empty()) return language;
    }
    return "en";
}

void readTable(const std::filesystem::path& file, std::unordered_map<std::string, std::string>& into) {
    std::ifstream stream(file);
    if (!stream) return;
    const auto json = nlohmann::json::parse(stream, nullptr, /*allow_exceptions=*/false);
    if (!json.is_object()) return;
    for (const auto& [key, value] : json.items())
        if (value.is_string()) into.emplace(key, value.get<std::string>());
}

std::unordered_map<std::string, std::string> loadTable() {
    std::unordered_map<std::string, std::string> entries;
    const auto bundle = ResourceBundle::locate();
    if (!bundle) return entries;
    // The preferred language first; English fills the keys it does not translate.
    readTable(bundle->path("strings/" + preferredLanguage() + ".json"), entries);
    readTable(bundle->path("strings/en.json"), entries);
    return entries;
}

}  // namespace

std::string Strings::localized(std::string_view key) {
    auto& t = table();
    std::lock_guard lock(t.mutex);
    if (!t.entries) t.entries = loadTable();
    if (auto it = t.entries->find(std::string(key)); it != t.entries->end()) return it->second;
    return std::string(key);
}

std::string Strings::localized(std::string_view key, const std::vector<std::string>& arguments) {
    return format(localized(key), arguments);
}

std::string Strings::format(std::string_view text, const std::vector<std::string>& arguments) {
    std::string out;
    out.reserve(text.size());
    std::size_t next = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        std::size_t j = i + 1;
        if (text[j] == '%') {
            out += '%';
            i = j;
            continue;
        }
        // Optional positional index "n$".
        std::optional<std::size_t> position;
        std::size_t k = j;
        while (k < text.size() && text[k] >= '0' && text[k] <= '9') ++k;
        if (k > j && k < text.size() && text[k] == '$') {
            position = std::stoul(std::string(text.substr(j, k - j)));
            j = k + 1;
        }
        // Length modifiers of integer conversions.
        while (j < text.size() && (text[j] == 'l' || text[j] == 'h' || text[j] == 'q' || text[j] == 'z')) ++j;
        if (j >= text.size() || std::string_view("@dDisuUf").find(text[j]) == std::string_view::npos) {
            out += text[i];  // not a conversion we know: keep the text as it stands
            continue;
        }
        const std::size_t index = position ? *position - 1 : next++;
        if (index < arguments.size()) out += arguments[index];
        i = j;
    }
    return out;
}

void Strings::reload() {
    auto& t = table();
    std::lock_guard lock(t.mutex);
    t.entries.reset();
}

}  // namespace vantrel
