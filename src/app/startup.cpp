#include "startup.h"

#include <core/program.h>
#include <ratedb/ratedatabase.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTextStream>
#include <QTimer>
#include <QTranslator>
#include <QWidget>
#include <QWindow>

using namespace Qt::StringLiterals;

// A static library's resources are not registered unless asked for.
static void initAppResources()
{
    Q_INIT_RESOURCE(app);
}

namespace Kuaidi {

namespace {

qint64 residentKilobytes()
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

} // namespace

StartupOptions startApplication(QApplication &app, const QString &description)
{
    setApplicationNames();
    // The menu entry's name, which ties the windows to its icon and name.
    QGuiApplication::setDesktopFileName(u"com.vantor.kuaidi"_s);
    initAppResources();
    QIcon icon;
    for (const int size : {48, 128})
        icon.addFile(u":/kuaidi/icon-%1.png"_s.arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);

    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    static QTranslator qtTranslator;
    if (qtTranslator.load(QLocale(), u"qtbase"_s, u"_"_s, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);

    QCommandLineParser parser;
    parser.setApplicationDescription(description);
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption db(u"db"_s, u"使用指定的运费数据库文件。"_s, u"PATH"_s);
    const QCommandLineOption editor(u"editor"_s, u"打开淘宝网店快递模板快速编辑器。"_s);
    const QCommandLineOption quit(u"quit-after-start"_s, u"窗口显示后即退出（用于检查启动）。"_s);
    parser.addOptions({db, editor, quit});
    parser.process(app);
    return {parser.isSet(db) ? parser.value(db) : RateDatabase::defaultPath(), parser.isSet(editor),
            parser.isSet(quit)};
}

void quitOnceShown(QWidget *window)
{
    auto *poll = new QTimer(window);
    poll->setInterval(1);
    QObject::connect(poll, &QTimer::timeout, window, [window, poll] {
        if (!window->windowHandle() || !window->windowHandle()->isExposed())
            return;
        poll->stop();
        QTextStream(stdout) << "mapped " << residentKilobytes() << Qt::endl;
        QApplication::quit();
    });
    poll->start();
}

} // namespace Kuaidi
