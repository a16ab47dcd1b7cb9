#include "Fixtures.h"

#include "format/MPEGAFHdr.h"

#include <cstring>
#include <fstream>
#include <random>
#include <stdexcept>

using namespace mp3core;

namespace fs = std::filesystem;

Bytes HeaderBytes(const THeaderSpec &shape)
{
    static constexpr int VersionBits[4] = {0, 3, 2, 0}; // by version: MPEG-1 11, 2 10, 2.5 00
    const int layerBits = 4 - shape.layer;
    return {
        0xFF,
        uint8_t(0xE0 | (VersionBits[shape.version] << 3) | (layerBits << 1) |
                (shape.protection ? 0 : 1)),
        uint8_t((shape.bitrateIndex << 4) | (shape.sampleRateIndex << 2) | (shape.padding ? 2 : 0)),
        uint8_t((shape.channelMode << 6) | 0x04)};
}

Bytes Frame(const THeaderSpec &shape, uint8_t fill)
{
    Bytes frame = HeaderBytes(shape);
    const TFrameInfo info = DecodeFrameInfo(frame.data());
    if (!info.Valid) {
        throw std::logic_error("fixture frame is not valid");
    }
    frame.resize(size_t(info.FrameLength), fill);
    return frame;
}

Bytes XingFrame(const THeaderSpec &shape, uint32_t frameCount, bool vbr)
{
    Bytes frame = Frame(shape, 0x00);
    const bool mono = shape.channelMode == 3;
    const int side = shape.version == 1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    const size_t at = 4 + (shape.protection ? 2 : 0) + size_t(side);
    std::memcpy(frame.data() + at, vbr ? "Xing" : "Info", 4);
    frame[at + 7] = 0x01; // flags: the frame count is present
    frame[at + 8] = uint8_t(frameCount >> 24);
    frame[at + 9] = uint8_t(frameCount >> 16);
    frame[at + 10] = uint8_t(frameCount >> 8);
    frame[at + 11] = uint8_t(frameCount);
    return frame;
}

namespace {

void PutSyncSafe(Bytes &to, size_t n)
{
    for (int shift : {21, 14, 7, 0}) {
        to.push_back(uint8_t((n >> shift) & 0x7F));
    }
}

} // namespace

namespace {

// An ID3v2.4 frame: its ID, its size, no flags, its data.
Bytes Id3v2Frame(const std::string &id, const Bytes &data)
{
    Bytes frame(id.begin(), id.end());
    PutSyncSafe(frame, data.size());
    frame.push_back(0);
    frame.push_back(0);
    Append(frame, data);
    return frame;
}

Bytes TextFrame(const std::string &id, const std::string &text)
{
    Bytes data = {3}; // UTF-8
    data.insert(data.end(), text.begin(), text.end());
    return Id3v2Frame(id, data);
}

// An ID3v2.4 tag of the given frames, no padding.
Bytes Id3v24Tag(const Bytes &frames)
{
    Bytes tag = {'I', 'D', '3', 4, 0, 0};
    PutSyncSafe(tag, frames.size());
    Append(tag, frames);
    return tag;
}

void AppendId(Bytes &to, const std::string &id)
{
    to.insert(to.end(), id.begin(), id.end());
    to.push_back(0);
}

void AppendBigEndian(Bytes &to, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8) {
        to.push_back(uint8_t(value >> shift));
    }
}

} // namespace

Bytes Id3v2ChapterTag(const std::string &title, const std::vector<TChapterSpec> &chapters,
                      const std::vector<TTocSpec> &tables)
{
    Bytes body = TextFrame("TIT2", title);
    for (const TChapterSpec &c : chapters) {
        Bytes data;
        AppendId(data, c.Id);
        AppendBigEndian(data, c.StartMs);
        AppendBigEndian(data, c.EndMs);
        AppendBigEndian(data, 0xFFFFFFFF); // no byte offsets
        AppendBigEndian(data, 0xFFFFFFFF);
        if (!c.Title.empty()) {
            Append(data, TextFrame("TIT2", c.Title));
        }
        Append(body, Id3v2Frame("CHAP", data));
    }
    for (const TTocSpec &t : tables) {
        Bytes data;
        AppendId(data, t.Id);
        data.push_back(uint8_t((t.TopLevel ? 2 : 0) | 1)); // ordered
        data.push_back(uint8_t(t.Children.size()));
        for (const std::string &child : t.Children) {
            AppendId(data, child);
        }
        Append(body, Id3v2Frame("CTOC", data));
    }
    return Id3v24Tag(body);
}

Bytes Id3v2TextTag(const std::vector<std::pair<std::string, std::string>> &texts,
                   const Bytes &cover)
{
    Bytes body;
    for (const auto &[id, text] : texts) {
        Append(body, TextFrame(id, text));
    }
    if (!cover.empty()) {
        const std::string mime = "image/jpeg";
        Bytes data = {3};
        data.insert(data.end(), mime.begin(), mime.end());
        data.push_back(0);
        data.push_back(3); // front cover
        data.push_back(0); // no description
        Append(data, cover);
        Append(body, Id3v2Frame("APIC", data));
    }
    return Id3v24Tag(body);
}

Bytes Id3v2Tag(uint32_t bodySize, bool footer, uint8_t fill)
{
    Bytes tag(10 + size_t(bodySize), fill);
    const uint8_t header[10] = {'I',
                                'D',
                                '3',
                                4,
                                0,
                                uint8_t(footer ? 0x10 : 0),
                                uint8_t((bodySize >> 21) & 0x7F),
                                uint8_t((bodySize >> 14) & 0x7F),
                                uint8_t((bodySize >> 7) & 0x7F),
                                uint8_t(bodySize & 0x7F)};
    std::copy(header, header + 10, tag.begin());
    if (footer) {
        Bytes foot(tag.begin(), tag.begin() + 10);
        foot[0] = '3';
        foot[1] = 'D';
        foot[2] = 'I';
        Append(tag, foot);
    }
    return tag;
}

Bytes Id3v1Tag(const std::string &title, uint8_t genre)
{
    Bytes tag(128, ' ');
    std::memcpy(tag.data(), "TAG", 3);
    std::memcpy(tag.data() + 3, title.data(), std::min<size_t>(title.size(), 30));
    tag[127] = genre;
    return tag;
}

Bytes ApeTag(uint32_t itemsSize, bool withHeader)
{
    auto block = [&](bool isHeader) {
        Bytes b(32, 0);
        std::memcpy(b.data(), "APETAGEX", 8);
        b[8] = 0xD0; // version 2000
        b[9] = 0x07;
        const uint32_t size = itemsSize + 32;
        for (int i = 0; i < 4; ++i) {
            b[12 + i] = uint8_t(size >> (8 * i));
        }
        const uint32_t flags = (withHeader ? 0x80000000u : 0) | (isHeader ? 0x20000000u : 0);
        for (int i = 0; i < 4; ++i) {
            b[20 + i] = uint8_t(flags >> (8 * i));
        }
        return b;
    };
    Bytes tag;
    if (withHeader) {
        Append(tag, block(true));
    }
    tag.resize(tag.size() + itemsSize, 'a');
    Append(tag, block(false));
    return tag;
}

void Append(Bytes &to, const Bytes &what)
{
    to.insert(to.end(), what.begin(), what.end());
}

void AppendFrames(Bytes &to, const THeaderSpec &shape, int count)
{
    const Bytes frame = Frame(shape);
    for (int i = 0; i < count; ++i) {
        Append(to, frame);
    }
}

void AppendVbrFrames(Bytes &to, int count)
{
    THeaderSpec loud;
    loud.bitrateIndex = 11;
    const Bytes low = Frame(THeaderSpec{});
    const Bytes high = Frame(loud);
    for (int i = 0; i < count; ++i) {
        Append(to, i % 3 == 0 ? high : low);
    }
}

TTempDir::TTempDir()
{
    std::random_device rd;
    for (;;) {
        path_ = fs::temp_directory_path() / ("mp3cut-test-" + std::to_string(rd()));
        if (fs::create_directory(path_)) {
            return;
        }
    }
}

TTempDir::~TTempDir()
{
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

void WriteFile(const fs::path &path, const Bytes &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

Bytes ReadFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes FramesOf(const std::filesystem::path &output)
{
    Bytes b = ReadFile(output);
    if (b.size() >= 10 && std::memcmp(b.data(), "ID3", 3) == 0) {
        const size_t size =
            10 + ((size_t(b[6]) << 21) | (size_t(b[7]) << 14) | (size_t(b[8]) << 7) | size_t(b[9]));
        b.erase(b.begin(), b.begin() + long(std::min(size, b.size())));
    }
    if (b.size() >= 128 && std::memcmp(b.data() + b.size() - 128, "TAG", 3) == 0) {
        b.resize(b.size() - 128);
    }
    if (b.size() < 4) {
        return b;
    }
    const TFrameInfo info = DecodeFrameInfo(b.data());
    const bool mono = (b[3] >> 6) == 3;
    const size_t xing = 4 + size_t(info.MPEGVersion == 1 ? (mono ? 17 : 32) : (mono ? 9 : 17));
    const bool tagged = info.Valid && info.Layer == 3 && b.size() >= xing + 4 &&
                        (std::memcmp(b.data() + xing, "Xing", 4) == 0 ||
                         std::memcmp(b.data() + xing, "Info", 4) == 0);
    if (tagged && size_t(info.FrameLength) <= b.size()) {
        b.erase(b.begin(), b.begin() + info.FrameLength);
    }
    return b;
}

int64_t CopyRange(TMPEGAFHdr &hdr, TFileStream &source, TFileStream &target, int64_t startMs,
                  int64_t endMs, const TMPEGAFHdr::TCopyProgress &progress)
{
    return hdr.CopyBytes(source, target, hdr.RangeBytes(source, startMs, endMs), progress);
}
