#include "cli.h"

#include <core/program.h>

#include <QCoreApplication>
#include <QLoggingCategory>
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
    const int status = Kuaidi::runCli(QCoreApplication::arguments(), out, err);
    out.flush();
    err.flush();
    return status;
}
