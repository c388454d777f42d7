#include "ratedatabase.h"

#include "ratedatabaseparts.h"
#include "programtables.h"
#include "sqltext.h"
using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

// The billing rules of every template that has saved some, as texts. The
// column names are the rules' own.
constexpr QStringView SelectRulesSql =
    u"SELECT \"模板\", \"计费取整\", \"首重重量\", \"抛重系数\" FROM \"__kuaidi_rules\"";
constexpr QStringView SaveRulesSql =
    u"INSERT INTO \"__kuaidi_rules\" (\"模板\", \"计费取整\", \"首重重量\", \"抛重系数\") VALUES (?, ?, ?, "
    u"?) "
    u"ON CONFLICT (\"模板\") DO UPDATE SET \"计费取整\" = excluded.\"计费取整\", "
    u"\"首重重量\" = excluded.\"首重重量\", \"抛重系数\" = excluded.\"抛重系数\"";
constexpr QStringView ForgetRulesSql = u"DELETE FROM \"__kuaidi_rules\" WHERE \"模板\" = ?";

} // namespace

DbError RateDatabase::forgetRules(const QString &name)
{
    DbError error;
    if (!m_engine->tableExists(ProgramTables::Rules.toString(), &error))
        return error;
    return m_engine->exec(ForgetRulesSql, {name});
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
    while (query->next()) {
        const QString name = query->text(0);
        QString problem;
        const std::optional<BillingRules> rules =
            billingRulesFromTexts(query->text(1), query->text(2), query->text(3), &problem);
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
    const QStringList texts = billingRuleTexts(rules);
    return transact(u"保存模板“%1”的计费规则失败"_s.arg(name), [&]() -> DbError {
        if (DbError error = ensureTable(ProgramTables::Rules, ProgramTables::CreateRulesSql); error.isError())
            return error;
        return m_engine->exec(SaveRulesSql, {name, texts.at(0), texts.at(1), texts.at(2)});
    });
}

} // namespace Kuaidi
