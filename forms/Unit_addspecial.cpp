#include "Unit_addspecial.h"

#include "Access.h"
#include "Dialogs.h"
#include "Messages.h"
#include "Shared.h"
#include "plan/SplitPlan.h"
#include "plan/TimeText.h"
#include "ui_Unit_addspecial.h"

#include <QRegularExpressionValidator>

using namespace mp3core;

Tfrm_addspecial::Tfrm_addspecial(QWidget *parent) : QDialog(parent), ui(new Ui::Tfrm_addspecial)
{
    ui->setupUi(this);
    setFixedSize(330, 158);
    setWindowModality(Qt::ApplicationModal); // it plans over the row selected when it opened
    // Up to six digits of kilobytes; minutes, two-digit seconds and three-digit milliseconds.
    ui->MaskEdit1->setValidator(
        new QRegularExpressionValidator(QRegularExpression(" *[0-9]{0,6}"), this));
    ui->MaskEdit2->setValidator(new QRegularExpressionValidator(
        QRegularExpression("[0-9]{0,2}:[0-9]{0,2}\\.[0-9]{0,3}"), this));
    connect(ui->SpeedButton1, &QPushButton::clicked, this, &Tfrm_addspecial::SpeedButton1Click);
    connect(ui->SpeedButton2, &QPushButton::clicked, this, &Tfrm_addspecial::SpeedButton2Click);
    ui->SpeedButton1->setDefault(true); // Return plans
    SetTabOrder({ui->RadioGroup1Item0, ui->RadioGroup1Item1, ui->Edit1, ui->Edit2,
                 ui->RadioGroup2Item0, ui->RadioGroup2Item1, ui->MaskEdit1, ui->MaskEdit2,
                 ui->SpeedButton1, ui->SpeedButton2});
    NameButtons(*this);
    NameControls({{ui->Edit1, Tr("整个文件的范围")},
                  {ui->Edit2, Tr("所选段的范围")},
                  {ui->MaskEdit1, Tr("尺寸(KB)")},
                  {ui->MaskEdit2, Tr("时间")}});
}

Tfrm_addspecial::~Tfrm_addspecial()
{
    delete ui;
}

void Tfrm_addspecial::SetRanges(int64_t fileLength,
                                std::optional<std::pair<int64_t, int64_t>> selected)
{
    fileLength_ = fileLength;
    selected_ = selected;
}

void Tfrm_addspecial::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    FormShow();
}

void Tfrm_addspecial::FormShow()
{
    ui->Edit1->setText("00:00.000-" + DisplayText(fileLength_));
    ui->Edit2->setText(selected_
                           ? DisplayText(selected_->first) + "-" + DisplayText(selected_->second)
                           : QString());
    // Without a selected row there is no segment to plan over.
    ui->RadioGroup1Item1->setEnabled(selected_.has_value());
    if (!selected_) {
        ui->RadioGroup1Item0->setChecked(true);
    }
    ui->MaskEdit1->setText("1024");
    ui->MaskEdit2->setText("1:00.000");
}

void Tfrm_addspecial::SpeedButton1Click()
{
    int64_t a = 0;
    int64_t b = fileLength_;
    if (ui->RadioGroup1Item1->isChecked() && selected_) {
        a = selected_->first;
        b = selected_->second;
    }
    const bool bySize = ui->RadioGroup2Item0->isChecked();
    std::optional<int64_t> step;
    if (bySize) {
        step = SizeStepBytes(StrToInt(ui->MaskEdit1->text().trimmed().toStdString()));
    } else {
        const int64_t ms = TimeTextToMs(ui->MaskEdit2->text().trimmed().toStdString());
        if (ms >= 1) {
            step = ms;
        }
    }
    if (!step) {
        TDialogs::Current().Message(this, MsgBadStep());
        return;
    }
    // Planned: the dialog closes, as the tag dialog does on 确定.
    close();
    if (bySize) {
        emit PlannedBySize(a, b, *step);
    } else {
        emit Planned(a, b, *step);
    }
}

void Tfrm_addspecial::SpeedButton2Click()
{
    close();
}
