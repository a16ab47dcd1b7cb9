#include "Dialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace {

TDialogs *installed = nullptr;

} // namespace

QString TDialogs::OpenFileName(QWidget *parent, const QString &filter, const QString &folder)
{
    return QFileDialog::getOpenFileName(parent, QString(), folder, filter);
}

QString TDialogs::SaveFileName(QWidget *parent, const QString &preset, const QString &filter)
{
    // The page replaces an existing file itself (whole or not at all): no question here.
    return QFileDialog::getSaveFileName(parent, QString(), preset, filter, nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

QString TDialogs::ExistingDirectory(QWidget *parent, const QString &title, const QString &folder)
{
    return QFileDialog::getExistingDirectory(parent, title, folder);
}

void TDialogs::Message(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok,
                    parent);
    box.exec();
}

bool TDialogs::Finished(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok,
                    parent);
    QPushButton *folder = box.addButton("打开文件夹(&F)", QMessageBox::ActionRole);
    box.exec();
    return box.clickedButton() == folder;
}

bool TDialogs::Question(QWidget *parent, const QString &text)
{
    return QMessageBox::question(parent, QApplication::applicationName(), text,
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

bool TDialogs::OpenDocument(const QString &path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

TDialogs &TDialogs::Current()
{
    static TDialogs desktop;
    return installed != nullptr ? *installed : desktop;
}

void TDialogs::Install(TDialogs *dialogs)
{
    installed = dialogs;
}
