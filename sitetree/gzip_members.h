// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct libdeflate_compressor;

namespace zn {

// Bytes written to a file as a gzip stream (RFC 1952) of members of at most
// kMemberBytes each, every member compressed whole by libdeflate at its
// fastest level. gzip, zcat and gzread read the members as one stream. This
// is about twice as fast as zlib's streaming at its fastest level, which
// made keeping a walk cost a tenth of the walk, and the memory stays
// bounded however big the export.
class GzipMemberWriter {
public:
    static constexpr std::size_t kMemberBytes = std::size_t{1} << 20;

    // Writes to `fd`, which it closes.
    explicit GzipMemberWriter(int fd);
    ~GzipMemberWriter();
    GzipMemberWriter(const GzipMemberWriter&) = delete;
    GzipMemberWriter& operator=(const GzipMemberWriter&) = delete;

    bool Write(std::string_view bytes);
    // The last member, then the close: false when anything failed.
    bool Finish();

private:
    bool CompressMember();

    int fd_;
    libdeflate_compressor* compressor_;
    std::string pending_;
    std::vector<char> compressed_;
    bool failed_ = false;
};

}  // namespace zn
