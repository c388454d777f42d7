#include "startup.h"

#include <editor/editorwindow.h>
#include <editor/pagearea.h>

#include <QApplication>
#include <QSocketNotifier>

#include <unistd.h>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    // The browser engine shares OpenGL contexts, which must be asked for
    // before the application exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    const QString description = u"淘宝网店快递模板快速编辑器。"_s;
    if (Kuaidi::answeredWithoutDisplay(argc, argv, u"kuaidi-editor"_s, description))
        return 0;
    QApplication app(argc, argv);
    const Kuaidi::StartupOptions options = Kuaidi::startApplication(app, u"kuaidi-editor"_s, description);
    Kuaidi::EditorWindow window(options.databasePath,
                                Kuaidi::createPageArea(Kuaidi::savedBrowserChoice().backend));
    window.setAttribute(Qt::WA_QuitOnClose, true);
    window.show();
    if (options.quitAfterStart)
        Kuaidi::quitOnceShown(&window);

    // Started by the calculator (--attached), the editor reads its requests
    // on its input: "raise" brings the window forward, and the end of the
    // input (the calculator closed, or ended in any way) ends the editor
    // too. Run on its own, it leaves its input alone.
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    input.setEnabled(options.attached);
    QObject::connect(&input, &QSocketNotifier::activated, &window, [&window, &input] {
        char buffer[256];
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            input.setEnabled(false);
            if (n == 0)
                QApplication::quit();
            return;
        }
        if (QByteArray(buffer, n).contains("raise")) {
            window.showNormal();
            window.raise();
            window.activateWindow();
        }
    });
    QApplication::exec();
    return 0;
}
