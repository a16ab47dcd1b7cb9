#pragma once
// The one seam between the windows and the desktop's dialogs: file pickers, message boxes and
// opening a document. Tests install their own answers.

#include <QString>

#include <memory>

class QMessageBox;
class QWidget;

class TDialogs
{
public:
    virtual ~TDialogs() = default;
    // An existing file, or an empty text when the user cancels.
    // The dialog opens in folder (the working folder when it is empty).
    virtual QString OpenFileName(QWidget *parent, const QString &filter,
                                 const QString &folder = QString());
    virtual QString SaveFileName(QWidget *parent, const QString &preset, const QString &filter);
    virtual QString ExistingDirectory(QWidget *parent, const QString &title,
                                      const QString &folder = QString());
    // A plain modal message box with one OK button.
    virtual void Message(QWidget *parent, const QString &text);
    // A job's report with OK and "打开文件夹"; true when the user chose to open the folder.
    virtual bool Finished(QWidget *parent, const QString &text);
    // A modal question with Yes and No; true for Yes.
    virtual bool Question(QWidget *parent, const QString &text);
    // Opens a file (or a folder) with the desktop's associated program; false when the
    // desktop has none for it.
    virtual bool OpenDocument(const QString &path);

    // The plain message box the desktop's dialogs show: wide enough for its whole title.
    static std::unique_ptr<QMessageBox> Box(QWidget *parent, const QString &text);

    static TDialogs &Current();
    // The dialogs to use from now on; nullptr restores the desktop's own.
    static void Install(TDialogs *dialogs);
};
