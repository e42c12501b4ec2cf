// SPDX-License-Identifier: MIT
#include "platform/date_time.h"

#include <chrono>
#include <cmath>
#include <ctime>

namespace platform {
namespace {

using namespace std::chrono;

constexpr sys_days kEpoch = sys_days{year{1899} / December / 30};

}  // namespace

bool IsValidDate(int y, int m, int d) {
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
    return year_month_day{year{y}, month{static_cast<unsigned>(m)}, day{static_cast<unsigned>(d)}}.ok();
}

bool TryEncodeDate(int y, int m, int d, TDateTime& result) {
    if (!IsValidDate(y, m, d)) return false;
    const sys_days date{year{y} / month{static_cast<unsigned>(m)} / day{static_cast<unsigned>(d)}};
    result = static_cast<TDateTime>((date - kEpoch).count());
    return true;
}

bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& result) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || millisecond < 0 ||
        millisecond > 999) {
        return false;
    }
    result = (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + millisecond) / 86400000.0;
    return true;
}

LocalDateTime DecodeDateTime(TDateTime value) {
    const double wholeDays = std::floor(value);
    const year_month_day date{kEpoch + days{static_cast<long>(wholeDays)}};
    long ms = std::lround((value - wholeDays) * 86400000.0);
    LocalDateTime out;
    out.year = static_cast<int>(date.year());
    out.month = static_cast<int>(static_cast<unsigned>(date.month()));
    out.day = static_cast<int>(static_cast<unsigned>(date.day()));
    out.millisecond = static_cast<int>(ms % 1000);
    out.second = static_cast<int>(ms / 1000 % 60);
    out.minute = static_cast<int>(ms / 60000 % 60);
    out.hour = static_cast<int>(ms / 3600000);
    return out;
}

LocalDateTime NowLocal() {
    // localtime_r reads the time zone on every call; the listing parser asks
    // for the date once per line, so the broken-down time is kept per second.
    thread_local std::time_t cachedSecond = -1;
    thread_local std::tm cached{};
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    if (now.tv_sec != cachedSecond) {
        localtime_r(&now.tv_sec, &cached);
        cachedSecond = now.tv_sec;
    }
    LocalDateTime out;
    out.year = cached.tm_year + 1900;
    out.month = cached.tm_mon + 1;
    out.day = cached.tm_mday;
    out.hour = cached.tm_hour;
    out.minute = cached.tm_min;
    out.second = cached.tm_sec;
    out.millisecond = static_cast<int>(now.tv_nsec / 1000000);
    return out;
}

TDateTime Now() {
    const LocalDateTime t = NowLocal();
    TDateTime date = 0, time = 0;
    TryEncodeDate(t.year, t.month, t.day, date);
    TryEncodeTime(t.hour, t.minute, t.second, t.millisecond, time);
    return date + time;
}

}  // namespace platform
