#include "Unit_addspecial.h"

#include "Dialogs.h"
#include "SplitPlan.h"
#include "TimeText.h"
#include "Unit_main.h"
#include "ui_Unit_addspecial.h"
#include "ui_Unit_main.h"

#include <QRegularExpressionValidator>
#include <QTreeWidgetItem>

Tfrm_addspecial::Tfrm_addspecial(TFrm_main *main, QWidget *parent)
    : QDialog(parent), ui(new Ui::Tfrm_addspecial), main_(main)
{
    ui->setupUi(this);
    setFixedSize(290, 158);
    setWindowModality(Qt::ApplicationModal); // it plans over the row selected when it opened
    // Up to six digits of kilobytes; minutes, two-digit seconds and three-digit milliseconds.
    ui->MaskEdit1->setValidator(
        new QRegularExpressionValidator(QRegularExpression(" *[0-9]{0,6}"), this));
    ui->MaskEdit2->setValidator(new QRegularExpressionValidator(
        QRegularExpression("[0-9]{0,2}:[0-9]{0,2}\\.[0-9]{0,3}"), this));
    connect(ui->SpeedButton1, &QPushButton::clicked, this, &Tfrm_addspecial::SpeedButton1Click);
    connect(ui->SpeedButton2, &QPushButton::clicked, this, &Tfrm_addspecial::SpeedButton2Click);
}

Tfrm_addspecial::~Tfrm_addspecial()
{
    delete ui;
}

void Tfrm_addspecial::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    FormShow();
}

void Tfrm_addspecial::FormShow()
{
    ui->Edit1->setText("00:00.000-" +
                       QString::fromStdString(FormatMs("nn:ss.zzz", main_->filelength)));
    const QTreeWidgetItem *row = main_->ui->ListView2->currentItem();
    const bool selected = row != nullptr && row->isSelected();
    ui->Edit2->setText(selected ? row->text(0) + "-" + row->text(1) : QString());
    // Without a selected row there is no segment to plan over.
    ui->RadioGroup1Item1->setEnabled(selected);
    if (!selected) {
        ui->RadioGroup1Item0->setChecked(true);
    }
    ui->MaskEdit1->setText("1024");
    ui->MaskEdit2->setText("1:00.000");
}

void Tfrm_addspecial::SpeedButton1Click()
{
    int64_t a = 0;
    int64_t b = main_->filelength;
    const QTreeWidgetItem *row = main_->ui->ListView2->currentItem();
    if (ui->RadioGroup1Item1->isChecked() && row != nullptr && row->isSelected()) {
        a = TimeTextToMs(row->text(0).toStdString());
        b = TimeTextToMs(row->text(1).toStdString());
    }
    std::optional<int64_t> step;
    if (ui->RadioGroup2Item0->isChecked()) {
        step =
            SizeStepMs(StrToInt(ui->MaskEdit1->text().trimmed().toStdString()), main_->filebitrate);
    } else {
        const int64_t ms = TimeTextToMs(ui->MaskEdit2->text().trimmed().toStdString());
        if (ms >= 1) {
            step = ms;
        }
    }
    if (!step) {
        TDialogs::Current().Message(this, "分割步长无效！");
        return;
    }
    for (const int64_t t : PlanCutPoints(a, b, *step)) {
        main_->additem(t);
    }
}

void Tfrm_addspecial::SpeedButton2Click()
{
    close();
}
