#pragma once
// The sound of a file as a waveform: the lowest and highest sample of every pixel's stretch,
// from the core's peaks, over the whole file or a stretch of it. It shows the player's
// position and either a marked range with two handles (the Cut page) or the rows of a segment
// list (the Split page: a line at each cut point, the selected row shaded, unticked rows
// greyed, each row's number). A click moves the player there (and selects the row there); a
// handle or a cut point is dragged; a double-click or M adds a cut point, Delete removes the
// selected row's; the wheel zooms at the pointer (Shift+wheel scrolls), + and - zoom, the
// arrows move the position (Ctrl: to the cut point before or after), I and O mark the start
// and the end there, P plays around the point in hand. Zoomed in far enough, it shows the
// single samples. With snapping on, a point placed or dragged lands on the quietest moment
// near it.

#include "plan/Peaks.h"

#include <QWidget>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

class TWaveView : public QWidget
{
    Q_OBJECT

public:
    explicit TWaveView(QWidget *parent = nullptr);
    ~TWaveView() override;

    // Builds the peaks of a file off the window's thread, on every core, and shows them as they
    // fill in; the build of the file before stops.
    void Load(const std::filesystem::path &file);

    // The file's peaks (null: none yet, or none to draw; whole: the build has ended) and its
    // playing time.
    void SetPeaks(std::shared_ptr<const mp3core::TPeaks> peaks, bool whole = true);
    const mp3core::TPeaks *Peaks() const { return peaks_.get(); }
    // Interleaved samples from first on, for the deepest zoom.
    void SetSamples(int64_t first, std::shared_ptr<const std::vector<int16_t>> samples);
    bool ShowsSamples() const;
    // Snapping: a point placed or dragged lands on the quietest moment near it.
    void SetSnap(bool on) { snap_ = on; }
    bool Snap() const { return snap_; }
    int64_t Snapped(int64_t ms) const;
    // The zoom comes back under key with each file, and each change is kept.
    void RememberZoomAs(const QString &key) { zoomKey_ = key; }
    // The stretch shown across, and shown from its start.
    void SetSpan(int64_t ms) { ShowView(viewStart_, std::clamp<int64_t>(ms, 1, length_)); }
    // frameMs: the step of the arrow keys, a frame's time.
    void SetLength(int64_t ms, int64_t frameMs = 26);
    bool Dragging() const { return dragging_ >= 0 || draggingCut_.has_value(); }
    bool HasPeaks() const { return peaks_ != nullptr && whole_; } // the whole build's
    void SetPosition(int64_t ms);
    // The marked range; start > end shows none.
    void SetRange(int64_t startMs, int64_t endMs);
    int64_t RangeStart() const { return start_; }
    int64_t RangeEnd() const { return end_; }
    // The stretch in view.
    int64_t ViewStart() const { return viewStart_; }
    int64_t ViewEnd() const { return viewEnd_; }
    // Zooms in (factor 2) or out (0.5) about the time at pixel x.
    void Zoom(double factor, int x);
    // The times the ruler along the top labels: round steps at least 80 pixels apart.
    std::vector<int64_t> RulerTicks() const;
    // The time at pixel x, and the pixel of a time.
    int64_t TimeAt(int x) const;
    int XOf(int64_t ms) const;

    struct TRow
    {
        int64_t StartMs = 0;
        int64_t EndMs = 0;
        bool Ticked = true;
    };
    // The segment list's rows and the selected one; no rows: the marked range shows instead.
    void SetRows(std::vector<TRow> rows, std::optional<size_t> selected);
    // The fades of each output (the marked range, or each ticked row): a wedge from silence
    // at its ends.
    void SetFades(int64_t inMs, int64_t outMs);

signals:
    void Seek(int64_t ms);                  // a click, or the arrows
    void RangeMoved(int which, int64_t ms); // a handle dragged (0: start, 1: end)
    void MarkHere(int which);               // I (0) or O (1) at the position
    void PlayAround(int64_t ms);            // P: the point in hand, or the position
    void RowClicked(size_t row);            // a click in a row's stretch
    void CutMoved(size_t row, int64_t ms);  // the cut point where row starts, dragged
    void AddCutAt(int64_t ms);              // a double-click, or M
    void RemoveCut();                       // Delete: the selected row's cut point
    void DragEnded();                       // a cut point's or a handle's drag has ended

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void Scroll(int64_t byMs);
    void DrawSamples(class QPainter &p) const;
    void AskForSamples(); // the samples of the stretch in view, when zoomed in far enough
    double SamplesPerPixel() const;
    void ShowView(int64_t from, int64_t span); // the stretch in view, the scroll bar with it
    void DrawRuler(class QPainter &p) const;
    void resizeEvent(QResizeEvent *event) override;
    void Describe(); // the accessible description: what a screen reader reports
    void DrawPeaks(class QPainter &p) const;
    void DrawRows(class QPainter &p) const;
    void DrawFades(class QPainter &p) const;
    // The row whose stretch holds ms, and the cut point nearest pixel x within reach.
    std::optional<size_t> RowAt(int64_t ms) const;
    std::optional<size_t> CutNear(int x) const;
    // The cut point before (or after) the position.
    std::optional<int64_t> CutBeside(bool before) const;
    // Where P plays: the selected row's cut point, the handle last moved, or the position.
    int64_t PointInHand() const;

    class TWaveSource *source_ = nullptr;
    std::shared_ptr<const mp3core::TPeaks> peaks_;
    bool whole_ = false; // the peaks are the whole build's, not a sketch of it
    int64_t samplesFrom_ = 0;
    std::shared_ptr<const std::vector<int16_t>> samples_;
    bool snap_ = false;
    QString zoomKey_;
    int64_t length_ = 0;
    int64_t frameMs_ = 26;
    class QScrollBar *bar_ = nullptr; // along the bottom, while zoomed in
    int64_t position_ = 0;
    int64_t start_ = 0;
    int64_t end_ = -1;
    int64_t viewStart_ = 0;
    int64_t viewEnd_ = 0;
    int dragging_ = -1; // the handle being dragged, or -1
    int handle_ = -1;   // the handle last dragged or marked: P plays around it
    std::vector<TRow> rows_;
    std::optional<size_t> selected_;
    std::optional<size_t> draggingCut_; // the row whose cut point is being dragged
    int64_t fadeInMs_ = 0;
    int64_t fadeOutMs_ = 0;
};
