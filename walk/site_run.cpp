// SPDX-License-Identifier: MIT
#include "walk/site_run.h"

#include <exception>
#include <utility>

namespace zn {

void ConnectToSite(TznFTP& ftp, TlsMemory& memory, const SiteAddress& site,
                   const std::function<void(const std::string&)>& notRemembered) {
    ftp.Connect();
    std::string error;
    if (ftp.TlsActive() && !memory.Remember(site.Server, site.Scheme, error) && notRemembered) notRemembered(error);
    if (!site.StartDir.empty()) ftp.ChangeDir(site.StartDir);
}

SiteRun::SiteRun(TznFTP& ftp, WalkSessionObserver& observer, WalkSession::Settings settings)
    : ftp_(ftp), session_(ftp, observer, std::move(settings)) {}

void SiteRun::Connect(TlsMemory& memory, const SiteAddress& site,
                      const std::function<void(const std::string&)>& notRemembered) {
    // Logged on and in TLS or not, before the start directory is entered,
    // which may fail on its own.
    ConnectToSite(ftp_, memory, {site.Server, site.Scheme, {}}, notRemembered);
    loggedOn_ = true;
    secured_ = ftp_.TlsActive();
    if (!site.StartDir.empty()) ftp_.ChangeDir(site.StartDir);
}

void SiteRun::Walk() {
    session_.Walk();
    secured_ = secured_ && session_.FurtherSecured();
}

SpaceLeft SiteRun::AskSpaceLeft() {
    try {
        return {ftp_.AvailableSpace(), true, {}};
    } catch (const std::exception& e) {
        return {std::nullopt, false, e.what()};
    }
}

}  // namespace zn
