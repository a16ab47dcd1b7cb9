#pragma once
// The tag dialog: the six tag texts of the selected segment row, loaded and stored back.

#include <QDialog>

namespace Ui {
class Tfrm_info;
}
class TFrm_main;

class Tfrm_info : public QDialog
{
    Q_OBJECT

public:
    explicit Tfrm_info(TFrm_main *main, QWidget *parent = nullptr);
    ~Tfrm_info() override;

    Ui::Tfrm_info *ui;

    // Loads the selected row's texts, or the page's information fields for a row that has
    // none of its own yet.
    void FormShow();
    void SpeedButton1Click(); // "重置"
    void SpeedButton2Click(); // "确定"
    void SpeedButton3Click(); // "退出"

protected:
    void showEvent(QShowEvent *event) override;

private:
    TFrm_main *main_;
};
