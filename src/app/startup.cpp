#include "startup.h"

#include <calculator/calculatorwindow.h>
#include <core/program.h>
#include <ratedb/ratedatabase.h>

#include <QCommandLineParser>
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QSettings>
#include <QTextStream>
#include <QTimer>
#include <QTranslator>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cstdlib>

#ifdef Q_OS_WIN
#include <qt_windows.h>
// After windows.h, which it needs.
#include <psapi.h>
#endif

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
#ifdef Q_OS_WIN
    PROCESS_MEMORY_COUNTERS counters{};
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        return -1;
    return qint64(counters.WorkingSetSize / 1024);
#else
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
#endif
}

} // namespace

bool answeredWithoutDisplay(int argc, char *argv[], const QString &command, const QString &description)
{
    const bool asked = std::any_of(argv + 1, argv + argc, [](const char *argument) {
        const QByteArrayView text(argument);
        return text == "-h" || text == "--help" || text == "-v" || text == "--version";
    });
    if (!asked)
        return false;
    QCoreApplication app(argc, argv);
    startApplication(app, command, description); // prints, and ends the program
    return true;
}

StartupOptions startApplication(QCoreApplication &app, const QString &command, const QString &description)
{
    setApplicationNames();
    if (qobject_cast<QGuiApplication *>(&app)) {
        // The menu entry's name, which ties the windows to its icon and name.
        QGuiApplication::setDesktopFileName(u"com.vantor.kuaidi"_s);
        initAppResources();
        QIcon icon;
        for (const int size : {48, 128})
            icon.addFile(u":/kuaidi/icon-%1.png"_s.arg(size), QSize(size, size));
        QGuiApplication::setWindowIcon(icon);
    }

    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    static QTranslator qtTranslator;
    if (qtTranslator.load(QLocale(), u"qtbase"_s, u"_"_s, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTranslator);

    QCommandLineParser parser;
    parser.setApplicationDescription(description);
    parser.addHelpOption();
    const QCommandLineOption version(QStringList{u"v"_s, u"version"_s}, u"显示程序名称和版本。"_s);
    const QCommandLineOption db(u"db"_s,
                                u"使用指定的运费数据库：数据库文件，或数据库服务器 "
                                "postgresql://用户名@主机:端口/数据库名。"_s,
                                u"PATH"_s);
    const QCommandLineOption editor(u"editor"_s, u"打开淘宝网店快递模板快速编辑器。"_s);
    const QCommandLineOption quit(u"quit-after-start"_s, u"窗口显示后即退出（用于检查启动）。"_s);
    QCommandLineOption attached(u"attached"_s, u"由计算器启动：从标准输入接收请求，输入结束即退出。"_s);
    attached.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOptions({version, db, editor, quit, attached});
    parser.process(app);
    if (parser.isSet(version)) {
        QTextStream(stdout) << command << u' ' << programVersion() << Qt::endl;
        std::exit(0);
    }
    const QString chosen = QSettings().value(DatabaseKey).toString();
    const QString database =
        parser.isSet(db) ? parser.value(db) : (chosen.isEmpty() ? RateDatabase::defaultPath() : chosen);
    return {database, parser.isSet(editor), parser.isSet(quit), parser.isSet(attached)};
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
        QCoreApplication::quit();
    });
    poll->start();
}

} // namespace Kuaidi
