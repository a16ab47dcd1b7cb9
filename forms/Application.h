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

    // The window's language: written in Chinese, with an English translation.
    enum class TLanguage
    {
        Chinese,
        English
    };
    // "--lang zh" or "--lang en" among the arguments (taken out of them), else English where
    // the system's language is English, else Chinese (unset, C, zh and every other language).
    static TLanguage WindowLanguage(QStringList &args, const QLocale &system = QLocale::system());
    // The window's texts in that language, with Qt's own to go with them (English: Qt's own
    // English); false when the translation cannot be loaded. A second call replaces the first.
    bool LoadWindowTexts(TLanguage language, const QLocale &system = QLocale::system());

    // The window's font: "宋体" where the system has it, otherwise a CJK font it has, 12 pixels.
    static QFont WindowFont();

private:
    QTranslator *qtTexts_ = nullptr;
    QTranslator *windowTexts_ = nullptr;
};
