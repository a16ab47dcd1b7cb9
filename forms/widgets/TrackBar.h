#pragma once
// A horizontal slider that also shows a selection range, in the slider's units, on its groove.

#include <QSlider>

class TTrackBar : public QSlider
{
    Q_OBJECT

public:
    explicit TTrackBar(QWidget *parent = nullptr);

    int SelStart() const { return selStart_; }
    int SelEnd() const { return selEnd_; }
    void SetSelStart(int v);
    void SetSelEnd(int v);
    // Runs from 0 to maximum, at 0, with all of it selected; from the first call on, the
    // selection shows.
    void ShowWhole(int maximum);

signals:
    // The user moved the bar (keys, mouse or wheel) to this value; setValue moves it silently.
    void Moved(int value);

public:
    // The marked range's colour, apart from the highlight of the played part.
    static constexpr QRgb RangeColor = 0xFFE07800;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int selStart_ = 0;
    int selEnd_ = 0;
    bool showsRange_ = false; // no file yet: no range to show
};
