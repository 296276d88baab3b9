#include "log_line.h"

#include <cstdio>

namespace hostlens::logbridge {

std::string LevelWord(int level) {
    switch (level) {
        case 20:
            return "WARNING";
        case 30:
            return "ERROR";
        case 50:
            return "EXCEPTION";
        default:
            return std::to_string(level);
    }
}

std::string Timestamp(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    auto millis = floor<milliseconds>(time);
    auto day = floor<days>(millis);
    year_month_day date{day};
    hh_mm_ss clock{millis - day};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
    return text;
}

std::string LogLine(std::chrono::system_clock::time_point time, int level, std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
    std::string line = Timestamp(time);
    line += ' ';
    line += LevelWord(level);
    line += ' ';
    for (char c : text) line += (c == '\n' || c == '\r') ? ' ' : c;
    line += '\n';
    return line;
}

}  // namespace hostlens::logbridge
