#pragma once
// What the windows share: time and tag texts, a wait cursor, seeking from a track bar.

#include "jobs/SplitJob.h"

#include <QSettings>
#include <QString>

#include <cstdint>
#include <string>

class QComboBox;
class QLineEdit;
class QSlider;
class TMediaPlayer;

// A text of the window in its language: the Chinese source, or its translation (see
// LoadWindowTexts).
QString Tr(const char *source);

// A millisecond count as a display text, and as the whole seconds of a track bar.
QString DisplayText(int64_t ms);
inline int Seconds(int64_t ms)
{
    return int(ms / 1000);
}

// Tag texts are UTF-8 in the core; the windows show them as text.
QString FromTagText(const std::string &utf8);
std::string ToTagText(const QString &text);

// The six tag fields of a window, shown from and read into a part's texts.
struct TTagFields
{
    QLineEdit *Title;
    QLineEdit *Artist;
    QLineEdit *Album;
    QLineEdit *Year;
    QComboBox *Genre; // the genre table in order: the index is the genre number
    QLineEdit *Comment;

    void Show(const mp3core::TPartTag &tag) const;
    mp3core::TPartTag Texts() const;
};

namespace mp3core {
struct TSource;
}

// The texts a file shows: its ID3v2 tag's, else its ID3v1 tag's; empty fields when it has
// neither (a damaged ID3v2 tag counts as none).
mp3core::TPartTag ReadSourceTexts(mp3core::TSource &input);

// Where the windows remember their choices from run to run.
QSettings WindowSettings();

// A wait cursor for as long as it lives: for reading a long file on the window's thread.
struct TWaitCursor
{
    TWaitCursor();
    ~TWaitCursor();
    TWaitCursor(const TWaitCursor &) = delete;
    TWaitCursor &operator=(const TWaitCursor &) = delete;
};

// The user moved a bar to a second: the player goes there, and plays on if it played.
void SeekFromBar(TMediaPlayer &player, int second);
// The same to a millisecond (a click in a waveform); false when no file is open.
bool SeekOpenPlayer(TMediaPlayer &player, int64_t ms);
// Plays 2 s either side of ms ("play around" a point); false when no file is open.
bool PlayAround(TMediaPlayer &player, int64_t ms);
// The "吸附" check box of a waveform: snapping on or off, remembered under key, as the view's
// zoom is under key + "Span".
class QCheckBox *MakeSnapBox(QWidget *parent, class TWaveView *view, const QString &key);
