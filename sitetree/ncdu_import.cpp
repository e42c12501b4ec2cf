// SPDX-License-Identifier: MIT
// Reads the ncdu export format into a WalkTree.
#include "sitetree/ncdu_export.h"
#include "sitetree/ncdu_hard_links.h"
#include "sitetree/ncdu_json.h"

#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

namespace zn {
namespace {

// Reads the directories and entries of an export into a tree.
class NcduReader {
public:
    NcduReader(NcduSource more, NcduBounds bounds) : json_(std::move(more), bounds.Bytes), bounds_(bounds) {}
    std::unique_ptr<WalkTree> Read();
    std::string Error() const { return json_.Error(); }

private:
    struct Info {
        std::string name;
        std::int64_t asize = 0;
        bool readError = false, notreg = false, excluded = false;
        bool hardLink = false;  // hlnkc: one of several links to a file
        std::uint64_t inode = 0;
        std::optional<std::uint64_t> device;  // else the directory's
    };

    Info ReadInfo();
    void OpenDirectory(WalkTree& tree);
    void CloseDirectory();
    void AddEntry(WalkTree& tree, const Info& info);
    void CountEntry(const Info& info);

    NcduJson json_;
    NcduBounds bounds_;
    std::int64_t entries_ = 0;
    // The directories open, the root first, with the device each is on.
    std::vector<int> open_;
    std::vector<std::uint64_t> devices_;
    HardLinks hardLinks_;
};

NcduReader::Info NcduReader::ReadInfo() {
    Info info;
    if (!json_.Take('{')) return info;
    if (json_.Peek() == '}') {
        json_.Take('}');
        return info;
    }
    do {
        const std::string key = json_.String();
        if (!json_.Take(':')) break;
        json_.Peek();
        if (key == "name") {
            info.name = json_.String();
        } else if (key == "asize") {
            // ncdu refuses them too, and a sum of them could wrap.
            info.asize = json_.Number<std::int64_t>();
            if (info.asize < 0) json_.Fail("a negative size");
        } else if (key == "hlnkc") {
            info.hardLink = json_.Boolean();
        } else if (key == "ino") {
            info.inode = json_.Number<std::uint64_t>();
        } else if (key == "dev") {
            info.device = json_.Number<std::uint64_t>();
        } else if (key == "read_error") {
            info.readError = json_.Boolean();
        } else if (key == "notreg") {
            info.notreg = json_.Boolean();
        } else if (key == "excluded") {
            // A pattern name, or true in old versions; false means nothing.
            info.excluded = json_.Peek() != 'f';
            json_.SkipValue();
        } else {
            json_.SkipValue();
        }
    } while (!json_.Failed() && json_.Peek() == ',' && json_.Take(','));
    json_.Take('}');
    return info;
}

void NcduReader::OpenDirectory(WalkTree& tree) {
    json_.Take('[');
    const Info info = ReadInfo();
    CountEntry(info);
    int dir = WalkTree::kRoot;
    if (open_.empty()) {
        tree.Rename(dir, info.name);
    } else {
        dir = tree.AddDirectory(open_.back(), info.name);
    }
    tree.SetOwnSize(dir, info.asize);
    if (!info.readError) tree.Listed(dir);
    devices_.push_back(info.device.value_or(devices_.empty() ? 0 : devices_.back()));
    open_.push_back(dir);
}

void NcduReader::CloseDirectory() {
    json_.Take(']');
    open_.pop_back();
    devices_.pop_back();
}

void NcduReader::AddEntry(WalkTree& tree, const Info& info) {
    const WalkTree::EntryKind kind = info.excluded    ? WalkTree::ekExcluded
                                     : info.notreg    ? WalkTree::ekLink
                                     : info.readError ? WalkTree::ekRefused
                                                      : WalkTree::ekFile;
    tree.AddEntry(open_.back(), kind, info.name, kind == WalkTree::ekExcluded ? 0 : info.asize);
    if (info.hardLink && (kind == WalkTree::ekFile || kind == WalkTree::ekLink)) {
        hardLinks_.Link(tree, open_, info.device.value_or(devices_.back()), info.inode, info.asize,
                        kind == WalkTree::ekFile);
    }
}

std::unique_ptr<WalkTree> NcduReader::Read() {
    auto tree = std::make_unique<WalkTree>();
    json_.Take('[');
    if (json_.Number<std::int64_t>() != 1) json_.Fail("not an ncdu export of major version 1");
    json_.Take(',');
    json_.Number<std::int64_t>();
    json_.Take(',');
    json_.SkipValue();  // the metadata
    json_.Take(',');
    OpenDirectory(*tree);
    while (!open_.empty() && !json_.Failed()) {
        if (json_.Peek() == ']') {
            CloseDirectory();
            continue;
        }
        if (!json_.Take(',')) break;
        if (json_.Peek() == '[') {
            OpenDirectory(*tree);
            continue;
        }
        const Info info = ReadInfo();
        CountEntry(info);
        if (json_.Failed()) break;
        AddEntry(*tree, info);
    }
    json_.Take(']');
    // A file cut short reads as an error; so must one with more after it.
    if (!json_.Failed() && json_.Peek() != '\0') json_.Fail("something follows the export");
    if (json_.Failed()) return nullptr;
    tree->Sum();
    return tree;
}

// No name holds a NUL: a listing line ends at one, and no file system
// takes one.
void NcduReader::CountEntry(const Info& info) {
    if (json_.Failed()) return;
    if (info.name.find('\0') != std::string::npos) json_.Fail("a name holding a NUL");
    if (++entries_ > bounds_.Entries) json_.Fail("more than " + std::to_string(bounds_.Entries) + " entries");
}

std::unique_ptr<WalkTree> ReadExport(NcduSource source, NcduBounds bounds, std::string& error) {
    NcduReader reader(std::move(source), bounds);
    try {
        auto tree = reader.Read();
        if (!tree) error = reader.Error();
        return tree;
    } catch (const std::bad_alloc&) {
        error = "not enough memory to read it";
        return nullptr;
    }
}

}  // namespace

std::unique_ptr<WalkTree> ParseNcdu(std::string_view text, std::string& error, NcduBounds bounds) {
    std::size_t given = 0;
    return ReadExport(
        [&](char* into, std::size_t room) {
            const std::size_t n = std::min(room, text.size() - given);
            std::memcpy(into, text.data() + given, n);
            given += n;
            return static_cast<std::ptrdiff_t>(n);
        },
        bounds, error);
}

std::unique_ptr<WalkTree> LoadNcdu(const std::string& file, std::string& error, NcduBounds bounds) {
    // gzread passes a file that is not compressed through unchanged.
    gzFile in = file == "-" ? gzdopen(dup(0), "rb") : gzopen(file.c_str(), "rb");
    if (!in) {
        error = file + ": " + std::strerror(errno);
        return nullptr;
    }
    auto tree = ReadExport(
        [in](char* into, std::size_t room) {
            return static_cast<std::ptrdiff_t>(gzread(in, into, static_cast<unsigned>(room)));
        },
        bounds, error);
    // A compressed file whose end is missing: what came before it may
    // have read as a whole export.
    const bool cut = gzclose(in) == Z_BUF_ERROR;
    if (tree && cut) {
        tree.reset();
        error = "the compressed file ends before its end";
    }
    if (!tree) error = file + ": " + error;
    return tree;
}

}  // namespace zn
