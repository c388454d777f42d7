#include "standardinput.h"
#include "startup.h"

#include <editor/editorwindow.h>
#include <editor/pagearea.h>

#include <QApplication>

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
    Kuaidi::StandardInputLines requests;
    QObject::connect(&requests, &Kuaidi::StandardInputLines::lineReceived, &window,
                     [&window](const QByteArray &request) {
                         if (request.trimmed() == "raise") {
                             window.showNormal();
                             window.raise();
                             window.activateWindow();
                         }
                     });
    QObject::connect(&requests, &Kuaidi::StandardInputLines::ended, &app, &QCoreApplication::quit);
    if (options.attached)
        requests.start();
    QApplication::exec();
    return 0;
}
