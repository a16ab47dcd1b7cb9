#include "Unit_info.h"

#include "MP3TAG.h"
#include "Shared.h"
#include "ui_Unit_info.h"

Tfrm_info::Tfrm_info(QWidget *parent) : QDialog(parent), ui(new Ui::Tfrm_info)
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

void Tfrm_info::SetTexts(const TPartTag &texts)
{
    texts_ = texts;
}

void Tfrm_info::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    FormShow();
}

void Tfrm_info::FormShow()
{
    ui->Edit2->setText(FromTagText(texts_.Title));
    ui->Edit3->setText(FromTagText(texts_.Artist));
    ui->Edit4->setText(FromTagText(texts_.Album));
    ui->Edit5->setText(FromTagText(texts_.Year));
    ui->ComboBox1->setCurrentIndex(texts_.GenreID < GenreNames.size() ? int(texts_.GenreID) : -1);
    ui->Edit6->setText(FromTagText(texts_.Comment));
}

void Tfrm_info::SpeedButton1Click()
{
    FormShow();
}

void Tfrm_info::SpeedButton2Click()
{
    TPartTag texts;
    texts.Title = ToTagText(ui->Edit2->text());
    texts.Artist = ToTagText(ui->Edit3->text());
    texts.Album = ToTagText(ui->Edit4->text());
    texts.Year = ToTagText(ui->Edit5->text());
    texts.GenreID =
        ui->ComboBox1->currentIndex() >= 0 ? uint8_t(ui->ComboBox1->currentIndex()) : 255;
    texts.Comment = ToTagText(ui->Edit6->text());
    texts_ = texts;
    emit Stored(texts);
    close();
}

void Tfrm_info::SpeedButton3Click()
{
    close();
}
