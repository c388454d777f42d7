#pragma once

// What both start-up baselines print once their window is on the screen:
// "mapped" and their resident memory in kB, as kuaidi does with
// --quit-after-start; then they quit.

#include <QApplication>
#include <QFile>
#include <QTextStream>
#include <QTimer>
#include <QWidget>
#include <QWindow>

inline void reportWhenMapped(QWidget *window)
{
    auto *poll = new QTimer(window);
    poll->setInterval(1);
    QObject::connect(poll, &QTimer::timeout, window, [window, poll] {
        if (!window->windowHandle() || !window->windowHandle()->isExposed())
            return;
        poll->stop();
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
    poll->start();
}
