#include "clicommands.h"
#include "clioutput.h"

#include <core/billingrules.h>
#include <core/numbertext.h>
#include <core/program.h>
#include <import/workbook.h>
#include <ratedb/ratedatabase.h>
#include <ratedb/templatecopy.h>
#include <templates/raterows.h>
#include <templates/ratesheet.h>
#include <templates/replaceplan.h>
#include <templates/templategrid.h>
#include <templates/workbookmigration.h>

#include <QFileInfo>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace Kuaidi {

int Cli::rules()
{
    const QString &name = m_o.arguments.at(0);
    RateDatabase db(m_o.databasePath);
    if (const int status = checkTemplateExists(db, name); status != CliOk)
        return status;
    std::optional<BillingRules> rules = db.billingRules(name);
    if (!rules)
        return databaseError(db);
    if (!m_o.ruleTexts.isEmpty()) {
        QStringList texts = billingRuleTexts(*rules);
        for (auto it = m_o.ruleTexts.cbegin(); it != m_o.ruleTexts.cend(); ++it)
            texts[it.key()] = it.value();
        QString problem;
        rules = billingRulesFromTexts(texts, &problem);
        if (!rules)
            return badInput(problem);
        if (!db.setBillingRules(name, *rules))
            return databaseError(db);
    }
    const QStringList texts = billingRuleTexts(*rules);
    for (int i = 0; i < texts.size(); ++i)
        m_out << billingRuleNames().at(i) << u'\t' << texts.at(i) << u'\n';
    return CliOk;
}

int Cli::create()
{
    const QString &name = m_o.arguments.at(0);
    if (const QString problem = checkTemplateName(name); !problem.isEmpty())
        return badInput(problem);
    const QList<std::pair<QLatin1StringView, QString>> fees{{"--fee-20-30"_L1, m_o.defaults.surcharge20To30},
                                                            {"--fee-30-50"_L1, m_o.defaults.surcharge30To50},
                                                            {"--other-fee"_L1, m_o.defaults.otherFee}};
    for (const auto &[option, value] : fees) {
        if (!isPriceText(value))
            return badInput(u"%1 需要一个数字，“%2”不是数字"_s.arg(option, value));
    }
    std::optional<TextTable> sheet;
    if (const int status = readChosenSheet(m_o.arguments.at(1), sheet); status != CliOk)
        return status;

    if (const QString problem = newTemplateSizeProblem(*sheet); !problem.isEmpty())
        return badInput(problem);
    const RateSheet rates = readRateSheet(*sheet);
    if (!rates.problems.isEmpty())
        return badInput(rates.problems.join(u'\n'));
    TextTable grid = newTemplateGrid(rates, m_o.defaults);
    if (const QString problem = checkTemplateColumns(grid.columns); !problem.isEmpty())
        return badInput(problem);
    // An exported template brings its billing rules along; any other sheet
    // may say some in its headings.
    std::optional<BillingRules> rules = exportedBillingRules(m_o.arguments.at(1));
    if (!rules.has_value() && rates.rules != SheetRules())
        rules = rates.rules.appliedTo(BillingRules());
    if (!rates.unusedColumns.isEmpty())
        m_err << u"未使用的列：%1\n"_s.arg(rates.unusedColumns.join(u"、"));
    if (!rates.skippedRows.isEmpty())
        m_err << u"没有导入：%1\n"_s.arg(rates.skippedRows.join(u"、"));

    RateDatabase db(m_o.databasePath);
    const QStringList existing = db.templateNames();
    if (!db.lastError().isEmpty())
        return databaseError(db);
    const bool exists = existing.contains(name);
    if (exists && !m_o.replace)
        return badInput(u"保存失败：已有名为“%1”的快递模板（用 --replace 替换它的行）"_s.arg(name));
    if (!exists && existing.contains(name, Qt::CaseInsensitive))
        return badInput(u"保存失败：已有名为“%1”的快递模板"_s.arg(name));
    if (exists && !exportedBillingRules(m_o.arguments.at(1)) && rates.rules != SheetRules()) {
        // A replaced template keeps its rules but for what the sheet says.
        const std::optional<BillingRules> current = db.billingRules(name);
        if (!current)
            return databaseError(db);
        rules = rates.rules.appliedTo(*current);
    }
    if (exists) {
        // Replacing keeps the contacts and star levels the sheet does not
        // bring, and says what goes.
        const std::optional<TextTable> current = db.readTemplate(name);
        if (!current)
            return databaseError(db);
        const Replacement plan = planReplacement(rates, m_o.defaults, *current);
        grid = plan.grid;
        m_err << u"替换“%1”：%2\n"_s.arg(name, plan.summary());
    }
    if (!(exists ? db.replaceTemplate(name, grid.columns, grid.rows, rules)
                 : db.createTemplate(name, grid.columns, grid.rows, rules)))
        return databaseError(db);
    for (const QString &note : db.notes())
        m_err << note << u'\n';
    if (rules) {
        if (const QString note = unreachableWeightsNote(*rules); !note.isEmpty())
            m_err << note << u'\n';
    }
    m_out << grid.rows.size() << u'\n';
    return CliOk;
}

int Cli::deleteTemplate()
{
    const QString &name = m_o.arguments.at(0);
    RateDatabase db(m_o.databasePath);
    if (const int status = checkTemplateExists(db, name); status != CliOk)
        return status;
    if (const int status = confirmed(u"删除模板“%1”"_s.arg(name)); status != CliOk)
        return status;
    if (!db.deleteTemplate(name))
        return databaseError(db);
    return CliOk;
}

int Cli::exportTemplate()
{
    const QString &name = m_o.arguments.at(0);
    RateDatabase db(m_o.databasePath);
    if (const int status = checkTemplateExists(db, name); status != CliOk)
        return status;
    // Each failure said as it happens: a later call would clear its reason.
    const std::optional<TextTable> table = db.readTemplate(name);
    if (!table)
        return databaseError(db);
    const std::optional<BillingRules> rules = db.billingRules(name);
    if (!rules)
        return databaseError(db);
    if (const QString error = writeTableFile(m_o.arguments.at(1), templateSheets(name, *table, *rules));
        !error.isEmpty())
        return badInput(error);
    return CliOk;
}

int Cli::listBackups()
{
    RateDatabase db(m_o.databasePath);
    const QList<Backup> all = db.backups();
    if (!db.lastError().isEmpty())
        return databaseError(db);
    for (const Backup &backup : all) {
        const QString concerned = backup.templates.isEmpty() ? u"整个数据库"_s : backup.templates.join(u"、");
        m_out << tsvLine(
                     {backup.name, backup.time.toString(u"yyyy-MM-dd HH:mm:ss"), backup.operation, concerned})
              << u'\n';
    }
    return CliOk;
}

int Cli::restore()
{
    const QString &name = m_o.arguments.at(0);
    RateDatabase db(m_o.databasePath);
    const QList<Backup> all = db.backups();
    if (!db.lastError().isEmpty())
        return databaseError(db);
    const auto backup =
        std::find_if(all.cbegin(), all.cend(), [&name](const Backup &b) { return b.name == name; });
    if (backup == all.cend())
        return badInput(u"没有名为“%1”的备份（kuaidi-cli backups 列出全部备份）"_s.arg(name));
    if (!m_o.whole && backup->templates.isEmpty()) {
        return badInput(u"备份“%1”不是为某个模板做的（恢复备份之前所做，或来自旧版本），"
                        u"只能恢复整个数据库：请加上 --whole"_s.arg(name));
    }
    const RestoreScope scope = m_o.whole ? RestoreScope::WholeDatabase : RestoreScope::Templates;
    // What will change is said before anything does, with --yes or without.
    const std::optional<RestorePlan> plan = db.planRestore(name, scope);
    if (!plan)
        return databaseError(db);
    m_out << (m_o.whole ? u"恢复整个数据库到备份“%1”："_s : u"只恢复备份“%1”所针对的模板："_s).arg(name)
          << u'\n';
    for (const QString &line : plan->describe())
        m_out << line << u'\n';
    if (plan->changesNothing()) {
        m_err << u"与备份相比没有任何不同，不需要恢复\n"_s;
        return CliOk;
    }
    if (const int status = confirmed(u"恢复备份“%1”"_s.arg(name)); status != CliOk)
        return status;
    if (!db.restoreBackup(name, scope))
        return databaseError(db);
    m_out << u"已恢复\n"_s;
    return CliOk;
}

int Cli::copy()
{
    if (m_o.from.isEmpty() || m_o.to.isEmpty())
        return usageError(u"命令 copy 需要 --from 和 --to 两个数据库"_s);
    const auto same = [](const QString &location) {
        return isServerLocation(location) ? location : QFileInfo(location).absoluteFilePath();
    };
    if (same(m_o.from) == same(m_o.to))
        return badInput(u"--from 和 --to 是同一个数据库"_s);
    if (!isServerLocation(m_o.from) && !QFileInfo::exists(m_o.from))
        return badInput(u"来源数据库“%1”不存在"_s.arg(m_o.from));
    if (m_o.templates && m_o.templates->isEmpty())
        return badInput(u"--templates 没有列出任何模板"_s);
    RateDatabase source(m_o.from);
    RateDatabase target(m_o.to);
    const TemplateCopy copied =
        copyTemplates(source, target, m_o.templates.value_or(QStringList()), m_o.replace);
    for (qsizetype i = 0; i < copied.copied.size(); ++i)
        m_out << u"已复制\t%1\t%2 行\n"_s.arg(copied.copied.at(i)).arg(copied.rowCounts.at(i));
    if (copied.error.isEmpty())
        return CliOk;
    m_err << copied.error << u'\n';
    return copied.refused ? CliBadInput : CliDatabaseError;
}

int Cli::migrate()
{
    Workbook workbook;
    if (const int status = openWorkbook(workbook, m_o.arguments.at(0)); status != CliOk)
        return status;
    const QList<MigrationTable> tables = planMigration(workbook);
    RateDatabase db(m_o.databasePath);
    QString databaseError;
    const QList<MigrationOutcome> outcomes = applyMigration(tables, db, m_o.replace, &databaseError);
    qsizetype layoutTables = 0;
    qsizetype missed = 0;
    for (qsizetype i = 0; i < outcomes.size(); ++i) {
        const MigrationOutcome &outcome = outcomes.at(i);
        const bool layout = tables.at(i).layout;
        layoutTables += layout ? 1 : 0;
        if (outcome.taken)
            m_out << u"已导入\t%1\t%2 行\n"_s.arg(outcome.name).arg(outcome.rows);
        else
            m_out << (layout ? u"未导入"_s : u"跳过"_s) << u'\t' << outcome.name << u'\t' << outcome.reason
                  << u'\n';
        missed += layout && !outcome.taken ? 1 : 0;
    }
    if (!databaseError.isEmpty()) {
        m_err << databaseError << u'\n';
        return CliDatabaseError;
    }
    if (layoutTables == 0)
        return badInput(u"没有运费模板格式的表（需要“地区”“首重价格”“续重价格”列），没有导入任何模板"_s);
    if (missed > 0)
        return badInput(u"%1 张运费表没有导入，原因见上"_s.arg(missed));
    return CliOk;
}

} // namespace Kuaidi
