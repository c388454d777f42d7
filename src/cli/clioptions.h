#pragma once

#include <templates/templategrid.h>

#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

namespace Kuaidi {

struct CliOptions
{
    bool help = false;
    bool version = false;
    QString command;
    QStringList arguments; // positional arguments after the command
    QString databasePath;
    QString from; // copy: the database to copy from, and the one to copy to
    QString to;
    QString level;
    bool json = false;
    int row = 0;
    QString sheet;
    QString encoding; // of texts a file does not say the encoding of
    NewTemplateDefaults defaults;
    std::optional<double> volume;
    bool exact = false;
    bool replace = false;
    bool yes = false;
    bool whole = false; // restore: the whole database, not only the templates the backup was taken for
    // Billing rules to store, by their place in billingRuleNames(); the
    // others stay as they are.
    QMap<int, QString> ruleTexts;
    // Batch work.
    std::optional<QStringList> templates;
    QString templateName;
    QString out;
    double tolerance = 0.01;
    double step = 0.5;
};

/// The parsed command line, or the message for a usage error.
struct ParsedCommandLine
{
    CliOptions options;
    QString error;
};

/// The usage text of kuaidi-cli.
QString usage();

/// Reads kuaidi-cli's arguments (the program name first).
ParsedCommandLine parseCommandLine(const QStringList &arguments);

} // namespace Kuaidi
