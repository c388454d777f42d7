#include "ratedatabase.h"

#include "programtables.h"
#include "ratedatabaseparts.h"
#include "sqltext.h"

#include <core/schema.h>
using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

constexpr QStringView SelectRulesSql = u"SELECT * FROM \"__kuaidi_rules\"";
constexpr QStringView SaveRulesSql = u"INSERT INTO \"__kuaidi_rules\" (\"模板\", %1) VALUES (?, %2) "
                                     u"ON CONFLICT (\"模板\") DO UPDATE SET %3";
constexpr QStringView AddRuleColumnSql = u"ALTER TABLE \"__kuaidi_rules\" ADD COLUMN %1 TEXT";
constexpr QStringView ForgetRulesSql = u"DELETE FROM \"__kuaidi_rules\" WHERE \"模板\" = ?";

QString saveRulesSql()
{
    QStringList columns;
    QStringList updates;
    for (const QString &rule : billingRuleNames()) {
        columns << Sql::quoted(rule);
        updates << columns.last() + u" = excluded."_s + columns.last();
    }
    return SaveRulesSql.arg(columns.join(u", "), Sql::placeholders(columns.size()), updates.join(u", "));
}

} // namespace

QStringList ProgramTables::ruleTextsByName(const QStringList &columns, const QStringList &values)
{
    QStringList texts;
    for (const QString &rule : billingRuleNames()) {
        const qsizetype at = columns.indexOf(rule);
        if (at < 0 || at >= values.size())
            break;
        texts << values.at(at);
    }
    return texts;
}

QString ProgramTables::rulesTableProblem(const QStringList &columns)
{
    if (columns.value(0) != u"模板"_s)
        return u"第一列不是“模板”"_s;
    for (const QString &column : columns.mid(1)) {
        if (!billingRuleNames().contains(column))
            return u"“%1”不是计费规则"_s.arg(column);
    }
    return {};
}

DbError RateDatabase::forgetRules(const QString &name)
{
    DbError error;
    if (!m_engine->tableExists(ProgramTables::Rules.toString(), &error))
        return error;
    return m_engine->exec(ForgetRulesSql, {name});
}

DbError RateDatabase::addMissingRuleColumns()
{
    std::unique_ptr<RowCursor> query = m_engine->query(u"SELECT * FROM \"__kuaidi_rules\" WHERE 0 = 1", {});
    if (query->error().isError())
        return query->error();
    QStringList present;
    for (int c = 0; c < query->columnCount(); ++c)
        present << query->columnName(c);
    query.reset();
    for (const QString &rule : billingRuleNames()) {
        if (present.contains(rule))
            continue;
        if (DbError error = m_engine->exec(AddRuleColumnSql.arg(Sql::quoted(rule))); error.isError())
            return error;
    }
    return {};
}

DbError RateDatabase::saveRules(const QString &name, const BillingRules &rules)
{
    if (DbError error = addMissingRuleColumns(); error.isError())
        return error;
    return m_engine->exec(saveRulesSql(), QStringList{name} + billingRuleTexts(rules));
}

std::optional<QHash<QString, BillingRules>> RateDatabase::savedBillingRules()
{
    QHash<QString, BillingRules> saved;
    DbError error;
    if (!m_engine->tableExists(ProgramTables::Rules.toString(), &error)) {
        if (error.isError()) {
            fail(u"读取计费规则失败"_s, error);
            return std::nullopt;
        }
        return saved;
    }
    std::unique_ptr<RowCursor> query = m_engine->query(SelectRulesSql, {});
    // By name: a table from before the later rules lacks their columns.
    QStringList columns;
    for (int c = 0; c < query->columnCount(); ++c)
        columns << query->columnName(c);
    while (query->next()) {
        const QString name = query->text(0);
        QStringList values;
        for (int c = 0; c < columns.size(); ++c)
            values << query->text(c);
        QString problem;
        const std::optional<BillingRules> rules =
            billingRulesFromTexts(ProgramTables::ruleTextsByName(columns, values), &problem);
        // Rules someone else wrote into the file and no courier can use are
        // not guessed at: the template bills by the defaults.
        if (!rules)
            qCWarning(lcRateDb).noquote() << m_path << name << problem;
        saved.insert(name, rules.value_or(BillingRules()));
    }
    if (query->error().isError()) {
        fail(u"读取计费规则失败"_s, query->error());
        return std::nullopt;
    }
    return saved;
}

std::optional<QHash<QString, BillingRules>> RateDatabase::billingRulesOfAll()
{
    m_lastError.clear();
    if (!open())
        return std::nullopt;
    return savedBillingRules();
}

std::optional<BillingRules> RateDatabase::billingRules(const QString &name)
{
    const QStringList names = templateNames();
    if (!m_lastError.isEmpty())
        return std::nullopt;
    if (!names.contains(name)) {
        fail(u"没有名为“%1”的快递模板"_s.arg(name), QString());
        return std::nullopt;
    }
    const std::optional<QHash<QString, BillingRules>> saved = savedBillingRules();
    if (!saved)
        return std::nullopt;
    return saved->value(name, BillingRules());
}

bool RateDatabase::setBillingRules(const QString &name, const BillingRules &rules)
{
    m_lastError.clear();
    if (!openForWriting())
        return false;
    const QStringList names = templateNames();
    if (!m_lastError.isEmpty())
        return false;
    if (!names.contains(name))
        return fail(u"没有名为“%1”的快递模板"_s.arg(name), QString());
    return transact(u"保存模板“%1”的计费规则失败"_s.arg(name), [&]() -> DbError {
        if (DbError error = storeRules(name, rules); error.isError())
            return error;
        return countChange(name);
    });
}

DbError RateDatabase::storeRules(const QString &name, const BillingRules &rules)
{
    if (DbError error = ensureTable(ProgramTables::Rules, ProgramTables::CreateRulesSql); error.isError())
        return error;
    if (DbError error = saveRules(name, rules); error.isError())
        return error;
    QStringList columns = priceExtensionColumns(int(rules.brackets.size()), int(rules.bandStarts.size()));
    columns.removeLast(); // 最低收费: made when first filled
    return addPriceColumns(name, columns);
}

} // namespace Kuaidi
