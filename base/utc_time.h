// Times in UTC, as file names and records write them.
#pragma once

#include <chrono>
#include <string>

namespace kelvarin {

// time in UTC as "YYYYMMDDTHHMMSSZ", for file names.
std::string UtcStamp(std::chrono::system_clock::time_point time);

// time in UTC as "YYYY-MM-DDTHH:MM:SS.mmmZ" (ISO 8601), for records and JSON.
std::string UtcText(std::chrono::system_clock::time_point time);

}  // namespace kelvarin
