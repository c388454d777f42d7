#pragma once

#include <QString>

class QApplication;
class QWidget;

namespace Kuaidi {

/// What both programs, the calculator and the editor, read from their
/// command line.
struct StartupOptions
{
    QString databasePath;
    bool editor = false;         ///< --editor: run the template editor instead
    bool quitAfterStart = false; ///< --quit-after-start: a start-up check
};

/// Names the application, makes it speak Chinese whatever the system's
/// language (Qt's own dialogs too, where its translations are installed),
/// and reads the command line (--help and --version end the program here).
StartupOptions startApplication(QApplication &app, const QString &description);

/// With --quit-after-start: once @p window is on the screen, prints
/// "mapped <resident kB>" and quits, for start-up checks and measurements.
void quitOnceShown(QWidget *window);

} // namespace Kuaidi
