// The line the logger writes for one message.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace hostlens::logbridge {

// WARNING, ERROR and EXCEPTION for the levels the service library uses; any other
// level as its number.
std::string LevelWord(int level);

// "2024-03-01T09:05:07.042Z": UTC, ISO 8601, milliseconds.
std::string Timestamp(std::chrono::system_clock::time_point time);

// "<timestamp> <level> <text>\n". Line breaks inside the text become spaces and
// trailing ones are dropped, so that every message is exactly one line.
std::string LogLine(std::chrono::system_clock::time_point time, int level, std::string_view text);

}  // namespace hostlens::logbridge
