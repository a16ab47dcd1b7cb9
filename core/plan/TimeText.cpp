#include "plan/TimeText.h"

#include "io/Errors.h"

#include <cstdio>
#include <limits>

namespace mp3core {

namespace {

[[noreturn]] void IntegerError(std::string_view text)
{
    throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

int DigitValue(char c, int base)
{
    int d = 99;
    if (c >= '0' && c <= '9') {
        d = c - '0';
    } else if (c >= 'a' && c <= 'f') {
        d = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
        d = c - 'A' + 10;
    }
    return d < base ? d : -1;
}

int32_t Checked(int64_t total, std::string_view text)
{
    if (total < std::numeric_limits<int32_t>::min() ||
        total > std::numeric_limits<int32_t>::max()) {
        IntegerError(text);
    }
    return int32_t(total);
}

} // namespace

bool TryStrToInt(std::string_view text, int32_t &value)
{
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == text.size()) {
        return false;
    }
    int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const int d = DigitValue(text[i], base);
        if (d < 0) {
            return false;
        }
        magnitude = magnitude * base + d;
        if (magnitude > int64_t(1) << 32) {
            return false;
        }
    }
    const int64_t signedValue = negative ? -magnitude : magnitude;
    if (signedValue < std::numeric_limits<int32_t>::min() ||
        signedValue > std::numeric_limits<int32_t>::max()) {
        return false;
    }
    value = int32_t(signedValue);
    return true;
}

int32_t StrToInt(std::string_view text)
{
    int32_t value = 0;
    if (!TryStrToInt(text, value)) {
        IntegerError(text);
    }
    return value;
}

int32_t StrToIntDef(std::string_view text, int32_t fallback)
{
    int32_t value = 0;
    return TryStrToInt(text, value) ? value : fallback;
}

std::string FormatMs(std::string_view pattern, int64_t count)
{
    const uint64_t t = count < 0 ? uint64_t(0) - uint64_t(count) : uint64_t(count);
    char piece[32];
    std::string out;
    for (size_t i = 0; i < pattern.size();) {
        const std::string_view rest = pattern.substr(i);
        if (rest.starts_with("nn")) {
            std::snprintf(piece, sizeof piece, "%02llu", (unsigned long long)(t / 60000));
            out += piece;
            i += 2;
        } else if (rest.starts_with("ss")) {
            std::snprintf(piece, sizeof piece, "%02u", unsigned(t % 60000 / 1000));
            out += piece;
            i += 2;
        } else if (rest.starts_with("zzz")) {
            std::snprintf(piece, sizeof piece, "%03u", unsigned(t % 1000));
            out += piece;
            i += 3;
        } else {
            out += pattern[i];
            ++i;
        }
    }
    return out;
}

int32_t TimeTextToMs(std::string_view text)
{
    const size_t colon = text.find(':');
    const std::string_view minutes =
        colon == std::string_view::npos ? std::string_view{} : text.substr(0, colon);
    const std::string_view rest = colon == std::string_view::npos ? text : text.substr(colon + 1);
    const size_t point = rest.find('.');
    const std::string_view seconds =
        point == std::string_view::npos ? std::string_view{} : rest.substr(0, point);
    const std::string_view millis =
        point == std::string_view::npos ? std::string_view{} : rest.substr(point + 1);

    const int64_t m = StrToInt(minutes);
    const int64_t s = StrToInt(seconds);
    const int64_t z = StrToInt(millis);
    return Checked(m * 60000 + s * 1000 + z, text);
}

std::optional<TTypedTime> ParseTypedTime(std::string_view text)
{
    TTypedTime time;
    if (!text.empty() && text[0] == '-') {
        time.FromEnd = true;
        text.remove_prefix(1);
    }
    // Up to three whole pieces, colon-separated, the last of them with a decimal fraction.
    int64_t whole = 0;
    int pieces = 0;
    size_t i = 0;
    for (;;) {
        const size_t begin = i;
        int64_t piece = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - begin < 10) {
            piece = piece * 10 + (text[i++] - '0');
        }
        if (i == begin || ++pieces > 3) {
            return std::nullopt;
        }
        whole = whole * 60 + piece;
        if (i == text.size() || text[i] != ':') {
            break;
        }
        ++i;
    }
    int64_t fraction = 0; // in units of 10^-9 s
    if (i < text.size() && text[i] == '.') {
        ++i;
        const size_t begin = i;
        for (int64_t scale = 100000000; i < text.size() && text[i] >= '0' && text[i] <= '9';
             ++i, scale /= 10) {
            fraction += (text[i] - '0') * scale;
        }
        if (i == begin) {
            return std::nullopt;
        }
    }
    if (i != text.size()) {
        return std::nullopt;
    }
    time.Ms = whole * 1000 + (fraction + 500000) / 1000000;
    return time;
}

int64_t ClockTextToMs(std::string_view text)
{
    const std::string clock = "00:" + std::string(text);
    size_t i = 0;
    auto fail = [&]() -> int64_t { throw EConvertError("'" + clock + "' is not a valid time"); };
    auto skipBlanks = [&] {
        while (i < clock.size() && IsBlank(clock[i])) {
            ++i;
        }
    };
    auto number = [&]() -> int64_t {
        skipBlanks();
        const size_t begin = i;
        int64_t v = 0;
        while (i < clock.size() && clock[i] >= '0' && clock[i] <= '9' && i - begin < 12) {
            v = v * 10 + (clock[i] - '0');
            ++i;
        }
        if (i == begin || (i < clock.size() && clock[i] >= '0' && clock[i] <= '9')) {
            fail();
        }
        skipBlanks();
        return v;
    };
    auto accept = [&](char separator) {
        if (i < clock.size() && clock[i] == separator) {
            ++i;
            return true;
        }
        return false;
    };

    const int64_t hours = number();
    if (!accept(':')) {
        fail();
    }
    const int64_t minutes = number(); // any count: display texts carry total minutes
    int64_t seconds = 0;
    int64_t millis = 0;
    if (accept(':')) {
        seconds = number();
        if (accept('.')) {
            millis = number();
        }
    }
    if (i != clock.size() || hours > 23 || seconds > 59 || millis > 999) {
        fail();
    }
    return hours * 3600000 + minutes * 60000 + seconds * 1000 + millis;
}

int32_t FieldsToMs(int32_t minutes, int32_t seconds, int32_t milliseconds)
{
    const int64_t total = int64_t(minutes) * 60000 + int64_t(seconds) * 1000 + milliseconds;
    if (total >= std::numeric_limits<int32_t>::min() &&
        total <= std::numeric_limits<int32_t>::max()) {
        return int32_t(total);
    }
    char text[48];
    std::snprintf(text, sizeof text, "%d:%d.%d", minutes, seconds, milliseconds);
    IntegerError(text);
}

} // namespace mp3core
