#pragma once

// The concept store on a file of the test's own: installed as the library's container for the
// test and removed afterwards, with its directory.

#include "vantrel/core/MainRunLoop.hpp"
#include "vantrel/services/CoreDataService.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

namespace vantrel::test {

class ScopedConceptStore {
public:
    explicit ScopedConceptStore(StoreOptions options = {}) : options_(std::move(options)) {
        static std::atomic<int> counter{0};
        directory_ = std::filesystem::temp_directory_path() /
                     ("vantrel-store-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1)));
        std::filesystem::remove_all(directory_);
        std::filesystem::create_directories(directory_);
        reopen();
    }
    ~ScopedConceptStore() {
        CoreDataService::sharedInstance().setPersistentContainer(nullptr);
        std::error_code ec;
        std::filesystem::remove_all(directory_, ec);
    }
    ScopedConceptStore(const ScopedConceptStore&) = delete;
    ScopedConceptStore& operator=(const ScopedConceptStore&) = delete;

    /// What a restart of the host amounts to: the context and its unsaved changes are gone, and
    /// a new container loads the same file.
    void reopen() {
        CoreDataService::sharedInstance().setPersistentContainer(nullptr);
        CoreDataService::sharedInstance().setPersistentContainer(makeContainer());
    }
    /// A container of its own on the same file, loaded.
    [[nodiscard]] std::shared_ptr<PersistentContainer> makeContainer(StoreOptions options) const {
        auto container = std::make_shared<PersistentContainer>("CodeBase", CoreDataService::codeBaseModel(), file(),
                                                               std::move(options));
        container->loadPersistentStores();
        return container;
    }
    [[nodiscard]] std::shared_ptr<PersistentContainer> makeContainer() const { return makeContainer(options_); }

    [[nodiscard]] ManagedObjectContext& context() const {
        return CoreDataService::sharedInstance().persistentContainer()->viewContext();
    }
    [[nodiscard]] std::filesystem::path file() const { return directory_ / "CodeBase.sqlite"; }
    [[nodiscard]] const std::filesystem::path& directory() const { return directory_; }

    /// `CoreDataService::saveContext`, with the main queue pumped until its outcome arrives.
    OptionalError saveContext() {
        bool done = false;
        OptionalError outcome;
        CoreDataService::sharedInstance().saveContext([&](OptionalError error) {
            outcome = std::move(error);
            done = true;
        });
        EXPECT_TRUE(MainRunLoop::runUntil([&] { return done; }));
        return outcome;
    }

    /// Every object of `entity` the context sees.
    std::size_t count(const char* entity) {
        auto found = context().fetch(FetchRequest(entity));
        EXPECT_TRUE(found.hasValue());
        return found ? found->size() : 0;
    }

private:
    StoreOptions options_;
    std::filesystem::path directory_;
};

/// The bytes of a file.
inline std::string fileBytes(const std::filesystem::path& path) {
    if (!std::filesystem::is_regular_file(path)) return "<not a file>";
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace vantrel::test
