#include "cli.h"

#include <core/program.h>

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QStringDecoder>
#include <QTextStream>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // Failures reach the user as messages on stderr; the log would repeat them.
    QLoggingCategory::setFilterRules(QStringLiteral("kuaidi.*.warning=false"));
    // The same data folder as the windows'.
    Kuaidi::setApplicationNames();
    QTextStream out(stdout);
    QTextStream err(stderr);
    // Arguments decoded here rather than by QCoreApplication::arguments(),
    // which drops a U+FEFF at the start of one: a name or text that begins
    // with it would be looked up, or saved, as another.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        QStringDecoder decoder(QStringConverter::System, QStringConverter::Flag::ConvertInitialBom);
        arguments << decoder.decode(QByteArrayView(argv[i]));
    }
    const int status = Kuaidi::runCli(arguments, out, err);
    out.flush();
    err.flush();
    return status;
}
