// SPDX-License-Identifier: MIT
#include "sitetree/gzip_members.h"

#include <libdeflate.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace zn {
namespace {

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

GzipMemberWriter::GzipMemberWriter(int fd) : fd_(fd), compressor_(libdeflate_alloc_compressor(1)) {
    failed_ = fd_ < 0 || !compressor_;
    pending_.reserve(kMemberBytes);
}

GzipMemberWriter::~GzipMemberWriter() {
    if (fd_ >= 0) ::close(fd_);
    if (compressor_) libdeflate_free_compressor(compressor_);
}

bool GzipMemberWriter::Write(std::string_view bytes) {
    while (!failed_ && !bytes.empty()) {
        const std::size_t room = kMemberBytes - pending_.size();
        pending_.append(bytes.substr(0, room));
        bytes.remove_prefix(std::min(room, bytes.size()));
        if (pending_.size() == kMemberBytes) failed_ = !CompressMember();
    }
    return !failed_;
}

bool GzipMemberWriter::Finish() {
    // Even an empty stream gets its member: a file of no bytes is no gzip.
    if (!failed_) failed_ = !CompressMember();
    const int fd = fd_;
    fd_ = -1;
    if (fd >= 0 && ::close(fd) != 0) failed_ = true;
    return !failed_;
}

bool GzipMemberWriter::CompressMember() {
    compressed_.resize(libdeflate_gzip_compress_bound(compressor_, pending_.size()));
    const std::size_t size =
        libdeflate_gzip_compress(compressor_, pending_.data(), pending_.size(), compressed_.data(), compressed_.size());
    const bool ok = size > 0 && WriteAll(fd_, compressed_.data(), size);
    pending_.clear();
    return ok;
}

}  // namespace zn
