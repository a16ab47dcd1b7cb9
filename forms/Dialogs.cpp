#include "Dialogs.h"
#include "Shared.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGridLayout>
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

std::unique_ptr<QMessageBox> TDialogs::Box(QWidget *parent, const QString &text)
{
    auto box = std::make_unique<QMessageBox>(QMessageBox::NoIcon, QApplication::applicationName(),
                                             text, QMessageBox::Ok, parent);
    // A box as narrow as a short text has its title cut by the window manager ("Lir… 器"):
    // room for the title and the frame's buttons.
    const int wanted = box->fontMetrics().horizontalAdvance(box->windowTitle()) + 160;
    if (auto *grid = qobject_cast<QGridLayout *>(box->layout())) {
        grid->addItem(new QSpacerItem(wanted, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
    return box;
}

void TDialogs::Message(QWidget *parent, const QString &text)
{
    Box(parent, text)->exec();
}

bool TDialogs::Finished(QWidget *parent, const QString &text)
{
    const std::unique_ptr<QMessageBox> box = Box(parent, text);
    QPushButton *folder = box->addButton(Tr("打开文件夹(&F)"), QMessageBox::ActionRole);
    box->exec();
    return box->clickedButton() == folder;
}

bool TDialogs::Question(QWidget *parent, const QString &text)
{
    const std::unique_ptr<QMessageBox> box = Box(parent, text);
    box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box->setDefaultButton(QMessageBox::No);
    return box->exec() == QMessageBox::Yes;
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
