#include "TextCodec.h"

#ifdef _WIN32
#include <windows.h>

namespace {

std::string Convert(const std::string &text, UINT from, UINT to)
{
    if (text.empty()) {
        return {};
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
#include <iconv.h>

#include <cerrno>

namespace {

// Characters that do not convert become "?", so that a stray byte never loses the whole text.
std::string Convert(const std::string &text, const char *from, const char *to)
{
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
