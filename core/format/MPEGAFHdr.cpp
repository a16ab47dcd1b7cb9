#include "format/MPEGAFHdr.h"

#include "format/FrameScan.h"
#include "format/InfoFrame.h"
#include "io/Arith.h"

#include <algorithm>

namespace mp3core {

namespace {

// The first header must begin within this many bytes after the leading ID3v2 tags.
constexpr int64_t SearchWindow = 10240;

} // namespace

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
    ChannelMode = TChannelMode(Header[3] >> 6);
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

bool TMPEGAFHdr::Locate(TFileStream &stream, int64_t from)
{
    HasLameTag = false;
    VBR = false;
    WalkFrames = false;
    TWindow &window = frames_.Window();
    window.Stream = nullptr; // a stream read before may have gone, and another taken its place

    const int64_t size = stream.Size();
    TWindowReader reader(stream, size, window);
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
    StreamStart = firstPos;
    AudioStart = audioStart;
    AudioEnd = EndOfFrames(stream, reader, info, audioStart, audioEnd);
    HasLameTag = infoFrame.Lame;
    LameTag = infoFrame.LameTag;
    // bytes 21-23 of the extension: delay (12 bits) and padding (12 bits)
    EncoderDelay = HasLameTag ? (LameTag[21] << 4) | (LameTag[22] >> 4) : 0;
    EncoderPadding = HasLameTag ? ((LameTag[22] & 0x0F) << 8) | LameTag[23] : 0;
    VBR = infoFrame.Vbr;
    frames_.Begin(info, Header, AudioStart, AudioEnd, VBR, infoFrame.Frames, infoFrame.Bytes);
    return true;
}

bool TMPEGAFHdr::ReadFirstFrame(TFileStream &stream, int64_t from)
{
    if (!Locate(stream, from)) {
        return false;
    }
    frames_.Count(stream, StreamStart);
    VBR = frames_.VBR;
    WalkFrames = frames_.WalkFrames;
    FrameCount = frames_.FrameCount;
    Duration = frames_.Duration;
    Bitrate = frames_.Bitrate;
    return true;
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

int64_t TMPEGAFHdr::PlayedSamples() const
{
    const int64_t samples = FrameCount * SamplesPerFrame;
    return HasLameTag ? std::max<int64_t>(0, samples - EncoderDelay - EncoderPadding) : samples;
}

} // namespace mp3core
