// The row ordering used by the client-side sort, kept apart so that its
// cost can be checked on its own.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace engine {

// Indices 0..count-1 in the stable order `compare` (<0, 0, >0) gives;
// `comparisons` receives the number of calls made.
std::vector<std::int64_t> SortRowOrder(
    std::int64_t count, const std::function<int(std::int64_t, std::int64_t)>& compare,
    std::uint64_t& comparisons);

}  // namespace engine
