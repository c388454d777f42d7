#pragma once

#include <QString>

class QCoreApplication;
class QWidget;

namespace Kuaidi {

/// What both programs, the calculator and the editor, read from their
/// command line.
struct StartupOptions
{
    QString databasePath;
    bool editor = false;         ///< --editor: run the template editor instead
    bool quitAfterStart = false; ///< --quit-after-start: a start-up check
    bool attached = false;       ///< --attached: the editor, started by the calculator
};

/// Answers --help and --version, which need no display, before anything
/// opens one (startApplication() on a core application); true when it did,
/// and the program is to end.
bool answeredWithoutDisplay(int argc, char *argv[], const QString &command, const QString &description);

/// Names the application, makes it speak Chinese whatever the system's
/// language (Qt's own dialogs too, where its translations are installed),
/// and reads the command line (--help and --version end the program here;
/// the version line names @p command). Works on a QCoreApplication too, for
/// those two.
StartupOptions startApplication(QCoreApplication &app, const QString &command, const QString &description);

/// With --quit-after-start: once @p window is on the screen, prints
/// "mapped <resident kB>" and quits, for start-up checks and measurements.
void quitOnceShown(QWidget *window);

} // namespace Kuaidi
