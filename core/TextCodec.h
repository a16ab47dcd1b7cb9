#pragma once
// Tag texts are GB18030 bytes; the command line speaks UTF-8.

#include <string>

std::string Utf8ToGB18030(const std::string &utf8);
std::string GB18030ToUtf8(const std::string &gb18030);
