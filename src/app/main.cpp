#include "calculatorwindow.h"

#include <ratedb/ratedatabase.h>

#include <QApplication>
#include <QCommandLineParser>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    // The template editor embeds a browser, which shares OpenGL contexts.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setOrganizationName(u"Vantor"_s);
    QApplication::setApplicationName(u"kuaidi"_s);
    QApplication::setApplicationDisplayName(u"Vantor快递费用计算器"_s);
    QApplication::setApplicationVersion(u"2.2"_s);

    QCommandLineParser parser;
    parser.setApplicationDescription(u"快递费用计算器：比较各家快递的运费，维护运费模板。"_s);
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption db(u"db"_s, u"使用指定的运费数据库文件。"_s, u"PATH"_s);
    parser.addOption(db);
    parser.process(app);

    Kuaidi::CalculatorWindow window(parser.isSet(db) ? parser.value(db) : Kuaidi::RateDatabase::defaultPath());
    window.show();
    QApplication::exec();
    return 0;
}
