#include "startup.h"

#include <calculator/calculatorwindow.h>
#include <ratedb/engine.h>
#include <widgets/messages.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStatusBar>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace {

// --editor: the editor program runs in this one's stead, on the same input
// and output, and its exit status is this one's.
int runEditorInstead()
{
    const QString program = Kuaidi::CalculatorWindow::builtEditorProgram();
    if (program.isEmpty()) {
        Kuaidi::Messages::show(nullptr, Kuaidi::CalculatorWindow::noEditorMessage(), u"提示"_s,
                               Kuaidi::Messages::Icon::Information);
        return 1;
    }
    QProcess editor;
    editor.setProcessChannelMode(QProcess::ForwardedChannels);
    editor.setInputChannelMode(QProcess::ForwardedInputChannel);
    editor.start(program, QCoreApplication::arguments().mid(1));
    if (!editor.waitForStarted(-1)) {
        QTextStream(stderr) << u"无法启动淘宝网店快递模板快速编辑器（%1）：%2"_s.arg(
                                   QDir::toNativeSeparators(program), editor.errorString())
                            << Qt::endl;
        return 1;
    }
    editor.waitForFinished(-1);
    return editor.exitStatus() == QProcess::NormalExit ? editor.exitCode() : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    // The calculator loads no browser engine: the editor, which needs one,
    // runs as a program of its own.
    const QString description = u"快递费用计算器：比较各家快递的运费，维护运费模板。"_s;
    if (Kuaidi::answeredWithoutDisplay(argc, argv, u"kuaidi"_s, description))
        return 0;
    QApplication app(argc, argv);
    const Kuaidi::StartupOptions options = Kuaidi::startApplication(app, u"kuaidi"_s, description);
    if (options.editor)
        return runEditorInstead();
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
