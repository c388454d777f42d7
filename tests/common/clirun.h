#pragma once

#include <cli/cli.h>

#include <QString>
#include <QStringList>
#include <QTextStream>

namespace KuaidiTest {

/// What a kuaidi-cli command gave: its exit status and both outputs.
struct CliRun
{
    int status = -1;
    QString out;
    QString err;
};

/// Runs kuaidi-cli in this process with @p arguments (without the program's
/// own name).
inline CliRun runCliCommand(const QStringList &arguments)
{
    CliRun result;
    QTextStream out(&result.out);
    QTextStream err(&result.err);
    result.status = Kuaidi::runCli(QStringList{QStringLiteral("kuaidi-cli")} + arguments, out, err);
    out.flush();
    err.flush();
    return result;
}

} // namespace KuaidiTest
