#include "widgets/WaveView.h"

#include "jobs/JobOutcome.h"
#include "plan/TimeText.h"

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
#include <thread>

using namespace mp3core;

namespace {

constexpr int HandleReach = 5;         // pixels either side of a handle that grab it
constexpr int64_t ShortestViewMs = 20; // the deepest zoom shows 20 ms across

QString Text(int64_t ms)
{
    return QString::fromStdString(FormatMs("nn:ss.zzz", std::max<int64_t>(0, ms)));
}

} // namespace

TWaveView::TWaveView(QWidget *parent) : QWidget(parent)
{
    bar_ = new QScrollBar(Qt::Horizontal, this);
    bar_->setAccessibleName("波形的位置");
    bar_->setFocusPolicy(Qt::NoFocus); // the waveform's own keys scroll it
    bar_->hide();
    connect(bar_, &QScrollBar::valueChanged, this,
            [this](int from) { ShowView(from, viewEnd_ - viewStart_); });
    poll_.setInterval(50);
    connect(&poll_, &QTimer::timeout, this, &TWaveView::TakePeaks);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName("波形");
    setMinimumHeight(40);
    setCursor(Qt::IBeamCursor);
}

TWaveView::~TWaveView()
{
    StopBuilding();
}

void TWaveView::StopBuilding()
{
    poll_.stop();
    if (cancel_) {
        *cancel_ = true; // the build stops within a block
    }
    if (builder_.joinable()) {
        builder_.join();
    }
}

void TWaveView::Load(const std::filesystem::path &file)
{
    // A thread of its own, which says when it is done through a flag the window's thread
    // looks at; it joins the thread before it takes the peaks.
    StopBuilding();
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    auto done = std::make_shared<std::atomic<bool>>(false);
    auto built = std::make_shared<TPeaks>();
    cancel_ = cancel;
    done_ = done;
    built_ = built;
    builder_ = std::thread([file, cancel, done, built] {
        TSource source;
        TJobOutcome outcome;
        if (OpenJobInput(file, source, outcome)) {
            *built = BuildPeaks(source, std::max(1u, std::thread::hardware_concurrency()), cancel);
        }
        *done = true;
    });
    poll_.start();
}

void TWaveView::TakePeaks()
{
    if (done_ == nullptr || !*done_) {
        return;
    }
    poll_.stop();
    builder_.join();
    done_.reset();
    if (!*cancel_ && built_->Error.empty() && !built_->Levels.empty()) {
        SetPeaks(built_);
    }
}

void TWaveView::SetPeaks(std::shared_ptr<const TPeaks> peaks)
{
    peaks_ = std::move(peaks);
    update();
}

void TWaveView::SetLength(int64_t ms, int64_t frameMs)
{
    length_ = std::max<int64_t>(0, ms);
    frameMs_ = std::max<int64_t>(1, frameMs);
    ShowView(0, length_);
    peaks_.reset();
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
    update();
}

std::vector<int64_t> TWaveView::RulerTicks() const
{
    // The smallest round step that leaves 80 pixels between labels.
    static const int64_t steps[] = {10,     20,     50,     100,     200,     500,    1000,
                                    2000,   5000,   10000,  15000,   30000,   60000,  120000,
                                    300000, 600000, 900000, 1800000, 3600000, 7200000};
    const int64_t span = std::max<int64_t>(1, viewEnd_ - viewStart_);
    int64_t step = steps[std::size(steps) - 1];
    for (const int64_t s : steps) {
        if (s * width() / span >= 80) {
            step = s;
            break;
        }
    }
    std::vector<int64_t> ticks;
    for (int64_t t = (viewStart_ + step - 1) / step * step; t <= viewEnd_; t += step) {
        ticks.push_back(t);
    }
    return ticks;
}

void TWaveView::DrawRuler(QPainter &p) const
{
    p.setPen(palette().color(QPalette::Text));
    for (const int64_t t : RulerTicks()) {
        const int x = XOf(t);
        p.drawLine(x, 0, x, 4);
        p.drawText(x + 2, height() - (bar_->isVisible() ? bar_->height() : 0) - 3, Text(t));
    }
}

void TWaveView::resizeEvent(QResizeEvent *)
{
    bar_->setGeometry(0, height() - 12, width(), 12);
}

void TWaveView::Scroll(int64_t byMs)
{
    ShowView(viewStart_ + byMs, viewEnd_ - viewStart_);
}

void TWaveView::Describe()
{
    QString text = "位置 " + Text(position_);
    if (end_ >= start_) {
        text += "，选定 " + Text(start_) + " 至 " + Text(end_);
    }
    setAccessibleDescription(text);
}

void TWaveView::DrawPeaks(QPainter &p) const
{
    if (peaks_ == nullptr || peaks_->Levels.empty() || peaks_->Rate <= 0) {
        return;
    }
    const int mid = height() / 2;
    const double scale = double(height() / 2 - 1) / 32768.0;
    const double samplesPerPixel =
        double(viewEnd_ - viewStart_) * double(peaks_->Rate) / 1000.0 / std::max(1, width());
    // The finest level whose peaks are no wider than a pixel.
    size_t level = 0;
    while (level + 1 < peaks_->Levels.size() &&
           double(PeakBlock << (level + 1)) <= samplesPerPixel) {
        ++level;
    }
    const std::vector<TPeak> &peaks = peaks_->Levels[level];
    const int64_t block = PeakBlock << level;
    p.setPen(palette().color(QPalette::Highlight).darker(120));
    for (int x = 0; x < width(); ++x) {
        const int64_t s0 = TimeAt(x) * peaks_->Rate / 1000;
        const int64_t s1 = std::max(s0 + 1, TimeAt(x + 1) * peaks_->Rate / 1000);
        const size_t b0 = size_t(std::min<int64_t>(s0 / block, int64_t(peaks.size())));
        const size_t b1 =
            size_t(std::min<int64_t>((s1 + block - 1) / block, int64_t(peaks.size())));
        if (b0 >= b1) {
            continue;
        }
        int lo = 32767;
        int hi = -32768;
        for (size_t b = b0; b < b1; ++b) {
            lo = std::min<int>(lo, peaks[b].Min);
            hi = std::max<int>(hi, peaks[b].Max);
        }
        p.drawLine(x, mid - int(hi * scale), x, mid - int(lo * scale));
    }
}

void TWaveView::SetRows(std::vector<TRow> rows, std::optional<size_t> selected)
{
    rows_ = std::move(rows);
    selected_ = selected;
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

void TWaveView::DrawRows(QPainter &p) const
{
    for (size_t i = 0; i < rows_.size(); ++i) {
        const TRow &r = rows_[i];
        const QRect stretch(QPoint(XOf(r.StartMs), 0), QPoint(XOf(r.EndMs), height()));
        if (!stretch.intersects(rect())) {
            continue;
        }
        if (!r.Ticked) {
            p.fillRect(stretch, QColor(128, 128, 128, 72)); // left out of the split
        }
        if (selected_ == i) {
            p.fillRect(stretch, QColor(224, 120, 0, 48));
        }
        if (i > 0) {
            p.setPen(QPen(QColor(224, 120, 0), 2));
            p.drawLine(stretch.left(), 0, stretch.left(), height());
        }
        p.setPen(palette().color(QPalette::Text));
        p.drawText(stretch.left() + 3, 12, QString::number(i + 1));
    }
}

void TWaveView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Base));
    const bool range = rows_.empty() && end_ >= start_;
    if (range && end_ > start_) {
        p.fillRect(QRect(QPoint(XOf(start_), 0), QPoint(XOf(end_), height())),
                   QColor(224, 120, 0, 48));
    }
    p.setPen(palette().color(QPalette::Mid));
    p.drawLine(0, height() / 2, width(), height() / 2);
    DrawPeaks(p);
    DrawRows(p);
    DrawRuler(p);
    if (range) {
        p.setPen(QPen(QColor(224, 120, 0), 2));
        for (const int64_t t : {start_, end_}) {
            p.drawLine(XOf(t), 0, XOf(t), height());
        }
    }
    p.setPen(QPen(Qt::red, 1));
    p.drawLine(XOf(position_), 0, XOf(position_), height());
    if (hasFocus()) {
        p.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
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
            return;
        }
    }
    if (const std::optional<size_t> row = RowAt(TimeAt(x))) {
        emit RowClicked(*row);
    }
    emit Seek(TimeAt(x));
}

void TWaveView::mouseMoveEvent(QMouseEvent *event)
{
    const int64_t at = TimeAt(int(event->position().x()));
    if (draggingCut_) {
        emit CutMoved(*draggingCut_, at);
    } else if (dragging_ >= 0) {
        emit RangeMoved(dragging_, at);
    }
}

void TWaveView::mouseReleaseEvent(QMouseEvent *event)
{
    mouseMoveEvent(event);
    dragging_ = -1;
    if (draggingCut_) {
        draggingCut_.reset();
        emit CutDropped();
    }
}

void TWaveView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (!rows_.empty()) {
        emit AddCutAt(TimeAt(int(event->position().x())));
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
            emit AddCutAt(underMouse() && rect().contains(at) ? TimeAt(at.x()) : position_);
        }
        break;
    case Qt::Key_Delete:
        if (!rows_.empty()) {
            emit RemoveCut();
        }
        break;
    case Qt::Key_I:
        emit MarkHere(0);
        break;
    case Qt::Key_O:
        emit MarkHere(1);
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    Describe();
}
