// The time texts: every entry text either reads as a time or raises the conversion error, and
// every time written as a display text reads back as itself.
#include "FuzzSupport.h"

#include "plan/TimeText.h"

#include <cstdint>
#include <string_view>

using namespace mp3core;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    try {
        const int32_t ms = TimeTextToMs(text);
        if (ms >= 0) {
            FUZZ_CHECK(TimeTextToMs(FormatMs("nn:ss.zzz", ms)) == ms);
        }
    } catch (const EConvertError &) {
    }
    try {
        ClockTextToMs(text);
    } catch (const EConvertError &) {
    }
    int32_t value = 0;
    const bool ok = TryStrToInt(text, value);
    FUZZ_CHECK(StrToIntDef(text, -7) == (ok ? value : -7));
    TTail tail(data, size);
    const int64_t any = (int64_t(tail.Next(65536)) * 32768 + tail.Next(32768)) % INT32_MAX;
    FUZZ_CHECK(TimeTextToMs(FormatMs("nn:ss.zzz", any)) == any);
    return 0;
}
