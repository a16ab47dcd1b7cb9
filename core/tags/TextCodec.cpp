#include "tags/TextCodec.h"

#include <algorithm>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <iconv.h>
#endif

namespace mp3core {

namespace {

// ASCII reads the same in both code pages: such a text needs no converter.
bool IsAscii(const std::string &text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; });
}

} // namespace

#ifdef _WIN32
namespace {

std::string Convert(const std::string &text, UINT from, UINT to)
{
    if (IsAscii(text)) {
        return text;
    }
    const int wide = MultiByteToWideChar(from, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring w(size_t(wide), L'\0');
    MultiByteToWideChar(from, 0, text.data(), int(text.size()), w.data(), wide);
    const int bytes = WideCharToMultiByte(to, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string out(size_t(bytes), '\0');
    WideCharToMultiByte(to, 0, w.data(), wide, out.data(), bytes, nullptr, nullptr);
    return out;
}

} // namespace

std::string Utf8ToGB18030(const std::string &utf8)
{
    return Convert(utf8, CP_UTF8, 54936);
}

std::string GB18030ToUtf8(const std::string &gb18030)
{
    return Convert(gb18030, 54936, CP_UTF8);
}

#else
namespace {

// Characters that do not convert become "?", so that a stray byte never loses the whole text.
std::string Convert(const std::string &text, const char *from, const char *to)
{
    if (IsAscii(text)) {
        return text;
    }
    iconv_t cd = iconv_open(to, from);
    if (cd == iconv_t(-1)) {
        return text;
    }
    std::string out;
    char buffer[256];
    char *in = const_cast<char *>(text.data());
    size_t inLeft = text.size();
    while (inLeft > 0) {
        char *outPtr = buffer;
        size_t outLeft = sizeof buffer;
        const size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, size_t(outPtr - buffer));
        if (rc == size_t(-1) && errno != E2BIG) {
            out += '?';
            ++in;
            --inLeft;
        }
    }
    iconv_close(cd);
    return out;
}

} // namespace

std::string Utf8ToGB18030(const std::string &utf8)
{
    return Convert(utf8, "UTF-8", "GB18030");
}

std::string GB18030ToUtf8(const std::string &gb18030)
{
    return Convert(gb18030, "GB18030", "UTF-8");
}
#endif

bool IsUtf8(const std::string &text)
{
    const auto *b = reinterpret_cast<const unsigned char *>(text.data());
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        const unsigned c = b[i];
        size_t length = 0;
        unsigned low = 0x80, high = 0xBF; // the range of the second byte
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            low = c == 0xE0 ? 0xA0 : 0x80;
            high = c == 0xED ? 0x9F : 0xBF;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            low = c == 0xF0 ? 0x90 : 0x80;
            high = c == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (i + length > n || b[i + 1] < low || b[i + 1] > high) {
            return false;
        }
        for (size_t k = 2; k < length; ++k) {
            if ((b[i + k] & 0xC0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

} // namespace mp3core
