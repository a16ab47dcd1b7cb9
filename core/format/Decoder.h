#pragma once
// A libmpg123 handle that decodes a file gaplessly, as the player plays it, to interleaved
// 16-bit samples at the file's own rate: the one way the player and the silence scan open one.

#include "format/MPEGAFHdr.h" // TByteRange

#include <atomic>
#include <memory>
#include <string>

struct mpg123_handle_struct;

namespace mp3core {

// The handle, or null with the reason in error. It reads the file's first stream, from its
// first frame to the end of its audio. Once *cancel (when given) is true, its reads fail, so
// that a long read through the file (mpg123_scan) ends at once; the handle keeps the flag.
mpg123_handle_struct *OpenDecoder(const std::string &fileName, long &rate, int &channels,
                                  std::string &error,
                                  std::shared_ptr<const std::atomic<bool>> cancel = {});
// The same over the given bytes of the file (one stream of several); End -1: to the file's end.
// floats: to 32-bit floating-point samples instead, full scale 1.0, peaks over it kept.
mpg123_handle_struct *OpenDecoder(const std::string &fileName, TByteRange bytes, long &rate,
                                  int &channels, std::string &error,
                                  std::shared_ptr<const std::atomic<bool>> cancel = {},
                                  bool floats = false);
// The file's first stream to floating-point samples.
mpg123_handle_struct *OpenFloatDecoder(const std::string &fileName, long &rate, int &channels,
                                       std::string &error);
void CloseDecoder(mpg123_handle_struct *handle); // null is nothing to close

} // namespace mp3core
