// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "ftp/listing/dir_list.h"

namespace zn {

// Some servers cut a long listing short. pure-ftpd, as it ships, lists at
// most 10,000 entries: LIST, NLST and MLSD end with "226 Output truncated
// to 10000 matches", while STAT sends the first 10,000 lines and a plain
// "213 End.", saying nothing. A total built on such a listing must never
// pass for complete.

// The server's reply when it says that it cut the listing short; empty
// when it does not.
std::string CutReason(const std::string& reply);
// The limit such a reply states ("truncated to 10000 matches"); 0 when it
// states none.
int StatedCap(const std::string& reply);
// Whether a listing of `entries` entries (all of them, "." and ".."
// included) may have been cut without a word: it holds exactly a limit a
// server has stated, or a whole thousand, the round figures such limits
// are set to. Such a listing is listed again in a form that says so.
bool MayBeCut(int entries, int statedCap);
// What the user, and the server's owner, hear of a directory listed in
// part: which, the server's words, and what can be changed.
std::string CutMessage(const std::string& path, const std::string& reason);
// Where a listing in name order was cut, the same listing in reverse name
// order (ls's "-r") gives the entries from the other end: when the two
// meet (they share an entry, each in its order), together they are the
// whole directory, which `forward` then holds. False, and `forward`
// unchanged, when they do not meet or either is not in order.
bool JoinFromBothEnds(TznFTPDirList& forward, TznFTPDirList& reverse);

}  // namespace zn
