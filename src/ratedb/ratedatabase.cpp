#include "ratedatabase.h"

#include "sqltext.h"

#include <core/schema.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QUuid>

#include <algorithm>
#include <array>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcRateDb, "kuaidi.ratedb")

namespace Kuaidi {

namespace {

constexpr auto DatabaseFileName = "kuaidishuju.db"_L1;

// The engine's catalogue: templates only, in creation order. SQLite keeps
// its own tables under the reserved "sqlite_" prefix, this program its own
// under "__kuaidi".
constexpr auto ListTablesSql =
    "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
    "AND name NOT LIKE '\\_\\_kuaidi%' ESCAPE '\\' ORDER BY rowid"_L1;
constexpr auto TableExistsSql = "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = ?"_L1;
constexpr auto ProbeSql = "SELECT count(*) FROM sqlite_master"_L1;
constexpr auto SelectAllSql = "SELECT * FROM %1"_L1;
constexpr auto SelectByRegionSql = "SELECT * FROM %1 WHERE %2 LIKE ? ESCAPE '\\'"_L1;
constexpr auto CreateTableSql = "CREATE TABLE %1 (%2)"_L1;
constexpr auto InsertSql = "INSERT INTO %1 (%2) VALUES (%3)"_L1;
constexpr auto UpdateSql = "UPDATE %1 SET %2"_L1;
constexpr auto WhereIdSql = " WHERE %1 = ?"_L1;
constexpr auto DeleteSql = "DELETE FROM %1 WHERE %2 = ?"_L1;
constexpr auto RenameSql = "ALTER TABLE %1 RENAME TO %2"_L1;

// The billing rules of every template that has saved some, as texts. The
// column names are the rules' own.
constexpr QStringView RulesTable = u"__kuaidi_rules";
constexpr QStringView CreateRulesSql =
    u"CREATE TABLE IF NOT EXISTS \"__kuaidi_rules\" (\"模板\" TEXT PRIMARY KEY, "
    u"\"计费取整\" TEXT, \"首重重量\" TEXT, \"抛重系数\" TEXT)";
constexpr QStringView SelectRulesSql =
    u"SELECT \"模板\", \"计费取整\", \"首重重量\", \"抛重系数\" FROM \"__kuaidi_rules\"";
constexpr QStringView SaveRulesSql =
    u"INSERT INTO \"__kuaidi_rules\" (\"模板\", \"计费取整\", \"首重重量\", \"抛重系数\") VALUES (?, ?, ?, "
    u"?) "
    u"ON CONFLICT (\"模板\") DO UPDATE SET \"计费取整\" = excluded.\"计费取整\", "
    u"\"首重重量\" = excluded.\"首重重量\", \"抛重系数\" = excluded.\"抛重系数\"";
constexpr QStringView RenameRulesSql = u"UPDATE \"__kuaidi_rules\" SET \"模板\" = ? WHERE \"模板\" = ?";
constexpr QStringView ForgetRulesSql = u"DELETE FROM \"__kuaidi_rules\" WHERE \"模板\" = ?";

bool isBlank(QChar c)
{
    return c.isSpace() || c == u'\u3000';
}

} // namespace

QString checkTemplateName(QStringView name)
{
    if (name.isEmpty())
        return u"模板名称不能为空，请输入模板名称！"_s;
    if (isBlank(name.front()) || isBlank(name.back()))
        return u"模板名称的开头和结尾不能有空格，请去掉空格后再试！"_s;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        char32_t code = c.unicode();
        if (c.isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate())
            code = QChar::surrogateToUcs4(c, name.at(++i));
        else if (c.isSurrogate())
            return u"模板名称中有无效的文字，请重新输入！"_s;
        const QChar::Category category = QChar::category(code);
        if (category == QChar::Other_Control || category == QChar::Other_Format)
            return u"模板名称不能包含控制字符！"_s;
        if (QChar::isNonCharacter(code))
            return u"模板名称不能包含非字符（如 U+FFFF），请重新输入！"_s;
    }
    if (name.startsWith(u"sqlite_", Qt::CaseInsensitive))
        return u"模板名称不能以 sqlite_ 开头！"_s;
    if (name.startsWith(u"__"))
        return u"模板名称不能以 __ 开头，这是程序自用的名称！"_s;
    return {};
}

RateDatabase::RateDatabase(const QString &path)
    : m_path(path), m_connectionName(u"kuaidi-"_s + QUuid::createUuid().toString(QUuid::WithoutBraces))
{
}

RateDatabase::~RateDatabase()
{
    close();
    QSqlDatabase::removeDatabase(m_connectionName);
}

QString RateDatabase::defaultPath()
{
    const QString programDir = QCoreApplication::applicationDirPath();
    const QFileInfo inProgramDir(QDir(programDir).filePath(DatabaseFileName));
    const bool usable =
        inProgramDir.exists() ? inProgramDir.isWritable() : QFileInfo(programDir).isWritable();
    if (usable)
        return inProgramDir.filePath();
    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(dataDir);
    return QDir(dataDir).filePath(DatabaseFileName);
}

QSqlDatabase RateDatabase::database() const
{
    return QSqlDatabase::database(m_connectionName, false);
}

bool RateDatabase::isOpen() const
{
    return database().isOpen();
}

// The user reads the first part; what the engine said goes to the log, in
// its own language, for whoever looks into it.
bool RateDatabase::fail(const QString &what, const QString &detail)
{
    m_lastError = what;
    qCWarning(lcRateDb).noquote() << m_path << what << detail;
    return false;
}

bool RateDatabase::open()
{
    m_lastError.clear();
    if (isOpen())
        return true;
    const QFileInfo file(m_path);
    if (file.exists() && !file.isFile())
        return fail(u"无法打开数据库文件 %1：这不是一个文件"_s.arg(m_path), {});
    if (file.exists() && !file.isReadable())
        return fail(u"无法打开数据库文件 %1：没有读取权限"_s.arg(m_path), {});
    if (!file.exists() && !file.dir().exists())
        return fail(u"无法创建数据库文件 %1：所在文件夹不存在"_s.arg(m_path), {});

    QSqlDatabase db = QSqlDatabase::contains(m_connectionName)
                          ? QSqlDatabase::database(m_connectionName, false)
                          : QSqlDatabase::addDatabase(u"QSQLITE"_s, m_connectionName);
    db.setDatabaseName(m_path);
    if (!db.open())
        return fail(u"无法打开数据库文件 %1"_s.arg(m_path), db.lastError().text());

    // SQLite reads the file lazily: only a first query tells a database from
    // any other file. Nothing has been written to it at this point.
    QSqlQuery probe(db);
    if (!probe.exec(ProbeSql)) {
        const QString detail = probe.lastError().text();
        probe = QSqlQuery();
        db.close();
        return fail(u"无法打开数据库文件 %1：它不是快递模板数据库"_s.arg(m_path), detail);
    }
    return true;
}

void RateDatabase::close()
{
    if (QSqlDatabase::contains(m_connectionName)) {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        db.close();
    }
}

QStringList RateDatabase::templateNames()
{
    m_lastError.clear();
    QStringList names;
    if (!open())
        return names;
    QSqlQuery query(database());
    query.setForwardOnly(true);
    if (!query.exec(ListTablesSql)) {
        fail(u"读取模板列表失败"_s, query.lastError().text());
        return names;
    }
    while (query.next())
        names << query.value(0).toString();
    return names;
}

bool RateDatabase::hasTemplate(const QString &name)
{
    const QStringList names = templateNames();
    return names.contains(name, Qt::CaseInsensitive); // SQLite table names ignore case
}

std::optional<TextTable> RateDatabase::readTemplate(const QString &name)
{
    m_lastError.clear();
    if (!open())
        return std::nullopt;
    QSqlQuery query(database());
    query.setForwardOnly(true);
    if (!query.exec(QString(SelectAllSql).arg(Sql::quoted(name)))) {
        fail(u"读取模板“%1”失败"_s.arg(name), query.lastError().text());
        return std::nullopt;
    }
    TextTable table;
    const QSqlRecord record = query.record();
    const int fieldCount = record.count();
    for (int i = 0; i < fieldCount; ++i)
        table.columns << record.fieldName(i);
    while (query.next()) {
        QStringList row;
        row.reserve(fieldCount);
        for (int i = 0; i < fieldCount; ++i)
            row << query.value(i).toString();
        table.rows << row;
    }
    return table;
}

std::optional<QList<QStringList>> RateDatabase::findRowsByRegion(const QString &name,
                                                                 const QString &destination)
{
    const QList<RegionSearchResult> results = findRowsByRegion(QStringList{name}, destination);
    if (results.isEmpty() || results.first().failed)
        return std::nullopt;
    return results.first().rows;
}

QList<RegionSearchResult> RateDatabase::findRowsByRegion(const QStringList &names, const QString &destination)
{
    m_lastError.clear();
    QList<RegionSearchResult> results;
    if (!open()) {
        for (const QString &name : names)
            results.append({name, {}, true});
        return results;
    }
    QSqlDatabase db = database();
    const bool inTransaction = db.transaction(); // one lock of the file, not one per statement
    m_searchCache.forgetIfChangedElsewhere(db);
    QString firstError;
    for (const QString &name : names) {
        std::optional<QList<QStringList>> rows = searchTemplate(name, destination);
        if (!rows && firstError.isEmpty())
            firstError = m_lastError;
        results.append({name, rows.value_or(QList<QStringList>()), !rows.has_value()});
    }
    if (inTransaction)
        db.commit();
    m_lastError = firstError;
    return results;
}

std::optional<QList<QStringList>> RateDatabase::searchTemplate(const QString &name,
                                                               const QString &destination)
{
    RegionSearchCache::Result result = m_searchCache.search(database(), name, destination);
    if (!result.searched)
        return findRowsByRegionWithLike(name, destination);
    if (!result.error.isEmpty()) {
        fail(u"查询模板“%1”失败"_s.arg(name), result.error);
        return std::nullopt;
    }
    return std::move(result.rows);
}

// Tables without row keys, or an engine without them, are searched the plain way.
std::optional<QList<QStringList>> RateDatabase::findRowsByRegionWithLike(const QString &name,
                                                                         const QString &destination)
{
    QSqlQuery query(database());
    query.setForwardOnly(true);
    if (!query.prepare(
            QString(SelectByRegionSql).arg(Sql::quoted(name), Sql::quoted(RateColumns().at(ColumnRegion))))) {
        fail(u"查询模板“%1”失败"_s.arg(name), query.lastError().text());
        return std::nullopt;
    }
    query.addBindValue(Sql::likeContainsPattern(destination));
    if (!query.exec()) {
        fail(u"查询模板“%1”失败"_s.arg(name), query.lastError().text());
        return std::nullopt;
    }
    QList<QStringList> rows;
    appendRateRows(query, rateFieldsOf(query.record()), rows);
    return rows;
}

bool RateDatabase::createTemplate(const QString &name, const QStringList &columns,
                                  const QList<QStringList> &rows)
{
    m_lastError.clear();
    if (const QString problem = checkTemplateName(name); !problem.isEmpty())
        return fail(problem, {});
    if (columns.isEmpty())
        return fail(u"模板没有任何列"_s, {});
    for (qsizetype i = 0; i < columns.size(); ++i) {
        if (columns.at(i).trimmed().isEmpty())
            return fail(u"表格中有一列没有标题，请补上标题后重新读取"_s, {});
        if (columns.indexOf(columns.at(i), i + 1) > 0)
            return fail(u"表格中有两列都叫“%1”，请修改标题后重新读取"_s.arg(columns.at(i)), {});
    }
    if (!open())
        return false;
    if (templateNames().contains(name, Qt::CaseInsensitive))
        return fail(u"已有名为“%1”的快递模板，请换一个名称"_s.arg(name), {});

    QStringList definitions;
    QStringList quotedColumns;
    for (const QString &column : columns) {
        quotedColumns << Sql::quoted(column);
        definitions << Sql::quoted(column) + " TEXT"_L1;
    }
    const bool created = transact(u"保存模板“%1”失败"_s.arg(name), [&](QSqlDatabase &db) -> QString {
        QSqlQuery create(db);
        if (!create.exec(QString(CreateTableSql).arg(Sql::quoted(name), definitions.join(u", "))))
            return create.lastError().text();
        QSqlQuery insert(db);
        if (!insert.prepare(QString(InsertSql).arg(Sql::quoted(name), quotedColumns.join(u", "),
                                                   Sql::placeholders(columns.size()))))
            return insert.lastError().text();
        for (const QStringList &row : rows) {
            for (qsizetype c = 0; c < columns.size(); ++c)
                insert.bindValue(int(c), c < row.size() ? row.at(c) : QString());
            if (!insert.exec())
                return insert.lastError().text();
        }
        // Rules left behind by a table that another program dropped are
        // not this template's.
        return forgetRules(db, name);
    });
    m_searchCache.forget(name);
    return created;
}

bool RateDatabase::updateRows(const QString &name, const QList<ColumnValue> &values,
                              const std::optional<QString> &id, int *rowsChanged)
{
    m_lastError.clear();
    if (rowsChanged)
        *rowsChanged = 0;
    if (values.isEmpty())
        return fail(u"没有需要修改的列"_s, {});
    if (!open())
        return false;
    QStringList assignments;
    for (const ColumnValue &v : values)
        assignments << Sql::quoted(v.column) + " = ?"_L1;
    QString sql = QString(UpdateSql).arg(Sql::quoted(name), assignments.join(u", "));
    if (id)
        sql += QString(WhereIdSql).arg(Sql::quoted(RateColumns().at(ColumnId)));

    QSqlQuery query(database());
    if (!query.prepare(sql))
        return fail(u"修改模板“%1”失败"_s.arg(name), query.lastError().text());
    for (const ColumnValue &v : values)
        query.addBindValue(v.value);
    if (id)
        query.addBindValue(*id);
    if (!query.exec())
        return fail(u"修改模板“%1”失败"_s.arg(name), query.lastError().text());
    m_searchCache.forget(name);
    if (rowsChanged)
        *rowsChanged = query.numRowsAffected();
    return true;
}

bool RateDatabase::insertRow(const QString &name, const QStringList &columns, const QStringList &values)
{
    m_lastError.clear();
    if (!open())
        return false;
    QStringList quotedColumns;
    for (const QString &column : columns)
        quotedColumns << Sql::quoted(column);
    QSqlQuery query(database());
    if (!query.prepare(QString(InsertSql).arg(Sql::quoted(name), quotedColumns.join(u", "),
                                              Sql::placeholders(columns.size()))))
        return fail(u"增加记录失败"_s, query.lastError().text());
    for (qsizetype c = 0; c < columns.size(); ++c)
        query.addBindValue(c < values.size() ? values.at(c) : QString());
    if (!query.exec())
        return fail(u"增加记录失败"_s, query.lastError().text());
    m_searchCache.forget(name);
    return true;
}

bool RateDatabase::deleteRows(const QString &name, const QString &id, int *rowsDeleted)
{
    m_lastError.clear();
    if (rowsDeleted)
        *rowsDeleted = 0;
    if (!open())
        return false;
    QSqlQuery query(database());
    if (!query.prepare(QString(DeleteSql).arg(Sql::quoted(name), Sql::quoted(RateColumns().at(ColumnId)))))
        return fail(u"删除记录失败"_s, query.lastError().text());
    query.addBindValue(id);
    if (!query.exec())
        return fail(u"删除记录失败"_s, query.lastError().text());
    m_searchCache.forget(name);
    if (rowsDeleted)
        *rowsDeleted = query.numRowsAffected();
    return true;
}

bool RateDatabase::renameTemplate(const QString &oldName, const QString &newName)
{
    m_lastError.clear();
    if (const QString problem = checkTemplateName(newName); !problem.isEmpty())
        return fail(problem, {});
    if (!open())
        return false;
    const QStringList names = templateNames();
    if (!names.contains(oldName))
        return fail(u"没有名为“%1”的快递模板"_s.arg(oldName), {});
    if (names.contains(newName, Qt::CaseInsensitive) && newName.compare(oldName, Qt::CaseInsensitive) != 0)
        return fail(u"已有名为“%1”的快递模板，请换一个名称"_s.arg(newName), {});
    // The rules go with the name, in the same transaction.
    const bool renamed = transact(u"模板“%1”改名失败"_s.arg(oldName), [&](QSqlDatabase &db) -> QString {
        QSqlQuery query(db);
        if (!query.exec(QString(RenameSql).arg(Sql::quoted(oldName), Sql::quoted(newName))))
            return query.lastError().text();
        if (!tableExists(db, RulesTable.toString()))
            return {};
        return execBound(db, RenameRulesSql, {newName, oldName});
    });
    if (!renamed)
        return false;
    m_searchCache.forget(oldName);
    m_searchCache.forget(newName);
    return true;
}

bool RateDatabase::transact(const QString &failure, const std::function<QString(QSqlDatabase &)> &steps)
{
    QSqlDatabase db = database();
    if (!db.transaction())
        return fail(failure, db.lastError().text());
    QString error = steps(db);
    if (error.isEmpty() && !db.commit())
        error = db.lastError().text();
    if (!error.isEmpty()) {
        db.rollback();
        return fail(failure, error);
    }
    return true;
}

QString RateDatabase::execBound(const QSqlDatabase &db, QStringView sql, const QVariantList &values)
{
    QSqlQuery query(db);
    if (!query.prepare(sql.toString()))
        return query.lastError().text();
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec())
        return query.lastError().text();
    return {};
}

bool RateDatabase::tableExists(const QSqlDatabase &db, const QString &table)
{
    QSqlQuery query(db);
    query.prepare(TableExistsSql);
    query.addBindValue(table);
    return query.exec() && query.next() && query.value(0).toInt() > 0;
}

QString RateDatabase::forgetRules(const QSqlDatabase &db, const QString &name)
{
    if (!tableExists(db, RulesTable.toString()))
        return {};
    return execBound(db, ForgetRulesSql, {name});
}

std::optional<QHash<QString, BillingRules>> RateDatabase::savedBillingRules()
{
    QHash<QString, BillingRules> saved;
    QSqlDatabase db = database();
    if (!tableExists(db, RulesTable.toString()))
        return saved;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(SelectRulesSql.toString())) {
        fail(u"读取计费规则失败"_s, query.lastError().text());
        return std::nullopt;
    }
    while (query.next()) {
        const QString name = query.value(0).toString();
        QString problem;
        const std::optional<BillingRules> rules = billingRulesFromTexts(
            query.value(1).toString(), query.value(2).toString(), query.value(3).toString(), &problem);
        // Rules someone else wrote into the file and no courier can use are
        // not guessed at: the template bills by the defaults.
        if (!rules)
            qCWarning(lcRateDb).noquote() << m_path << name << problem;
        saved.insert(name, rules.value_or(BillingRules()));
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
    m_lastError.clear();
    if (!open())
        return std::nullopt;
    if (!templateNames().contains(name)) {
        if (m_lastError.isEmpty())
            fail(u"没有名为“%1”的快递模板"_s.arg(name), {});
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
    if (!open())
        return false;
    if (!templateNames().contains(name)) {
        if (m_lastError.isEmpty())
            fail(u"没有名为“%1”的快递模板"_s.arg(name), {});
        return false;
    }
    const QStringList texts = billingRuleTexts(rules);
    return transact(u"保存模板“%1”的计费规则失败"_s.arg(name), [&](QSqlDatabase &db) -> QString {
        QSqlQuery create(db);
        if (!create.exec(CreateRulesSql.toString()))
            return create.lastError().text();
        return execBound(db, SaveRulesSql, {name, texts.at(0), texts.at(1), texts.at(2)});
    });
}

} // namespace Kuaidi
