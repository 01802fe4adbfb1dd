#include "record/utc_time.h"

#include <cstdio>

std::string IsoUtcSeconds(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const sys_seconds seconds = floor<std::chrono::seconds>(when);
    const sys_days day = floor<days>(seconds);
    const year_month_day date{day};
    const hh_mm_ss clock{seconds - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(clock.hours().count()),
                  static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()));
    return text;
}
