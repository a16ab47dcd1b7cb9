#include "MediaPlayer.h"

#include "format/Decoder.h"

#include <SDL.h>
#include <mpg123.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

using namespace mp3core;

namespace {

constexpr const char *NoDevice = "No MCI device open";

bool InitLibraries(std::string &noSound)
{
    static const bool decoderReady = mpg123_init() == MPG123_OK;
    static std::string soundError;
    static const bool soundReady = [] {
        const bool ok = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
        if (!ok) {
            soundError = SDL_GetError();
        }
        return ok;
    }();
    noSound = soundReady ? "" : soundError;
    return decoderReady;
}

} // namespace

struct TMediaPlayer::TScan
{
    std::mutex mutex;
    bool done = false;
    // The player closed the file: the reading fails at once. Shared with the handle that reads.
    std::shared_ptr<std::atomic<bool>> cancel = std::make_shared<std::atomic<bool>>(false);
    mpg123_handle *handle = nullptr; // read through: its exact length and seek index
    int64_t length = -1;
    std::thread thread;
};

TMediaPlayer::TMediaPlayer() = default;

TMediaPlayer::~TMediaPlayer()
{
    CloseDevice(); // first: closing it waits for a running callback, which takes the mutex
    Close();
}

void TMediaPlayer::CloseDevice()
{
    if (device_ != 0) {
        SDL_CloseAudioDevice(device_);
        device_ = 0;
    }
}

void TMediaPlayer::Close()
{
    // The sound device stays open (it plays silence while no file plays): closing one waits
    // for its thread, tens of milliseconds, and the next file usually has the same format.
    if (scan_) {
        // The reading's next block fails, and its thread ends with what it read dropped.
        *scan_->cancel = true;
        scan_->thread.join();
        CloseDecoder(scan_->handle);
        scan_.reset();
    }
    std::lock_guard lock(mutex_);
    CloseDecoder(handle_);
    handle_ = nullptr;
    mode_ = mpNotReady;
    positionSamples_ = lengthSamples_ = 0;
    periods_ = 0;
}

void TMediaPlayer::Open(int64_t knownSamples)
{
    Close();
    std::string noSound;
    if (!InitLibraries(noSound)) {
        throw EMCIDeviceError("The MPEG audio decoder cannot be started");
    }
    long rate = 0;
    int channels = 0;
    std::string error;
    mpg123_handle *mh = OpenDecoder(FileName, rate, channels, error);
    if (mh == nullptr) {
        throw EMCIDeviceError(error);
    }
    // The length the caller knows (the core counts the frames), else libmpg123's: exact with an
    // encoder's tag, otherwise an estimate until the reading of the whole file has ended.
    const int64_t length = knownSamples >= 0 ? knownSamples : int64_t(mpg123_length(mh));
    StartScan();
    {
        std::lock_guard lock(mutex_);
        handle_ = mh;
        rate_ = rate;
        channels_ = channels;
        lengthSamples_ = std::max<int64_t>(length, 0);
        positionSamples_ = 0;
        endSample_ = -1;
        mode_ = mpStopped;
    }
    startPos_.reset();
    endPos_.reset();
    noDevice_ = noSound;
    if (noDevice_.empty()) {
        OpenDevice(rate, channels);
    }
}

void TMediaPlayer::StartScan()
{
    // The whole file is read on a thread of its own, through a handle of its own: the exact
    // length and sample-accurate seeks. Nothing waits for it; the handle that read it takes
    // over at the first play or seek after it has ended.
    auto scan = std::make_shared<TScan>();
    scan->thread = std::thread([scan = scan.get(), fileName = FileName] {
        long r = 0;
        int c = 0;
        std::string why;
        mpg123_handle *h = OpenDecoder(fileName, r, c, why, scan->cancel);
        int64_t n = -1;
        if (h != nullptr && mpg123_scan(h) == MPG123_OK && !*scan->cancel) {
            n = mpg123_length(h);
        }
        if (n < 0) {
            CloseDecoder(h);
            h = nullptr;
        }
        std::lock_guard lock(scan->mutex);
        scan->handle = h;
        scan->length = n;
        scan->done = true;
    });
    scan_ = scan;
}

void TMediaPlayer::OpenDevice(long rate, int channels)
{
    if (device_ != 0 && (deviceRate_ != rate || deviceChannels_ != channels)) {
        CloseDevice();
    }
    if (device_ != 0) {
        return; // the one open plays this format
    }
    deviceRate_ = rate;
    deviceChannels_ = channels;
    SDL_AudioSpec want{};
    want.freq = int(rate);
    want.format = AUDIO_S16SYS;
    want.channels = uint8_t(channels);
    want.samples = 1024;
    want.callback = &TMediaPlayer::Callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device_ == 0) {
        noDevice_ = SDL_GetError();
    } else {
        SDL_PauseAudioDevice(device_, 0); // silence while stopped
    }
}

void TMediaPlayer::Settle()
{
    if (!scan_) {
        return;
    }
    std::unique_lock taken(scan_->mutex);
    if (!scan_->done) {
        return; // still reading: the first handle plays and seeks meanwhile
    }
    mpg123_handle *read = scan_->handle;
    const int64_t length = scan_->length;
    scan_->handle = nullptr;
    taken.unlock();
    scan_->thread.join();
    scan_.reset();
    if (read == nullptr) {
        return; // the reading failed: the first handle decodes as it can
    }
    std::lock_guard lock(mutex_);
    const off_t at = mpg123_seek(read, off_t(positionSamples_), SEEK_SET);
    if (at < 0) {
        CloseDecoder(read);
        return;
    }
    std::swap(handle_, read);
    CloseDecoder(read);
    lengthSamples_ = length;
    positionSamples_ = at;
}

void TMediaPlayer::CheckOpen() const
{
    if (handle_ == nullptr) {
        throw EMCIDeviceError(NoDevice);
    }
}

void TMediaPlayer::SeekSamples(int64_t sample)
{
    sample = std::clamp<int64_t>(sample, 0, lengthSamples_);
    const off_t at = mpg123_seek(handle_, off_t(sample), SEEK_SET);
    positionSamples_ = at >= 0 ? int64_t(at) : sample;
}

void TMediaPlayer::Play()
{
    CheckOpen();
    Settle();
    if (!noDevice_.empty()) {
        throw EMCIDeviceError("No sound output device is available (" + noDevice_ + ")");
    }
    std::lock_guard lock(mutex_);
    const bool limited = startPos_ || endPos_;
    if (startPos_) {
        SeekSamples(*startPos_ * rate_ / 1000);
    }
    endSample_ = endPos_ ? std::clamp<int64_t>(*endPos_ * rate_ / 1000, 0, lengthSamples_) : -1;
    startPos_.reset();
    endPos_.reset();
    if (!limited && positionSamples_ >= lengthSamples_) {
        SeekSamples(0);
    }
    mode_ = mpPlaying;
}

void TMediaPlayer::Pause()
{
    CheckOpen();
    std::lock_guard lock(mutex_);
    if (mode_ == mpPlaying) {
        mode_ = mpPaused;
    } else if (mode_ == mpPaused) {
        mode_ = mpPlaying;
    }
}

int64_t TMediaPlayer::Position() const
{
    std::lock_guard lock(mutex_);
    // Nearest millisecond: a seek to a millisecond reads back as that millisecond.
    return rate_ > 0 ? (positionSamples_ * 1000 + rate_ / 2) / rate_ : 0;
}

void TMediaPlayer::SetPosition(int64_t ms)
{
    CheckOpen();
    Settle();
    std::lock_guard lock(mutex_);
    SeekSamples((ms * rate_ + 500) / 1000);
    endSample_ = -1;
    mode_ = mpStopped;
}

int64_t TMediaPlayer::Length()
{
    CheckOpen();
    Settle();
    std::lock_guard lock(mutex_);
    return lengthSamples_ * 1000 / rate_;
}

int TMediaPlayer::Mode() const
{
    std::lock_guard lock(mutex_);
    return mode_;
}

uint64_t TMediaPlayer::Periods() const
{
    std::lock_guard lock(mutex_);
    return periods_;
}

void TMediaPlayer::Callback(void *self, uint8_t *stream, int len)
{
    static_cast<TMediaPlayer *>(self)->Fill(stream, len);
}

void TMediaPlayer::Fill(uint8_t *stream, int len)
{
    std::lock_guard lock(mutex_);
    ++periods_;
    int filled = 0;
    if (mode_ == mpPlaying && handle_ != nullptr) {
        const int64_t frameBytes = 2 * int64_t(channels_);
        const int64_t stop = endSample_ >= 0 ? endSample_ : lengthSamples_;
        while (filled < len) {
            const int64_t left = (stop - positionSamples_) * frameBytes;
            if (left <= 0) {
                break;
            }
            size_t done = 0;
            const int rc = mpg123_read(handle_, stream + filled,
                                       size_t(std::min<int64_t>(len - filled, left)), &done);
            filled += int(done);
            positionSamples_ += int64_t(done) / frameBytes;
            if (rc == MPG123_NEW_FORMAT) {
                continue;
            }
            if (rc != MPG123_OK || done == 0) {
                positionSamples_ = stop; // the decoder ran out first
                break;
            }
        }
        if (positionSamples_ >= stop) {
            mode_ = mpStopped;
            endSample_ = -1;
        }
    }
    std::memset(stream + filled, 0, size_t(len - filled));
}
