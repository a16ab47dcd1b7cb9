#pragma once
// Reading a file's frames: a window over the file, a header confirmed by the next one, a walk
// from frame to frame past junk, the tags around the audio and the information frame. The
// frame header's facade (TMPEGAFHdr) and the output assembly are built on these.

#include "format/FrameIndex.h"
#include "format/MPEGAFHdr.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

namespace mp3core {

constexpr int64_t ReaderBlock = 64 * 1024;
// A search usually ends within a frame or two: the first read is small, and each further
// read of the same search doubles up to ReaderBlock.
constexpr int64_t FirstReadBlock = 4 * 1024;

// Random access to a stream through one window of fixed size, refilled on demand.
class TWindowReader
{
public:
    TWindowReader(TFileStream &stream, int64_t end, TWindow &window)
        : stream_(stream), end_(end), w_(window)
    {
        if (w_.Stream != &stream) {
            w_.Stream = &stream;
            w_.Start = w_.Length = 0;
            w_.Next = FirstReadBlock;
        }
    }

    // The n bytes at pos, or nullptr when they do not all lie before the end.
    const uint8_t *At(int64_t pos, int64_t n)
    {
        if (pos < 0 || pos + n > end_) {
            return nullptr;
        }
        if (pos < w_.Start || pos + n > w_.Start + w_.Length) {
            if (!w_.Buffer) {
                w_.Buffer.reset(new uint8_t[ReaderBlock]);
            }
            w_.Length = std::min(std::max(w_.Next, n), end_ - pos);
            w_.Next = std::min(2 * w_.Next, ReaderBlock);
            stream_.ReadBufferAt(pos, w_.Buffer.get(), w_.Length);
            w_.Start = pos;
        }
        return w_.Buffer.get() + (pos - w_.Start);
    }

    // Bytes of the window from pos on, pos being inside it (as after At).
    int64_t Available(int64_t pos) const { return w_.Start + w_.Length - pos; }

private:
    TFileStream &stream_;
    int64_t end_;
    TWindow &w_;
};

// A frame header at pos that passes for a real frame: valid, of the reference stream when one
// is given, ending within the audio, and followed at its frame length by a header of the same
// stream, or ending exactly at the end of the audio.
bool ConfirmedFrame(TWindowReader &reader, int64_t pos, int64_t audioEnd, const TFrameInfo *ref,
                    TFrameInfo &info);

// First confirmed frame that begins in [from, limit), or -1.
int64_t FindFrame(TWindowReader &reader, int64_t from, int64_t limit, int64_t audioEnd,
                  const TFrameInfo *ref, TFrameInfo &info);

// True when a free-format stream (bitrate index 0, whose frame lengths no header gives) begins
// in [from, limit): a header of that kind followed within a frame's reach by another alike.
bool FreeFormatIn(TWindowReader &reader, int64_t from, int64_t limit);

// End of the ID3v2 tags at from ("ID3", version, flags, synchsafe size). Past the start of
// the file (between two encodes put end to end) the first one's ID3v1 tag is stepped over too.
int64_t SkipID3v2(TWindowReader &reader, int64_t size, int64_t from);

// Start of the trailing tags: an ID3v1 tag at the very end, and an APEv2 tag before it (or at
// the end when there is no ID3v1 tag).
int64_t TrailingTagsStart(TWindowReader &reader, int64_t audioStart, int64_t size);

// Where the audio ends: audioEnd when a frame of the stream ends there, as in a whole file.
// Otherwise junk follows the audio (zeros, a frame cut off, another file's bytes), and the end
// is that of the last whole frame that the frame before it leads to, found by one scan back,
// so that no time and no copy reaches into the junk.
int64_t EndOfFrames(TFileStream &stream, TWindowReader &reader, const TFrameInfo &ref,
                    int64_t audioStart, int64_t audioEnd);

// Steps from frame to frame; where the chain breaks (junk in the middle of the audio) it
// resynchronises on the next confirmed frame.
class TFrameWalker
{
public:
    // refHeader: the four bytes of the stream's first frame, which ref decodes. junk, when
    // given, hears of every stretch of bytes the walk steps over between two frames.
    // index, when given, learns where the frames lie as the walk passes them: the frame at pos
    // is frame number there.
    TFrameWalker(TWindowReader &reader, const TFrameInfo &ref,
                 const std::array<uint8_t, 4> &refHeader, int64_t audioEnd, int64_t pos,
                 const std::function<void(TByteRange)> &junk = {}, TFrameIndex *index = nullptr,
                 int64_t number = 0)
        : reader_(reader), ref_(ref), audioEnd_(audioEnd), pos_(pos), junk_(junk), index_(index),
          number_(number)
    {
        // The frames of one stream differ only in bitrate, padding and CRC bits, so their
        // decodings fit a table: a walk over hours of frames looks each header up in it.
        // Version, layer and sample rate must be the first frame's: SameStream by construction.
        streamBits1_ = refHeader[1] & StreamMask1;
        streamBits2_ = refHeader[2] & StreamMask2;
        mono_ = TChannelMode(refHeader[3] >> 6) == cmMono;
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
        skipping_ = true;
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
                    Passing();
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
        skipping_ = false;
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
        Passing();
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

    // The walk passes the frame at pos_.
    void Passing()
    {
        if (index_ != nullptr) {
            index_->Stepped += skipping_ ? 1 : 0;
            if (number_ == index_->Wanted()) {
                index_->Add(pos_);
            }
        }
        ++number_;
    }

    bool OfStream(const uint8_t *b) const
    {
        return b[0] == 0xFF && (b[1] & StreamMask1) == streamBits1_ &&
               (b[2] & StreamMask2) == streamBits2_ && (TChannelMode(b[3] >> 6) == cmMono) == mono_;
    }

    TWindowReader &reader_;
    const TFrameInfo &ref_;
    int64_t audioEnd_;
    int64_t pos_;
    std::function<void(TByteRange)> junk_;
    TFrameIndex *index_;
    int64_t number_;          // the number of the frame at pos_
    bool skipping_ = false;   // inside Skip: the frames passed are stepped over
    uint8_t streamBits1_ = 0; // sync, version and layer bits of the header's second byte
    uint8_t streamBits2_ = 0; // sample-rate bits of its third byte
    bool mono_ = false;       // and one channel, or more, by its fourth
    std::array<TFrameInfo, 32> frames_{}; // by bitrate index x 2 + padding bit
    std::array<int32_t, 32> lengths_{};   // their frame lengths; 0 where not a usable frame
};

int32_t FrameLengthOf(TMpegVersion version, TLayer layer, int32_t bitrate, int32_t sampleRate,
                      int32_t paddingSize);

} // namespace mp3core
