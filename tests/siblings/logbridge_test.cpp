// The agent's logging library: message expansion, the lines it writes, and its
// behaviour under concurrent callers.
#include <gtest/gtest.h>

#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "siblings/logbridge/exports.h"
#include "siblings/logbridge/format.h"
#include "siblings/logbridge/log_line.h"

namespace {

using hostlens::logbridge::Expand;
using std::chrono::system_clock;

std::string Fmt(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = Expand(format, args);
    va_end(args);
    return text;
}

struct Case {
    const char* name;
    std::string got;
    std::string want;
};

void Check(const std::vector<Case>& cases) {
    for (const Case& c : cases) EXPECT_EQ(c.got, c.want) << c.name;
}

TEST(LogbridgeFormat, Directives) {
    Check({
        {"plain", Fmt("plain text"), "plain text"},
        {"empty", Fmt(""), ""},
        {"%d", Fmt("%d", 42), "42"},
        {"%d negative", Fmt("%d", -42), "-42"},
        {"%i", Fmt("%i", INT_MIN), "-2147483648"},
        {"%u", Fmt("%u", 4294967295u), "4294967295"},
        {"%x", Fmt("%x", 0xBEEFu), "beef"},
        {"%X", Fmt("%X", 0xBEEFu), "BEEF"},
        {"%08X", Fmt("%08X", 0x80070005u), "80070005"},
        {"%ld", Fmt("%ld", -1), "-1"},
        {"%ld then %d", Fmt("%ld %d", INT_MIN, 7), "-2147483648 7"},
        {"%lu", Fmt("%lu", 4294967295u), "4294967295"},
        {"%lu then %lu", Fmt("%lu %lu", 1u, 2u), "1 2"},
        {"%lx", Fmt("%lx", 0xFFFFFFFFu), "ffffffff"},
        {"%I64d", Fmt("%I64d", INT64_MIN), "-9223372036854775808"},
        {"%I64u", Fmt("%I64u", UINT64_MAX), "18446744073709551615"},
        {"%I64x", Fmt("%I64X", 0x123456789ABCDEF0ull), "123456789ABCDEF0"},
        {"%lld", Fmt("%lld", -5ll), "-5"},
        {"%I64u then %d", Fmt("%I64u %d", 1ull << 40, 3), "1099511627776 3"},
        {"%s", Fmt("[%s]", "text"), "[text]"},
        {"%s null", Fmt("[%s]", static_cast<const char*>(nullptr)), "[(null)]"},
        {"%s utf-8",
         Fmt("%s",
             "Gr\xC3\xBC\xC3\x9F"
             "e"),
         "Gr\xC3\xBC\xC3\x9F"
         "e"},
        {"%c", Fmt("%c%c", 'o', 'k'), "ok"},
        {"%%", Fmt("100%% of %d%%", 5), "100% of 5%"},
        // Widths, precision and flags.
        {"%5d", Fmt("[%5d]", 42), "[   42]"},
        {"%-5d", Fmt("[%-5d]", 42), "[42   ]"},
        {"%05d", Fmt("[%05d]", -42), "[-0042]"},
        {"%+d", Fmt("[%+d]", 42), "[+42]"},
        {"% d", Fmt("[% d]", 42), "[ 42]"},
        {"%+ d", Fmt("[%+ d]", 42), "[+42]"},
        {"%.3d", Fmt("[%.3d]", 7), "[007]"},
        {"%6.3d", Fmt("[%6.3d]", -7), "[  -007]"},
        {"%06.3d", Fmt("[%06.3d]", 7), "[   007]"},
        {"%.0d of 0", Fmt("[%.0d]", 0), "[]"},
        {"%.d of 0", Fmt("[%.d]", 0), "[]"},
        {"%#x", Fmt("[%#x]", 255u), "[0xff]"},
        {"%#X", Fmt("[%#X]", 255u), "[0XFF]"},
        {"%#x of 0", Fmt("[%#x]", 0u), "[0]"},
        {"%#010x", Fmt("[%#010x]", 255u), "[0x000000ff]"},
        {"%-#8x", Fmt("[%-#8x]", 255u), "[0xff    ]"},
        {"%-05d", Fmt("[%-05d]", 3), "[3    ]"},
        {"%8s", Fmt("[%8s]", "abc"), "[     abc]"},
        {"%-8s", Fmt("[%-8s]", "abc"), "[abc     ]"},
        {"%.2s", Fmt("[%.2s]", "abc"), "[ab]"},
        {"%5.1s", Fmt("[%5.1s]", "abc"), "[    a]"},
        {"%.3s null", Fmt("[%.3s]", static_cast<const char*>(nullptr)), "[(nu]"},
        {"%3c", Fmt("[%3c]", 'x'), "[  x]"},
        {"%*d", Fmt("[%*d]", 5, 42), "[   42]"},
        {"%*d negative width", Fmt("[%*d]", -5, 42), "[42   ]"},
        {"%.*s", Fmt("[%.*s]", 3, "abcdef"), "[abc]"},
        {"%.*s negative precision", Fmt("[%.*s]", -1, "abcdef"), "[abcdef]"},
        {"%-*.*s", Fmt("[%-*.*s]", 6, 2, "abcdef"), "[ab    ]"},
    });
}

// The integer conversions against the C runtime's printf, over every combination of
// flags and a spread of widths, precisions and values. %I64 and %l are the Windows
// spellings of the host's %ll and plain 32-bit conversions.
TEST(LogbridgeFormat, IntegersAgreeWithPrintf) {
    const std::vector<std::string> flags = {"",   "-",  "+",  " ",  "0",  "#",
                                            "-+", "+0", " 0", "#0", "-#", "+ 0#-"};
    const std::vector<std::string> widths = {"", "1", "6", "22"};
    const std::vector<std::string> precisions = {"", ".", ".0", ".1", ".4", ".21"};
    const std::vector<long long> values = {0,    1,     -1,      9,       10,        255,
                                           -255, 65535, INT_MAX, INT_MIN, LLONG_MAX, LLONG_MIN};
    for (const char conversion : {'d', 'i', 'u', 'x', 'X'}) {
        for (const std::string& flag : flags) {
            for (const std::string& width : widths) {
                for (const std::string& precision : precisions) {
                    std::string spec = "%" + flag + width + precision;
                    for (long long value : values) {
                        char want[128];
                        // 32 bits, plain and with l.
                        std::string host = spec + conversion;
                        std::snprintf(want, sizeof want, host.c_str(), static_cast<int>(value));
                        EXPECT_EQ(Fmt(host.c_str(), static_cast<int>(value)), want)
                            << host << " of " << value;
                        std::string windowsLong = spec + "l" + conversion;
                        EXPECT_EQ(Fmt(windowsLong.c_str(), static_cast<int>(value)), want)
                            << windowsLong << " of " << value;
                        // 64 bits.
                        host = spec + "ll" + conversion;
                        std::snprintf(want, sizeof want, host.c_str(), value);
                        std::string windows64 = spec + "I64" + conversion;
                        EXPECT_EQ(Fmt(windows64.c_str(), value), want) << windows64 << " of " << value;
                    }
                }
            }
        }
    }
}

TEST(LogbridgeFormat, WideStrings) {
    const char16_t* nothing = nullptr;
    Check({
        {"%ws ascii", Fmt("[%ws]", u"Program Files"), "[Program Files]"},
        {"%ws latin", Fmt("%ws", u"Gr\u00FC\u00DFe"),
         "Gr\xC3\xBC\xC3\x9F"
         "e"},
        {"%ws cjk", Fmt("%ws", u"\u65E5\u672C"), "\xE6\x97\xA5\xE6\x9C\xAC"},
        {"%ws surrogate pair", Fmt("%ws", u"a\U0001F600b"),
         "a\xF0\x9F\x98\x80"
         "b"},
        {"%ws highest code point", Fmt("%ws", u"\U0010FFFF"), "\xF4\x8F\xBF\xBF"},
        {"%ws unpaired high",
         Fmt("%ws",
             u"a\xD800"
             "b"),
         "a\xEF\xBF\xBD"
         "b"},
        {"%ws unpaired low", Fmt("%ws", u"\xDC00"), "\xEF\xBF\xBD"},
        {"%ws high at end", Fmt("%ws", u"a\xD83D"), "a\xEF\xBF\xBD"},
        {"%ws null", Fmt("[%ws]", nothing), "[(null)]"},
        {"%ls", Fmt("%ls", u"wide"), "wide"},
        {"%ws empty", Fmt("[%ws]", u""), "[]"},
        // Width and precision count UTF-16 units; a precision never cuts a pair.
        {"%6ws", Fmt("[%6ws]", u"\u00FC\u00DF"), "[    \xC3\xBC\xC3\x9F]"},
        {"%-4ws", Fmt("[%-4ws]", u"\U0001F600"), "[\xF0\x9F\x98\x80  ]"},
        {"%.1ws", Fmt("[%.1ws]", u"\u00FCx"), "[\xC3\xBC]"},
        {"%.1ws of a pair", Fmt("[%.1ws]", u"\U0001F600"), "[]"},
        {"%.2ws of a pair", Fmt("[%.2ws]", u"\U0001F600x"), "[\xF0\x9F\x98\x80]"},
        {"%.3ws after a pair", Fmt("[%.3ws]", u"x\U0001F600y"), "[x\xF0\x9F\x98\x80]"},
        {"%.2ws null", Fmt("[%.2ws]", nothing), "[(n]"},
        {"%ws then %d", Fmt("%ws=%d", u"k", 5), "k=5"},
    });
}

// A precision bounds how much of the argument is read: it need not be terminated.
TEST(LogbridgeFormat, PrecisionReadsNoFurther) {
    const char narrow[3] = {'a', 'b', 'c'};
    const char16_t wide[3] = {u'x', u'y', u'z'};
    EXPECT_EQ(Fmt("%.3s|%.2ws", narrow, wide), "abc|xy");
}

// What is not a directive is written as it stands and consumes no argument: the
// directives after it still get their own arguments.
TEST(LogbridgeFormat, MalformedDirectivesAreText) {
    Check({
        {"%q", Fmt("%q"), "%q"},
        {"%q %d", Fmt("%q %d", 5), "%q 5"},
        {"trailing %", Fmt("100%"), "100%"},
        {"trailing %-", Fmt("x %-"), "x %-"},
        {"trailing %5", Fmt("x %5"), "x %5"},
        {"trailing %.", Fmt("x %."), "x %."},
        {"trailing %l", Fmt("x %l"), "x %l"},
        {"trailing %I6", Fmt("x %I6"), "x %I6"},
        {"%I32d", Fmt("%I32d %d", 9), "%I32d 9"},
        {"%I64s", Fmt("%I64s %s", "a"), "%I64s a"},
        {"%hd", Fmt("%hd %d", 1), "%hd 1"},
        {"%lls", Fmt("%lls|%d", 2), "%lls|2"},
        {"%wd", Fmt("%wd|%u", 3u), "%wd|3"},
        {"%lc", Fmt("%lc|%u", 4u), "%lc|4"},
        {"%5%", Fmt("%5%d", 6), "%56"},
        {"%*q", Fmt("%*q %d", 7), "%*q 7"},
        {"%.*z", Fmt("%.*z %d", 8), "%.*z 8"},
        {"%p", Fmt("%p %d", 9), "%p 9"},
        {"%n", Fmt("%n %d", 10), "%n 10"},
        {"%f", Fmt("%f %d", 11), "%f 11"},
        {"%-", Fmt("%-%d", 12), "%-12"},
        {"runaway width", Fmt("%99999999999999999999d %d", 13), "%99999999999999999999d 13"},
        {"runaway precision", Fmt("%.99999999999s %d", 14), "%.99999999999s 14"},
        {"utf-8 after %", Fmt("%\xC3\xBC %d", 15), "%\xC3\xBC 15"},
    });
}

TEST(LogbridgeFormat, LongOutputs) {
    std::string big(100000, 'x');
    big[0] = 'A';
    big.back() = 'Z';
    EXPECT_EQ(Fmt("<%s>", big.c_str()), "<" + big + ">");

    std::u16string wide;
    std::string wideUtf8;
    for (int i = 0; i < 30000; ++i) {
        wide += u"\u00E9\U0001F600";
        wideUtf8 += "\xC3\xA9\xF0\x9F\x98\x80";
    }
    EXPECT_EQ(Fmt("%ws", wide.c_str()), wideUtf8);

    EXPECT_EQ(Fmt("%70000d", 1), std::string(69999, ' ') + "1");
    EXPECT_EQ(Fmt("%.5000u", 2u), std::string(4999, '0') + "2");
    EXPECT_EQ(Fmt("%-*d|", 65536, 3), "3" + std::string(65535, ' ') + "|");

    // Long literal text on both sides of a directive.
    std::string side(50000, '.');
    EXPECT_EQ(Fmt((side + "%d" + side).c_str(), 4), side + "4" + side);
}

TEST(LogbridgeLine, Layout) {
    using namespace std::chrono;
    auto at = [](int y, unsigned m, unsigned d, int h, int min, int s, int ms) {
        return system_clock::time_point(sys_days(year(y) / month(m) / day(d)) + hours(h) + minutes(min) +
                                        seconds(s) + milliseconds(ms));
    };
    using hostlens::logbridge::LogLine;
    Check({
        {"epoch", LogLine(system_clock::time_point(), 30, "x"), "1970-01-01T00:00:00.000Z ERROR x\n"},
        {"leap day", LogLine(at(2024, 2, 29, 23, 59, 59, 999), 20, "w"),
         "2024-02-29T23:59:59.999Z WARNING w\n"},
        {"new year", LogLine(at(2031, 1, 1, 0, 0, 0, 7), 50, "e"), "2031-01-01T00:00:00.007Z EXCEPTION e\n"},
        {"before the epoch", LogLine(at(1969, 12, 31, 23, 59, 59, 500), 30, ""),
         "1969-12-31T23:59:59.500Z ERROR \n"},
        {"other level", LogLine(system_clock::time_point(), 40, "t"), "1970-01-01T00:00:00.000Z 40 t\n"},
        {"negative level", LogLine(system_clock::time_point(), -3, "t"), "1970-01-01T00:00:00.000Z -3 t\n"},
        {"trailing newline", LogLine(system_clock::time_point(), 20, "a\r\n"),
         "1970-01-01T00:00:00.000Z WARNING a\n"},
        {"inner newlines", LogLine(system_clock::time_point(), 20, "a\nb\r\nc\n\n"),
         "1970-01-01T00:00:00.000Z WARNING a b  c\n"},
        {"sub-millisecond", LogLine(system_clock::time_point(microseconds(1999)), 20, "u"),
         "1970-01-01T00:00:00.001Z WARNING u\n"},
    });
}

// ---- The library itself, writing to a file named by HOSTLENS_LOG_FILE.

struct ParsedLine {
    system_clock::time_point time;
    std::string level;
    std::string text;
};

// "2024-02-29T23:59:59.999Z WARNING text"; false when the line has another shape.
bool ParseLine(const std::string& line, ParsedLine& parsed) {
    // Only the timestamp goes through the regex: lines can be far longer than a
    // recursive matcher should be given.
    static const std::regex stamp(R"(^(\d{4})-(\d{2})-(\d{2})T(\d{2}):(\d{2}):(\d{2})\.(\d{3})Z$)");
    constexpr std::size_t kStamp = 24;
    std::smatch m;
    std::string head = line.substr(0, kStamp);
    if (line.size() < kStamp + 1 || line[kStamp] != ' ' || !std::regex_match(head, m, stamp)) return false;
    using namespace std::chrono;
    auto number = [&](int i) { return std::stoi(m[i].str()); };
    year_month_day date{year(number(1)), month(number(2)), day(number(3))};
    if (!date.ok() || number(4) > 23 || number(5) > 59 || number(6) > 59) return false;
    parsed.time =
        sys_days(date) + hours(number(4)) + minutes(number(5)) + seconds(number(6)) + milliseconds(number(7));
    std::size_t levelEnd = line.find(' ', kStamp + 1);
    if (levelEnd == std::string::npos || levelEnd == kStamp + 1) return false;
    parsed.level = line.substr(kStamp + 1, levelEnd - kStamp - 1);
    parsed.text = line.substr(levelEnd + 1);
    return true;
}

class LogbridgeFile : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        folder_ = std::filesystem::temp_directory_path() / ("logbridge-test-" + std::to_string(random()));
        std::filesystem::create_directories(folder_);
        file_ = folder_ / "agent.log";
        ::setenv("HOSTLENS_LOG_FILE", file_.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("HOSTLENS_LOG_FILE");
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }

    std::vector<std::string> Lines() const {
        std::ifstream in(file_, std::ios::binary);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    std::filesystem::path folder_;
    std::filesystem::path file_;
};

TEST_F(LogbridgeFile, OneLinePerMessage) {
    ILogbridge* logger = GetILogbridge();
    ASSERT_NE(logger, nullptr);
    auto before = std::chrono::floor<std::chrono::milliseconds>(system_clock::now());
    logger->Log(LOG_LEVEL_WARNING, "volume %ws has %I64u bytes", u"C:\\", 1ull << 33);
    logger->Log(LOG_LEVEL_ERROR, "RegOpenKeyExW failed: %ld", 2);
    logger->Log(LOG_LEVEL_EXCEPTION, "caught %s", "out of memory");
    logger->Log(10, "level %d", 10);
    logger->Log(LOG_LEVEL_ERROR, "two\nlines\n");
    logger->Log(LOG_LEVEL_WARNING, "");
    auto after = system_clock::now();
    FreeILogbridge(&logger);
    EXPECT_EQ(logger, nullptr);

    const std::vector<std::pair<std::string, std::string>> want = {
        {"WARNING", "volume C:\\ has 8589934592 bytes"},
        {"ERROR", "RegOpenKeyExW failed: 2"},
        {"EXCEPTION", "caught out of memory"},
        {"10", "level 10"},
        {"ERROR", "two lines"},
        {"WARNING", ""},
    };
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), want.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        ParsedLine parsed;
        ASSERT_TRUE(ParseLine(lines[i], parsed)) << lines[i];
        EXPECT_EQ(parsed.level, want[i].first) << lines[i];
        EXPECT_EQ(parsed.text, want[i].second) << lines[i];
        // UTC, to the millisecond, taken while the message was logged.
        EXPECT_LE(before, parsed.time) << lines[i];
        EXPECT_LE(parsed.time, after) << lines[i];
    }
}

TEST_F(LogbridgeFile, AppendsToWhatIsThere) {
    std::ofstream(file_, std::ios::binary) << "earlier line\n";
    ILogbridge* logger = GetILogbridge();
    ASSERT_NE(logger, nullptr);
    logger->Log(LOG_LEVEL_ERROR, "one");
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "earlier line");
    EXPECT_NE(lines[1].find(" ERROR one"), std::string::npos) << lines[1];

    // The destination is read per message: a removed file is made again.
    std::filesystem::remove(file_);
    logger->Log(LOG_LEVEL_ERROR, "two");
    FreeILogbridge(&logger);
    lines = Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(" ERROR two"), std::string::npos) << lines[0];
}

TEST_F(LogbridgeFile, StandardErrorWithoutAUsableFile) {
    ILogbridge* logger = GetILogbridge();
    ASSERT_NE(logger, nullptr);
    for (const char* destination : std::vector<const char*>{"", nullptr, "missing-folder/agent.log"}) {
        if (destination == nullptr) {
            ::unsetenv("HOSTLENS_LOG_FILE");
        } else if (*destination == '\0') {
            ::setenv("HOSTLENS_LOG_FILE", "", 1);
        } else {
            ::setenv("HOSTLENS_LOG_FILE", (folder_ / destination).c_str(), 1);
        }
        ::testing::internal::CaptureStderr();
        logger->Log(LOG_LEVEL_EXCEPTION, "to %s", "stderr");
        std::string captured = ::testing::internal::GetCapturedStderr();
        ParsedLine parsed;
        ASSERT_FALSE(captured.empty()) << (destination ? destination : "unset");
        EXPECT_EQ(captured.back(), '\n');
        captured.pop_back();
        ASSERT_TRUE(ParseLine(captured, parsed)) << captured;
        EXPECT_EQ(parsed.level, "EXCEPTION");
        EXPECT_EQ(parsed.text, "to stderr");
    }
    FreeILogbridge(&logger);
}

TEST_F(LogbridgeFile, OneLoggerPerProcess) {
    ILogbridge* first = GetILogbridge();
    ILogbridge* second = GetILogbridge();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    FreeILogbridge(&first);
    EXPECT_EQ(first, nullptr);
    // The other reference still holds the logger.
    second->Log(LOG_LEVEL_WARNING, "still here");
    FreeILogbridge(&second);
    EXPECT_EQ(second, nullptr);
    // Releasing nothing is harmless.
    FreeILogbridge(&second);
    FreeILogbridge(nullptr);
    // After the last release a new logger is made on demand.
    ILogbridge* again = GetILogbridge();
    ASSERT_NE(again, nullptr);
    again->Log(LOG_LEVEL_WARNING, "again");
    EXPECT_EQ(again->Log(LOG_LEVEL_WARNING, nullptr), -1);
    FreeILogbridge(&again);

    std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find(" WARNING still here"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find(" WARNING again"), std::string::npos) << lines[1];
}

// Many threads, each with its own reference, logging messages of very different
// lengths at once: every message is one whole line, none lost, none mixed.
TEST_F(LogbridgeFile, ConcurrentCallersKeepLinesWhole) {
    constexpr int kThreads = 8;
    constexpr int kMessages = 150;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            ILogbridge* logger = GetILogbridge();
            for (int n = 0; n < kMessages; ++n) {
                std::string payload((n * 7919 + t * 131) % 9000, static_cast<char>('a' + t));
                logger->Log(LOG_LEVEL_ERROR, "thread %d message %d size %u %s", t, n,
                            static_cast<unsigned>(payload.size()), payload.c_str());
            }
            FreeILogbridge(&logger);
        });
    }
    for (std::thread& thread : threads) thread.join();

    std::set<std::pair<int, int>> seen;
    std::vector<std::string> lines = Lines();
    EXPECT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kMessages));
    for (const std::string& line : lines) {
        ParsedLine parsed;
        ASSERT_TRUE(ParseLine(line, parsed)) << line.substr(0, 200);
        int t = -1;
        int n = -1;
        unsigned size = 0;
        int consumed = 0;
        ASSERT_EQ(
            std::sscanf(parsed.text.c_str(), "thread %d message %d size %u %n", &t, &n, &size, &consumed), 3)
            << line.substr(0, 200);
        ASSERT_TRUE(t >= 0 && t < kThreads) << line.substr(0, 200);
        std::string payload = parsed.text.substr(consumed);
        EXPECT_EQ(payload.size(), size) << "thread " << t << " message " << n;
        EXPECT_EQ(payload.find_first_not_of(static_cast<char>('a' + t)), std::string::npos)
            << "thread " << t << " message " << n;
        EXPECT_TRUE(seen.emplace(t, n).second) << "twice: thread " << t << " message " << n;
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kMessages));
}

}  // namespace
