#include "Recent.h"

#include "Shared.h"
#include "widgets/SpinEdit.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QToolButton>

namespace {

const QString RecentKey = "recent/files";

} // namespace

QStringList RecentFiles()
{
    return WindowSettings().value(RecentKey).toStringList().mid(0, RecentCount);
}

void AddRecentFile(const QString &name)
{
    // Whole paths: the next run may start in another folder.
    const QString path = QDir::toNativeSeparators(QFileInfo(name).absoluteFilePath());
    QStringList files = RecentFiles();
    files.removeAll(path);
    files.prepend(path);
    WindowSettings().setValue(RecentKey, files.mid(0, RecentCount));
}

QString LastInputFolder()
{
    const QStringList files = RecentFiles();
    return files.isEmpty() ? QString() : QFileInfo(files.first()).absolutePath();
}

QToolButton *MakeRecentButton(QWidget *parent, const std::function<void(const QString &)> &open)
{
    auto *button = new QToolButton(parent);
    button->setArrowType(Qt::DownArrow);
    button->setPopupMode(QToolButton::InstantPopup);
    button->setShortcut(QKeySequence("Alt+H"));
    button->setAccessibleName(Tr("最近的文件"));
    button->setToolTip(Tr("最近的文件 (Alt+H)"));
    auto *menu = new QMenu(button);
    button->setMenu(menu);
    // The list as it stands when the menu opens: the other page may have added to it.
    QObject::connect(menu, &QMenu::aboutToShow, button, [menu, open] {
        menu->clear();
        const QStringList files = RecentFiles();
        for (const QString &file : files) {
            // The name first, as the user knows the file; the folder after it.
            QAction *a = menu->addAction(QFileInfo(file).fileName() + "  —  " +
                                         QDir::toNativeSeparators(QFileInfo(file).path()));
            QObject::connect(a, &QAction::triggered, menu, [open, file] { open(file); });
        }
        if (files.isEmpty()) {
            menu->addAction(Tr("（没有最近的文件）"))->setEnabled(false);
        }
    });
    return button;
}

void Remember(TSpinEdit *field, const QString &key)
{
    const QVariant kept = WindowSettings().value(key);
    if (kept.isValid()) {
        field->SetText(kept.toString());
    }
    QObject::connect(field, &TSpinEdit::Changed, field,
                     [field, key] { WindowSettings().setValue(key, field->Text()); });
}

void Remember(QCheckBox *box, const QString &key)
{
    box->setChecked(WindowSettings().value(key, box->isChecked()).toBool());
    QObject::connect(box, &QCheckBox::toggled, box,
                     [key](bool on) { WindowSettings().setValue(key, on); });
}
