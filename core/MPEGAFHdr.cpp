#include "MPEGAFHdr.h"

#include "Arith.h"
#include "Errors.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

namespace {

// The first header must begin within this many bytes after the leading ID3v2 tags.
constexpr int64_t SearchWindow = 10240;
// A file counts as VBR when the bitrates of its first frames differ.
constexpr int VbrProbeFrames = 64;
constexpr int64_t ReaderBlock = 64 * 1024;
// A search usually ends within a frame or two: the first read is small, and each further
// read of the same search doubles up to ReaderBlock.
constexpr int64_t FirstReadBlock = 4 * 1024;
constexpr int64_t CopyBlock = 256 * 1024; // read, summed and written while in the cache
constexpr int64_t ProgressStep = 8 * 1024 * 1024;

int32_t FrameLengthOf(int32_t version, int32_t layer, int32_t bitrate, int32_t sampleRate,
                      int32_t paddingSize)
{
    if (sampleRate <= 0) {
        return 0;
    }
    // Layer I counts in 4-byte slots; Layer III of MPEG-2 and 2.5 has half the samples.
    if (layer == 1) {
        return 4 * (12000 * bitrate / sampleRate) + paddingSize;
    }
    const int32_t coefficient = (layer == 3 && version != 1) ? 72000 : 144000;
    return coefficient * bitrate / sampleRate + paddingSize;
}

uint32_t BigEndian32(const uint8_t *p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

uint32_t LittleEndian32(const uint8_t *p)
{
    return (uint32_t(p[3]) << 24) | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
}

// Random access to a stream through one window of fixed size, refilled on demand.
class TWindowReader
{
public:
    // buffer: ReaderBlock bytes, allocated on first use when null.
    TWindowReader(TFileStream &stream, int64_t end, std::unique_ptr<uint8_t[]> &buffer)
        : stream_(stream), end_(end), buffer_(buffer)
    {
    }

    // The n bytes at pos, or nullptr when they do not all lie before the end.
    const uint8_t *At(int64_t pos, int64_t n)
    {
        if (pos < 0 || pos + n > end_) {
            return nullptr;
        }
        if (pos < start_ || pos + n > start_ + length_) {
            if (!buffer_) {
                buffer_.reset(new uint8_t[ReaderBlock]);
            }
            length_ = std::min(std::max(next_, n), end_ - pos);
            next_ = std::min(2 * next_, ReaderBlock);
            stream_.ReadBufferAt(pos, buffer_.get(), length_);
            start_ = pos;
        }
        return buffer_.get() + (pos - start_);
    }

    // Bytes of the window from pos on, pos being inside it (as after At).
    int64_t Available(int64_t pos) const { return start_ + length_ - pos; }

private:
    TFileStream &stream_;
    int64_t end_;
    std::unique_ptr<uint8_t[]> &buffer_;
    int64_t start_ = 0;
    int64_t length_ = 0;
    int64_t next_ = FirstReadBlock; // size of the next read
};

// A frame header at pos that passes for a real frame: valid, of the reference stream when one
// is given, ending within the audio, and followed at its frame length by a header of the same
// stream, or ending exactly at the end of the audio.
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

// First confirmed frame that begins in [from, limit), or -1.
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

// Steps from frame to frame; where the chain breaks (junk in the middle of the audio) it
// resynchronises on the next confirmed frame.
class TFrameWalker
{
public:
    // refHeader: the four bytes of the stream's first frame, which ref decodes. junk, when
    // given, hears of every stretch of bytes the walk steps over between two frames.
    TFrameWalker(TWindowReader &reader, const TFrameInfo &ref,
                 const std::array<uint8_t, 4> &refHeader, int64_t audioEnd, int64_t pos,
                 const std::function<void(TByteRange)> &junk = {})
        : reader_(reader), ref_(ref), audioEnd_(audioEnd), pos_(pos), junk_(junk)
    {
        // The frames of one stream differ only in bitrate, padding and CRC bits, so their
        // decodings fit a table: a walk over hours of frames looks each header up in it.
        // Version, layer and sample rate must be the first frame's: SameStream by construction.
        streamBits1_ = refHeader[1] & StreamMask1;
        streamBits2_ = refHeader[2] & StreamMask2;
        mono_ = (refHeader[3] >> 6) == 3;
        for (int bitrate = 0; bitrate < 16; ++bitrate) {
            for (int padding = 0; padding < 2; ++padding) {
                const uint8_t header[4] = {0xFF, uint8_t(streamBits1_ | 1),
                                           uint8_t((bitrate << 4) | streamBits2_ | (padding << 1)),
                                           uint8_t(mono_ ? 0xC0 : 0)};
                const TFrameInfo &frame = frames_[size_t(bitrate * 2 + padding)] =
                    DecodeFrameInfo(header);
                lengths_[size_t(bitrate * 2 + padding)] = frame.Valid ? frame.FrameLength : 0;
            }
        }
    }

    // Steps over up to count frames; returns how many, fewer only at the end of the audio.
    int64_t Skip(int64_t count)
    {
        int64_t done = 0;
        while (done < count) {
            // The headers that lie whole in the window, one table lookup each; the rest (a
            // header across the window's end, junk, the end of the audio) go through Next.
            const uint8_t *b = reader_.At(pos_, 4);
            if (b != nullptr) {
                int64_t available = reader_.Available(pos_);
                while (done < count && available >= 4 && OfStream(b)) {
                    const int32_t length = lengths_[size_t((b[2] >> 4) * 2 + ((b[2] >> 1) & 1))];
                    if (length == 0 || pos_ + length > audioEnd_) {
                        break;
                    }
                    pos_ += length;
                    b += length;
                    available -= length;
                    ++done;
                }
            }
            if (done == count) {
                break;
            }
            TFrameInfo info;
            int64_t framePos = 0;
            if (!Next(info, framePos)) {
                break;
            }
            ++done;
        }
        return done;
    }

    // The frame at the walker's position; false at the end of the audio.
    bool Next(TFrameInfo &info, int64_t &framePos)
    {
        const uint8_t *b = reader_.At(pos_, 4);
        bool onFrame = false;
        if (b != nullptr && OfStream(b)) {
            info = frames_[size_t((b[2] >> 4) * 2 + ((b[2] >> 1) & 1))];
            info.Protected = (b[1] & 1) == 0;
            onFrame = info.Valid;
        }
        if (!onFrame) {
            const int64_t found = FindFrame(reader_, pos_ + 1, audioEnd_, audioEnd_, &ref_, info);
            if (found < 0) {
                pos_ = audioEnd_;
                return false;
            }
            if (junk_) {
                junk_({pos_, found});
            }
            pos_ = found;
        }
        if (pos_ + info.FrameLength > audioEnd_) { // a frame cut short by the end of the file
            pos_ = audioEnd_;
            return false;
        }
        framePos = pos_;
        pos_ += info.FrameLength;
        return true;
    }

    int64_t Position() const { return pos_; }

private:
    // Bits of a header that every frame of one stream shares (SameStream): byte 1, bits 7-1
    // (the sync's last three bits, version and layer; bit 0 is the CRC flag), and byte 2,
    // bits 3-2 (sample rate).
    static constexpr uint8_t StreamMask1 = 0xFE;
    static constexpr uint8_t StreamMask2 = 0x0C;

    bool OfStream(const uint8_t *b) const
    {
        return b[0] == 0xFF && (b[1] & StreamMask1) == streamBits1_ &&
               (b[2] & StreamMask2) == streamBits2_ && ((b[3] >> 6) == 3) == mono_;
    }

    TWindowReader &reader_;
    const TFrameInfo &ref_;
    int64_t audioEnd_;
    int64_t pos_;
    std::function<void(TByteRange)> junk_;
    uint8_t streamBits1_ = 0; // sync, version and layer bits of the header's second byte
    uint8_t streamBits2_ = 0; // sample-rate bits of its third byte
    bool mono_ = false;       // and one channel, or more, by its fourth
    std::array<TFrameInfo, 32> frames_{}; // by bitrate index x 2 + padding bit
    std::array<int32_t, 32> lengths_{};   // their frame lengths; 0 where not a usable frame
};

// True when a free-format stream (bitrate index 0, whose frame lengths no header gives) begins
// in [from, limit): a header of that kind followed within a frame's reach by another alike.
bool FreeFormatIn(TWindowReader &reader, int64_t from, int64_t limit)
{
    constexpr int64_t Reach = 8192; // a free-format frame of 640 kbps at 32 kHz is 2880 bytes
    const auto freeFormat = [&](int64_t pos, TFrameInfo &info) {
        const uint8_t *b = reader.At(pos, 4);
        if (b == nullptr || !IsSync(b[0], b[1])) {
            return false;
        }
        info = DecodeFrameInfo(b);
        return info.Bitrate == 0 && info.SampleRate > 0 && info.Layer != 0;
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

// End of the ID3v2 tags at from ("ID3", version, flags, synchsafe size). Past the start of
// the file (between two encodes put end to end) the first one's ID3v1 tag is stepped over too.
int64_t SkipID3v2(TWindowReader &reader, int64_t size, int64_t from = 0)
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

// Start of the trailing tags: an ID3v1 tag at the very end, and an APEv2 tag before it (or at
// the end when there is no ID3v1 tag).
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

// Where the audio ends: audioEnd when a frame of the stream ends there, as in a whole file.
// Otherwise junk follows the audio (zeros, a frame cut off, another file's bytes), and the end
// is that of the last whole frame that the frame before it leads to, found by one scan back,
// so that no time and no copy reaches into the junk.
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

// What an encoder's information frame (Xing, Info or VBRI) in the first frame tells.
struct TInfoFrame
{
    bool Present = false;
    bool Vbr = false;
    int64_t Frames = 0; // audio frames, not counting the information frame; 0 when unknown
    int64_t Bytes = 0;  // the stream's bytes from the information frame on; 0 when unknown
    // The LAME extension after a Xing or Info header, when an encoder wrote one.
    bool Lame = false;
    std::array<uint8_t, 36> LameTag{};
};

TInfoFrame ReadInfoFrame(TWindowReader &reader, int64_t pos, const TFrameInfo &info)
{
    TInfoFrame result;
    if (info.Layer != 3) {
        return result;
    }
    const int64_t length = std::min<int64_t>(info.FrameLength, 256);
    const uint8_t *b = reader.At(pos, length);
    if (b == nullptr || length < 64) {
        return result;
    }
    // Xing and Info follow the side information: 32 or 17 bytes for MPEG-1 (stereo or
    // mono), 17 or 9 for MPEG-2 and 2.5. Encoders put them there also when a CRC follows the
    // header (LAME does, and ffmpeg reads them only there); the CRC's 2 bytes are tried too.
    const bool mono = (b[3] >> 6) == 3;
    const int sideInfo = SideInfoBytes(info.MPEGVersion, mono);
    for (const int xing : {4 + sideInfo, 4 + 2 + sideInfo}) {
        if (xing == 6 + sideInfo && !info.Protected) {
            break;
        }
        if (std::memcmp(b + xing, "Xing", 4) == 0 || std::memcmp(b + xing, "Info", 4) == 0) {
            result.Present = true;
            result.Vbr = b[xing] == 'X';
            const uint32_t flags = BigEndian32(b + xing + 4);
            int at = xing + 8;
            if ((flags & 1) != 0) {
                result.Frames = BigEndian32(b + at);
                at += 4;
            }
            if ((flags & 2) != 0) {
                result.Bytes = BigEndian32(b + at);
                at += 4;
            }
            at += ((flags & 4) != 0 ? 100 : 0) + ((flags & 8) != 0 ? 4 : 0);
            // The extension names its encoder in letters first ("LAME3.100", "Lavf"...).
            if (at + 36 <= length && std::all_of(b + at, b + at + 4, [](uint8_t c) {
                    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9');
                })) {
                result.Lame = true;
                std::copy_n(b + at, 36, result.LameTag.begin());
            }
            return result;
        }
    }
    // VBRI stands 32 bytes after the header: id, version, delay, quality, bytes, frames.
    if (std::memcmp(b + 36, "VBRI", 4) == 0) {
        result.Present = true;
        result.Vbr = true;
        result.Bytes = BigEndian32(b + 36 + 10);
        result.Frames = BigEndian32(b + 36 + 14);
    }
    return result;
}

} // namespace

TFrameInfo DecodeFrameInfo(const uint8_t *header)
{
    TFrameInfo f;
    // byte 1, bits 4-3: version (00 MPEG-2.5, 01 reserved, 10 MPEG-2, 11 MPEG-1)
    static constexpr int32_t Versions[4] = {3, 0, 2, 1};
    f.MPEGVersion = Versions[(header[1] >> 3) & 3];
    // byte 1, bits 2-1: layer, counted down (11 Layer I ... 01 Layer III, 00 reserved)
    f.Layer = (4 - ((header[1] >> 1) & 3)) % 4;
    // byte 1, bit 0: clear when a CRC follows
    f.Protected = (header[1] & 1) == 0;
    // byte 3, bits 7-6: channel mode, 11 mono
    f.Mono = (header[3] >> 6) == 3;
    // byte 2: bitrate index (7-4), sample-rate index (3-2), padding (1)
    const int bitrateIndex = header[2] >> 4;
    const int rateIndex = (header[2] >> 2) & 3;
    const bool padding = (header[2] & 2) != 0;
    f.Bitrate = (f.MPEGVersion != 0 && f.Layer != 0)
                    ? BitrateTable[f.MPEGVersion - 1][f.Layer - 1][bitrateIndex]
                    : -1;
    f.SampleRate = f.MPEGVersion != 0 ? SampleRateTable[f.MPEGVersion - 1][rateIndex] : -1;
    f.PaddingSize = padding ? (f.Layer == 1 ? 4 : 1) : 0;
    f.FrameLength = FrameLengthOf(f.MPEGVersion, f.Layer, f.Bitrate, f.SampleRate, f.PaddingSize);
    f.SamplesPerFrame = f.Layer == 1 ? 384 : (f.Layer == 3 && f.MPEGVersion != 1) ? 576 : 1152;
    // Free format (bitrate 0) has no frame length to go by.
    f.Valid = f.MPEGVersion != 0 && f.Layer != 0 && f.Bitrate > 0 && f.SampleRate > 0;
    return f;
}

bool TMPEGAFHdr::DecodeHeader()
{
    const TFrameInfo f = DecodeFrameInfo(Header.data());
    MPEGVersion = f.MPEGVersion;
    Layer = f.Layer;
    Bitrate = f.Bitrate;
    SampleRate = f.SampleRate;
    PaddingFlag = (Header[2] & 2) != 0;
    PaddingSize = f.PaddingSize;
    FrameLength = CalcFrameLength();
    SamplesPerFrame = f.SamplesPerFrame;
    // byte 3: channel mode (7-6), mode extension (5-4), rights (3), original (2), emphasis (1-0)
    ChannelMode = Header[3] >> 6;
    ModeExtension = (Header[3] >> 4) & 3;
    RightsFlag = (Header[3] & 8) != 0;
    OriginalFlag = (Header[3] & 4) != 0;
    EmphasisName = std::string(EmphasisNames[Header[3] & 3]);
    return f.Valid;
}

int32_t TMPEGAFHdr::CalcFrameLength() const
{
    return FrameLengthOf(MPEGVersion, Layer, Bitrate, SampleRate, PaddingSize);
}

bool TMPEGAFHdr::FindHeader(int n)
{
    for (int i = 0; i + 3 < n && i + 3 < int(Buffer.size()); ++i) {
        if (IsSync(Buffer[i], Buffer[i + 1])) {
            std::copy_n(Buffer.begin() + i, 4, Header.begin());
            return true;
        }
    }
    return false;
}

int32_t TMPEGAFHdr::SyncOffset(int n) const
{
    for (int i = 0; i + 1 < n && i + 1 < int(Buffer.size()); ++i) {
        if (IsSync(Buffer[i], Buffer[i + 1])) {
            return i;
        }
    }
    return -1;
}

bool TMPEGAFHdr::ReadFirstFrame(TFileStream &stream, int64_t from)
{
    first_ = TFrameInfo{};
    HasLameTag = false;
    walkIndex_ = 0;
    walkPos_ = 0;
    VBR = false;
    WalkFrames = false;
    junk_.clear();
    walkedAll_ = false;

    const int64_t size = stream.Size();
    TWindowReader reader(stream, size, window_);
    const int64_t tagEnd = SkipID3v2(reader, size, from);
    const int64_t audioEnd = TrailingTagsStart(reader, tagEnd, size);

    TFrameInfo info;
    const int64_t searchEnd = std::min(tagEnd + SearchWindow, audioEnd);
    FreeFormat = false;
    const int64_t firstPos = FindFrame(reader, tagEnd, searchEnd, audioEnd, nullptr, info);
    if (firstPos < 0) {
        FreeFormat = FreeFormatIn(reader, tagEnd, searchEnd);
        return false;
    }
    const TInfoFrame infoFrame = ReadInfoFrame(reader, firstPos, info);
    int64_t audioStart = firstPos;
    if (infoFrame.Present) {
        // The information frame is silence that describes the file: not part of the audio.
        audioStart += info.FrameLength;
        const TFrameInfo infoFrameHeader = info;
        if (!ConfirmedFrame(reader, audioStart, audioEnd, &infoFrameHeader, info)) {
            return false;
        }
    }
    std::copy_n(reader.At(audioStart, 4), 4, Header.begin());
    DecodeHeader();
    first_ = info;
    firstHeader_ = Header;
    StreamStart = firstPos;
    AudioStart = audioStart;
    AudioEnd = EndOfFrames(stream, reader, first_, audioStart, audioEnd);
    HasLameTag = infoFrame.Lame;
    LameTag = infoFrame.LameTag;
    // bytes 21-23 of the extension: delay (12 bits) and padding (12 bits)
    EncoderDelay = HasLameTag ? (LameTag[21] << 4) | (LameTag[22] >> 4) : 0;
    EncoderPadding = HasLameTag ? ((LameTag[22] & 0x0F) << 8) | LameTag[23] : 0;

    VBR = infoFrame.Vbr;
    bool padded = false;
    std::vector<int64_t> probed; // where the first frames start, from AudioStart
    if (!VBR) {
        TFrameWalker walker(reader, first_, firstHeader_, AudioEnd, AudioStart, NoteJunk());
        TFrameInfo frame;
        int64_t framePos = 0;
        for (int i = 0; i < VbrProbeFrames && walker.Next(frame, framePos); ++i) {
            probed.push_back(framePos - AudioStart);
            padded = padded || frame.PaddingSize > 0;
            if (frame.Bitrate != first_.Bitrate) {
                VBR = true;
                break;
            }
        }
    }

    const int64_t audioBytes = AudioEnd - AudioStart;
    // An information frame's count stands only while the file still holds about the bytes it
    // announces (within 1 %, as libmpg123 checks): an editor may have cut audio out since.
    const int64_t streamBytes = AudioEnd - firstPos;
    const bool countHolds =
        infoFrame.Frames > 0 &&
        (infoFrame.Bytes <= 0 || std::abs(infoFrame.Bytes - streamBytes) * 100 <= streamBytes);
    if (!VBR) {
        // Frames of one bitrate differ only by a padding slot; where the encoder pads, their
        // number is the bytes over the average frame length, bits x rate / (kbps x samples).
        // Where the encoder pads, a frame holds samples x kbps x 125 / rate bytes on average.
        cbrNum_ = padded ? int64_t(SamplesPerFrame) * Bitrate * 125 : FrameLength;
        cbrDen_ = padded ? SampleRate : 1;
        FrameCount = countHolds ? infoFrame.Frames
                     : padded   ? RoundHalfEven(audioBytes * 8 * SampleRate,
                                                int64_t(Bitrate) * 1000 * SamplesPerFrame)
                                : audioBytes / FrameLength;
        Duration = RoundHalfEven(audioBytes * 8, Bitrate); // bits / kbps = ms
        // Frame i of a CBR stream starts within a byte of i times the average frame length:
        // the last frame counted must lie there and end the audio. An encoder that pads as
        // its running remainder overflows puts frame i at (i x num + c) / den exactly, for a
        // phase c that the first frames tell: then the last frame must lie at that very byte,
        // and a single byte of junk is found too.
        int64_t cLow = 0;
        int64_t cHigh = cbrDen_;
        for (size_t i = 0; i < probed.size(); ++i) {
            const int64_t at = int64_t(i) * cbrNum_;
            cLow = std::max(cLow, probed[i] * cbrDen_ - at);
            cHigh = std::min(cHigh, (probed[i] + 1) * cbrDen_ - at);
        }
        const int64_t n = FrameCount - 1;
        const bool phased = probed.size() >= 2 && cLow < cHigh &&
                            (n * cbrNum_ + cLow) / cbrDen_ == (n * cbrNum_ + cHigh - 1) / cbrDen_;
        const int64_t guess =
            AudioStart + (phased ? (n * cbrNum_ + cLow) / cbrDen_ : n * cbrNum_ / cbrDen_);
        TFrameInfo last;
        const int64_t lastPos =
            FrameCount <= 0 ? -1
                            : FindFrame(reader, std::max(AudioStart, guess - (phased ? 0 : 1)),
                                        std::min(AudioEnd, guess + (phased ? 1 : 2)), AudioEnd,
                                        &first_, last);
        if (lastPos >= 0 && lastPos + last.FrameLength == AudioEnd) {
            return true;
        }
        // Junk among the frames (a damaged download, a bad join) moves every frame after it
        // off the arithmetic: the frames are walked and counted as a VBR file's are, and the
        // junk is never taken for audio.
        WalkFrames = true;
        TFrameWalker walker(reader, first_, firstHeader_, AudioEnd, AudioStart, NoteJunk());
        FrameCount = walker.Skip(std::numeric_limits<int64_t>::max());
        walkedAll_ = true;
        Duration = RoundHalfEven(FrameCount * SamplesPerFrame * 1000, SampleRate);
        return true;
    }
    WalkFrames = true;
    FrameCount = countHolds ? infoFrame.Frames : 0;
    if (FrameCount <= 0) {
        TFrameWalker walker(reader, first_, firstHeader_, AudioEnd, AudioStart, NoteJunk());
        FrameCount = walker.Skip(std::numeric_limits<int64_t>::max());
        walkedAll_ = true;
    }
    Duration = RoundHalfEven(FrameCount * SamplesPerFrame * 1000, SampleRate);
    if (Duration > 0) {
        Bitrate = int32_t(RoundHalfEven(audioBytes * 8, Duration));
    }
    return true;
}

std::function<void(TByteRange)> TMPEGAFHdr::NoteJunk()
{
    return [this](TByteRange junk) {
        const auto at = std::lower_bound(
            junk_.begin(), junk_.end(), junk.Start,
            [](const TByteRange &r, int64_t start) { return r.Start < start; });
        if (at == junk_.end() || at->Start != junk.Start) {
            junk_.insert(at, junk);
        }
    };
}

std::vector<TByteRange> TMPEGAFHdr::JunkWithin(TByteRange range) const
{
    std::vector<TByteRange> within;
    for (const TByteRange &j : junk_) {
        if (j.Start >= range.Start && j.End <= range.End) {
            within.push_back(j);
        }
    }
    return within;
}

std::vector<TByteRange> TMPEGAFHdr::FindJunk(TFileStream &source)
{
    if (WalkFrames && first_.Valid && !walkedAll_) {
        TWindowReader reader(source, AudioEnd, window_);
        TFrameWalker walker(reader, first_, firstHeader_, AudioEnd, AudioStart, NoteJunk());
        walker.Skip(std::numeric_limits<int64_t>::max());
        walkedAll_ = true;
    }
    return junk_;
}

int64_t TMPEGAFHdr::FrameOffsetAt(TFileStream &source, int64_t ms)
{
    // Past 2^40 ms (35 years) every file has ended; the bound keeps ms x kbps in range.
    ms = std::clamp<int64_t>(ms, 0, int64_t(1) << 40);
    TWindowReader reader(source, AudioEnd, window_);
    TFrameInfo info;
    if (!WalkFrames) {
        // Constant bitrate: time maps to bytes; every table bitrate is a multiple of 8 kbps.
        const int64_t offset = AudioStart + RoundHalfEven(ms * Bitrate, 8);
        if (offset >= AudioEnd) {
            return AudioEnd;
        }
        const int64_t pos = FindFrame(reader, offset, AudioEnd, AudioEnd, &first_, info);
        return pos < 0 ? AudioEnd : pos;
    }
    // Variable bitrate: the first frame whose start time, index x samples / rate, is at or
    // after ms, found by walking the headers (resuming a walk that ended before it).
    const int64_t perFrame = int64_t(SamplesPerFrame) * 1000;
    const int64_t target = (ms * SampleRate + perFrame - 1) / perFrame;
    if (target < walkIndex_ || walkPos_ < AudioStart) {
        walkIndex_ = 0;
        walkPos_ = AudioStart;
    }
    TFrameWalker walker(reader, first_, firstHeader_, AudioEnd, walkPos_, NoteJunk());
    if (walkIndex_ < target) {
        walkIndex_ += walker.Skip(target - walkIndex_);
        walkPos_ = walkIndex_ < target ? AudioEnd : walker.Position();
    }
    // walkPos_ is the start of frame number target, unless the audio ended first.
    if (walkPos_ >= AudioEnd) {
        return AudioEnd;
    }
    TFrameInfo at;
    int64_t framePos = 0;
    if (!walker.Next(at, framePos)) {
        return AudioEnd;
    }
    walkPos_ = framePos; // the walk may have resynchronised past junk
    return framePos;
}

int64_t TMPEGAFHdr::PlayedMs() const
{
    if (!HasLameTag || SampleRate <= 0) {
        return Duration;
    }
    const int64_t samples =
        FrameCount * SamplesPerFrame - int64_t(EncoderDelay) - int64_t(EncoderPadding);
    return std::max<int64_t>(0, RoundHalfEven(samples * 1000, SampleRate));
}

int64_t TMPEGAFHdr::LastCutMs(TFileStream &source)
{
    if (!first_.Valid) {
        return 0;
    }
    if (WalkFrames) {
        // Time t cuts before frame ceil(t x rate / (1000 x samples)); the last is FrameCount - 1.
        const int64_t secondLast = FrameCount - 2;
        if (secondLast < 0) {
            return 0;
        }
        return secondLast * 1000 * SamplesPerFrame / SampleRate + 1;
    }
    // Constant bitrate: t cuts at the first frame from byte t x kbps / 8 of the audio on, so
    // every time past the second-to-last frame's start cuts at the last frame or later.
    TWindowReader reader(source, AudioEnd, window_);
    const int64_t from = std::max(AudioStart, AudioEnd - 4 * int64_t(FrameLength + 4));
    TFrameInfo info;
    int64_t pos = FindFrame(reader, from, AudioEnd, AudioEnd, &first_, info);
    int64_t last = -1;
    int64_t secondLast = -1;
    if (pos >= 0) {
        TFrameWalker walker(reader, first_, firstHeader_, AudioEnd, pos, NoteJunk());
        int64_t framePos = 0;
        while (walker.Next(info, framePos)) {
            secondLast = last;
            last = framePos;
        }
    }
    if (secondLast < 0) {
        return from == AudioStart ? 0 : Duration; // one frame; or junk we cannot see through
    }
    return (secondLast - AudioStart) / (Bitrate / 8) + 1;
}

std::vector<int64_t> TMPEGAFHdr::SizeCutTimes(TFileStream &source, int64_t fromMs, int64_t toMs,
                                              int64_t stepBytes)
{
    std::vector<int64_t> times;
    if (!first_.Valid || stepBytes < 1) {
        return times;
    }
    const int64_t from = FrameOffsetAt(source, fromMs);
    const int64_t to = FrameOffsetAt(source, toMs);
    // The frames' numbers count from the first audio frame, as VBR times do.
    TWindowReader reader(source, AudioEnd, window_);
    TFrameWalker walker(reader, first_, firstHeader_, AudioEnd, AudioStart, NoteJunk());
    TFrameInfo info;
    int64_t index = -1;
    int64_t pos = 0;
    int64_t before = -1; // the frame before pos, and its number
    int64_t target = from + stepBytes;
    while (walker.Next(info, pos)) {
        ++index;
        if (pos < target) {
            before = pos;
            continue;
        }
        if (pos >= to) {
            break;
        }
        // The boundary nearest to the target: this frame's start, or the one before it.
        const bool takeBefore = before > from && target - before < pos - target;
        const int64_t at = takeBefore ? before : pos;
        const int64_t number = takeBefore ? index - 1 : index;
        times.push_back(WalkFrames ? number * 1000 * SamplesPerFrame / SampleRate
                            : (at - AudioStart) / (Bitrate / 8));
        target = at + stepBytes;
        before = pos;
    }
    return times;
}

std::vector<TMPEGAFHdr::TFrameAt> TMPEGAFHdr::FramesAt(TFileStream &source,
                                                       const std::vector<int64_t> &indices)
{
    std::vector<TFrameAt> frames;
    if (!first_.Valid || indices.empty()) {
        return frames;
    }
    TWindowReader reader(source, AudioEnd, window_);
    auto record = [&](int64_t index, int64_t pos, const TFrameInfo &info) {
        TFrameAt f;
        f.Index = index;
        f.Pos = pos;
        f.Length = info.FrameLength;
        if (info.Layer == 3) {
            const uint8_t *b = reader.At(pos, 8);
            const bool mono = (b[3] >> 6) == 3;
            const uint8_t *side = b + 4 + (info.Protected ? 2 : 0);
            // side information, first bits: main_data_begin, 9 bits in MPEG-1, 8 after
            f.MainDataBegin = info.MPEGVersion == 1 ? (side[0] << 1) | (side[1] >> 7) : side[0];
            f.MainDataRoom = info.FrameLength - 4 - (info.Protected ? 2 : 0) -
                             SideInfoBytes(info.MPEGVersion, mono);
        }
        frames.push_back(f);
    };
    TFrameInfo info;
    if (!WalkFrames) {
        for (const int64_t index : indices) {
            if (index < 0 || index >= FrameCount) {
                continue;
            }
            const int64_t guess = AudioStart + index * cbrNum_ / cbrDen_;
            const int64_t pos = FindFrame(reader, std::max(AudioStart, guess - 2), AudioEnd,
                                          AudioEnd, &first_, info);
            if (pos >= 0 && pos + info.FrameLength <= AudioEnd) {
                record(index, pos, info);
            }
        }
        return frames;
    }
    if (indices.front() < walkIndex_ || walkPos_ < AudioStart) {
        walkIndex_ = 0;
        walkPos_ = AudioStart;
    }
    TFrameWalker walker(reader, first_, firstHeader_, AudioEnd, walkPos_, NoteJunk());
    for (const int64_t index : indices) {
        if (index < walkIndex_) {
            continue;
        }
        walkIndex_ += walker.Skip(index - walkIndex_);
        int64_t pos = 0;
        if (walkIndex_ < index || !walker.Next(info, pos)) {
            walkPos_ = AudioEnd;
            break;
        }
        // The walk may have resynchronised past junk: it goes on after this frame.
        walkIndex_ = index + 1;
        walkPos_ = walker.Position();
        record(index, pos, info);
    }
    return frames;
}

int64_t TMPEGAFHdr::FrameIndexAt(TFileStream &source, int64_t ms)
{
    ms = std::clamp<int64_t>(ms, 0, int64_t(1) << 40);
    if (WalkFrames) {
        const int64_t perFrame = int64_t(SamplesPerFrame) * 1000;
        return std::min(FrameCount, (ms * SampleRate + perFrame - 1) / perFrame);
    }
    const int64_t pos = FrameOffsetAt(source, ms);
    return pos >= AudioEnd
               ? FrameCount
               : std::min(FrameCount, RoundHalfEven((pos - AudioStart) * cbrDen_, cbrNum_));
}

TByteRange TMPEGAFHdr::RangeBytes(TFileStream &source, int64_t startMs, int64_t endMs)
{
    if (!first_.Valid) {
        return {};
    }
    startMs = std::max<int64_t>(startMs, 0);
    endMs = std::max<int64_t>(endMs, 0);
    if (startMs >= endMs) {
        return {};
    }
    const int64_t start = FrameOffsetAt(source, startMs);
    if (start >= AudioEnd) {
        return {};
    }
    const int64_t end = FrameOffsetAt(source, endMs);
    if (end <= start) {
        return {};
    }
    return {start, end};
}

int64_t TMPEGAFHdr::CopyBytes(TFileStream &source, TFileStream &target, TByteRange range,
                              const TCopyProgress &progress, uint16_t *crc)
{
    if (range.End <= range.Start) {
        return 0;
    }
    if (!copyBuffer_) {
        copyBuffer_.reset(new char[CopyBlock]);
    }
    source.Seek(range.Start, soBeginning);
    const int64_t total = range.End - range.Start;
    // With someone to tell, a long copy goes in steps that leave room for a progress bar.
    const int64_t step = progress ? ProgressStep : total;
    int64_t copied = 0;
    while (copied < total) {
        const int64_t n = std::min(step, total - copied);
        target.CopyFrom(source, n, copyBuffer_.get(), CopyBlock, crc);
        copied += n;
        if (progress && copied < total && !progress(copied, total)) {
            break;
        }
    }
    return copied;
}

int64_t TMPEGAFHdr::CopyRange(TFileStream &source, TFileStream &target, int64_t startMs,
                              int64_t endMs, const TCopyProgress &progress)
{
    return CopyBytes(source, target, RangeBytes(source, startMs, endMs), progress);
}
