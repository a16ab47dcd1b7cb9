#include "plan/TimeText.h"
#include "io/Errors.h"

#include <gtest/gtest.h>

#include <limits>

using namespace mp3core;

namespace {

TEST(FormatMs, DisplayTexts)
{
    const std::vector<std::pair<int64_t, std::string>> cases = {
        {0, "00:00.000"},
        {62500, "01:02.500"},
        {3599999, "59:59.999"},
        {3600000, "60:00.000"},
        {3725000, "62:05.000"},
        {-1500, "00:01.500"},
        {86400000, "1440:00.000"},
        {std::numeric_limits<int32_t>::max(), "35791:23.647"},
        {std::numeric_limits<int32_t>::min(), "35791:23.648"}};
    for (const auto &[ms, text] : cases) {
        EXPECT_EQ(FormatMs("nn:ss.zzz", ms), text) << ms;
    }
}

TEST(FormatMs, FieldTexts)
{
    EXPECT_EQ(FormatMs("nn", 3725042), "62");
    EXPECT_EQ(FormatMs("ss", 3725042), "05");
    EXPECT_EQ(FormatMs("zzz", 3725042), "042");
    EXPECT_EQ(FormatMs("nn", 5000), "00");
}

TEST(TimeTextToMs, EntryTexts)
{
    const std::vector<std::pair<std::string, int32_t>> cases = {
        {"02:05.123", 125123},  {"2:5.123", 125123},         {"0:1.5", 1005},
        {"0:1.500", 1500},      {"0:75.0", 75000},           {"90:0.0", 5400000},
        {"-1:0.0", -60000},     {" 1: 2. 3", 62003},         {"+1:$A.0x10", 70016},
        {"62:05.000", 3725000}, {"35791:23.647", 2147483647}};
    for (const auto &[text, ms] : cases) {
        EXPECT_EQ(TimeTextToMs(text), ms) << text;
    }
}

TEST(TimeTextToMs, BadPiecesRaiseTheIntegerError)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "''"},
        {"5", "''"},
        {"1:2", "''"},
        {"1:2.", "''"},
        {"1:2:3.4", "'2:3'"},
        {"a:1.0", "'a'"},
        {"1 :1.0", "'1 '"},
        {"1:1.0x", "'0x'"},
        {"99999999999:0.0", "'99999999999'"},
        {"35791:23.648", "'35791:23.648'"}};
    for (const auto &[text, piece] : cases) {
        try {
            TimeTextToMs(text);
            ADD_FAILURE() << text << " was accepted";
        } catch (const EConvertError &e) {
            EXPECT_EQ(e.what(), piece + " is not a valid integer value") << text;
        }
    }
}

TEST(ClockTextToMs, ReadsDisplayTexts)
{
    EXPECT_EQ(ClockTextToMs("01:02.500"), 62500);
    EXPECT_EQ(ClockTextToMs("59:59.999"), 3599999);
    EXPECT_EQ(ClockTextToMs("60:00.000"), 3600000);
    EXPECT_EQ(ClockTextToMs("1440:00.000"), 86400000);
    EXPECT_EQ(ClockTextToMs("02:05"), 125000);
    // Every display text reads back as the time it shows, by both readers.
    for (int64_t ms : {0, 1, 999, 59999, 3599999, 3600000, 3725042, 123456789, 2147483647}) {
        const std::string text = FormatMs("nn:ss.zzz", ms);
        EXPECT_EQ(ClockTextToMs(text), ms) << text;
        EXPECT_EQ(TimeTextToMs(text), ms) << text;
    }
}

TEST(ClockTextToMs, RejectsWhatIsNoTime)
{
    for (const std::string text :
         {"00:60.000", "01:02.1000", "-1:00.000", "1:2:3", "", "a", "01:02.500x"}) {
        try {
            ClockTextToMs(text);
            ADD_FAILURE() << text << " was accepted";
        } catch (const EConvertError &e) {
            EXPECT_EQ(e.what(), "'00:" + text + "' is not a valid time");
        }
    }
}

TEST(FieldsToMs, SumsWithoutRangeChecks)
{
    EXPECT_EQ(FieldsToMs(1, 2, 3), 62003);
    EXPECT_EQ(FieldsToMs(0, 60, 0), 60000);
    EXPECT_EQ(FieldsToMs(9999, 59, 999), 599999999);
    EXPECT_EQ(FieldsToMs(StrToIntDef("", 0), 5, StrToIntDef("x", 0)), 5000);
    EXPECT_THROW(FieldsToMs(40000, 0, 0), EConvertError) << "no wrapping past 32 bits";
}

TEST(StrToInt, Forms)
{
    int32_t v = 0;
    EXPECT_TRUE(TryStrToInt("  -12", v));
    EXPECT_EQ(v, -12);
    EXPECT_TRUE(TryStrToInt("0X1f", v));
    EXPECT_EQ(v, 31);
    EXPECT_TRUE(TryStrToInt("-2147483648", v));
    EXPECT_EQ(v, std::numeric_limits<int32_t>::min());
    for (const char *bad : {"", " ", "+", "12 ", "1.5", "2147483648", "$", "0x", "1e3"}) {
        EXPECT_FALSE(TryStrToInt(bad, v)) << bad;
    }
}

} // namespace

// Times as people type them on a command line; the fraction is a decimal one.
TEST(TimeText, TypedTimes)
{
    const struct
    {
        const char *text;
        int64_t ms;
        bool fromEnd;
    } good[] = {
        {"90", 90000, false},
        {"90.5", 90500, false},
        {"1:30", 90000, false},
        {"1:30.5", 90500, false},
        {"0:1.5", 1500, false},
        {"12:30.000", 750000, false},
        {"1:02:03.250", 3723250, false},
        {"62:05", 3725000, false},
        {"-30", 30000, true},
        {"-0:30", 30000, true},
        {"0.0004", 0, false},
        {"0.0005", 1, false},
        {"1.23456", 1235, false},
    };
    for (const auto &g : good) {
        const std::optional<TTypedTime> t = ParseTypedTime(g.text);
        ASSERT_TRUE(t) << g.text;
        EXPECT_EQ(t->Ms, g.ms) << g.text;
        EXPECT_EQ(t->FromEnd, g.fromEnd) << g.text;
    }
    for (const char *bad : {"", "-", "1,5", "1:", ":30", "1:2:3:4", "1.5.2", "1.", "abc", "--3",
                            " 1", "1 ", "+5", "99999999999"}) {
        EXPECT_FALSE(ParseTypedTime(bad)) << bad;
    }
}
