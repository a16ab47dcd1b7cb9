#include "widgets/TrackBar.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

TTrackBar::TTrackBar(QWidget *parent) : QSlider(Qt::Horizontal, parent)
{
    // The position the action moves to is known before the value follows it.
    connect(this, &QAbstractSlider::actionTriggered, this,
            [this](int) { emit Moved(sliderPosition()); });
    setTickPosition(QSlider::NoTicks);
    setFocusPolicy(Qt::StrongFocus);
}

void TTrackBar::SetSelStart(int v)
{
    selStart_ = v;
    update();
}

void TTrackBar::SetSelEnd(int v)
{
    selEnd_ = v;
    update();
}

void TTrackBar::ShowWhole(int maximum)
{
    showsRange_ = true;
    setMinimum(0);
    selStart_ = 0;
    setValue(0);
    setMaximum(maximum);
    selEnd_ = maximum;
    update();
}

void TTrackBar::paintEvent(QPaintEvent *event)
{
    QSlider::paintEvent(event);
    if (!showsRange_ || selEnd_ <= selStart_ || maximum() <= minimum()) {
        return; // no file yet, or nothing marked
    }
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    const QRect groove =
        style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, this);
    const QRect handle =
        style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
    const int span = groove.width() - handle.width();
    auto x = [&](int v) {
        const int clamped = std::clamp(v, minimum(), maximum());
        return groove.x() + handle.width() / 2 +
               QStyle::sliderPositionFromValue(minimum(), maximum(), clamped, span);
    };
    // A band of its own colour under the groove: the groove's own fill (the played part, in
    // the highlight colour) would hide a range drawn in it left of the thumb.
    QPainter p(this);
    const int top = std::min(groove.bottom() + 1, height() - 3);
    p.fillRect(QRect(QPoint(x(selStart_), top), QPoint(x(selEnd_), top + 2)), RangeColor);
}
