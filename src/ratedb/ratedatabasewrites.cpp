#include "ratedatabase.h"

#include "programtables.h"
#include "ratedatabaseparts.h"
#include "sqltext.h"

#include <core/schema.h>

#include <QRandomGenerator>
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
// Notes name this many cells at most.
constexpr qsizetype MostNotes = 20;

QString takenMessage(const QString &name)
{
    return u"已有名为“%1”的快递模板，请换一个名称"_s.arg(name);
}

// Half characters (a surrogate without its other half, as Excel's LEFT()
// leaves of an emoji) replaced by U+FFFD, cell by cell, each cell named in
// @p notes; nothing when every cell is whole, so that a sound sheet is not
// copied.
std::optional<QList<QStringList>> repairHalfCharacters(const QList<QStringList> &rows,
                                                       const QStringList &columns, QStringList *notes)
{
    std::optional<QList<QStringList>> repaired;
    qsizetype found = 0;
    for (qsizetype r = 0; r < rows.size(); ++r) {
        for (qsizetype c = 0; c < rows.at(r).size(); ++c) {
            if (!hasHalfCharacter(rows.at(r).at(c)))
                continue;
            if (!repaired)
                repaired = rows;
            (*repaired)[r][c] = withoutHalfCharacters(rows.at(r).at(c));
            if (++found <= MostNotes) {
                *notes << u"第 %1 行“%2”中有半个字符（常见于被截断的表情符号），已换成 \uFFFD"_s.arg(r + 1)
                              .arg(columns.value(c));
            }
        }
    }
    if (found > MostNotes)
        *notes << u"另有 %1 处半个字符也已换成 \uFFFD"_s.arg(found - MostNotes);
    return repaired;
}

// A name no template has, for rows written aside.
QString asideName()
{
    return u"__kuaidi_new_%1"_s.arg(qulonglong(QRandomGenerator::global()->generate64()), 16, 16,
                                    QChar(u'0'));
}

} // namespace

void RateDatabase::indexOlderTemplates()
{
    DbError error;
    QStringList names = m_engine->templatesWithoutRegionIndex(&error);
    names.removeIf([this](const QString &name) { return m_notIndexed.contains(name); });
    if (names.isEmpty())
        return;
    // A damaged file, or one that may not be written, is read as it is.
    // Each index is a counted change: other stations read that template
    // again, not every one.
    const QString lastError = m_lastError;
    if (!openForWriting() || !transact(u"为模板的地区建立索引失败"_s, [&]() -> DbError {
            for (const QString &name : std::as_const(names)) {
                if (DbError indexed = m_engine->indexRegions(name); indexed.isError())
                    return indexed;
                if (DbError counted = countChange(name); counted.isError())
                    return counted;
            }
            return {};
        }))
        m_notIndexed += names;
    m_lastError = lastError;
}

DbError RateDatabase::writeTemplate(const QString &name, const QStringList &columns,
                                    const QList<QStringList> &rows, TableWrite tableWrite,
                                    RulesWrite rulesWrite, const BillingRules &rules)
{
    if (tableWrite == TableWrite::Create) {
        if (DbError error = m_engine->createTable(name, columns, rows); error.isError())
            return error;
    } else {
        const QString aside = asideName();
        if (DbError error = m_engine->createTable(aside, columns, rows); error.isError())
            return error;
        if (DbError error = m_engine->swapTable(name, aside, tableWrite == TableWrite::Restore);
            error.isError())
            return error;
    }
    if (rulesWrite == RulesWrite::Save) {
        if (DbError error = storeRules(name, rules); error.isError())
            return error;
    } else if (rulesWrite == RulesWrite::Forget) {
        if (DbError error = forgetRules(name); error.isError())
            return error;
    }
    return countChange(name);
}

bool RateDatabase::createTemplate(const QString &name, const QStringList &columns,
                                  const QList<QStringList> &rows, const std::optional<BillingRules> &rules)
{
    m_lastError.clear();
    m_notes.clear();
    if (const QString problem = checkTemplateName(name); !problem.isEmpty())
        return fail(problem, QString());
    if (!acceptNames(name, columns) || !openForWriting())
        return false;
    QStringList notes;
    const std::optional<QList<QStringList>> repaired = repairHalfCharacters(rows, columns, &notes);
    // Whether the name is free is asked inside the transaction: on a file
    // no other writer can take it meanwhile, and on a server one that does
    // makes the table's creation fail as taken.
    bool taken = false;
    const bool created = transact(u"保存模板“%1”失败"_s.arg(name), [&]() -> DbError {
        DbError error;
        const std::optional<QStringList> existing = m_engine->templateNames(&error);
        if (!existing)
            return error;
        if (existing->contains(name, Qt::CaseInsensitive)) {
            taken = true;
            return {-1, takenMessage(name), takenMessage(name)};
        }
        // Rules left behind by a table that another program dropped are
        // not this template's.
        return writeTemplate(name, columns, repaired ? *repaired : rows, TableWrite::Create,
                             rules ? RulesWrite::Save : RulesWrite::Forget, rules.value_or(BillingRules()));
    });
    if (!created && (taken || m_nameTaken))
        return fail(takenMessage(name), QString());
    if (created)
        m_notes = notes;
    return created;
}

std::optional<QStringList> RateDatabase::templateColumns(const QString &name)
{
    m_lastError.clear();
    if (!open())
        return std::nullopt;
    DbError error;
    std::optional<QStringList> columns = m_engine->columnsOf(name, &error);
    if (!columns && requireTemplate(name))
        fail(u"读取模板“%1”失败"_s.arg(name), error);
    return columns;
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
    m_notes.clear();
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
    QStringList notes;
    if (const std::optional<QList<QStringList>> repaired = repairHalfCharacters({bound}, columns, &notes))
        bound = repaired->first();
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
    if (updated)
        m_notes = notes;
    return updated;
}

bool RateDatabase::insertRow(const QString &name, const QStringList &columns, const QStringList &values)
{
    m_lastError.clear();
    m_notes.clear();
    if (!openForWriting() || !requireTemplate(name))
        return false;
    QStringList quotedColumns;
    QStringList bound;
    for (qsizetype c = 0; c < columns.size(); ++c) {
        quotedColumns << Sql::quoted(columns.at(c));
        bound << (c < values.size() ? values.at(c) : QString());
    }
    QStringList notes;
    if (const std::optional<QList<QStringList>> repaired = repairHalfCharacters({bound}, columns, &notes))
        bound = repaired->first();
    const QString sql =
        InsertSql.arg(Sql::quoted(name), quotedColumns.join(u", "), Sql::placeholders(columns.size()));
    const bool inserted = transact(u"增加记录失败"_s, [&]() -> DbError {
        if (DbError error = m_engine->exec(sql, bound); error.isError())
            return error;
        return countChange(name);
    });
    if (inserted)
        m_notes = notes;
    return inserted;
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
                                   const QList<QStringList> &rows, const std::optional<BillingRules> &rules)
{
    m_lastError.clear();
    m_notes.clear();
    if (!acceptNames(name, columns) || !prepareToDestroy(name, u"替换模板"_s))
        return false;
    QStringList notes;
    const std::optional<QList<QStringList>> repaired = repairHalfCharacters(rows, columns, &notes);
    // The table is made again, since the new rows may bring other columns;
    // the rules stay, keyed by the name, unless new ones come with the rows.
    const bool replaced = transact(u"替换模板“%1”失败"_s.arg(name), [&]() -> DbError {
        return writeTemplate(name, columns, repaired ? *repaired : rows, TableWrite::Replace,
                             rules ? RulesWrite::Save : RulesWrite::Keep, rules.value_or(BillingRules()));
    });
    if (replaced)
        m_notes = notes;
    return replaced;
}

} // namespace Kuaidi
