#pragma once
// The tag dialog: six tag texts handed in, edited, and handed back on "确定".

#include "jobs/SplitJob.h"

#include <QDialog>

namespace Ui {
class Tfrm_info;
}
struct TTagFields;

class Tfrm_info : public QDialog
{
    Q_OBJECT

public:
    explicit Tfrm_info(QWidget *parent = nullptr);
    ~Tfrm_info() override;

    // The texts the dialog shows when it opens and after "重置".
    void SetTexts(const mp3core::TPartTag &texts);
    void FormShow();
    void SpeedButton1Click(); // "重置"
    void SpeedButton2Click(); // "确定"
    void SpeedButton3Click(); // "退出"

signals:
    void Stored(const mp3core::TPartTag &texts);

protected:
    void showEvent(QShowEvent *event) override;

private:
    TTagFields Fields() const;

    Ui::Tfrm_info *ui;
    mp3core::TPartTag texts_;
};
