// SPDX-License-Identifier: MIT
// The ncdu export reader on arbitrary bytes: an export someone hands the
// program may be damaged or hostile. Beyond not crashing, whatever it reads
// must be written and read back as the same tree.

#include "sitetree/ncdu_export.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

std::string Written(const zn::WalkTree& tree) {
    std::string text;
    zn::WriteNcdu(tree, {"0", 0, ""}, [&](std::string_view piece) {
        text += piece;
        return true;
    });
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string error;
    const auto tree = zn::ParseNcdu(std::string_view(reinterpret_cast<const char*>(data), size), error);
    if (!tree) {
        if (error.empty()) std::abort();
        return 0;
    }
    const std::string once = Written(*tree);
    const auto back = zn::ParseNcdu(once, error);
    // Names ncdu cannot take (empty ones) are left out when written, so the
    // second writing is the fixed point.
    if (!back || Written(*back) != once) std::abort();
    return 0;
}
