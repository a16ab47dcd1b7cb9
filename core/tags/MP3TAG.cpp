#include "tags/MP3TAG.h"

#include <algorithm>
#include <cstring>

namespace mp3core {

namespace {

constexpr int64_t TagSize = 128;

bool IsTag(const std::array<uint8_t, 128> &block)
{
    return std::memcmp(block.data(), "TAG", 3) == 0;
}

// A text field as stored: up to the first NUL, without leading and trailing bytes of 0x20 or
// less (spaces and control bytes).
std::string FieldText(const uint8_t *field, size_t width)
{
    const auto *end = std::find(field, field + width, uint8_t(0));
    const auto *first = std::find_if(field, end, [](uint8_t c) { return c > 0x20; });
    const auto *last = end;
    while (last > first && last[-1] <= 0x20) {
        --last;
    }
    return std::string(first, last);
}

// A stream of fewer than 128 bytes has no room for a tag and holds none.
bool ReadLastBlock(TFileStream &stream, std::array<uint8_t, 128> &block)
{
    if (stream.Size() < TagSize) {
        return false;
    }
    stream.Seek(-TagSize, soEnd);
    stream.ReadBuffer(block.data(), TagSize);
    return true;
}

} // namespace

std::string_view CutGB18030(std::string_view text, size_t width)
{
    // GB18030 characters: one byte below 0x80; two bytes lead 0x81-0xFE with a trail of
    // 0x40-0xFE; four bytes lead, digit, 0x81-0xFE, digit.
    size_t pos = 0;
    while (pos < text.size()) {
        const auto c = uint8_t(text[pos]);
        size_t len = 1;
        if (c >= 0x81 && c <= 0xFE && pos + 1 < text.size()) {
            const auto d = uint8_t(text[pos + 1]);
            len = (d >= 0x30 && d <= 0x39) ? 4 : 2;
        }
        if (pos + len > width) {
            break;
        }
        pos += len;
    }
    return text.substr(0, std::min(pos, text.size()));
}

bool TID3Tag::ReadTag(TFileStream &stream)
{
    if (!ReadLastBlock(stream, RawTag) || !IsTag(RawTag)) {
        return false;
    }
    Title = FieldText(RawTag.data() + 3, 30);
    Artist = FieldText(RawTag.data() + 33, 30);
    Album = FieldText(RawTag.data() + 63, 30);
    Year = FieldText(RawTag.data() + 93, 4);
    Comment = FieldText(RawTag.data() + 97, 30);
    GenreID = RawTag[127];
    Track = RawTag[125] == 0 && RawTag[126] != 0 ? RawTag[126] : 0;
    Genre = GenreID < GenreNames.size() ? std::string(GenreNames[GenreID]) : "Unknown";
    return true;
}

void TID3Tag::PutField(std::string_view text, int offset, int width)
{
    const auto fitting = CutGB18030(text, size_t(width));
    std::copy(fitting.begin(), fitting.end(), RawTag.begin() + offset);
}

const std::array<uint8_t, 128> &TID3Tag::Render()
{
    RawTag.fill(0x20);
    std::memcpy(RawTag.data(), "TAG", 3);
    RawTag[127] = GenreID;
    PutField(Title, 3, 30);
    PutField(Artist, 33, 30);
    PutField(Album, 63, 30);
    PutField(Year, 93, 4);
    if (Track != 0) { // ID3v1.1: the comment gives its last two bytes to the track
        PutField(Comment, 97, 28);
        RawTag[125] = 0;
        RawTag[126] = Track;
    } else {
        PutField(Comment, 97, 30);
    }
    return RawTag;
}

bool TID3Tag::WriteTag(TFileStream &stream)
{
    Render();
    if (ReadLastBlock(stream, TailBlock) && IsTag(TailBlock)) {
        stream.Seek(-TagSize, soEnd);
    } else {
        stream.Seek(0, soEnd);
    }
    stream.WriteBuffer(RawTag.data(), TagSize);
    return true;
}

bool TID3Tag::RemoveTag(TFileStream &stream)
{
    if (ReadLastBlock(stream, RawTag) && IsTag(RawTag)) {
        stream.SetSize(stream.Size() - TagSize);
    }
    return true;
}

std::optional<uint8_t> GenreByName(std::string_view name)
{
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    for (size_t i = 0; i < GenreNames.size(); ++i) {
        const std::string_view g = GenreNames[i];
        if (g.size() == name.size() &&
            std::equal(g.begin(), g.end(), name.begin(),
                       [&](char a, char b) { return lower(a) == lower(b); })) {
            return uint8_t(i);
        }
    }
    return std::nullopt;
}

} // namespace mp3core
