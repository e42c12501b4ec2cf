// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "ssh/sftp_channel.h"
#include "walk/connection_gauge.h"
#include "walk/cwd_walker.h"
#include "walk/walk_frontier.h"

namespace zn {

// Where an SFTP walk gets further connections while it runs, each logged
// on as the first was: one more when the walk's gauge says it pays.
class SftpFurtherLanes {
public:
    virtual ~SftpFurtherLanes() = default;
    // The first connection's logon time, then the latest further one's.
    virtual double LogonSeconds() const = 0;
    // One more connection's channel, logged on; nothing where no more may
    // be opened or its logon failed. `whileLoggingOn` runs before each
    // round of the logon's waits, so the walk goes on meanwhile.
    virtual SftpChannel* OpenOne(const std::function<void()>& whileLoggingOn) = 0;
    // Ends the logon under way, from `whileLoggingOn`: the walk is done,
    // or failed.
    virtual void StopOpening() = 0;
};

// A walk over SFTP, under the same rules as the FTP walks and into the same
// totals, frontier and tree: every directory by its absolute path, opened,
// read to its end and closed, with up to kOpen directories on the way at
// once, each with one request out. Sizes come from the attributes that come
// with each name, which OpenSSH takes with lstat: a link is a link, never
// what it points to, and counts as the FTP walks count one (kept in the
// tree, not in the total). A directory the server will not open or read is
// passed over and counted as unreadable; the start directory is not.
class SftpWalker : public WalkStrategy {
public:
    static constexpr std::size_t kOpen = 64;

    // `start` as the user gave it; empty: where the server puts the user.
    // `open`: the most directories on the way at once (1: one request at a
    // time, each waiting for the reply before, which the benchmark times).
    SftpWalker(SftpChannel& sftp, WalkObserver& observer, WalkRules rules, std::string start, std::size_t open = kOpen);

    // Further connections from `further`, up to `most` in all with the
    // first, where the gauge finds one pays; `atOnce`: each as soon as it
    // may, unjudged, so that a small tree is walked over several too.
    void SetFurtherLanes(SftpFurtherLanes* further, int most, bool atOnce = false) {
        further_ = further;
        mostLanes_ = most;
        lanesAtOnce_ = atOnce;
    }

    void Walk() override;
    const WalkTotals& Totals() const override { return totals_; }
    std::string Method() const override { return "READDIR"; }
    // The server's name of the start directory, once the walk has asked.
    const std::string& Start() const { return absoluteStart_; }

    // Each request as it goes out and each reply, for -v: `sent` tells
    // which.
    std::function<void(bool sent, const std::string& line)> OnDialogue;

private:
    enum class Stage : std::uint8_t { Opening, Reading, Closing };
    struct Open {
        std::size_t lane = 0;
        int node = 0;
        Stage stage = Stage::Opening;
        std::string handle;
        std::unique_ptr<TznFTPDirList> listing = std::make_unique<TznFTPDirList>();
    };

    void Run();
    void FindStart();
    bool Done() const { return pending_.empty() && frontier_.Empty(); }
    // The connections (sftp_walk_lanes.cpp).
    void GrowLanes();
    void ListWhileLoggingOn();
    // The connection with the fewest directories on the way and room for
    // one more; lanes_.size() where all are full.
    std::size_t Roomiest() const;
    // Those not lost.
    int LiveLanes() const;
    void FillLanes();
    // Takes a reply from each connection that has one, or waits for one.
    void TakeReplies();
    // Takes a reply from each connection that has one; whether any had.
    bool TakeWhatCame();
    std::optional<sftp::Reply> PollLane(std::size_t lane);
    void LoseLane(std::size_t lane, const std::string& why);
    void Request(sftp::PacketType type, const std::string& argument, Open open, const std::string& shown);
    void StartListing(int node, std::size_t lane);
    void Take(std::size_t lane, const sftp::Reply& reply);
    void Opened(Open open, const sftp::Reply& reply);
    void ReadMore(Open open, const sftp::Reply& reply);
    void NotRead(Open open, const sftp::Reply& reply);
    void Accept(int node, const TznFTPDirList& listing);
    void Shown(bool sent, const std::string& line) const;

    SftpChannel& sftp_;
    WalkObserver& observer_;
    WalkRules rules_;
    std::string start_;
    std::string absoluteStart_;
    std::size_t open_;
    WalkTotals totals_;
    WalkFrontier frontier_;
    // By connection and request id, the connection in the upper half.
    std::unordered_map<std::uint64_t, Open> pending_;
    std::vector<SftpChannel*> lanes_;  // nothing where one was lost
    std::vector<std::size_t> load_;    // each connection's directories on the way
    // What went wrong while a further connection logged on, for the walk
    // to throw once the logon has been stopped.
    std::exception_ptr besideError_;
    SftpFurtherLanes* further_ = nullptr;
    int mostLanes_ = 1;
    bool noMoreLanes_ = false;
    bool lanesAtOnce_ = false;
    ConnectionGauge gauge_{0};
    std::chrono::steady_clock::time_point lastListed_;
};

// A name's attributes as a listing entry: a directory, a link, or a file
// with its size (none known: it counts with no bytes).
TznFTPDirEntry EntryOf(const sftp::Name& name);

}  // namespace zn
