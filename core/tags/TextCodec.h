#pragma once
// The ID3v1 tag and CUE sheets that are not UTF-8 hold GB18030 text; the core speaks UTF-8.

#include <string>

namespace mp3core {

std::string Utf8ToGB18030(const std::string &utf8);
std::string GB18030ToUtf8(const std::string &gb18030);

// Whether the bytes are well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsUtf8(const std::string &text);

} // namespace mp3core
