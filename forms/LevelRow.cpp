#include "LevelRow.h"

#include "Access.h"
#include "Recent.h"
#include "Shared.h"
#include "widgets/SpinEdit.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>

using namespace mp3core;

TLevelRow::TLevelRow(QWidget *parent, const QString &key, QChar accessKey)
    : QWidget(parent), Gain(new TSpinEdit(this)), FadeIn(new TSpinEdit(this)),
      FadeOut(new TSpinEdit(this)), Normalize(new QCheckBox(Tr("标准化(&%1)").arg(accessKey), this))
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    const struct
    {
        TSpinEdit *field;
        const char *caption;
        int min, max, length, width;
        const char *name;
    } fields[] = {
        {Gain, QT_TRANSLATE_NOOP("mp3cutter", "音量(dB)"), -30, 30, 3, 46, "Gain"},
        {FadeIn, QT_TRANSLATE_NOOP("mp3cutter", "淡入(毫秒)"), 0, 60000, 5, 54, "FadeIn"},
        {FadeOut, QT_TRANSLATE_NOOP("mp3cutter", "淡出(毫秒)"), 0, 60000, 5, 54, "FadeOut"}};
    for (const auto &f : fields) {
        auto *label = new QLabel(Tr(f.caption), this);
        label->setBuddy(f.field);
        f.field->setMinValue(f.min);
        f.field->setMaxValue(f.max);
        f.field->setMaxLength(f.length);
        f.field->setValue(0);
        f.field->setFixedWidth(f.width);
        f.field->setObjectName(QString(f.name) + "Edit");
        row->addWidget(label);
        row->addWidget(f.field);
        row->addSpacing(4);
        Remember(f.field, key + "/" + f.name);
        connect(f.field, &TSpinEdit::Changed, this, &TLevelRow::Changed);
        NameControls({{f.field, PlainText(Tr(f.caption))}});
    }
    Normalize->setObjectName("NormalizeBox");
    Normalize->setToolTip(Tr("把音量调到峰值刚好不超过 -1 dBFS（按 1.5 dB 的步长）"));
    row->addWidget(Normalize);
    row->addStretch();
    Remember(Normalize, key + "/normalize");
    const auto rest = [this] { Gain->setEnabled(!Normalize->isChecked()); };
    connect(Normalize, &QCheckBox::toggled, this, rest);
    connect(Normalize, &QCheckBox::toggled, this, &TLevelRow::Changed);
    rest();
}

TLevelRequest TLevelRow::Request(bool album) const
{
    TLevelRequest request;
    request.Level.FadeInMs = std::clamp(FadeIn->Value(), 0, 60000);
    request.Level.FadeOutMs = std::clamp(FadeOut->Value(), 0, 60000);
    if (Normalize->isChecked()) {
        request.NormalizeDbfs = -1.0;
        request.NormalizeAlbum = album;
    } else {
        request.Level.GainSteps = StepsOf(std::clamp(Gain->Value(), -30, 30));
    }
    return request;
}

std::vector<QWidget *> TLevelRow::Controls() const
{
    return {Gain, FadeIn, FadeOut, Normalize};
}
