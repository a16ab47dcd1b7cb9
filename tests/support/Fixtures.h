#pragma once
// MP3 fixtures built in code: frames with their payload at the computed length, tags, junk and
// fake syncs, written to files in a folder of their own.

#include "format/MPEGAFHdr.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// The tests speak the core's names as its own units do.
using namespace mp3core;

using Bytes = std::vector<uint8_t>;

// Header fields as numbers; version 1, 2 or 3 (MPEG-2.5), layer 1 to 3.
struct THeaderSpec
{
    int version = 1;
    int layer = 3;
    int bitrateIndex = 9;    // 128 kbps for MPEG-1 Layer III
    int sampleRateIndex = 0; // 44100 Hz for MPEG-1
    bool padding = false;
    int channelMode = 1;
    bool protection = false; // a CRC follows the header
};

Bytes HeaderBytes(const THeaderSpec &shape);
// A whole frame: the header, then payload bytes (no sync among them) to the frame's length.
Bytes Frame(const THeaderSpec &shape, uint8_t fill = 0x55);
// A Xing (vbr) or Info (cbr) frame announcing frameCount audio frames.
Bytes XingFrame(const THeaderSpec &shape, uint32_t frameCount, bool vbr = true);
Bytes Id3v2Tag(uint32_t bodySize, bool footer = false, uint8_t fill = 0x00);
Bytes Id3v1Tag(const std::string &title, uint8_t genre = 12);
// An ID3v2.4 tag with UTF-8 texts (frame id to text) and a front cover of the given bytes.
Bytes Id3v2TextTag(const std::vector<std::pair<std::string, std::string>> &texts,
                   const Bytes &cover = {});
Bytes ApeTag(uint32_t itemsSize, bool withHeader);

// An ID3v2.4 tag laid byte by byte, as another writer lays one: the title, CHAP frames and CTOC
// frames (ordered; one top-level). A table may list another table: it nests there.
struct TChapterSpec
{
    std::string Id;
    uint32_t StartMs = 0;
    uint32_t EndMs = 0;
    std::string Title; // none: the chapter has no TIT2
};
struct TTocSpec
{
    std::string Id;
    bool TopLevel = false;
    std::vector<std::string> Children;
};
Bytes Id3v2ChapterTag(const std::string &title, const std::vector<TChapterSpec> &chapters,
                      const std::vector<TTocSpec> &tables);

void Append(Bytes &to, const Bytes &what);
void AppendFrames(Bytes &to, const THeaderSpec &shape, int count);
// VBR at 44.1 kHz: every third frame 192 kbps (626 bytes), the others 128 kbps (417 bytes).
void AppendVbrFrames(Bytes &to, int count);

// A fresh folder under the system's temporary folder, removed with everything in it.
class TTempDir
{
public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir &) = delete;
    TTempDir &operator=(const TTempDir &) = delete;
    const std::filesystem::path &Path() const { return path_; }
    std::filesystem::path operator/(const std::string &name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

void WriteFile(const std::filesystem::path &path, const Bytes &bytes);
Bytes ReadFile(const std::filesystem::path &path);

// An output's frames without its tags (ID3v2 in front, ID3v1 behind) and its information frame
// (a Xing or Info frame in front): what a whole-frame output copies from its source.
Bytes FramesOf(const std::filesystem::path &output);

// Appends to target the whole frames from the first frame at or after startMs up to the first
// at or after endMs, as a whole-frame output copies them; the bytes copied.
int64_t CopyRange(TMPEGAFHdr &hdr, TFileStream &source, TFileStream &target, int64_t startMs,
                  int64_t endMs, const TMPEGAFHdr::TCopyProgress &progress = {});
