// How the waveform draws itself: the ruler, the peaks or the single samples, the rows or the
// marked range, and the player's position.
#include "widgets/WaveView.h"

#include "Shared.h"

#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <cstdint>
#include <iterator>

using namespace mp3core;

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
        p.drawText(x + 2, height() - (bar_->isVisible() ? bar_->height() : 0) - 3,
                   DisplayText(std::max<int64_t>(0, t)));
    }
}

void TWaveView::DrawPeaks(QPainter &p) const
{
    if (peaks_ == nullptr || peaks_->Levels.empty() || peaks_->Rate <= 0) {
        return;
    }
    const int mid = height() / 2;
    const double scale = double(height() / 2 - 1) / 32768.0;
    const double samplesPerPixel = SamplesPerPixel();
    // The finest level whose peaks are no wider than a pixel.
    size_t level = 0;
    while (level + 1 < peaks_->Levels.size() &&
           double(PeakBlock << (peaks_->Shift + int(level) + 1)) <= samplesPerPixel) {
        ++level;
    }
    const std::vector<TPeak> &peaks = peaks_->Levels[level];
    const int64_t block = PeakBlock << (peaks_->Shift + int(level));
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
        if (lo <= hi) { // decoded already
            p.drawLine(x, mid - int(hi * scale), x, mid - int(lo * scale));
        }
    }
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

void TWaveView::DrawFades(QPainter &p) const
{
    std::vector<TRow> outputs = rows_;
    if (rows_.empty() && end_ > start_) {
        outputs.push_back({start_, end_, true});
    }
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(120, 40, 160), 1.5));
    const int mid = height() / 2;
    for (const TRow &r : outputs) {
        if (!r.Ticked || r.EndMs <= r.StartMs) {
            continue;
        }
        // Each fade a wedge: from nothing at the output's end to the full height.
        const int64_t in = std::min(fadeInMs_, r.EndMs - r.StartMs);
        const int64_t out = std::min(fadeOutMs_, r.EndMs - r.StartMs);
        for (const auto &[edge, full] :
             {std::pair{r.StartMs, r.StartMs + in}, std::pair{r.EndMs, r.EndMs - out}}) {
            if (edge != full) {
                p.drawLine(XOf(edge), mid, XOf(full), 0);
                p.drawLine(XOf(edge), mid, XOf(full), height());
            }
        }
    }
    p.setRenderHint(QPainter::Antialiasing, false);
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
    if (ShowsSamples()) {
        DrawSamples(p);
    } else {
        DrawPeaks(p);
    }
    DrawRows(p);
    DrawFades(p);
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

void TWaveView::DrawSamples(QPainter &p) const
{
    const int channels = peaks_->Channels;
    const int64_t count = int64_t(samples_->size()) / channels;
    const int mid = height() / 2;
    const double scale = double(height() / 2 - 1) / 32768.0;
    const double span = double(std::max<int64_t>(1, viewEnd_ - viewStart_));
    const double rate = double(peaks_->Rate);
    const auto sample = [&](int64_t i, int c) {
        return (*samples_)[size_t((i - samplesFrom_) * channels + c)];
    };
    const double perPixel = SamplesPerPixel();
    if (perPixel >= 2) { // the lowest and highest sample of each pixel, as the peaks draw
        p.setPen(palette().color(QPalette::Highlight).darker(120));
        for (int x = 0; x < width(); ++x) {
            const int64_t s0 = std::max(samplesFrom_, TimeAt(x) * peaks_->Rate / 1000);
            const int64_t s1 = std::min(samplesFrom_ + count, TimeAt(x + 1) * peaks_->Rate / 1000);
            int lo = 32767;
            int hi = -32768;
            for (int64_t i = s0; i < s1; ++i) {
                for (int c = 0; c < channels; ++c) {
                    lo = std::min<int>(lo, sample(i, c));
                    hi = std::max<int>(hi, sample(i, c));
                }
            }
            if (lo <= hi) {
                p.drawLine(x, mid - int(hi * scale), x, mid - int(lo * scale));
            }
        }
        return;
    }
    // Each channel as a line through its samples, each sample a dot once they stand apart.
    const int64_t from =
        std::max<int64_t>(samplesFrom_, int64_t(double(viewStart_) * rate / 1000) - 1);
    const int64_t to =
        std::min<int64_t>(samplesFrom_ + count, int64_t(double(viewEnd_) * rate / 1000) + 2);
    const QColor colours[] = {palette().color(QPalette::Highlight).darker(120), QColor(0, 150, 80)};
    for (int c = 0; c < channels; ++c) {
        QPolygonF line;
        for (int64_t i = from; i < to; ++i) {
            const double x = (double(i) * 1000.0 / rate - double(viewStart_)) * width() / span;
            line << QPointF(x, mid - sample(i, c) * scale);
        }
        p.setPen(QPen(colours[c % 2], 1));
        p.drawPolyline(line);
        if (perPixel <= 0.25) {
            p.setPen(QPen(colours[c % 2], 3));
            p.drawPoints(line);
        }
    }
}
