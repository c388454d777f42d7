// The baseline of the editor's start-up: a bare Qt WebEngine view in a
// window, started as kuaidi-editor is (shared OpenGL contexts, no page
// loaded). Prints "mapped" and its resident memory once the window is on
// the screen.

#include <QApplication>
#include <QFile>
#include <QTextStream>
#include <QTimer>
#include <QWebEngineView>
#include <QWindow>

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QWebEngineView view;
    view.resize(1024, 600);
    view.show();
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!view.windowHandle() || !view.windowHandle()->isExposed())
            return;
        poll.stop();
        QFile status(QStringLiteral("/proc/self/status"));
        status.open(QIODevice::ReadOnly);
        QByteArray rss;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                rss = line.mid(6).trimmed().split(' ').value(0);
        }
        QTextStream(stdout) << "mapped " << rss << Qt::endl;
        QApplication::quit();
    });
    poll.start();
    return QApplication::exec();
}
