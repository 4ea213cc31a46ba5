#pragma once

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstddef>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace vantrel::backend_detail {

/// The query cache: raw server answers by request key, in memory, least recently used first out.
/// Answers are kept as JSON so that every hit decodes fresh objects (callers never share mutable
/// instances through the cache). Ages are measured on the library clock.
class QueryCache {
public:
    /// The process-wide cache.
    static QueryCache& shared();

    explicit QueryCache(std::size_t capacity = 512);

    /// The answer stored under `key`, when there is one no older than `maxAge`.
    std::optional<nlohmann::json> get(const std::string& key,
                                      std::optional<std::chrono::milliseconds> maxAge = std::nullopt);
    /// Stores `value` under `key`, evicting the least recently used entry when full.
    void put(const std::string& key, nlohmann::json value);
    /// Drops the answer under `key`.
    void remove(const std::string& key);
    /// Drops everything.
    void clear();
    /// Entries held now.
    [[nodiscard]] std::size_t size() const;

private:
    struct Entry {
        nlohmann::json value;
        std::chrono::steady_clock::time_point stored;
        std::list<std::string>::iterator position;
    };

    std::size_t capacity_;
    mutable std::mutex mutex_;
    std::list<std::string> order_;  // most recently used first
    std::unordered_map<std::string, Entry> entries_;
};

}  // namespace vantrel::backend_detail
