#pragma once
// The planner dialog: cut points at equal steps of size or time over the whole file or over
// the selected segment, added to the rows already in the list.

#include <QDialog>

namespace Ui {
class Tfrm_addspecial;
}
class TFrm_main;

class Tfrm_addspecial : public QDialog
{
    Q_OBJECT

public:
    explicit Tfrm_addspecial(TFrm_main *main, QWidget *parent = nullptr);
    ~Tfrm_addspecial() override;

    Ui::Tfrm_addspecial *ui;

    void FormShow();
    void SpeedButton1Click(); // "确定": lays the cut points; the dialog stays open
    void SpeedButton2Click(); // "退出"

protected:
    void showEvent(QShowEvent *event) override;

private:
    TFrm_main *main_;
};
