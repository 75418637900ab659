// The row ordering used by the client-side sort, kept apart so that its
// cost can be checked on its own.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace engine {

// Indices 0..count-1 in the stable order `compare(a, b)` (<0, 0, >0) gives;
// `comparisons` receives the number of comparisons made (at most about
// n log2 n for a merge sort with its buffer).
template <typename Compare>
std::vector<std::int64_t> SortRowOrder(std::int64_t count, Compare&& compare,
                                       std::uint64_t& comparisons) {
  std::vector<std::int64_t> order(static_cast<size_t>(count));
  for (std::int64_t i = 0; i < count; ++i) order[static_cast<size_t>(i)] = i;
  comparisons = 0;
  std::stable_sort(order.begin(), order.end(), [&](std::int64_t a, std::int64_t b) {
    ++comparisons;
    return compare(a, b) < 0;
  });
  return order;
}

}  // namespace engine
