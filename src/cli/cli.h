#pragma once

#include <QStringList>

class QTextStream;

namespace Kuaidi {

/// Exit statuses of kuaidi-cli.
enum CliStatus : int {
    CliOk = 0,
    CliNoRegionMatch = 1,
    CliBadInput = 2,
    CliDatabaseError = 3,
};

/// Runs one kuaidi-cli command. @p arguments include the program name, as
/// QCoreApplication::arguments() gives them. Results go to @p out, messages
/// to @p err; returns the exit status.
int runCli(const QStringList &arguments, QTextStream &out, QTextStream &err);

} // namespace Kuaidi
