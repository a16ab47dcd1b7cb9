#pragma once
// The sound of a file as a waveform: the lowest and highest sample of every pixel's stretch,
// from the core's peaks, over the whole file or a stretch of it. It shows the player's
// position and a marked range with two handles; a click moves the player there, a handle is
// dragged; the wheel zooms at the pointer (Shift+wheel scrolls), + and - zoom, the arrows
// move the position, I and O mark the start and the end there.

#include "plan/Peaks.h"

#include <QWidget>

#include <cstdint>
#include <memory>

class TWaveView : public QWidget
{
    Q_OBJECT

public:
    explicit TWaveView(QWidget *parent = nullptr);

    // The file's peaks (null: none yet, or none to draw) and its playing time.
    void SetPeaks(std::shared_ptr<const mp3core::TPeaks> peaks);
    // frameMs: the step of the arrow keys, a frame's time.
    void SetLength(int64_t ms, int64_t frameMs = 26);
    bool HasPeaks() const { return peaks_ != nullptr; }
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
    // The time at pixel x, and the pixel of a time.
    int64_t TimeAt(int x) const;
    int XOf(int64_t ms) const;

signals:
    void Seek(int64_t ms);                  // a click, or the arrows
    void RangeMoved(int which, int64_t ms); // a handle dragged (0: start, 1: end)
    void MarkHere(int which);               // I (0) or O (1) at the position

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void Scroll(int64_t byMs);
    void Describe(); // the accessible description: what a screen reader reports
    void DrawPeaks(class QPainter &p) const;

    std::shared_ptr<const mp3core::TPeaks> peaks_;
    int64_t length_ = 0;
    int64_t frameMs_ = 26;
    int64_t position_ = 0;
    int64_t start_ = 0;
    int64_t end_ = -1;
    int64_t viewStart_ = 0;
    int64_t viewEnd_ = 0;
    int dragging_ = -1; // the handle being dragged, or -1
};
