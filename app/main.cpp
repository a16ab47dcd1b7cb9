// Start-up: the application, then the main window, the tag dialog and the planner dialog, in
// that order; the program ends when the main window closes.
#include "Application.h"
#include "Unit_addspecial.h"
#include "Unit_info.h"
#include "Unit_main.h"
#include "io/OutputFile.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>

#include <cstdio>
#include <cstring>

using namespace mp3core;

int main(int argc, char **argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("mp3cutter %s\n", MP3CUT_VERSION);
        return 0;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
#ifndef _WIN32
        std::fprintf(stderr, "mp3cutter: no display (set DISPLAY, or run under Xvfb)\n");
        return 1;
#endif
    }
    RemoveTemporariesOnSignals();
    TApplication app(argc, argv);
    QApplication::setApplicationName("LirvaneMP3剪切器");
    QApplication::setFont(TApplication::WindowFont());
    QStringList args = QApplication::arguments();
    app.LoadWindowTexts(TApplication::WindowLanguage(args));

    TFrm_main Frm_main;
    Tfrm_info frm_info;
    Tfrm_addspecial frm_addspecial;
    Frm_main.SetDialogs(&frm_info, &frm_addspecial);

    if (!Frm_main.RestorePlace()) { // the first run: in the middle of the screen
        Frm_main.setGeometry(
            QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, Frm_main.size(),
                                QGuiApplication::primaryScreen()->availableGeometry()));
    }
    Frm_main.show();
    if (args.size() > 1) {
        // A file named on the command line opens on the Cut page; errors go to the filter.
        QMetaObject::invokeMethod(
            &Frm_main,
            [&Frm_main, file = QFileInfo(args[1]).absoluteFilePath()] { Frm_main.OpenFile(file); },
            Qt::QueuedConnection);
    }
    return app.exec();
}
