#include "Application.h"

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
