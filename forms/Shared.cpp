#include "Shared.h"

#include "MediaPlayer.h"
#include "TimeText.h"

#include <QGuiApplication>
#include <QSlider>
#include <QStringDecoder>
#include <QStringEncoder>

QString DisplayText(int64_t ms)
{
    return QString::fromStdString(FormatMs("nn:ss.zzz", ms));
}

QString FromTagText(const std::string &bytes)
{
    QStringDecoder decode("GB18030");
    return decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
}

std::string ToTagText(const QString &text)
{
    QStringEncoder encode("GB18030");
    const QByteArray bytes = encode(text);
    return std::string(bytes.constData(), size_t(bytes.size()));
}

TWaitCursor::TWaitCursor()
{
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

TWaitCursor::~TWaitCursor()
{
    QGuiApplication::restoreOverrideCursor();
}

void SeekFromBar(TMediaPlayer &player, const QSlider &bar)
{
    if (!bar.hasFocus()) {
        return;
    }
    const bool playing = player.Mode() == TMediaPlayer::mpPlaying;
    if (!player.FileName.empty()) {
        player.SetPosition(int64_t(bar.value()) * 1000);
    }
    if (playing) {
        player.Play();
    }
}
