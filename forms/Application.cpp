#include "Application.h"

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
