// SPDX-License-Identifier: MIT
#include "ftp/listing/dir_list.h"

#include "platform/exception.h"

#include <gtest/gtest.h>

using namespace zn;

namespace {

class OtherPersistent : public platform::TPersistent {
public:
    std::string ClassName() const override { return "TOther"; }
};

void Fill(TznFTPDirList& list, int count) {
    for (int i = 0; i < count; ++i) {
        auto entry = std::make_unique<TznFTPDirEntry>();
        entry->Kind = dkFile;
        entry->Name = "f" + std::to_string(i);
        entry->Size = i;
        list.Add(std::move(entry));
    }
}

}  // namespace

TEST(DirList, AssignCopiesEntriesButNotTheServerType) {
    TznFTPDirList source, copy;
    Fill(source, 3);
    source.ServerType = stDos;
    Fill(copy, 5);
    copy.Assign(source);
    ASSERT_EQ(copy.Count(), 3);
    EXPECT_EQ(copy.ServerType, stAuto);
    EXPECT_EQ(copy.Items(2).Name, "f2");
    source.Items(2).Name = "changed";
    source.Clear();
    EXPECT_EQ(copy.Items(2).Name, "f2");
}

TEST(DirList, AssignFromAnotherClassIsRefused) {
    TznFTPDirList list;
    Fill(list, 2);
    OtherPersistent other;
    EXPECT_THROW(list.Assign(other), platform::EConvertError);
    EXPECT_EQ(list.Count(), 2);
}

TEST(DirList, IndexOutsideTheListRaises) {
    TznFTPDirList list;
    Fill(list, 1);
    EXPECT_NO_THROW(list.Items(0));
    EXPECT_THROW(list.Items(1), platform::EListError);
    EXPECT_THROW(list.Items(-1), platform::EListError);
}

TEST(DirList, ClearKeepsTheServerTypeAndAddReturnsTheIndex) {
    TznFTPDirList list;
    list.ServerType = stHP3000;
    Fill(list, 2);
    EXPECT_EQ(list.Add(std::make_unique<TznFTPDirEntry>()), 2);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.ServerType, stHP3000);
    EXPECT_EQ(list.ParseLine("x"), 0);
}
