// The tags: whatever the source's ID3v2 and ID3v1 tags hold, reading them never raises for
// their content, and the tags rendered for an output read back as a sound ID3v2.4 tag with
// the texts given and an ID3v1 tag with the same texts cut to its fields.
#include "FuzzSupport.h"

#include "tags/MP3TAG.h"
#include "tags/OutputTags.h"

#include <algorithm>
#include <cstring>

using namespace mp3core;

namespace {

// A text of plain letters from the input, so that it survives every code page unchanged.
std::string Letters(TTail &tail, uint32_t most)
{
    std::string s(tail.Next(most), ' ');
    for (char &c : s) {
        c = char('a' + tail.Next(26));
    }
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const TMemoryFile file(data, size);
    TFileStream source(file.Path(), fmOpenRead);
    const TSourceTags tags = ReadSourceTags(source, int64_t(size));
    FUZZ_CHECK(tags.Note.empty() || !tags.HasId3v2);

    TTail tail(data, size);
    TPartTag texts;
    texts.Title = Letters(tail, 80);
    texts.Artist = Letters(tail, 40);
    texts.Year = Letters(tail, 6);
    texts.GenreID = uint8_t(tail.Next(256));
    const int tracks = int(tail.Next(400));
    const int track = tracks == 0 ? 0 : 1 + int(tail.Next(uint32_t(tracks)));
    for (const TTagFrames frames : {TTagFrames::All, TTagFrames::TextsAndPictures}) {
        const TOutputTags out = RenderTags(tags, texts, frames, track, tracks);
        if (out.Front.empty()) {
            FUZZ_CHECK(frames == TTagFrames::All && !out.Back);
            continue;
        }
        // The tag as written, with the pictures it takes from the source.
        std::vector<uint8_t> again;
        size_t done = 0;
        for (const TOutputTags::TFromSource &piece : out.FromSource) {
            FUZZ_CHECK(piece.At >= done && piece.At <= out.Front.size());
            FUZZ_CHECK(piece.Start >= 0 && piece.Start + piece.Bytes <= int64_t(size));
            again.insert(again.end(), out.Front.begin() + long(done),
                         out.Front.begin() + long(piece.At));
            again.insert(again.end(), data + piece.Start, data + piece.Start + piece.Bytes);
            done = piece.At;
        }
        again.insert(again.end(), out.Front.begin() + long(done), out.Front.end());
        const size_t tagSize = again.size();
        const uint8_t *h = again.data();
        FUZZ_CHECK(again.size() >= 10 && std::memcmp(h, "ID3\x04\x00\x00", 6) == 0);
        const size_t body =
            (size_t(h[6]) << 21) | (size_t(h[7]) << 14) | (size_t(h[8]) << 7) | h[9];
        FUZZ_CHECK((h[6] | h[7] | h[8] | h[9]) < 0x80 && body + 10 == again.size());

        // Read back as a source: sound, with the texts given.
        FUZZ_CHECK(out.Back.has_value());
        again.insert(again.end(), out.Back->begin(), out.Back->end());
        const TMemoryFile rendered(again.data(), again.size());
        TFileStream back(rendered.Path(), fmOpenRead);
        const TSourceTags read = ReadSourceTags(back, int64_t(tagSize));
        FUZZ_CHECK(read.Note.empty() && read.HasId3v2 && read.Id3v2Texts && read.Id3v1);
        if (!texts.Title.empty()) {
            FUZZ_CHECK(read.Id3v2Texts->Title == texts.Title);
            FUZZ_CHECK(read.Id3v1->Title == texts.Title.substr(0, 30));
        }
        if (!texts.Artist.empty()) {
            FUZZ_CHECK(read.Id3v2Texts->Artist == texts.Artist);
        }
        // Every picture the source's tag carries on (not one marked to be dropped when the
        // tag changes).
        const auto carried = std::count_if(tags.Frames.begin(), tags.Frames.end(),
                                           [](const TTagFrame &f) { return f.Id == "APIC"; });
        FUZZ_CHECK(read.Pictures.size() == size_t(carried));
    }

    // The ID3v1 tag alone: what is written reads back.
    TID3Tag v1;
    v1.Title = texts.Title;
    v1.Artist = texts.Artist;
    v1.GenreID = texts.GenreID;
    v1.Track = uint8_t(track);
    const auto record = v1.Render();
    const TMemoryFile one(record.data(), record.size());
    TFileStream oneStream(one.Path(), fmOpenRead);
    TID3Tag read;
    FUZZ_CHECK(read.ReadTag(oneStream));
    FUZZ_CHECK(read.Title == texts.Title.substr(0, 30) && read.GenreID == texts.GenreID);
    FUZZ_CHECK(read.Track == uint8_t(track));
    return 0;
}
