#include "Unit_info.h"

#include "Access.h"
#include "Shared.h"
#include "tags/MP3TAG.h"
#include "ui_Unit_info.h"

using namespace mp3core;

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
    // Return confirms; Tab reaches every field and button, row by row.
    ui->SpeedButton2->setDefault(true);
    SetTabOrder({ui->Edit2, ui->Edit5, ui->Edit3, ui->ComboBox1, ui->Edit4, ui->Edit6,
                 ui->SpeedButton1, ui->SpeedButton2, ui->SpeedButton3});
    NameButtons(*this);
    NameControls({{ui->Edit2, ui->Label8->text()},
                  {ui->Edit3, ui->Label7->text()},
                  {ui->Edit4, ui->Label9->text()},
                  {ui->Edit5, ui->Label10->text()},
                  {ui->ComboBox1, ui->Label11->text()},
                  {ui->Edit6, ui->Label12->text()}});
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

TTagFields Tfrm_info::Fields() const
{
    return {ui->Edit2, ui->Edit3, ui->Edit4, ui->Edit5, ui->ComboBox1, ui->Edit6};
}

void Tfrm_info::FormShow()
{
    Fields().Show(texts_);
}

void Tfrm_info::SpeedButton1Click()
{
    FormShow();
}

void Tfrm_info::SpeedButton2Click()
{
    texts_ = Fields().Texts();
    emit Stored(texts_);
    close();
}

void Tfrm_info::SpeedButton3Click()
{
    close();
}
