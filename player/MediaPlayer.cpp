#include "MediaPlayer.h"

#include <SDL.h>
#include <mpg123.h>

#include <algorithm>
#include <cstring>

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

TMediaPlayer::TMediaPlayer() = default;

TMediaPlayer::~TMediaPlayer()
{
    Close();
}

void TMediaPlayer::Close()
{
    // The device goes first: closing it waits for a running callback, which takes the mutex.
    if (device_ != 0) {
        SDL_CloseAudioDevice(device_);
        device_ = 0;
    }
    std::lock_guard lock(mutex_);
    if (handle_ != nullptr) {
        mpg123_close(handle_);
        mpg123_delete(handle_);
        handle_ = nullptr;
    }
    mode_ = mpNotReady;
    positionSamples_ = lengthSamples_ = 0;
    periods_ = 0;
}

void TMediaPlayer::Open()
{
    Close();
    std::string noSound;
    if (!InitLibraries(noSound)) {
        throw EMCIDeviceError("The MPEG audio decoder cannot be started");
    }
    int err = MPG123_OK;
    mpg123_handle *mh = mpg123_new(nullptr, &err);
    if (mh == nullptr) {
        throw EMCIDeviceError(mpg123_plain_strerror(err));
    }
    auto fail = [&](const std::string &why) {
        mpg123_close(mh);
        mpg123_delete(mh);
        throw EMCIDeviceError(why);
    };
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_open(mh, FileName.c_str()) != MPG123_OK ||
        mpg123_getformat(mh, &rate, &channels, &encoding) != MPG123_OK) {
        fail(mpg123_strerror(mh));
    }
    // Decode to 16-bit samples at the file's own rate and channel count.
    mpg123_format_none(mh);
    mpg123_format(mh, rate, channels, MPG123_ENC_SIGNED_16);
    if (mpg123_scan(mh) != MPG123_OK) { // exact length and sample-accurate seeking
        fail(mpg123_strerror(mh));
    }
    const off_t length = mpg123_length(mh);
    if (length < 0) {
        fail(mpg123_strerror(mh));
    }
    mpg123_seek(mh, 0, SEEK_SET);
    {
        std::lock_guard lock(mutex_);
        handle_ = mh;
        rate_ = rate;
        channels_ = channels;
        lengthSamples_ = length;
        positionSamples_ = 0;
        endSample_ = -1;
        mode_ = mpStopped;
    }
    startPos_.reset();
    endPos_.reset();
    noDevice_ = noSound;
    if (noDevice_.empty()) {
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
    std::lock_guard lock(mutex_);
    SeekSamples((ms * rate_ + 500) / 1000);
    endSample_ = -1;
    mode_ = mpStopped;
}

int64_t TMediaPlayer::Length() const
{
    CheckOpen();
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
