#pragma once
// What the window remembers from run to run: the files opened last (a drop-down beside each
// page's file chooser), the folder the file dialogs open in, and fields that keep their value.

#include <QString>
#include <QStringList>

#include <functional>

class QAbstractButton;
class QCheckBox;
class QToolButton;
class QWidget;
class TSpinEdit;

constexpr int RecentCount = 8;

// The files opened last, newest first.
QStringList RecentFiles();
void AddRecentFile(const QString &path);
// Where a file dialog opens: the folder of the newest recent file, else the working folder.
QString LastInputFolder();

// A drop-down button (Alt+H) that lists the recent files and hands the chosen one to open.
QToolButton *MakeRecentButton(QWidget *parent, const std::function<void(const QString &)> &open);

// The field's value comes back from the last run under key, and each change is kept.
void Remember(TSpinEdit *field, const QString &key);
void Remember(QCheckBox *box, const QString &key);
