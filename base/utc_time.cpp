// UTC from the system clock with the calendar of <chrono>: no system call,
// the same on every system.
#include "utc_time.h"

#include <cstdio>

namespace kelvarin {

namespace {

struct Fields {
    int year, month, day, hour, minute, second, millisecond;
};

Fields FieldsOf(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const auto ms = time_point_cast<milliseconds>(time);
    const auto day = floor<days>(ms);
    const year_month_day date(day);
    const hh_mm_ss<milliseconds> clock(ms - day);
    return {static_cast<int>(date.year()),
            static_cast<int>(static_cast<unsigned>(date.month())),
            static_cast<int>(static_cast<unsigned>(date.day())),
            static_cast<int>(clock.hours().count()),
            static_cast<int>(clock.minutes().count()),
            static_cast<int>(clock.seconds().count()),
            static_cast<int>(clock.subseconds().count())};
}

}  // namespace

std::string UtcStamp(std::chrono::system_clock::time_point time) {
    const Fields f = FieldsOf(time);
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02dZ", f.year, f.month, f.day,
                  f.hour, f.minute, f.second);
    return text;
}

std::string UtcText(std::chrono::system_clock::time_point time) {
    const Fields f = FieldsOf(time);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", f.year, f.month,
                  f.day, f.hour, f.minute, f.second, f.millisecond);
    return text;
}

}  // namespace kelvarin
