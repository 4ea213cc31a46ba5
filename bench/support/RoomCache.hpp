#pragma once

// One scene per size for the scene benchmarks, built on first use and kept for the whole run, so that
// building a room is never timed and each benchmark of the same size shares it.

#include <map>
#include <memory>

namespace vantrel_bench {

/// The room of `size` (products), made as `Room(size)` the first time it is asked for.
template <typename Room>
Room& cachedRoom(int size) {
    static std::map<int, std::unique_ptr<Room>> rooms;
    auto& room = rooms[size];
    if (!room) {
        room = std::make_unique<Room>(size);
    }
    return *room;
}

}  // namespace vantrel_bench
