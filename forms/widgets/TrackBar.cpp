#include "widgets/TrackBar.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

TTrackBar::TTrackBar(QWidget *parent) : QSlider(Qt::Horizontal, parent)
{
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
    if (selEnd_ <= selStart_ || maximum() <= minimum()) {
        return;
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
    QPainter p(this);
    QColor fill = palette().color(QPalette::Highlight);
    fill.setAlpha(150);
    const int h = std::max(3, groove.height() / 2);
    p.fillRect(QRect(QPoint(x(selStart_), groove.center().y() - h / 2),
                     QPoint(x(selEnd_), groove.center().y() + h / 2)),
               fill);
}
