#include "widgets/WaveView.h"

#include "Shared.h"
#include "widgets/WaveSource.h"

#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>

using namespace mp3core;

namespace {

constexpr int HandleReach = 5;         // pixels either side of a handle that grab it
constexpr int64_t ShortestViewMs = 20; // the deepest zoom shows 20 ms across

} // namespace

TWaveView::TWaveView(QWidget *parent) : QWidget(parent)
{
    bar_ = new QScrollBar(Qt::Horizontal, this);
    bar_->setAccessibleName(Tr("波形的位置"));
    bar_->setFocusPolicy(Qt::NoFocus); // the waveform's own keys scroll it
    bar_->hide();
    connect(bar_, &QScrollBar::valueChanged, this,
            [this](int from) { ShowView(from, viewEnd_ - viewStart_); });
    source_ = new TWaveSource(this);
    connect(source_, &TWaveSource::Peaks, this, &TWaveView::SetPeaks);
    connect(source_, &TWaveSource::Samples, this, &TWaveView::SetSamples);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(Tr("波形"));
    setMinimumHeight(40);
    setCursor(Qt::IBeamCursor);
}

TWaveView::~TWaveView() = default;

void TWaveView::Load(const std::filesystem::path &file)
{
    source_->Load(file);
}

void TWaveView::SetPeaks(std::shared_ptr<const TPeaks> peaks, bool whole)
{
    peaks_ = std::move(peaks);
    whole_ = whole;
    AskForSamples();
    update();
}

void TWaveView::SetSamples(int64_t first, std::shared_ptr<const std::vector<int16_t>> samples)
{
    samplesFrom_ = first;
    samples_ = std::move(samples);
    update();
}

double TWaveView::SamplesPerPixel() const
{
    const long rate = peaks_ != nullptr ? peaks_->Rate : 0;
    return double(viewEnd_ - viewStart_) * double(rate) / 1000.0 / std::max(1, width());
}

bool TWaveView::ShowsSamples() const
{
    if (samples_ == nullptr || peaks_ == nullptr || peaks_->Channels <= 0 ||
        SamplesPerPixel() >= double(PeakBlock)) {
        return false;
    }
    // Only samples that cover the whole view are drawn.
    const int64_t count = int64_t(samples_->size()) / peaks_->Channels;
    const int64_t from = viewStart_ * peaks_->Rate / 1000;
    const int64_t to = std::min(peaks_->Samples, (viewEnd_ * peaks_->Rate + 999) / 1000);
    return samplesFrom_ <= from && samplesFrom_ + count >= to;
}

void TWaveView::AskForSamples()
{
    // Below a peak a pixel, the samples themselves: the view's stretch and a view either side,
    // so that a scroll finds them there.
    if (!whole_ || peaks_ == nullptr || SamplesPerPixel() >= double(PeakBlock) || ShowsSamples()) {
        return;
    }
    const int64_t span = viewEnd_ - viewStart_;
    const int64_t from = std::max<int64_t>(0, viewStart_ - span) * peaks_->Rate / 1000;
    source_->WantSamples(from, 3 * span * peaks_->Rate / 1000 + 1);
}

int64_t TWaveView::Snapped(int64_t ms) const
{
    return snap_ && peaks_ != nullptr ? std::clamp<int64_t>(QuietestNear(*peaks_, ms), 0, length_)
                                      : ms;
}

void TWaveView::SetLength(int64_t ms, int64_t frameMs)
{
    length_ = std::max<int64_t>(0, ms);
    frameMs_ = std::max<int64_t>(1, frameMs);
    peaks_.reset();
    samples_.reset();
    whole_ = false;
    const int64_t span = zoomKey_.isEmpty() ? 0 : WindowSettings().value(zoomKey_).toLongLong();
    ShowView(0, span > 0 ? std::clamp<int64_t>(span, std::min(ShortestViewMs, length_), length_)
                         : length_);
    Describe();
    update();
}

void TWaveView::SetPosition(int64_t ms)
{
    if (ms != position_) {
        position_ = ms;
        update();
    }
}

void TWaveView::SetRange(int64_t startMs, int64_t endMs)
{
    start_ = startMs;
    end_ = endMs;
    Describe();
    update();
}

int64_t TWaveView::TimeAt(int x) const
{
    const int w = std::max(1, width());
    return std::clamp<int64_t>(viewStart_ + (viewEnd_ - viewStart_) * x / w, 0, length_);
}

int TWaveView::XOf(int64_t ms) const
{
    const int64_t span = std::max<int64_t>(1, viewEnd_ - viewStart_);
    return int((ms - viewStart_) * width() / span);
}

void TWaveView::Zoom(double factor, int x)
{
    if (length_ <= 0) {
        return;
    }
    const int64_t at = TimeAt(x);
    const int64_t span = std::clamp<int64_t>(int64_t(double(viewEnd_ - viewStart_) / factor),
                                             std::min(ShortestViewMs, length_), length_);
    // The time under the pointer stays under it.
    ShowView(at - span * x / std::max(1, width()), span);
    if (!zoomKey_.isEmpty()) { // the whole file: 0
        WindowSettings().setValue(zoomKey_, qlonglong(span < length_ ? span : 0));
    }
}

void TWaveView::ShowView(int64_t from, int64_t span)
{
    viewStart_ = std::clamp<int64_t>(from, 0, std::max<int64_t>(0, length_ - span));
    viewEnd_ = viewStart_ + span;
    const QSignalBlocker quiet(bar_);
    bar_->setRange(0, int(std::min<int64_t>(length_ - span, INT32_MAX)));
    bar_->setPageStep(int(std::min<int64_t>(span, INT32_MAX)));
    bar_->setSingleStep(int(std::max<int64_t>(1, span / 10)));
    bar_->setValue(int(viewStart_));
    bar_->setVisible(span < length_);
    AskForSamples();
    update();
}

void TWaveView::resizeEvent(QResizeEvent *)
{
    bar_->setGeometry(0, height() - 12, width(), 12);
    AskForSamples(); // a wider view may come below a peak a pixel
}

void TWaveView::Scroll(int64_t byMs)
{
    ShowView(viewStart_ + byMs, viewEnd_ - viewStart_);
}

void TWaveView::Describe()
{
    QString text = Tr("位置 %1").arg(DisplayText(std::max<int64_t>(0, position_)));
    if (!rows_.empty() && selected_ && *selected_ < rows_.size()) {
        text += Tr("，分割点 %1").arg(DisplayText(std::max<int64_t>(0, rows_[*selected_].StartMs)));
    } else if (rows_.empty() && end_ >= start_) {
        text += Tr("，选定 %1 至 %2")
                    .arg(DisplayText(std::max<int64_t>(0, start_)),
                         DisplayText(std::max<int64_t>(0, end_)));
    }
    if (fadeInMs_ > 0 || fadeOutMs_ > 0) {
        text += Tr("，淡入 %1 毫秒，淡出 %2 毫秒").arg(fadeInMs_).arg(fadeOutMs_);
    }
    setAccessibleDescription(text);
}

void TWaveView::SetFades(int64_t inMs, int64_t outMs)
{
    fadeInMs_ = std::max<int64_t>(0, inMs);
    fadeOutMs_ = std::max<int64_t>(0, outMs);
    Describe();
    update();
}

void TWaveView::SetRows(std::vector<TRow> rows, std::optional<size_t> selected)
{
    rows_ = std::move(rows);
    selected_ = selected;
    Describe();
    update();
}

std::optional<size_t> TWaveView::RowAt(int64_t ms) const
{
    for (size_t i = rows_.size(); i-- > 0;) {
        if (rows_[i].StartMs <= ms) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<size_t> TWaveView::CutNear(int x) const
{
    std::optional<size_t> best;
    int nearest = HandleReach + 1;
    for (size_t i = 1; i < rows_.size(); ++i) {
        const int d = std::abs(x - XOf(rows_[i].StartMs));
        if (d < nearest) {
            nearest = d;
            best = i;
        }
    }
    return best;
}

void TWaveView::mousePressEvent(QMouseEvent *event)
{
    const int x = int(event->position().x());
    dragging_ = -1;
    draggingCut_ = CutNear(x);
    if (draggingCut_) {
        return;
    }
    if (rows_.empty() && end_ >= start_) {
        const int toStart = std::abs(x - XOf(start_));
        const int toEnd = std::abs(x - XOf(end_));
        if (std::min(toStart, toEnd) <= HandleReach) {
            dragging_ = toStart <= toEnd ? 0 : 1;
            handle_ = dragging_;
            return;
        }
    }
    if (const std::optional<size_t> row = RowAt(TimeAt(x))) {
        emit RowClicked(*row);
    }
    emit Seek(TimeAt(x));
    Describe(); // where the click put the player (playback itself does not retell it)
}

void TWaveView::mouseMoveEvent(QMouseEvent *event)
{
    const int64_t at = Snapped(TimeAt(int(event->position().x())));
    if (draggingCut_) {
        emit CutMoved(*draggingCut_, at);
    } else if (dragging_ >= 0) {
        emit RangeMoved(dragging_, at);
    }
}

void TWaveView::mouseReleaseEvent(QMouseEvent *event)
{
    mouseMoveEvent(event);
    if (Dragging()) {
        dragging_ = -1;
        draggingCut_.reset();
        emit DragEnded();
    }
}

void TWaveView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (!rows_.empty()) {
        emit AddCutAt(Snapped(TimeAt(int(event->position().x()))));
    }
}

void TWaveView::wheelEvent(QWheelEvent *event)
{
    const int steps = event->angleDelta().y() / 120;
    if (steps == 0) {
        return;
    }
    if (event->modifiers() & Qt::ShiftModifier) {
        Scroll(-steps * (viewEnd_ - viewStart_) / 10);
    } else {
        Zoom(std::pow(2.0, steps), int(event->position().x()));
    }
    event->accept();
}

int64_t TWaveView::PointInHand() const
{
    if (!rows_.empty()) { // the selected row's cut point
        return selected_ && *selected_ < rows_.size() ? rows_[*selected_].StartMs : position_;
    }
    return handle_ == 0 ? start_ : handle_ == 1 ? end_ : position_;
}

std::optional<int64_t> TWaveView::CutBeside(bool before) const
{
    std::optional<int64_t> to;
    for (size_t i = 1; i < rows_.size(); ++i) {
        const int64_t t = rows_[i].StartMs;
        if (before && t < position_) {
            to = t; // the last one before
        } else if (!before && t > position_) {
            return t; // the first one after
        }
    }
    return to;
}

void TWaveView::keyPressEvent(QKeyEvent *event)
{
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    const bool control = event->modifiers() & Qt::ControlModifier;
    const bool back = event->key() == Qt::Key_Left;
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        Zoom(2, XOf(position_));
        break;
    case Qt::Key_Minus:
        Zoom(0.5, XOf(position_));
        break;
    case Qt::Key_Left:
    case Qt::Key_Right:
        if (control) { // to the cut point before or after
            if (const std::optional<int64_t> to = CutBeside(back)) {
                emit Seek(*to);
            }
        } else { // a frame's time, or a second with Shift
            const int64_t step = shift ? 1000 : frameMs_;
            emit Seek(std::clamp<int64_t>(position_ + (back ? -step : step), 0, length_));
        }
        break;
    case Qt::Key_M:
        if (!rows_.empty()) { // at the pointer when it is over the waveform
            const QPoint at = mapFromGlobal(QCursor::pos());
            emit AddCutAt(
                Snapped(underMouse() && rect().contains(at) ? TimeAt(at.x()) : position_));
        }
        break;
    case Qt::Key_Delete:
        if (!rows_.empty()) {
            emit RemoveCut();
        }
        break;
    case Qt::Key_I:
    case Qt::Key_O:
        handle_ = event->key() == Qt::Key_I ? 0 : 1;
        if (snap_) {
            emit RangeMoved(handle_, Snapped(position_));
        } else {
            emit MarkHere(handle_);
        }
        break;
    case Qt::Key_P:
        emit PlayAround(PointInHand());
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    Describe();
}
