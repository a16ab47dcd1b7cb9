#pragma once
// The application object: every exception that a handler lets escape ends here, and goes to
// the filter that the main window installs.

#include <QApplication>

#include <functional>

class TApplication : public QApplication
{
    Q_OBJECT

public:
    TApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;

    std::function<void(const QString &)> OnException;
};
