#pragma once
// The hidden preview player: decodes with libmpg123, sounds through SDL2. Every time and
// length is in milliseconds. The window's thread calls it; SDL's audio thread pulls samples.

#include "io/Errors.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class EMCIDeviceError : public mp3core::Exception
{
public:
    using mp3core::Exception::Exception;
};

struct mpg123_handle_struct;

class TMediaPlayer
{
public:
    // Mode codes, as the pages read them.
    enum
    {
        mpNotReady = 0,
        mpStopped = 1,
        mpPlaying = 2,
        mpPaused = 5
    };

    TMediaPlayer();
    ~TMediaPlayer();
    TMediaPlayer(const TMediaPlayer &) = delete;
    TMediaPlayer &operator=(const TMediaPlayer &) = delete;

    std::string FileName;

    // Closes the open file, then opens FileName. Raises EMCIDeviceError with libmpg123's text
    // when the file cannot be decoded. Without a sound device the file still opens; Play then
    // raises. Sample-accurate seeking needs the whole file read: that runs on a thread of its
    // own (about 0.6 s for an hour of audio, half a minute for 2.6 GB), which Close cancels.
    // Nothing waits for it: until it has ended, the length is knownSamples (the samples a
    // gapless player plays, as the core counts them) or, when not given, the encoder's count
    // (exact where its information frame gives one; else an estimate), and a seek finds its
    // frame by reading up to it.
    void Open(int64_t knownSamples = -1);
    // Closes the file; the sound device stays open for the next one (the destructor closes it).
    void Close();
    // Plays from the current position, within StartPos and EndPos when they were set for this
    // play; at the end of the file it first rewinds to the start.
    void Play();
    // Pauses a playing file, resumes a paused one.
    void Pause();
    int64_t Position() const;
    // Seeks and leaves playback stopped there.
    void SetPosition(int64_t ms);
    int64_t Length();
    int Mode() const;
    void SetTimeFormat(int) {} // positions are always milliseconds
    void SetStartPos(int64_t ms) { startPos_ = ms; }
    void SetEndPos(int64_t ms) { endPos_ = ms; }
    bool IsOpen() const { return handle_ != nullptr; }
    // Audio periods delivered since the file was opened (for waiting on the sound thread).
    uint64_t Periods() const;

private:
    static void Callback(void *self, uint8_t *stream, int len);
    void Fill(uint8_t *stream, int len);
    void CheckOpen() const;
    void SeekSamples(int64_t sample); // caller holds mutex_
    // Once the file's reading has ended, decodes from the handle that read it.
    void Settle();

    struct TScan; // the reading of the whole file, shared with the thread that does it
    std::shared_ptr<TScan> scan_;

    mutable std::mutex mutex_;
    mpg123_handle_struct *handle_ = nullptr;
    // Starts the reading of the whole file (see Open).
    void StartScan();
    // Opens the sound device for the format, unless the one open has it.
    void OpenDevice(long rate, int channels);
    void CloseDevice();
    uint32_t device_ = 0;
    long deviceRate_ = 0; // the format the device was opened for
    int deviceChannels_ = 0;
    std::string noDevice_; // why there is no sound, when there is none
    long rate_ = 0;
    int channels_ = 0;
    int64_t lengthSamples_ = 0;
    int64_t positionSamples_ = 0;
    int64_t endSample_ = -1; // where the current play stops; -1: the end of the file
    int mode_ = mpNotReady;
    uint64_t periods_ = 0;
    std::optional<int64_t> startPos_;
    std::optional<int64_t> endPos_;
};
