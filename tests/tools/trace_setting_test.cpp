// --trace LEVEL[,FLAGS] as the trace controller's setting.
#include <gtest/gtest.h>

#include "tools/hostlens/trace_setting.h"

namespace {

using hostlens::cli::TraceSetting;

TEST(TraceSetting, LevelAndFlagsBecomeTheControllerSetting) {
    struct Case {
        const char* option;
        std::optional<std::string> setting;
    };
    const Case cases[] = {
        {"5", "level=5,flags=0xFFFFFFFF,file=-"},
        {"1,0x3", "level=1,flags=0x3,file=-"},
        {"4,0Xff", "level=4,flags=0xFF,file=-"},
        {"3,12", "level=3,flags=0xC,file=-"},
        {"0,0", "level=0,flags=0x0,file=-"},
        {"255,0xFFFFFFFF", "level=255,flags=0xFFFFFFFF,file=-"},
        {"", std::nullopt},
        {"x", std::nullopt},
        {"-1", std::nullopt},
        {"256", std::nullopt},
        {"5,", std::nullopt},
        {",3", std::nullopt},
        {"5,0x", std::nullopt},
        {"5,0x1FFFFFFFF", std::nullopt},
        {"5,3,1", std::nullopt},
        {"5 ", std::nullopt},
        {"5,zz", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(TraceSetting(c.option), c.setting) << '"' << c.option << '"';
}

}  // namespace
