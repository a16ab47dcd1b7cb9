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
    // Runs from 0 to maximum, at 0, with all of it selected.
    void ShowWhole(int maximum);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int selStart_ = 0;
    int selEnd_ = 0;
};
