#pragma once
// Chapters of an ID3v2 tag: CHAP frames (a stretch of the audio with a title) in the order a
// table of contents (CTOC) gives them, as audiobook and podcast players show them.

#include <cstdint>
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

} // namespace mp3core
