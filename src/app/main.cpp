#include "startup.h"

#include <calculator/calculatorwindow.h>
#include <ratedb/engine.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStatusBar>

#include <unistd.h>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    // The calculator loads no browser engine: the editor, which needs one,
    // runs as a program of its own.
    const QString description = u"快递费用计算器：比较各家快递的运费，维护运费模板。"_s;
    if (Kuaidi::answeredWithoutDisplay(argc, argv, u"kuaidi"_s, description))
        return 0;
    QApplication app(argc, argv);
    const Kuaidi::StartupOptions options = Kuaidi::startApplication(app, u"kuaidi"_s, description);
    if (options.editor) {
        const QByteArray editor =
            QFile::encodeName(QDir(QCoreApplication::applicationDirPath()).filePath(u"kuaidi-editor"_s));
        execv(editor.constData(), argv);
        return 1;
    }
    const bool firstStart =
        !Kuaidi::isServerLocation(options.databasePath) && !QFileInfo::exists(options.databasePath);
    Kuaidi::CalculatorWindow window(options.databasePath);
    window.show();
    if (firstStart) {
        window.statusBar()->showMessage(
            u"快递模板保存在：%1"_s.arg(QDir::toNativeSeparators(options.databasePath)));
    }
    if (options.quitAfterStart)
        Kuaidi::quitOnceShown(&window);
    QApplication::exec();
    return 0;
}
