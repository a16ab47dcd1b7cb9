#include "format/FrameScan.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace mp3core {
int32_t FrameLengthOf(TMpegVersion version, TLayer layer, int32_t bitrate, int32_t sampleRate,
                      int32_t paddingSize)
{
    if (sampleRate <= 0) {
        return 0;
    }
    // Layer I counts in 4-byte slots; Layer III of MPEG-2 and 2.5 has half the samples.
    if (layer == lyLayer1) {
        return 4 * (12000 * bitrate / sampleRate) + paddingSize;
    }
    const int32_t coefficient = (layer == lyLayer3 && version != mvMpeg1) ? 72000 : 144000;
    return coefficient * bitrate / sampleRate + paddingSize;
}

namespace {

uint32_t LittleEndian32(const uint8_t *p)
{
    return (uint32_t(p[3]) << 24) | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
}

} // namespace

bool ConfirmedFrame(TWindowReader &reader, int64_t pos, int64_t audioEnd, const TFrameInfo *ref,
                    TFrameInfo &info)
{
    const uint8_t *b = reader.At(pos, 4);
    if (b == nullptr || !IsSync(b[0], b[1])) {
        return false;
    }
    info = DecodeFrameInfo(b);
    if (!info.Valid || (ref != nullptr && !SameStream(*ref, info))) {
        return false;
    }
    const int64_t next = pos + info.FrameLength;
    if (next >= audioEnd) {
        return next == audioEnd; // a header in the trailing tags confirms nothing
    }
    const uint8_t *n = reader.At(next, 4);
    if (n == nullptr || !IsSync(n[0], n[1])) {
        return false;
    }
    const TFrameInfo following = DecodeFrameInfo(n);
    return following.Valid && SameStream(info, following);
}

int64_t FindFrame(TWindowReader &reader, int64_t from, int64_t limit, int64_t audioEnd,
                  const TFrameInfo *ref, TFrameInfo &info)
{
    for (int64_t pos = std::max<int64_t>(from, 0); pos < limit;) {
        const uint8_t *b = reader.At(pos, 2);
        if (b == nullptr) {
            return -1;
        }
        // Straight to the next 0xFF whose following byte is in the window: junk can run for
        // gigabytes (a hole of zeros in a damaged file).
        const int64_t span = std::min(reader.Available(pos) - 1, limit - pos);
        const auto *sync = static_cast<const uint8_t *>(std::memchr(b, 0xFF, size_t(span)));
        if (sync == nullptr) {
            pos += span;
            continue;
        }
        pos += sync - b;
        if (IsSync(sync[0], sync[1]) && ConfirmedFrame(reader, pos, audioEnd, ref, info)) {
            return pos;
        }
        ++pos;
    }
    return -1;
}

bool FreeFormatIn(TWindowReader &reader, int64_t from, int64_t limit)
{
    constexpr int64_t Reach = 8192; // a free-format frame of 640 kbps at 32 kHz is 2880 bytes
    const auto freeFormat = [&](int64_t pos, TFrameInfo &info) {
        const uint8_t *b = reader.At(pos, 4);
        if (b == nullptr || !IsSync(b[0], b[1])) {
            return false;
        }
        info = DecodeFrameInfo(b);
        return info.Bitrate == 0 && info.SampleRate > 0 && info.Layer != lyReserved;
    };
    for (int64_t pos = from; pos < limit; ++pos) {
        TFrameInfo first;
        if (!freeFormat(pos, first)) {
            continue;
        }
        for (int64_t next = pos + 4; next < pos + Reach; ++next) {
            TFrameInfo second;
            if (reader.At(next, 4) == nullptr) {
                break;
            }
            if (freeFormat(next, second) && SameStream(first, second)) {
                return true;
            }
        }
    }
    return false;
}

int64_t SkipID3v2(TWindowReader &reader, int64_t size, int64_t from)
{
    int64_t pos = from;
    while (const uint8_t *b = reader.At(pos, 10)) {
        if (pos > 0 && b[0] == 'T' && b[1] == 'A' && b[2] == 'G' && pos + 128 <= size) {
            pos += 128;
            continue;
        }
        const bool isTag = b[0] == 'I' && b[1] == 'D' && b[2] == '3' && b[3] != 0xFF &&
                           b[4] != 0xFF && (b[6] | b[7] | b[8] | b[9]) < 0x80;
        if (!isTag) {
            break;
        }
        const int64_t body =
            (int64_t(b[6]) << 21) | (int64_t(b[7]) << 14) | (int64_t(b[8]) << 7) | int64_t(b[9]);
        const bool hasFooter = (b[5] & 0x10) != 0;
        const int64_t end = pos + 10 + body + (hasFooter ? 10 : 0);
        if (end > size) {
            break; // a damaged size: the frame search steps over the tag instead
        }
        pos = end;
    }
    return pos;
}

int64_t TrailingTagsStart(TWindowReader &reader, int64_t audioStart, int64_t size)
{
    int64_t end = size;
    if (end - 128 >= audioStart) {
        const uint8_t *t = reader.At(end - 128, 3);
        if (std::memcmp(t, "TAG", 3) == 0) {
            end -= 128;
        }
    }
    if (end - 32 >= audioStart) {
        const uint8_t *f = reader.At(end - 32, 32);
        if (std::memcmp(f, "APETAGEX", 8) == 0) {
            // Footer: size of items and footer at 12, flags at 20 (bit 31: a header too).
            const int64_t tagSize = LittleEndian32(f + 12);
            const bool hasHeader = (LittleEndian32(f + 20) & 0x80000000u) != 0;
            const int64_t total = tagSize + (hasHeader ? 32 : 0);
            if (total >= 32 && total <= end - audioStart) {
                end -= total;
            }
        }
    }
    return end;
}

int64_t EndOfFrames(TFileStream &stream, TWindowReader &reader, const TFrameInfo &ref,
                    int64_t audioStart, int64_t audioEnd)
{
    constexpr int64_t LongestFrame = 2881; // MPEG-2.5 Layer III, 160 kbps at 8 kHz, padded
    const auto frameAt = [&](int64_t pos, TFrameInfo &info) {
        const uint8_t *b = reader.At(pos, 4);
        if (b == nullptr || !IsSync(b[0], b[1])) {
            return false;
        }
        info = DecodeFrameInfo(b);
        return info.Valid && SameStream(ref, info);
    };
    // A frame that ends at pos, from the frame before it: found going forwards.
    const auto endsAt = [&](int64_t pos) {
        TFrameInfo info;
        for (int64_t q = std::max(audioStart, pos - LongestFrame); q + 4 <= pos; ++q) {
            if (frameAt(q, info) && q + info.FrameLength == pos) {
                return true;
            }
        }
        return false;
    };
    if (endsAt(audioEnd)) {
        return audioEnd;
    }
    std::vector<uint8_t> block(static_cast<size_t>(ReaderBlock));
    for (int64_t blockEnd = audioEnd; blockEnd > audioStart;) {
        const int64_t blockStart = std::max(audioStart, blockEnd - ReaderBlock);
        stream.ReadBufferAt(blockStart, block.data(), blockEnd - blockStart);
        for (int64_t p = blockEnd - blockStart - 1; p >= 0; --p) {
            if (block[size_t(p)] != 0xFF) {
                continue;
            }
            TFrameInfo info;
            const int64_t pos = blockStart + p;
            if (frameAt(pos, info) && pos + info.FrameLength <= audioEnd &&
                (pos == audioStart || endsAt(pos))) {
                return pos + info.FrameLength;
            }
        }
        blockEnd = blockStart;
    }
    return audioEnd;
}

TFrameInfo DecodeFrameInfo(const uint8_t *header)
{
    TFrameInfo f;
    // byte 1, bits 4-3: version (00 MPEG-2.5, 01 reserved, 10 MPEG-2, 11 MPEG-1)
    static constexpr TMpegVersion Versions[4] = {mvMpeg25, mvReserved, mvMpeg2, mvMpeg1};
    f.MPEGVersion = Versions[(header[1] >> 3) & 3];
    // byte 1, bits 2-1: layer, counted down (11 Layer I ... 01 Layer III, 00 reserved)
    f.Layer = TLayer((4 - ((header[1] >> 1) & 3)) % 4);
    // byte 1, bit 0: clear when a CRC follows
    f.Protected = (header[1] & 1) == 0;
    // byte 3, bits 7-6: channel mode, 11 mono
    f.Mono = TChannelMode(header[3] >> 6) == cmMono; // byte 3, bits 7-6: the channel mode
    // byte 2: bitrate index (7-4), sample-rate index (3-2), padding (1)
    const int bitrateIndex = header[2] >> 4;
    const int rateIndex = (header[2] >> 2) & 3;
    const bool padding = (header[2] & 2) != 0;
    f.Bitrate = (f.MPEGVersion != mvReserved && f.Layer != lyReserved)
                    ? BitrateTable[f.MPEGVersion - 1][f.Layer - 1][bitrateIndex]
                    : -1;
    f.SampleRate = f.MPEGVersion != mvReserved ? SampleRateTable[f.MPEGVersion - 1][rateIndex] : -1;
    f.PaddingSize = padding ? (f.Layer == lyLayer1 ? 4 : 1) : 0;
    f.FrameLength = FrameLengthOf(f.MPEGVersion, f.Layer, f.Bitrate, f.SampleRate, f.PaddingSize);
    f.SamplesPerFrame = f.Layer == lyLayer1                                 ? 384
                        : (f.Layer == lyLayer3 && f.MPEGVersion != mvMpeg1) ? 576
                                                                            : 1152;
    // Free format (bitrate 0) has no frame length to go by.
    f.Valid =
        f.MPEGVersion != mvReserved && f.Layer != lyReserved && f.Bitrate > 0 && f.SampleRate > 0;
    return f;
}

const char *VersionText(TMpegVersion version)
{
    switch (version) {
    case mvMpeg1:
        return "1";
    case mvMpeg2:
        return "2";
    case mvMpeg25:
        return "2.5";
    default:
        return "?";
    }
}

} // namespace mp3core
