#include "Shared.h"

#include <QCoreApplication>

#include "MediaPlayer.h"
#include "Recent.h"
#include "plan/TimeText.h"
#include "widgets/WaveView.h"

#include "tags/MP3TAG.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QSlider>

using namespace mp3core;

QString Tr(const char *source)
{
    return QCoreApplication::translate("mp3cutter", source);
}

QString DisplayText(int64_t ms)
{
    return QString::fromStdString(FormatMs("nn:ss.zzz", ms));
}

QString FromTagText(const std::string &utf8)
{
    return QString::fromStdString(utf8);
}

std::string ToTagText(const QString &text)
{
    return text.toStdString();
}

void TTagFields::Show(const TPartTag &tag) const
{
    Title->setText(FromTagText(tag.Title));
    Artist->setText(FromTagText(tag.Artist));
    Album->setText(FromTagText(tag.Album));
    Year->setText(FromTagText(tag.Year));
    // A genre number past the table names no entry: the list then shows none.
    Genre->setCurrentIndex(tag.GenreID < GenreNames.size() ? int(tag.GenreID) : -1);
    Comment->setText(FromTagText(tag.Comment));
    for (QLineEdit *field : {Title, Artist, Album, Year, Comment}) {
        field->setCursorPosition(0); // the start of a long text shows
    }
}

TPartTag TTagFields::Texts() const
{
    TPartTag tag;
    tag.Title = ToTagText(Title->text());
    tag.Artist = ToTagText(Artist->text());
    tag.Album = ToTagText(Album->text());
    tag.Year = ToTagText(Year->text());
    tag.GenreID = Genre->currentIndex() >= 0 ? uint8_t(Genre->currentIndex()) : 255;
    tag.Comment = ToTagText(Comment->text());
    return tag;
}

TPartTag ReadSourceTexts(TSource &input)
{
    return SourceTexts(ReadSourceTags(*input.Stream, input.Hdr.AudioStart)).value_or(TPartTag{});
}

QSettings WindowSettings()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, "mp3cut", "window");
}

TWaitCursor::TWaitCursor()
{
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

TWaitCursor::~TWaitCursor()
{
    QGuiApplication::restoreOverrideCursor();
}

bool SeekOpenPlayer(TMediaPlayer &player, int64_t ms)
{
    if (!player.IsOpen()) {
        return false;
    }
    const bool playing = player.Mode() == TMediaPlayer::mpPlaying;
    player.SetPosition(ms);
    if (playing) {
        player.Play();
    }
    return true;
}

void SeekFromBar(TMediaPlayer &player, int second)
{
    const bool playing = player.Mode() == TMediaPlayer::mpPlaying;
    if (!player.FileName.empty()) {
        player.SetPosition(int64_t(second) * 1000);
    }
    if (playing) {
        player.Play();
    }
}

bool PlayAround(TMediaPlayer &player, int64_t ms)
{
    if (!player.IsOpen()) {
        return false;
    }
    const int64_t from = std::max<int64_t>(0, ms - 2000);
    player.SetPosition(from);
    player.SetStartPos(from);
    player.SetEndPos(ms + 2000);
    player.Play();
    return true;
}

QCheckBox *MakeSnapBox(QWidget *parent, TWaveView *view, const QString &key)
{
    auto *box = new QCheckBox(Tr("吸附(&S)"), parent);
    box->setToolTip(Tr("放下或拖动的点落在附近 ±250 毫秒内最安静处"));
    box->setAccessibleDescription(box->toolTip());
    Remember(box, key);
    view->SetSnap(box->isChecked());
    QObject::connect(box, &QCheckBox::toggled, view, &TWaveView::SetSnap);
    view->RememberZoomAs(key + "Span");
    return box;
}
