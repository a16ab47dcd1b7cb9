#pragma once
// Chapters of an ID3v2 tag: CHAP frames (a stretch of the audio with a title) in the order a
// table of contents (CTOC) gives them, as audiobook and podcast players show them.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace TagLib::ID3v2 {
class Tag;
}

namespace mp3core {

struct TChapter
{
    std::string Id; // the element ID, "chp0"
    int64_t StartMs = 0;
    int64_t EndMs = 0;
    std::string Title; // its TIT2, UTF-8; empty when it has none
};

// The tag's chapters: those the top-level table of contents lists, tables within it flattened
// in their order, then any no table lists, by their start. Without a table: by their start.
std::vector<TChapter> ChaptersOf(const TagLib::ID3v2::Tag &tag);

// The chapters that play within [startMs, endMs) of the file, cut to that stretch and moved
// to its own timeline (from 0): a part's chapters.
std::vector<TChapter> ChaptersWithin(const std::vector<TChapter> &chapters, int64_t startMs,
                                     int64_t endMs);

// The ID3v2.4 frames that hold chapters: a top-level, ordered table of contents ("toc") that
// lists them in order, then a CHAP frame for each: its start and end, its byte offsets "not
// given" (WriteChapterOffsets fills them in once the output is written), its title as TIT2
// when it has one.
std::vector<std::vector<uint8_t>> ChapterFrames(const std::vector<TChapter> &chapters);

} // namespace mp3core
