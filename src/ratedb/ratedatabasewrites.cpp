#include "ratedatabase.h"

#include "programtables.h"
#include "ratedatabaseparts.h"
#include "sqltext.h"

#include <core/schema.h>
using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

constexpr QStringView UpdateSql = u"UPDATE %1 SET %2";
constexpr QStringView WhereIdSql = u" WHERE %1 = ?";
constexpr QStringView DeleteSql = u"DELETE FROM %1 WHERE %2 = ?";
constexpr QStringView InsertSql = u"INSERT INTO %1 (%2) VALUES (%3)";
constexpr QStringView RenameRulesSql = u"UPDATE \"__kuaidi_rules\" SET \"模板\" = ? WHERE \"模板\" = ?";
constexpr QStringView ColumnsSql = u"SELECT * FROM %1 WHERE 0 = 1";
constexpr QStringView AddColumnSql = u"ALTER TABLE %1 ADD COLUMN %2 TEXT";

} // namespace

bool RateDatabase::createTemplate(const QString &name, const QStringList &columns,
                                  const QList<QStringList> &rows)
{
    m_lastError.clear();
    if (const QString problem = checkTemplateName(name); !problem.isEmpty())
        return fail(problem, QString());
    if (!acceptNames(name, columns) || !openForWriting())
        return false;
    const QStringList existing = templateNames();
    if (!m_lastError.isEmpty())
        return false;
    if (existing.contains(name, Qt::CaseInsensitive))
        return fail(u"已有名为“%1”的快递模板，请换一个名称"_s.arg(name), QString());

    return transact(u"保存模板“%1”失败"_s.arg(name), [&]() -> DbError {
        if (DbError error = m_engine->createTable(name, columns, rows); error.isError())
            return error;
        if (DbError error = countChange(name); error.isError())
            return error;
        // Rules left behind by a table that another program dropped are
        // not this template's.
        return forgetRules(name);
    });
}

DbError RateDatabase::addPriceColumns(const QString &name, const QStringList &columns)
{
    std::unique_ptr<RowCursor> query = m_engine->query(ColumnsSql.arg(Sql::quoted(name)), {});
    if (query->error().isError())
        return query->error();
    QStringList present;
    for (int c = 0; c < query->columnCount(); ++c)
        present << query->columnName(c);
    query.reset();
    const QStringList priced = pricedColumns().mid(RateColumnCount);
    for (const QString &column : columns) {
        if (!priced.contains(column) || present.contains(column))
            continue;
        if (DbError error = m_engine->exec(AddColumnSql.arg(Sql::quoted(name), Sql::quoted(column)));
            error.isError())
            return error;
        present << column;
    }
    return {};
}

bool RateDatabase::updateRows(const QString &name, const QList<ColumnValue> &values,
                              const std::optional<QString> &id, int *rowsChanged)
{
    m_lastError.clear();
    if (rowsChanged)
        *rowsChanged = 0;
    if (values.isEmpty())
        return fail(u"没有需要修改的列"_s, QString());
    if (!openForWriting() || !requireTemplate(name))
        return false;
    QStringList assignments;
    QStringList bound;
    QStringList columns;
    for (const ColumnValue &v : values) {
        assignments << Sql::quoted(v.column) + u" = ?";
        bound << v.value;
        columns << v.column;
    }
    QString sql = UpdateSql.arg(Sql::quoted(name), assignments.join(u", "));
    if (id) {
        sql += WhereIdSql.arg(Sql::quoted(RateColumns().at(ColumnId)));
        bound << *id;
    }
    // Every row at once (全部修改) cannot be undone by hand.
    if (!id && !backUp(u"全部修改"_s, {name}))
        return false;
    qint64 changed = 0;
    const bool updated = transact(u"修改模板“%1”失败"_s.arg(name), [&]() -> DbError {
        // Prices by weight go into columns of their own, made when first used.
        if (DbError error = addPriceColumns(name, columns); error.isError())
            return error;
        if (DbError error = m_engine->exec(sql, bound, &changed); error.isError())
            return error;
        return countChange(name);
    });
    if (updated && rowsChanged)
        *rowsChanged = int(changed);
    return updated;
}

bool RateDatabase::insertRow(const QString &name, const QStringList &columns, const QStringList &values)
{
    m_lastError.clear();
    if (!openForWriting() || !requireTemplate(name))
        return false;
    QStringList quotedColumns;
    QStringList bound;
    for (qsizetype c = 0; c < columns.size(); ++c) {
        quotedColumns << Sql::quoted(columns.at(c));
        bound << (c < values.size() ? values.at(c) : QString());
    }
    const QString sql =
        InsertSql.arg(Sql::quoted(name), quotedColumns.join(u", "), Sql::placeholders(columns.size()));
    return transact(u"增加记录失败"_s, [&]() -> DbError {
        if (DbError error = m_engine->exec(sql, bound); error.isError())
            return error;
        return countChange(name);
    });
}

bool RateDatabase::deleteRows(const QString &name, const QString &id, int *rowsDeleted)
{
    m_lastError.clear();
    if (rowsDeleted)
        *rowsDeleted = 0;
    if (!openForWriting() || !requireTemplate(name))
        return false;
    if (!backUp(u"删除行"_s, {name}))
        return false;
    const QString sql = DeleteSql.arg(Sql::quoted(name), Sql::quoted(RateColumns().at(ColumnId)));
    qint64 deleted = 0;
    const bool done = transact(u"删除记录失败"_s, [&]() -> DbError {
        if (DbError error = m_engine->exec(sql, {id}, &deleted); error.isError())
            return error;
        return countChange(name);
    });
    if (done && rowsDeleted)
        *rowsDeleted = int(deleted);
    return done;
}

bool RateDatabase::renameTemplate(const QString &oldName, const QString &newName)
{
    m_lastError.clear();
    if (const QString problem = checkTemplateName(newName); !problem.isEmpty())
        return fail(problem, QString());
    if (!acceptNames(newName, {u"ID"_s}) || !openForWriting() || !requireTemplate(oldName))
        return false;
    const QStringList names = templateNames();
    if (!m_lastError.isEmpty())
        return false;
    if (names.contains(newName, Qt::CaseInsensitive) && newName.compare(oldName, Qt::CaseInsensitive) != 0)
        return fail(u"已有名为“%1”的快递模板，请换一个名称"_s.arg(newName), QString());
    if (!backUp(u"重命名模板"_s, {oldName}))
        return false;
    // The rules go with the name, in the same transaction.
    const bool renamed = transact(u"模板“%1”改名失败"_s.arg(oldName), [&]() -> DbError {
        if (DbError error = m_engine->renameTable(oldName, newName); error.isError())
            return error;
        DbError error = countChange(oldName);
        if (!error.isError())
            error = countChange(newName);
        if (!error.isError() && m_engine->tableExists(ProgramTables::Rules.toString(), &error))
            error = m_engine->exec(RenameRulesSql, {newName, oldName});
        return error;
    });
    return renamed;
}

bool RateDatabase::prepareToDestroy(const QString &name, const QString &operation)
{
    return openForWriting() && requireTemplate(name) && backUp(operation, {name});
}

bool RateDatabase::deleteTemplate(const QString &name)
{
    m_lastError.clear();
    if (!prepareToDestroy(name, u"删除模板"_s))
        return false;
    return transact(u"删除模板“%1”失败"_s.arg(name), [&]() -> DbError {
        if (DbError error = m_engine->dropTable(name, false); error.isError())
            return error;
        if (DbError error = countChange(name); error.isError())
            return error;
        return forgetRules(name);
    });
}

bool RateDatabase::replaceTemplate(const QString &name, const QStringList &columns,
                                   const QList<QStringList> &rows)
{
    m_lastError.clear();
    if (!acceptNames(name, columns) || !prepareToDestroy(name, u"替换模板"_s))
        return false;
    // The table is made again, since the new rows may bring other columns;
    // the rules stay, keyed by the name.
    return transact(u"替换模板“%1”失败"_s.arg(name), [&]() -> DbError {
        // Made again, it comes last among the templates, as a table made
        // anew does in a file.
        if (DbError error = m_engine->dropTable(name, false); error.isError())
            return error;
        if (DbError error = m_engine->createTable(name, columns, rows); error.isError())
            return error;
        return countChange(name);
    });
}

} // namespace Kuaidi
