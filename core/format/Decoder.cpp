#include "format/Decoder.h"

#include "format/MPEGAFHdr.h"
#include "io/Errors.h"
#include "io/FileStream.h"

#include <mpg123.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace mp3core {

namespace {

// The stretch of the file the decoder reads: from the first frame to the end of the audio, as
// the frame walk finds them. It never sees the tags, so a tag whose size runs past the file,
// or trailing bytes that only look like frames, cannot lead it astray.
// The decoder reads a frame's header and then its body: it is served from a large block read
// at once, not by two reads of the file per frame.
struct TBoundedFile
{
    std::unique_ptr<TFileStream> Stream;
    int64_t Start = 0;
    int64_t End = 0;
    int64_t Pos = 0;                                 // from Start
    std::shared_ptr<const std::atomic<bool>> Cancel; // once true, reads fail
    std::vector<uint8_t> Block;                      // the bytes from BlockPos on
    int64_t BlockPos = 0;                            // from Start
};

constexpr int64_t DecoderBlock = 256 * 1024;

mpg123_ssize_t ReadBounded(void *handle, void *buffer, size_t n)
{
    auto *f = static_cast<TBoundedFile *>(handle);
    if (f->Cancel != nullptr && f->Cancel->load()) {
        return -1;
    }
    const int64_t want = std::min<int64_t>(int64_t(n), f->End - f->Start - f->Pos);
    if (want <= 0) {
        return 0;
    }
    try {
        const int64_t blockEnd = f->BlockPos + int64_t(f->Block.size());
        if (f->Pos < f->BlockPos || f->Pos + want > blockEnd) { // the next block
            f->Block.resize(
                size_t(std::min(std::max(DecoderBlock, want), f->End - f->Start - f->Pos)));
            f->Stream->Seek(f->Start + f->Pos, soBeginning);
            f->Block.resize(size_t(f->Stream->Read(f->Block.data(), int64_t(f->Block.size()))));
            f->BlockPos = f->Pos;
        }
        const int64_t got = std::min(want, f->BlockPos + int64_t(f->Block.size()) - f->Pos);
        std::memcpy(buffer, f->Block.data() + (f->Pos - f->BlockPos), size_t(got));
        f->Pos += got;
        return mpg123_ssize_t(got);
    } catch (const EStreamError &) {
        return -1;
    }
}

off_t SeekBounded(void *handle, off_t offset, int whence)
{
    auto *f = static_cast<TBoundedFile *>(handle);
    const int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? f->Pos : f->End - f->Start;
    const int64_t to = base + int64_t(offset);
    if (to < 0) {
        return -1;
    }
    f->Pos = to;
    return off_t(to);
}

void CloseBounded(void *handle)
{
    delete static_cast<TBoundedFile *>(handle);
}

} // namespace

namespace {

// The bytes of the file's first stream; the whole file when none is found, so that the decoder
// says why. False with error filled when the file cannot be read.
bool FirstStreamBytes(const std::string &fileName, TByteRange &bytes, std::string &error)
{
    bytes = {0, -1};
    try {
        TFileStream stream(fileName, fmOpenRead);
        TMPEGAFHdr hdr;
        if (hdr.Locate(stream)) { // the bounds only: counting may walk the whole file
            bytes = {hdr.StreamStart, hdr.AudioEnd};
        }
    } catch (const EStreamError &e) {
        error = e.what();
        return false;
    }
    return true;
}

} // namespace

mpg123_handle *OpenDecoder(const std::string &fileName, long &rate, int &channels,
                           std::string &error, std::shared_ptr<const std::atomic<bool>> cancel)
{
    TByteRange bytes;
    if (!FirstStreamBytes(fileName, bytes, error)) {
        return nullptr;
    }
    return OpenDecoder(fileName, bytes, rate, channels, error, std::move(cancel));
}

mpg123_handle *OpenFloatDecoder(const std::string &fileName, long &rate, int &channels,
                                std::string &error)
{
    TByteRange bytes;
    if (!FirstStreamBytes(fileName, bytes, error)) {
        return nullptr;
    }
    return OpenDecoder(fileName, bytes, rate, channels, error, {}, true);
}

mpg123_handle *OpenDecoder(const std::string &fileName, TByteRange bytes, long &rate, int &channels,
                           std::string &error, std::shared_ptr<const std::atomic<bool>> cancel,
                           bool floats)
{
    static const bool ready = mpg123_init() == MPG123_OK;
    auto file = std::make_unique<TBoundedFile>();
    try {
        file->Stream = std::make_unique<TFileStream>(fileName, fmOpenRead);
        file->Start = bytes.Start;
        file->End = bytes.End >= 0 ? bytes.End : file->Stream->Size();
        file->Cancel = std::move(cancel);
    } catch (const EStreamError &e) {
        error = e.what();
        return nullptr;
    }
    int err = MPG123_OK;
    mpg123_handle *mh = ready ? mpg123_new(nullptr, &err) : nullptr;
    if (mh == nullptr) {
        error = ready ? mpg123_plain_strerror(err) : "the MPEG audio decoder cannot be started";
        return nullptr;
    }
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    if (floats) { // every rate, floats only: the format is chosen as the file opens
        const long *rates = nullptr;
        size_t count = 0;
        mpg123_rates(&rates, &count);
        mpg123_format_none(mh);
        for (size_t i = 0; i < count; ++i) {
            mpg123_format(mh, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_FLOAT_32);
        }
    }
    int encoding = 0;
    if (mpg123_replace_reader_handle(mh, ReadBounded, SeekBounded, CloseBounded) != MPG123_OK) {
        error = mpg123_strerror(mh);
        CloseDecoder(mh);
        return nullptr;
    }
    // The decoder's from here: it calls CloseBounded when it closes.
    if (mpg123_open_handle(mh, file.release()) != MPG123_OK ||
        mpg123_getformat(mh, &rate, &channels, &encoding) != MPG123_OK || rate <= 0) {
        error = mpg123_strerror(mh);
        CloseDecoder(mh);
        return nullptr;
    }
    if (!floats) {
        mpg123_format_none(mh);
        mpg123_format(mh, rate, channels, MPG123_ENC_SIGNED_16);
    }
    return mh;
}

void CloseDecoder(mpg123_handle *handle)
{
    if (handle != nullptr) {
        mpg123_close(handle);
        mpg123_delete(handle);
    }
}

} // namespace mp3core
