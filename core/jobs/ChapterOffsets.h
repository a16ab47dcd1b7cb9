#pragma once
// The byte offsets of an output's chapters, which its tag is rendered without: they depend on
// the tag's own size and on where the frames land, known once the output is written.

#include "io/FileStream.h"
#include "tags/Chapters.h"

#include <vector>

namespace mp3core {

// Fills in the start and end byte offsets of each chapter's CHAP frame in the written output
// (still open, before it is put in place): the first byte of the frame that holds the
// chapter's first sample, and of the one that holds the first sample after it (the end of the
// audio for the last chapter). A chapter whose offsets do not fit 32 bits (an output over 4 GB)
// keeps 0xFFFFFFFF, "not given". Raises the stream errors.
void WriteChapterOffsets(TFileStream &written, const std::vector<TChapter> &chapters);

} // namespace mp3core
