// SPDX-License-Identifier: MIT
#include "sitetree/space_used.h"

#include "net/core/text_helpers.h"

#include <cmath>
#include <limits>

namespace zn {

std::optional<std::int64_t> Capacity(std::int64_t used, std::optional<std::int64_t> available) {
    if (!available) return std::nullopt;
    // A server may claim any number; the sum saturates rather than wraps.
    if (*available > std::numeric_limits<std::int64_t>::max() - used) return std::numeric_limits<std::int64_t>::max();
    return used + *available;
}

std::string UsedOf(std::int64_t used, std::int64_t capacity, std::string (*size)(std::int64_t)) {
    if (capacity <= 0) return {};
    return " of " + size(capacity) + ", " +
           std::to_string(std::llround(100.0 * static_cast<double>(used) / static_cast<double>(capacity))) + "%";
}

std::string SpaceUsed(std::int64_t used, std::optional<std::int64_t> available) {
    const std::string of = UsedOf(used, Capacity(used, available).value_or(0), HumanSize);
    return of.empty() ? of : HumanSize(used) + of;
}

}  // namespace zn
