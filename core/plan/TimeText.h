#pragma once
// Times as the user sees and types them. A display text is "nn:ss.zzz" with the total minutes
// (at least two digits), so 62:05.000 is one hour, two minutes and five seconds; an entry text
// is minutes:seconds.milliseconds, each piece an integer of any length.

#include "io/Errors.h" // EConvertError

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mp3core {

// Writes count (ms, sign dropped) by pattern: "nn" total minutes, "ss" seconds, "zzz"
// milliseconds; every other character stands as it is.
std::string FormatMs(std::string_view pattern, int64_t count);

// minutes:seconds.milliseconds to ms; "0:1.5" is 1005 ms (the last piece counts milliseconds).
// Raises EConvertError "'%s' is not a valid integer value".
int32_t TimeTextToMs(std::string_view text);

// A time as people type it on a command line: seconds ("90", "90.5"), minutes:seconds
// ("1:30", "1:30.5"), hours:minutes:seconds ("1:02:03.250"), the fraction a decimal one (to the
// nearest ms); a leading "-" counts back from the end ("-30", "-0:30"). None when it is not one.
struct TTypedTime
{
    int64_t Ms = 0;
    bool FromEnd = false;
};
std::optional<TTypedTime> ParseTypedTime(std::string_view text);

// A display text read as a clock, "00:" + text; raises EConvertError "'%s' is not a valid time".
int64_t ClockTextToMs(std::string_view text);

// Three field values to ms; a total beyond the 32-bit range raises the integer error.
int32_t FieldsToMs(int32_t minutes, int32_t seconds, int32_t milliseconds);

// An integer text: leading blanks, an optional sign, decimal digits or hexadecimal ones after
// "$", "x" or "0x"; nothing after them; within the signed 32-bit range.
bool TryStrToInt(std::string_view text, int32_t &value);
int32_t StrToInt(std::string_view text); // raises the integer error
int32_t StrToIntDef(std::string_view text, int32_t fallback);

} // namespace mp3core
