#pragma once
// A libmpg123 handle that decodes a file gaplessly, as the player plays it, to interleaved
// 16-bit samples at the file's own rate: the one way the player and the silence scan open one.

#include "format/MPEGAFHdr.h" // TByteRange

#include <string>

struct mpg123_handle_struct;

// The handle, or null with the reason in error. It reads the file's first stream, from its
// first frame to the end of its audio.
mpg123_handle_struct *OpenDecoder(const std::string &fileName, long &rate, int &channels,
                                  std::string &error);
// The same over the given bytes of the file (one stream of several); End -1: to the file's end.
mpg123_handle_struct *OpenDecoder(const std::string &fileName, TByteRange bytes, long &rate,
                                  int &channels, std::string &error);
void CloseDecoder(mpg123_handle_struct *handle); // null is nothing to close
