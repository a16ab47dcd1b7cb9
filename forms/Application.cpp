#include "Application.h"

#include <QFontDatabase>
#include <QLibraryInfo>
#include <QTranslator>

#include <exception>

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &e) {
        if (OnException) {
            OnException(QString::fromUtf8(e.what()));
        }
    }
    return true; // the handler that raised is abandoned; the loop goes on
}

// "宋体" where the system has it, otherwise a CJK font it has.
QFont TApplication::WindowFont()
{
    QFont font;
    const QStringList wanted = {"宋体", "SimSun", "WenQuanYi Micro Hei", "Noto Sans CJK SC",
                                "Droid Sans Fallback"};
    const QStringList available = QFontDatabase::families();
    QStringList families;
    for (const QString &name : wanted) {
        if (available.contains(name)) {
            families.append(name);
        }
    }
    if (!families.isEmpty()) {
        font.setFamilies(families);
    }
    font.setPixelSize(12);
    return font;
}

bool TApplication::LoadQtTranslations(const QLocale &system)
{
    const QLocale locale =
        system.language() == QLocale::C ? QLocale(QLocale::Chinese, QLocale::China) : system;
    if (qtTexts_ == nullptr) {
        qtTexts_ = new QTranslator(this);
    }
    removeTranslator(qtTexts_);
    if (!qtTexts_->load(locale, "qtbase", "_",
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        return false;
    }
    return installTranslator(qtTexts_);
}

TApplication::TLanguage TApplication::WindowLanguage(QStringList &args, const QLocale &system)
{
    const qsizetype at = args.indexOf("--lang");
    if (at >= 0 && at + 1 < args.size()) {
        const QString chosen = args[at + 1];
        args.remove(at, 2);
        if (chosen == "en" || chosen == "zh") {
            return chosen == "en" ? TLanguage::English : TLanguage::Chinese;
        }
    }
    return system.language() == QLocale::English ? TLanguage::English : TLanguage::Chinese;
}

bool TApplication::LoadWindowTexts(TLanguage language, const QLocale &system)
{
    if (windowTexts_ == nullptr) {
        windowTexts_ = new QTranslator(this);
    }
    removeTranslator(windowTexts_);
    if (language == TLanguage::Chinese) {
        LoadQtTranslations(system);
        return true;
    }
    if (qtTexts_ != nullptr) {
        removeTranslator(qtTexts_); // Qt's own texts are English already
    }
    return windowTexts_->load(":/i18n/mp3cutter_en.qm") && installTranslator(windowTexts_);
}
