#pragma once
// The planner dialog: cut points at equal steps of size or time over the whole file or over
// the selected segment, added to the rows already in the list.

#include <QDialog>

#include <cstdint>
#include <optional>
#include <utility>

namespace Ui {
class Tfrm_addspecial;
}

class Tfrm_addspecial : public QDialog
{
    Q_OBJECT

public:
    explicit Tfrm_addspecial(QWidget *parent = nullptr);
    ~Tfrm_addspecial() override;

    // The file's length, and the selected row's range when a row is selected.
    void SetRanges(int64_t fileLength, std::optional<std::pair<int64_t, int64_t>> selected);
    void FormShow();
    void SpeedButton1Click(); // "确定": lays the cut points; the dialog stays open
    void SpeedButton2Click(); // "退出"

signals:
    void Planned(int64_t from, int64_t to, int64_t stepMs);
    void PlannedBySize(int64_t from, int64_t to, int64_t stepBytes);

protected:
    void showEvent(QShowEvent *event) override;

private:
    Ui::Tfrm_addspecial *ui;
    int64_t fileLength_ = 0;
    std::optional<std::pair<int64_t, int64_t>> selected_;
};
