#include "sqlitebackupfiles.h"

#include "programtables.h"
#include "sqltext.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

constexpr QStringView AllTablesSql = u"SELECT name FROM sqlite_master WHERE type = 'table'";
constexpr QStringView TableShapeSql = u"SELECT name, pk FROM pragma_table_info(?)";
constexpr QStringView SelectBackupInfoSql = u"SELECT \"模板\" FROM \"__kuaidi_backup\"";
constexpr QStringView DropBackupInfoSql = u"DROP TABLE IF EXISTS \"__kuaidi_backup\"";
constexpr QStringView SelectChangesSql = u"SELECT \"模板\", \"版本\" FROM \"__kuaidi_changes\"";
constexpr QStringView SelectRulesOfSql = u"SELECT * FROM \"__kuaidi_rules\" WHERE \"模板\" = ?";

DbError refusal(const QString &reason)
{
    return {-1, reason, reason};
}

// What a failure to read a backup means: said of the backup, not of the
// database in use.
DbError backupError(const Sqlite::Error &error)
{
    DbError failure = toDb(error);
    switch (error.code & 0xFF) {
    case SQLITE_NOTADB:
        failure.reason = u"备份文件不是数据库"_s;
        break;
    case SQLITE_CORRUPT:
        failure.reason = u"备份文件已损坏"_s;
        break;
    default:
        break;
    }
    return failure;
}

// A table's columns, and which of them make its primary key.
struct TableShape
{
    QStringList columns;
    QStringList key;
};

TableShape shapeOf(sqlite3 *db, const QString &table)
{
    TableShape shape;
    Sqlite::Statement statement(db, TableShapeSql);
    statement.bind(1, table);
    while (statement.step() == Sqlite::Statement::Step::Row) {
        shape.columns << statement.text(0);
        if (statement.integer(1) > 0)
            shape.key << statement.text(0);
    }
    return shape;
}

// Why the program's own table @p table of a backup is not of this program's
// shape, or the empty text: a restore relies on it.
QString programTableProblem(sqlite3 *db, const QString &table)
{
    const TableShape shape = shapeOf(db, table);
    QString problem = u"备份中的程序表 %1 不是本程序的格式"_s.arg(table);
    if (table == ProgramTables::Changes)
        return shape.columns == QStringList{u"模板"_s, u"版本"_s} && shape.key == QStringList{u"模板"_s}
                   ? QString()
                   : problem;
    if (table == ProgramTables::Rules) {
        if (shape.key != QStringList{u"模板"_s})
            return problem;
        const QString rules = ProgramTables::rulesTableProblem(shape.columns);
        return rules.isEmpty() ? QString() : problem + u"（"_s + rules + u"）"_s;
    }
    if (table == ProgramTables::BackupInfo)
        return shape.columns == QStringList{u"模板"_s} ? QString() : problem;
    return {};
}

} // namespace

DbError toDb(const Sqlite::Error &error)
{
    return {error.code, error.message, Sqlite::reasonText(error.code)};
}

QStringList backupInfoOf(const QString &path)
{
    Sqlite::Connection file;
    if (file.open(path, 0, Sqlite::Connection::Mode::ReadOnly).isError())
        return {};
    Sqlite::Statement info(file.handle(), SelectBackupInfoSql);
    if (info.step() != Sqlite::Statement::Step::Row)
        return {};
    QStringList templates;
    for (const QJsonValue name : QJsonDocument::fromJson(info.text(0).toUtf8()).array())
        templates << name.toString();
    return templates;
}

DbError checkBackupFile(const QString &path, int busyTimeoutMs)
{
    const QFileInfo file(path);
    if (!file.isFile())
        return refusal(u"备份文件不见了"_s);
    if (file.size() == 0)
        return refusal(u"备份文件是空的（0 字节），不是数据库"_s);
    Sqlite::Connection source;
    if (const Sqlite::Error error = source.open(path, busyTimeoutMs, Sqlite::Connection::Mode::ReadOnly);
        error.isError())
        return backupError(error);
    // Reading the catalogue parses the whole schema.
    Sqlite::Error error;
    source.scalar(ProbeSql, &error);
    if (error.isError())
        return backupError(error);
    Sqlite::Statement check(source.handle(), QuickCheckSql);
    QStringList found;
    while (check.step() == Sqlite::Statement::Step::Row)
        found << check.text(0);
    if (check.error().isError())
        return backupError(check.error());
    if (found != QStringList{u"ok"_s})
        return {-1, found.join(u"; "), u"备份文件已损坏（完整性检查没有通过）"_s};
    QStringList tables;
    Sqlite::Statement list(source.handle(), AllTablesSql);
    while (list.step() == Sqlite::Statement::Step::Row)
        tables << list.text(0);
    if (list.error().isError())
        return backupError(list.error());
    for (const QString &table : std::as_const(tables)) {
        const Sqlite::Statement read(source.handle(), SelectAllSql.arg(Sql::quoted(table)));
        if (!read.isValid())
            return {read.error().code, read.error().message, u"备份中的表“%1”无法读取"_s.arg(table)};
        if (const QString problem = programTableProblem(source.handle(), table); !problem.isEmpty())
            return refusal(problem);
    }
    return {};
}

std::optional<QStringList> templatesOfBackupFile(const QString &path, int busyTimeoutMs, DbError *error)
{
    Sqlite::Connection source;
    if (const Sqlite::Error opened = source.open(path, busyTimeoutMs, Sqlite::Connection::Mode::ReadOnly);
        opened.isError()) {
        *error = toDb(opened);
        return std::nullopt;
    }
    QStringList names;
    Sqlite::Statement query(source.handle(), ListTablesSql);
    while (query.step() == Sqlite::Statement::Step::Row)
        names << query.text(0);
    if (query.error().isError()) {
        *error = toDb(query.error());
        return std::nullopt;
    }
    return names;
}

std::optional<BackedUpTemplate> templateOfBackupFile(const QString &path, int busyTimeoutMs,
                                                     const QString &name, DbError *error)
{
    Sqlite::Connection source;
    if (const Sqlite::Error opened = source.open(path, busyTimeoutMs, Sqlite::Connection::Mode::ReadOnly);
        opened.isError()) {
        *error = toDb(opened);
        return std::nullopt;
    }
    BackedUpTemplate read;
    Sqlite::Statement rows(source.handle(), SelectAllSql.arg(Sql::quoted(name)));
    for (int c = 0; c < rows.columnCount(); ++c)
        read.columns << rows.columnName(c);
    while (rows.step() == Sqlite::Statement::Step::Row) {
        QStringList row;
        row.reserve(read.columns.size());
        for (int c = 0; c < read.columns.size(); ++c)
            row << rows.text(c);
        read.rows.append(std::move(row));
    }
    if (rows.error().isError()) {
        *error = toDb(rows.error());
        return std::nullopt;
    }
    Sqlite::Statement rules(source.handle(), SelectRulesOfSql);
    if (rules.isValid()) { // no table: no rules
        rules.bind(1, name);
        if (rules.step() == Sqlite::Statement::Step::Row) {
            QStringList columns;
            QStringList values;
            for (int c = 0; c < rules.columnCount(); ++c) {
                columns << rules.columnName(c);
                values << rules.text(c);
            }
            read.rules = ProgramTables::ruleTextsByName(columns, values);
        }
        if (rules.error().isError()) {
            *error = toDb(rules.error());
            return std::nullopt;
        }
    }
    return read;
}

DbError prepareRestoreFile(const QString &path, const QString &aside, int busyTimeoutMs,
                           const QHash<QString, qint64> &counters)
{
    {
        Sqlite::Connection source;
        DbError error = toDb(source.open(path, busyTimeoutMs, Sqlite::Connection::Mode::ReadOnly));
        if (error.isError())
            return error;
        Sqlite::Statement vacuum(source.handle(), VacuumIntoSql);
        vacuum.bind(1, aside);
        if (!vacuum.run())
            return toDb(vacuum.error());
    }
    Sqlite::Connection copy;
    if (DbError error = toDb(copy.open(aside, busyTimeoutMs)); error.isError())
        return error;
    for (const QStringView sql :
         {DropBackupInfoSql, ProgramTables::CreateChangesSql, QStringView(u"BEGIN")}) {
        if (DbError error = toDb(copy.exec(sql)); error.isError())
            return error;
    }
    // Every template counts as changed, beyond any version seen before,
    // so that no program keeps rows of the state that is replaced.
    QHash<QString, qint64> versions = counters;
    {
        Sqlite::Statement restored(copy.handle(), SelectChangesSql);
        while (restored.step() == Sqlite::Statement::Step::Row)
            versions[restored.text(0)] = qMax(versions.value(restored.text(0)), restored.integer(1));
        if (restored.error().isError())
            return toDb(restored.error());
    }
    Sqlite::Statement set(copy.handle(), ProgramTables::SetChangeSql);
    for (auto it = versions.cbegin(); it != versions.cend(); ++it) {
        set.reset();
        set.bind(1, it.key());
        set.bind(2, it.value() + 1);
        if (!set.run())
            return toDb(set.error());
    }
    return toDb(copy.exec(u"COMMIT"));
}

} // namespace Kuaidi
