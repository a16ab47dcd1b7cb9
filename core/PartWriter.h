#pragma once
// Writes segments of one MP3 file as numbered parts, each whole or not at all, with a tag.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Tag texts in the tags' code page (GB18030).
struct TPartTag
{
    std::string Title;
    std::string Artist;
    std::string Album;
    std::string Year;
    std::string Comment;
    uint8_t GenreID = 255; // 255: no genre
};

struct TPartSegment
{
    int64_t StartMs = 0;
    int64_t EndMs = 0;
    std::optional<TPartTag> Tag; // the segment's own texts; otherwise the job's
};

struct TPartJob
{
    std::filesystem::path Input;
    std::filesystem::path Folder;
    std::string BaseName; // parts are BaseName000.mp3, BaseName001.mp3, ...
    std::vector<TPartSegment> Segments;
    TPartTag Tag;
};

enum class TWriteOutcome
{
    Done,       // every part written
    Stopped,    // the progress callback asked to stop; the first parts are complete
    NoAudio,    // the input holds no MPEG audio frame; nothing written
    TargetBusy, // the folder cannot be written, or a part would be the input itself
};

struct TWriteResult
{
    TWriteOutcome Outcome = TWriteOutcome::Done;
    std::vector<std::filesystem::path> Parts; // written, in order
};

// "song" and 7 give "song007.mp3"; numbers of four or more digits stand as they are.
std::string PartFileName(const std::string &baseName, size_t number);

// Called on the caller's thread with the parts done and the total: after each part the caller's
// writer finishes, between the blocks of a long part, and while a second writer (in a CBR file,
// where two parts are written at a time) finishes its own; the count never goes back. Returning
// false stops the run once the parts in hand are written.
using TPartProgress = std::function<bool(size_t done, size_t total)>;

// Raises the stream errors of the input and of a part that cannot be written; a part that
// fails is not left behind, and an existing file of its name is kept.
TWriteResult WriteParts(const TPartJob &job, const TPartProgress &progress = {});
