#pragma once
// The level of a page's outputs: "音量(dB)", "淡入(毫秒)", "淡出(毫秒)" and "标准化" in a row,
// remembered from run to run. Normalizing finds the gain itself: the gain field rests then.

#include "jobs/LevelledOutput.h"

#include <QWidget>

class QCheckBox;
class TSpinEdit;

class TLevelRow : public QWidget
{
    Q_OBJECT

public:
    // key: where the choices are remembered ("cut/level", "split/level"); accessKey: the
    // letter of "标准化", one the page has free.
    TLevelRow(QWidget *parent, const QString &key, QChar accessKey);

    // album: one normalizing step for every output (a split's parts).
    mp3core::TLevelRequest Request(bool album) const;
    // The controls in reading order, for Tab.
    std::vector<QWidget *> Controls() const;

    TSpinEdit *Gain;
    TSpinEdit *FadeIn;
    TSpinEdit *FadeOut;
    QCheckBox *Normalize;

signals:
    void Changed(); // a choice changed: the fades shown follow
};
