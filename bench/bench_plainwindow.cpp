// The baseline of start-up: a plain Qt Widgets window with a Chinese label
// and a line edit, no database and no browser engine. Prints "mapped" and its
// resident memory once the window is on the screen, as kuaidi does with
// --quit-after-start.

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTextStream>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QStringLiteral("快递费用计算器")));
    layout->addWidget(new QLineEdit);
    window.show();
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!window.windowHandle() || !window.windowHandle()->isExposed())
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
