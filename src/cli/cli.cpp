#include "cli.h"

#include "clicommands.h"

#include <core/program.h>
#include <ratedb/ratedatabase.h>

#include <QTextStream>

using namespace Qt::StringLiterals;

namespace Kuaidi {

int Cli::run()
{
    struct Command
    {
        QLatin1StringView name;
        int arguments;
        int (Cli::*handler)();
    };
    static constexpr Command commands[] = {
        {"templates"_L1, 0, &Cli::templates},   {"quote"_L1, 2, &Cli::quote},
        {"breakdown"_L1, 2, &Cli::breakdown},   {"rows"_L1, 1, &Cli::rows},
        {"region"_L1, 1, &Cli::region},         {"sheets"_L1, 1, &Cli::sheets},
        {"create"_L1, 2, &Cli::create},         {"address"_L1, 1, &Cli::address},
        {"rules"_L1, 1, &Cli::rules},           {"read"_L1, 1, &Cli::read},
        {"batch"_L1, 1, &Cli::batch},           {"reconcile"_L1, 1, &Cli::reconcile},
        {"delete"_L1, 1, &Cli::deleteTemplate}, {"export"_L1, 2, &Cli::exportTemplate},
        {"backups"_L1, 0, &Cli::listBackups},   {"restore"_L1, 1, &Cli::restore},
        {"curve"_L1, 1, &Cli::curve},           {"copy"_L1, 0, &Cli::copy},
        {"migrate"_L1, 1, &Cli::migrate},
    };
    for (const Command &command : commands) {
        if (m_o.command != command.name)
            continue;
        if (m_o.arguments.size() != command.arguments)
            return usageError(u"命令 %1 需要 %2 个参数"_s.arg(m_o.command).arg(command.arguments));
        return (this->*command.handler)();
    }
    return usageError(u"未知命令“%1”"_s.arg(m_o.command));
}

int Cli::usageError(const QString &message)
{
    m_err << message << u'\n' << usage();
    return CliBadInput;
}

int Cli::badInput(const QString &message)
{
    m_err << message << u'\n';
    return CliBadInput;
}

int Cli::databaseError(const RateDatabase &db)
{
    m_err << db.lastError() << u'\n';
    return CliDatabaseError;
}

int Cli::checkTemplateExists(RateDatabase &db, const QString &name)
{
    const QStringList names = db.templateNames();
    if (!db.lastError().isEmpty())
        return databaseError(db);
    if (!names.contains(name))
        return badInput(u"没有名为“%1”的快递模板"_s.arg(name));
    return CliOk;
}

int Cli::confirmed(const QString &what)
{
    if (m_o.yes)
        return CliOk;
    return badInput(u"%1会修改数据库，请加上 --yes 确认（之前会自动备份）；没有做任何修改"_s.arg(what));
}

int runCli(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    const ParsedCommandLine parsed = parseCommandLine(arguments);
    Cli cli(parsed.options, out, err);
    if (!parsed.error.isEmpty())
        return cli.usageError(parsed.error);
    if (parsed.options.help) {
        out << usage();
        return CliOk;
    }
    if (parsed.options.version) {
        out << "kuaidi-cli "_L1 << programVersion() << u'\n';
        return CliOk;
    }
    return cli.run();
}

} // namespace Kuaidi
