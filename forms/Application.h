#pragma once
// The application object: every exception that a handler lets escape ends here, and goes to
// the filter that the main window installs.

#include <QApplication>
#include <QFont>
#include <QLocale>

#include <functional>

class QTranslator;

class TApplication : public QApplication
{
    Q_OBJECT

public:
    TApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;

    std::function<void(const QString &)> OnException;

    // Qt's own texts (file dialogs, standard buttons) in the system's language, or in Chinese,
    // the window's own, when the system names none (unset, or C); false when Qt has no
    // translation for it (English needs none). A second call replaces the first.
    bool LoadQtTranslations(const QLocale &system = QLocale::system());

    // The window's font: "宋体" where the system has it, otherwise a CJK font it has, 12 pixels.
    static QFont WindowFont();

private:
    QTranslator *qtTexts_ = nullptr;
};
