#include <calculator/calculatorwindow.h>

#include <core/program.h>
#include <ratedb/ratedatabase.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    // The template editor embeds a browser, which shares OpenGL contexts.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setOrganizationName(u"Vantor"_s);
    QApplication::setApplicationName(u"kuaidi"_s);
    QApplication::setApplicationVersion(Kuaidi::programVersion());

    // The program speaks Chinese whatever the system's language: Qt's own
    // dialogs too, where its translations are installed.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    QTranslator qtTranslator;
    if (qtTranslator.load(QLocale(), u"qtbase"_s, u"_"_s, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);

    QCommandLineParser parser;
    parser.setApplicationDescription(u"快递费用计算器：比较各家快递的运费，维护运费模板。"_s);
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption db(u"db"_s, u"使用指定的运费数据库文件。"_s, u"PATH"_s);
    parser.addOption(db);
    parser.process(app);

    Kuaidi::CalculatorWindow window(parser.isSet(db) ? parser.value(db)
                                                     : Kuaidi::RateDatabase::defaultPath());
    window.show();
    QApplication::exec();
    return 0;
}
