#include "Unit_info.h"

#include "MP3TAG.h"
#include "Unit_main.h"
#include "ui_Unit_info.h"
#include "ui_Unit_main.h"

#include <QTreeWidgetItem>

Tfrm_info::Tfrm_info(TFrm_main *main, QWidget *parent)
    : QDialog(parent), ui(new Ui::Tfrm_info), main_(main)
{
    ui->setupUi(this);
    setFixedSize(395, 163);
    setWindowModality(Qt::ApplicationModal);
    for (const std::string_view name : GenreNames) {
        ui->ComboBox1->addItem(QString::fromLatin1(name.data(), qsizetype(name.size())));
    }
    connect(ui->SpeedButton1, &QPushButton::clicked, this, &Tfrm_info::SpeedButton1Click);
    connect(ui->SpeedButton2, &QPushButton::clicked, this, &Tfrm_info::SpeedButton2Click);
    connect(ui->SpeedButton3, &QPushButton::clicked, this, &Tfrm_info::SpeedButton3Click);
}

Tfrm_info::~Tfrm_info()
{
    delete ui;
}

void Tfrm_info::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    FormShow();
}

void Tfrm_info::FormShow()
{
    const QTreeWidgetItem *row = main_->ui->ListView2->currentItem();
    if (row == nullptr) {
        return;
    }
    const auto &page = *main_->ui;
    const bool own = TFrm_main::HasOwnTag(row);
    auto text = [&](int subItem, const QLineEdit *field) {
        return own ? TFrm_main::SubItem(row, subItem) : field->text();
    };
    ui->Edit2->setText(text(2, page.Edit2));
    ui->Edit3->setText(text(3, page.Edit3));
    ui->Edit4->setText(text(4, page.Edit4));
    ui->Edit5->setText(text(6, page.Edit5));
    const QString genre = own ? TFrm_main::SubItem(row, 5) : page.ComboBox1->currentText();
    ui->ComboBox1->setCurrentIndex(ui->ComboBox1->findText(genre, Qt::MatchFixedString));
    ui->Edit6->setText(text(7, page.Edit6));
}

void Tfrm_info::SpeedButton1Click()
{
    FormShow();
}

void Tfrm_info::SpeedButton2Click()
{
    QTreeWidgetItem *row = main_->ui->ListView2->currentItem();
    if (row != nullptr) {
        TFrm_main::SetSubItem(row, 2, ui->Edit2->text());
        TFrm_main::SetSubItem(row, 3, ui->Edit3->text());
        TFrm_main::SetSubItem(row, 4, ui->Edit4->text());
        TFrm_main::SetSubItem(row, 6, ui->Edit5->text());
        TFrm_main::SetSubItem(row, 5, ui->ComboBox1->currentText());
        TFrm_main::SetSubItem(row, 7, ui->Edit6->text());
    }
    close();
}

void Tfrm_info::SpeedButton3Click()
{
    close();
}
