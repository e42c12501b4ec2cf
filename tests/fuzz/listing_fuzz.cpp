// SPDX-License-Identifier: MIT
// The listing parser on arbitrary bytes: the first byte picks the family the
// list starts with (auto-detection included) and where the bytes are cut in
// two chunks. Beyond not crashing, the listing read in two chunks, and read
// again as a later listing, must give what one whole read gives.

#include "ftp/listing/dir_list.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

bool Same(const zn::TznFTPDirList& a, const zn::TznFTPDirList& b) {
    if (a.Count() != b.Count() || a.ServerType != b.ServerType) return false;
    for (int i = 0; i < a.Count(); ++i) {
        const zn::TznFTPDirEntry& x = a.Items(i);
        const zn::TznFTPDirEntry& y = b.Items(i);
        if (x.Kind != y.Kind || x.Name != y.Name || x.Size != y.Size || x.LinkTarget != y.LinkTarget) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const auto family = static_cast<zn::TServerType>(data[0] % 5);
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t cut = text.empty() ? 0 : data[0] % (text.size() + 1);

    zn::TznFTPDirList whole;
    whole.ServerType = family;
    zn::ParseListing(text, whole);

    zn::TznFTPDirList chunked;
    chunked.ServerType = family;
    zn::ListingReader reader(chunked);
    reader.Feed(text.substr(0, cut));
    reader.Feed(text.substr(cut));
    reader.Finish();
    if (!Same(whole, chunked)) std::abort();

    // A later listing keeps the family found in the first.
    zn::ParseListing(text, whole);
    zn::TznFTPDirList again;
    again.ServerType = whole.ServerType;
    zn::ParseListing(text, again);
    if (!Same(whole, again)) std::abort();
    return 0;
}
