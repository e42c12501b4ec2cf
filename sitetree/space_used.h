// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zn {

// What the user has, taking the walk for all of the user's files: the
// bytes used plus the space left the server tells (AVBL); none when the
// space left is not known.
std::optional<std::int64_t> Capacity(std::int64_t used, std::optional<std::int64_t> available);
// " of 1.00 GiB, 83%", sizes written by `size`; empty for no capacity.
std::string UsedOf(std::int64_t used, std::int64_t capacity, std::string (*size)(std::int64_t));
// "851.00 MiB of 1.00 GiB, 83%"; empty when the space left is not known.
std::string SpaceUsed(std::int64_t used, std::optional<std::int64_t> available);

}  // namespace zn
