// Store files: the bytes become the concept store's file, which is loaded (version, keys and page
// check); then every object of every entity is read — each attribute, each relation followed — one
// value is changed on each and the changes are saved. A damaged or hostile file must end in a store
// error or in values read as they are, never in a crash or undefined behaviour.

#include "services/CodeBaseModel.hpp"
#include "vantrel/store/FetchRequest.hpp"
#include "vantrel/store/PersistentContainer.hpp"

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <variant>

namespace {

const std::filesystem::path& folder() {
    static const std::filesystem::path path = [] {
        auto made = std::filesystem::temp_directory_path() / ("vantrel-fuzz-store-" + std::to_string(::getpid()));
        std::filesystem::create_directories(made);
        return made;
    }();
    return path;
}

// The store's model with plain objects in place of the library's typed entities.
const std::shared_ptr<const vantrel::ManagedObjectModel>& model() {
    static const auto plain = [] {
        const auto make = [] { return std::make_shared<vantrel::ManagedObject>(); };
        return vantrel::services_detail::makeCodeBaseModel({make, make, make});
    }();
    return plain;
}

std::size_t sizeOf(const vantrel::AttributeValue& value) {
    return std::visit(
        [](const auto& held) -> std::size_t {
            using T = std::decay_t<decltype(held)>;
            if constexpr (std::is_same_v<T, std::string>) return held.size();
            return 1;
        },
        value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto file = folder() / "CodeBase.sqlite";
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        std::error_code ec;
        std::filesystem::remove(file.string() + suffix, ec);
    }
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    vantrel::PersistentContainer container("CodeBase", model(), file);
    if (container.loadPersistentStores()) return 0;
    auto& context = container.viewContext();
    std::size_t read = 0;
    for (const auto& entity : model()->entities()) {
        auto objects = context.fetch(vantrel::FetchRequest(entity.name()));
        if (!objects) continue;
        for (const auto& object : *objects) {
            for (const auto& attribute : entity.attributes()) read += sizeOf(object->value(attribute.name));
            for (const auto& relation : entity.relationships()) {
                if (relation.toMany) {
                    read += object->toMany(relation.name).size();
                } else {
                    read += object->toOne(relation.name) != nullptr;
                }
            }
            const auto& first = entity.attributes().front();
            object->setValue(first.name, vantrel::AttributeValue(std::string("changed")));
        }
    }
    (void)read;
    (void)context.save();
    return 0;
}
