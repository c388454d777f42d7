#include "ratedatabase.h"

#include "programtables.h"
#include "sqltext.h"

#include <core/limits.h>
#include <core/schema.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSet>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>
#include <chrono>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcRateDb, "kuaidi.ratedb")

namespace Kuaidi {

namespace {

constexpr auto DatabaseFileName = "kuaidishuju.db"_L1;

constexpr QStringView UpdateSql = u"UPDATE %1 SET %2";
constexpr QStringView WhereIdSql = u" WHERE %1 = ?";
constexpr QStringView DeleteSql = u"DELETE FROM %1 WHERE %2 = ?";
constexpr QStringView InsertSql = u"INSERT INTO %1 (%2) VALUES (%3)";
constexpr QStringView SetChangeSql = u"INSERT INTO \"__kuaidi_changes\" (\"模板\", \"版本\") VALUES (?, ?) "
                                     u"ON CONFLICT (\"模板\") DO UPDATE SET \"版本\" = excluded.\"版本\"";

constexpr auto BackupFolderName = "backups"_L1;
constexpr qsizetype BackupsKept = 30;

// The billing rules of every template that has saved some, as texts. The
// column names are the rules' own.
constexpr QStringView SelectRulesSql =
    u"SELECT \"模板\", \"计费取整\", \"首重重量\", \"抛重系数\" FROM \"__kuaidi_rules\"";
constexpr QStringView SaveRulesSql =
    u"INSERT INTO \"__kuaidi_rules\" (\"模板\", \"计费取整\", \"首重重量\", \"抛重系数\") VALUES (?, ?, ?, "
    u"?) "
    u"ON CONFLICT (\"模板\") DO UPDATE SET \"计费取整\" = excluded.\"计费取整\", "
    u"\"首重重量\" = excluded.\"首重重量\", \"抛重系数\" = excluded.\"抛重系数\"";
// A counter a template a write of this program bumps, so that other
// connections know which templates to read again.
constexpr QStringView BumpChangeSql =
    u"INSERT INTO \"__kuaidi_changes\" (\"模板\", \"版本\") VALUES (?, 1) "
    u"ON CONFLICT (\"模板\") DO UPDATE SET \"版本\" = \"__kuaidi_changes\".\"版本\" + 1 RETURNING \"版本\"";
constexpr QStringView SelectChangesSql = u"SELECT \"模板\", \"版本\" FROM \"__kuaidi_changes\"";

constexpr QStringView RenameRulesSql = u"UPDATE \"__kuaidi_rules\" SET \"模板\" = ? WHERE \"模板\" = ?";
constexpr QStringView ForgetRulesSql = u"DELETE FROM \"__kuaidi_rules\" WHERE \"模板\" = ?";

QString foldAscii(QString text)
{
    for (QChar &c : text) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    }
    return text;
}

QHash<QString, qint64> changeCountersOf(Engine &engine)
{
    QHash<QString, qint64> counters;
    std::unique_ptr<RowCursor> query = engine.query(SelectChangesSql, {});
    while (query->next())
        counters.insert(query->text(0), query->text(1).toLongLong());
    return counters; // no table yet: nothing was counted
}

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

QString checkTemplateColumns(const QStringList &columns)
{
    if (columns.isEmpty())
        return u"模板没有任何列"_s;
    if (columns.size() > MaxTemplateColumns) {
        return u"表格有 %1 列，数据库一个模板最多只能保存 %2 列，请删去不需要的列后重新读取"_s
            .arg(columns.size())
            .arg(MaxTemplateColumns);
    }
    // The engine compares column names without regard to ASCII case.
    QSet<QString> seen;
    for (const QString &column : columns) {
        if (column.trimmed().isEmpty())
            return u"表格中有一列没有标题，请补上标题后重新读取"_s;
        QString key = column;
        for (QChar &c : key) {
            if (c.unicode() < 128)
                c = c.toLower();
        }
        if (seen.contains(key))
            return u"表格中有两列都叫“%1”，请修改标题后重新读取"_s.arg(column);
        seen.insert(key);
    }
    return {};
}

QString RateDatabase::defaultPath()
{
    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QString path = defaultPathFor(QCoreApplication::applicationDirPath(), dataDir);
    if (path.startsWith(dataDir))
        QDir().mkpath(dataDir);
    return path;
}

bool RateDatabase::isSystemProgramDir(const QString &programDir)
{
    const QString dir = QDir::cleanPath(QDir(programDir).absolutePath());
#ifdef KUAIDI_INSTALL_BINDIR
    if (dir == QDir::cleanPath(QStringLiteral(KUAIDI_INSTALL_BINDIR)))
        return true;
#endif
#ifdef Q_OS_WIN
    for (const char *variable : {"ProgramFiles", "ProgramFiles(x86)", "ProgramW6432"}) {
        const QString root = QDir::cleanPath(QDir::fromNativeSeparators(qEnvironmentVariable(variable)));
        if (!root.isEmpty() &&
            (dir.compare(root, Qt::CaseInsensitive) == 0 || dir.startsWith(root + u'/', Qt::CaseInsensitive)))
            return true;
    }
    return false;
#else
    for (const QLatin1StringView root : {"/usr"_L1, "/opt"_L1, "/snap"_L1, "/bin"_L1, "/sbin"_L1}) {
        if (dir == root || dir.startsWith(root + u'/'))
            return true;
    }
    return false;
#endif
}

QString RateDatabase::defaultPathFor(const QString &programDir, const QString &dataDir)
{
    QString inDataDir = QDir(dataDir).filePath(DatabaseFileName);
    if (isSystemProgramDir(programDir))
        return inDataDir;
    const QFileInfo inProgramDir(QDir(programDir).filePath(DatabaseFileName));
    const bool usable =
        inProgramDir.exists() ? inProgramDir.isWritable() : QFileInfo(programDir).isWritable();
    return usable ? inProgramDir.filePath() : inDataDir;
}

RateDatabase::RateDatabase(const QString &location) : m_path(location)
{
    m_engine = makeEngine(location, m_busyTimeoutMs, &m_locationProblem);
}

RateDatabase::~RateDatabase()
{
    close();
}

void RateDatabase::setBusyTimeout(int milliseconds)
{
    close();
    m_busyTimeoutMs = milliseconds;
    m_engine = makeEngine(m_path, m_busyTimeoutMs, &m_locationProblem);
}

void RateDatabase::setLocation(const QString &location)
{
    close();
    m_path = location;
    m_checked = false;
    m_lastError.clear();
    m_locationProblem.clear();
    m_engine = makeEngine(m_path, m_busyTimeoutMs, &m_locationProblem);
}

QString RateDatabase::probe(const QString &location)
{
    RateDatabase db(location);
    db.templateNames();
    return db.lastError();
}

QString RateDatabase::shortName() const
{
    return isOnServer() ? displayName() : QFileInfo(m_path).fileName();
}

bool RateDatabase::isOpen() const
{
    return m_engine && m_engine->isOpen();
}

QString RateDatabase::displayName() const
{
    return m_engine ? m_engine->displayName() : m_path;
}

bool RateDatabase::isOnServer() const
{
    return isServerLocation(m_path);
}

// The user reads the first part; what the engine said goes to the log, in
// its own language, for whoever looks into it.
bool RateDatabase::fail(const QString &what, const QString &detail)
{
    m_lastError = what;
    qCWarning(lcRateDb).noquote() << displayName() << what << detail;
    return false;
}

// A failure with the engine's error: what failed, then what it means ("…：数据
// 库文件是只读的…"), so that no failure comes without its reason.
bool RateDatabase::fail(const QString &what, const DbError &error)
{
    return fail(error.reason.isEmpty() ? what : what + u"：" + error.reason,
                u"(%1) %2"_s.arg(error.code).arg(error.message));
}

bool RateDatabase::open()
{
    m_lastError.clear();
    if (!m_engine)
        return fail(m_locationProblem, QString());
    if (isOpen())
        return true;
    if (const DbError opened = m_engine->open(); opened.isError())
        return fail(m_engine->openFailure(), opened);
    return true;
}

void RateDatabase::close()
{
    if (m_preload.valid()) {
        *m_preloadCancelled = true; // a program closed at once need not wait for it
        m_preload.wait();
        m_preload = {};
    }
    m_cached.clear();
    m_versions.clear();
    m_dataVersion = -1;
    if (m_engine)
        m_engine->close();
}

bool RateDatabase::openForWriting()
{
    if (m_engine && m_engine->wasRemoved())
        close();
    if (!open())
        return false;
    if (m_checked)
        return true;
    QStringList problems;
    if (const DbError error = m_engine->checkIntegrity(&problems); error.isError())
        return fail(u"无法修改数据库文件 %1"_s.arg(displayName()), error);
    if (!problems.isEmpty()) {
        return fail(u"数据库文件 %1 已损坏（完整性检查没有通过），为保护其中的数据，程序不会再写入它。"
                    u"请从备份恢复，或把它复制一份后交给技术人员检查"_s.arg(displayName()),
                    problems.join(u"; "));
    }
    m_checked = true;
    return true;
}

bool RateDatabase::transact(const QString &failure, const std::function<DbError()> &steps)
{
    if (const DbError begun = m_engine->begin(Engine::Access::Write); begun.isError())
        return fail(failure, begun);
    m_countedChanges.clear();
    DbError error = steps();
    if (!error.isError())
        error = m_engine->commit();
    if (error.isError()) {
        m_engine->rollback();
        m_countedChanges.clear();
        return fail(failure, error);
    }
    m_versions.insert(m_countedChanges);
    m_countedChanges.clear();
    return true;
}

bool RateDatabase::requireTemplate(const QString &name)
{
    DbError error;
    if (m_engine->tableExists(name, &error))
        return true;
    if (error.isError())
        return fail(u"读取模板“%1”失败"_s.arg(name), error);
    return fail(u"快递模板“%1”已不存在：可能刚被其他程序或其他电脑删除或改名，请重新选择模板"_s.arg(name),
                QString());
}

// Made only when missing: a server account that may write rows but not make
// tables can still save.
DbError RateDatabase::ensureTable(QStringView table, QStringView createSql)
{
    DbError error;
    if (m_engine->tableExists(table.toString(), &error) || error.isError())
        return error;
    return m_engine->exec(createSql);
}

bool RateDatabase::acceptNames(const QString &name, const QStringList &columns)
{
    QString problem = checkTemplateColumns(columns);
    if (problem.isEmpty() && m_engine)
        problem = m_engine->checkNames(name, columns);
    return problem.isEmpty() || fail(problem, QString());
}

QStringList RateDatabase::templateNames()
{
    m_lastError.clear();
    if (!open())
        return {};
    DbError error;
    std::optional<QStringList> names = m_engine->templateNames(&error);
    if (!names) {
        fail(u"读取模板列表失败"_s, error);
        return {};
    }
    return *names;
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
    // Prepared against the tables this connection last saw: a template that
    // another program dropped since fails only at the first step.
    std::unique_ptr<RowCursor> query = m_engine->readTable(name);
    TextTable table;
    const int fieldCount = query->columnCount();
    for (int i = 0; i < fieldCount; ++i)
        table.columns << query->columnName(i);
    while (query->next()) {
        QStringList row;
        row.reserve(fieldCount);
        for (int i = 0; i < fieldCount; ++i)
            row << query->text(i);
        table.rows << row;
    }
    if (const DbError error = query->error(); error.isError()) {
        query.reset();
        if (requireTemplate(name))
            fail(u"读取模板“%1”失败"_s.arg(name), error);
        return std::nullopt;
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
    const QList<std::shared_ptr<const TemplateRows>> templates = templateRows(names);
    const QString needle = foldAscii(destination);
    QList<RegionSearchResult> results;
    for (qsizetype t = 0; t < names.size(); ++t) {
        const TemplateRows *rows = templates.at(t).get();
        RegionSearchResult result{names.at(t), {}, rows == nullptr};
        for (qsizetype r = 0; rows && r < rows->rowCount(); ++r) {
            // NULL is LIKE nothing, not even ''.
            if (rows->regionIsNull(r) || !rows->foldedRegion(r).contains(needle))
                continue;
            QStringList cells;
            cells.reserve(RateColumnCount);
            for (int c = 0; c < RateColumnCount; ++c)
                cells << rows->cell(r, c);
            result.rows.append(std::move(cells));
        }
        results.append(std::move(result));
    }
    return results;
}

QList<std::shared_ptr<const TemplateRows>> RateDatabase::templateRows(const QStringList &names,
                                                                      QStringList *failed)
{
    m_lastError.clear();
    QList<std::shared_ptr<const TemplateRows>> result;
    result.reserve(names.size());
    if (!open()) {
        result.resize(names.size());
        if (failed)
            *failed += names;
        return result;
    }
    takePreload();
    // Rows held in memory are used as they are when nothing changed since
    // they were read: one look at the database's version, no transaction.
    refreshChangedTemplates();
    const bool allHeld = std::all_of(names.cbegin(), names.cend(),
                                     [this](const QString &name) { return m_cached.contains(name); });
    // Templates read now are read from one consistent state of the database.
    const bool inTransaction = !allHeld && !m_engine->begin(Engine::Access::Read).isError();
    if (inTransaction)
        refreshChangedTemplates();
    QString firstError;
    for (const QString &name : names) {
        auto it = m_cached.constFind(name);
        if (it == m_cached.cend()) {
            DbError error;
            std::shared_ptr<const TemplateRows> rows =
                TemplateRows::load(*m_engine->readTable(name), name, &error);
            if (!rows) {
                if (firstError.isEmpty()) {
                    fail(u"查询模板“%1”失败"_s.arg(name), error);
                    firstError = m_lastError;
                }
                if (failed)
                    failed->append(name);
                result.append(nullptr);
                continue;
            }
            it = m_cached.insert(name, {std::move(rows), m_versions.value(name)});
        }
        result.append(it->rows);
    }
    if (inTransaction)
        m_engine->commit();
    m_lastError = firstError;
    return result;
}

void RateDatabase::preloadTemplateRows()
{
    if (m_preload.valid()) {
        if (m_preload.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            return;
        takePreload();
    }
    if (!open())
        return;
    // What the file holds now is settled on this connection first: any write
    // from here on changes its data version, so rows read below that turn
    // out older than the file are read again when next asked for.
    refreshChangedTemplates();
    DbError error;
    QStringList names = m_engine->templateNames(&error).value_or(QStringList());
    names.removeIf([this](const QString &name) { return m_cached.contains(name); });
    if (names.isEmpty())
        return;
    // Connections of their own, on threads of their own, each reading every
    // other template; they share nothing with this object but the database.
    // The change counters are read in the same transaction as the rows, so
    // that a template changed meanwhile is known to be older than the file.
    m_preloadCancelled = std::make_shared<std::atomic_bool>(false);
    const std::shared_ptr<const Engine> engine = m_engine->another();
    m_preload = std::async(std::launch::async, [engine, names, cancelled = m_preloadCancelled] {
        const auto readShare = [engine, names, cancelled](int share, int shares) {
            Preloaded preloaded;
            const std::unique_ptr<Engine> db = engine->another();
            if (db->open().isError() || db->begin(Engine::Access::Read).isError())
                return preloaded;
            preloaded.versions = changeCountersOf(*db);
            for (qsizetype i = share; i < names.size() && !*cancelled; i += shares) {
                DbError error;
                if (std::shared_ptr<const TemplateRows> rows =
                        TemplateRows::load(*db->readTable(names.at(i)), names.at(i), &error))
                    preloaded.templates.insert(names.at(i),
                                               {std::move(rows), preloaded.versions.value(names.at(i))});
            }
            db->commit();
            return preloaded;
        };
        const int shares =
            int(qBound(qsizetype(1), qsizetype(QThread::idealThreadCount()), qMin(names.size(), 4)));
        std::vector<std::future<Preloaded>> others;
        for (int share = 1; share < shares; ++share)
            others.push_back(std::async(std::launch::async, readShare, share, shares));
        Preloaded preloaded = readShare(0, shares);
        for (std::future<Preloaded> &other : others) {
            Preloaded more = other.get();
            for (auto it = more.templates.begin(); it != more.templates.end(); ++it) {
                // A template the threads saw at different versions is read
                // again when it is first searched.
                if (preloaded.versions.value(it.key()) == more.versions.value(it.key()))
                    preloaded.templates.insert(it.key(), it.value());
            }
        }
        return preloaded;
    });
}

void RateDatabase::takePreload()
{
    if (!m_preload.valid())
        return;
    Preloaded preloaded = m_preload.get();
    for (auto it = preloaded.templates.begin(); it != preloaded.templates.end(); ++it) {
        // Only rows read while the template's change counter was what this
        // connection last saw are taken. Rows read after a counted change
        // (another station's, or this connection's own write) may still
        // miss an uncounted write made after them: once the counters have
        // moved, the next look at the file cannot tell that write from the
        // counted one, so such rows are read again instead.
        if (!m_cached.contains(it.key()) && it->version == m_versions.value(it.key()))
            m_cached.insert(it.key(), it.value());
    }
}

// Templates held in memory that changed in the file since they were read are
// forgotten, to be read again. Our own writes forget their template at once;
// the file's data version tells of other connections' writes, and the change
// counters, which every write of this program bumps, tell which templates
// they changed.
void RateDatabase::refreshChangedTemplates()
{
    const std::optional<qint64> read = m_engine->dataVersion();
    if (!read) {
        m_cached.clear();
        return;
    }
    const qint64 version = *read;
    if (version == m_dataVersion)
        return;
    const bool first = m_dataVersion < 0;
    m_dataVersion = version;
    const QHash<QString, qint64> counters = changeCountersOf(*m_engine);
    // Changed, but no template says it was: the writer was another program.
    if (!first && counters == m_versions) {
        m_cached.clear();
        return;
    }
    for (auto it = m_cached.begin(); it != m_cached.end();) {
        if (counters.value(it.key()) != it->version)
            it = m_cached.erase(it);
        else
            ++it;
    }
    m_versions = counters;
}

DbError RateDatabase::countChange(const QString &name)
{
    if (DbError error = ensureTable(ProgramTables::Changes, ProgramTables::CreateChangesSql); error.isError())
        return error;
    std::unique_ptr<RowCursor> bump = m_engine->query(BumpChangeSql, {name});
    if (!bump->next())
        return bump->error();
    m_countedChanges.insert(name, bump->text(0).toLongLong());
    m_cached.remove(name);
    return {};
}

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
    for (const ColumnValue &v : values) {
        assignments << Sql::quoted(v.column) + u" = ?";
        bound << v.value;
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

QString RateDatabase::backupFolder() const
{
    if (!m_engine || !m_engine->keepsBackupsInFiles())
        return {};
    return QFileInfo(m_path).dir().filePath(BackupFolderName);
}

QList<Backup> RateDatabase::backups()
{
    m_lastError.clear();
    if (!m_engine) {
        fail(m_locationProblem, QString());
        return {};
    }
    if (!m_engine->keepsBackupsInFiles() && !open())
        return {};
    return m_engine->backups();
}

bool RateDatabase::backUp(const QString &operation, const QStringList &templates)
{
    if (!open())
        return false;
    const QString failure = u"无法备份数据库，操作没有进行"_s;
    if (const DbError error =
            m_engine->backUp(backupName(QDateTime::currentDateTime(), operation), templates);
        error.isError())
        return fail(failure, error);
    const QList<Backup> all = m_engine->backups();
    for (qsizetype i = BackupsKept; i < all.size(); ++i) {
        if (all.at(i).name != m_restoring) // the one being restored goes once it is in place
            m_engine->removeBackup(all.at(i));
    }
    return true;
}

bool RateDatabase::restoreBackup(const QString &name)
{
    const QList<Backup> all = backups();
    if (!m_lastError.isEmpty())
        return false;
    const auto backup =
        std::find_if(all.cbegin(), all.cend(), [&name](const Backup &b) { return b.name == name; });
    if (backup == all.cend())
        return fail(u"没有名为“%1”的备份"_s.arg(name), QString());
    if (!openForWriting())
        return false;
    const QHash<QString, qint64> before = changeCountersOf(*m_engine);
    m_restoring = backup->name;
    const bool backedUp = backUp(u"恢复备份"_s);
    m_restoring.clear();
    if (!backedUp)
        return false;
    if (const DbError error = m_engine->restore(*backup); error.isError())
        return fail(u"恢复备份 %1 失败"_s.arg(name), error);
    m_cached.clear();
    m_checked = false;
    // Every template counts as changed, beyond any version seen before, so
    // that no program keeps rows of the state that was replaced.
    return transact(u"恢复备份 %1 失败"_s.arg(name), [&]() -> DbError {
        if (DbError error = ensureTable(ProgramTables::Changes, ProgramTables::CreateChangesSql);
            error.isError())
            return error;
        const QHash<QString, qint64> restored = changeCountersOf(*m_engine);
        QSet<QString> names(before.keyBegin(), before.keyEnd());
        for (auto it = restored.keyBegin(); it != restored.keyEnd(); ++it)
            names.insert(*it);
        for (const QString &table : std::as_const(names)) {
            const qint64 version = qMax(before.value(table), restored.value(table)) + 1;
            if (DbError error = m_engine->exec(SetChangeSql, {table, QString::number(version)});
                error.isError())
                return error;
            m_countedChanges.insert(table, version);
        }
        return {};
    });
}

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
