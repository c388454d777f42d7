#include "sqliteengine.h"

#include "programtables.h"
#include "sqlite.h"
#include "sqltext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStringEncoder>

#include <sqlite3.h>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

// SQLite keeps its own tables under the reserved "sqlite_" prefix, this
// program its own under "__kuaidi"; a table's rowid in the catalogue is the
// order it was made in.
constexpr QStringView ListTablesSql =
    u"SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
    u"AND name NOT LIKE '\\_\\_kuaidi%' ESCAPE '\\' ORDER BY rowid";
constexpr QStringView TableExistsSql =
    u"SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = ?";
constexpr QStringView ProbeSql = u"SELECT count(*) FROM sqlite_master";
constexpr QStringView QuickCheckSql = u"PRAGMA quick_check";
constexpr QStringView SelectAllSql = u"SELECT * FROM %1";
constexpr QStringView CreateTableSql = u"CREATE TABLE %1 (%2)";
constexpr QStringView InsertSql = u"INSERT INTO %1 (%2) VALUES (%3)";
constexpr QStringView RenameSql = u"ALTER TABLE %1 RENAME TO %2";
constexpr QStringView DropSql = u"DROP TABLE %1";
constexpr QStringView VacuumIntoSql = u"VACUUM INTO ?";
constexpr QStringView DataVersionSql = u"PRAGMA data_version";
constexpr QStringView AllTablesSql = u"SELECT name FROM sqlite_master WHERE type = 'table'";
constexpr QStringView TableShapeSql = u"SELECT name, pk FROM pragma_table_info(?)";
constexpr QStringView CreateBackupInfoSql = u"CREATE TABLE \"__kuaidi_backup\" (\"模板\" TEXT)";
constexpr QStringView InsertBackupInfoSql = u"INSERT INTO \"__kuaidi_backup\" (\"模板\") VALUES (?)";
constexpr QStringView SelectBackupInfoSql = u"SELECT \"模板\" FROM \"__kuaidi_backup\"";
constexpr QStringView DropBackupInfoSql = u"DROP TABLE IF EXISTS \"__kuaidi_backup\"";
constexpr QStringView SelectChangesSql = u"SELECT \"模板\", \"版本\" FROM \"__kuaidi_changes\"";
constexpr QStringView SelectRulesOfSql = u"SELECT * FROM \"__kuaidi_rules\" WHERE \"模板\" = ?";

constexpr auto BackupFolderName = "backups"_L1;

DbError toDb(const Sqlite::Error &error)
{
    return {error.code, error.message, Sqlite::reasonText(error.code)};
}

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
    const QString problem = u"备份中的程序表 %1 不是本程序的格式"_s.arg(table);
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

// The templates a backup file was taken for, as it says; empty for the
// whole database or for a file that does not say.
QStringList backupInfoOf(const QString &path)
{
    Sqlite::Connection file;
    if (file.open(path, 0, Sqlite::Connection::Mode::ReadOnly).isError())
        return {};
    Sqlite::Statement info(file.handle(), SelectBackupInfoSql);
    if (info.step() != Sqlite::Statement::Step::Row)
        return {};
    QStringList templates;
    for (const QJsonValue &name : QJsonDocument::fromJson(info.text(0).toUtf8()).array())
        templates << name.toString();
    return templates;
}

class SqliteCursor final : public RowCursor
{
public:
    SqliteCursor(sqlite3 *db, QStringView sql, const QStringList &values) : m_statement(db, sql)
    {
        for (int i = 0; i < values.size(); ++i)
            m_statement.bind(i + 1, values.at(i));
    }

    int columnCount() const override { return m_statement.columnCount(); }
    QString columnName(int column) const override { return m_statement.columnName(column); }
    bool next() override { return m_statement.step() == Sqlite::Statement::Step::Row; }
    bool isNull(int column) const override { return m_statement.isNull(column); }
    QString text(int column) const override { return m_statement.text(column); }
    QByteArrayView utf8(int column) const override { return m_statement.utf8(column); }
    DbError error() const override { return toDb(m_statement.error()); }

private:
    Sqlite::Statement m_statement;
};

class SqliteEngine final : public Engine
{
public:
    SqliteEngine(const QString &path, int busyTimeoutMs) : m_path(path), m_busyTimeoutMs(busyTimeoutMs) {}
    ~SqliteEngine() override { close(); }

    std::unique_ptr<Engine> another() const override
    {
        return std::make_unique<SqliteEngine>(m_path, m_busyTimeoutMs);
    }
    QString displayName() const override { return m_path; }
    QString openFailure() const override { return u"无法打开数据库文件 %1"_s.arg(m_path); }
    bool keepsBackupsInFiles() const override { return true; }

    DbError open() override
    {
        if (m_connection.isOpen())
            return {};
        const QFileInfo file(m_path);
        if (file.exists() && !file.isFile())
            return refusal(u"这不是一个文件"_s);
        if (file.exists() && !file.isReadable())
            return refusal(u"没有读取权限"_s);
        if (!file.exists() && !file.dir().exists())
            return refusal(u"所在文件夹不存在，无法创建数据库文件"_s);
        if (const Sqlite::Error opened = m_connection.open(m_path, m_busyTimeoutMs); opened.isError())
            return toDb(opened);
        // SQLite reads the file lazily: only a first query tells a database
        // from any other file, or a busy file from a damaged one. Nothing has
        // been written to it at this point.
        Sqlite::Error probe;
        m_connection.scalar(ProbeSql, &probe);
        if (probe.isError()) {
            close();
            return toDb(probe);
        }
        return {};
    }

    void close() override
    {
        m_dataVersion.reset();
        m_connection.close();
    }
    bool isOpen() const override { return m_connection.isOpen(); }
    bool wasRemoved() const override { return isOpen() && !QFileInfo::exists(m_path); }

    DbError checkIntegrity(QStringList *problems) override
    {
        Sqlite::Statement check(m_connection.handle(), QuickCheckSql);
        QStringList found;
        Sqlite::Statement::Step step;
        while ((step = check.step()) == Sqlite::Statement::Step::Row)
            found << check.text(0);
        if (step == Sqlite::Statement::Step::Failed) {
            if (Sqlite::isBusy(check.error().code))
                return toDb(check.error());
            found << check.error().message;
        }
        if (found != QStringList{u"ok"_s})
            *problems = found;
        return {};
    }

    DbError begin(Access access) override
    {
        return toDb(m_connection.exec(access == Access::Write ? u"BEGIN IMMEDIATE" : u"BEGIN"));
    }
    DbError commit() override { return toDb(m_connection.exec(u"COMMIT")); }
    void rollback() override { m_connection.exec(u"ROLLBACK"); }

    DbError exec(QStringView sql, const QStringList &values, qint64 *changes) override
    {
        Sqlite::Statement statement(m_connection.handle(), sql);
        if (!statement.isValid())
            return toDb(statement.error());
        for (int i = 0; i < values.size(); ++i)
            statement.bind(i + 1, values.at(i));
        if (!statement.run())
            return toDb(statement.error());
        if (changes)
            *changes = m_connection.changes();
        return {};
    }

    std::unique_ptr<RowCursor> query(QStringView sql, const QStringList &values) override
    {
        return std::make_unique<SqliteCursor>(m_connection.handle(), sql, values);
    }

    std::optional<QStringList> templateNames(DbError *error) override
    {
        QStringList names;
        Sqlite::Statement query(m_connection.handle(), ListTablesSql);
        while (query.step() == Sqlite::Statement::Step::Row)
            names << query.text(0);
        if (query.error().isError()) {
            *error = toDb(query.error());
            return std::nullopt;
        }
        return names;
    }

    bool tableExists(const QString &name, DbError *error) override
    {
        Sqlite::Statement statement(m_connection.handle(), TableExistsSql);
        statement.bind(1, name);
        const bool exists = statement.step() == Sqlite::Statement::Step::Row && statement.integer(0) > 0;
        if (error)
            *error = toDb(statement.error());
        return exists;
    }

    QString checkNames(const QString &, const QStringList &) const override { return {}; }

    std::unique_ptr<RowCursor> readTable(const QString &name) override
    {
        return query(SelectAllSql.arg(Sql::quoted(name)), {});
    }

    std::optional<QStringList> columnsOf(const QString &name, DbError *error) override
    {
        const Sqlite::Statement statement(m_connection.handle(), SelectAllSql.arg(Sql::quoted(name)));
        if (!statement.isValid()) {
            *error = toDb(statement.error());
            return std::nullopt;
        }
        QStringList columns;
        for (int c = 0; c < statement.columnCount(); ++c)
            columns << statement.columnName(c);
        return columns;
    }

    DbError createTable(const QString &name, const QStringList &columns,
                        const QList<QStringList> &rows) override
    {
        QStringList definitions;
        QStringList quotedColumns;
        for (const QString &column : columns) {
            quotedColumns << Sql::quoted(column);
            definitions << Sql::quoted(column) + u" TEXT";
        }
        if (Sqlite::Error error =
                m_connection.exec(CreateTableSql.arg(Sql::quoted(name), definitions.join(u", ")));
            error.isError())
            return toDb(error);
        Sqlite::Statement insert(
            m_connection.handle(),
            InsertSql.arg(Sql::quoted(name), quotedColumns.join(u", "), Sql::placeholders(columns.size())));
        if (!insert.isValid())
            return toDb(insert.error());
        // A row's texts encoded into one buffer, bound where they lie: no
        // allocation a cell. Each cell is encoded on its own: half a
        // character at the end of one never spills into the next.
        QStringEncoder utf8(QStringEncoder::Utf8, QStringConverter::Flag::Stateless);
        QByteArray buffer;
        QList<qsizetype> ends(columns.size());
        for (const QStringList &row : rows) {
            insert.reset();
            buffer.clear();
            for (qsizetype c = 0; c < columns.size(); ++c) {
                const QStringView cell = c < row.size() ? QStringView(row.at(c)) : QStringView();
                const qsizetype start = buffer.size();
                buffer.resize(start + utf8.requiredSpace(cell.size()));
                buffer.resize(utf8.appendToBuffer(buffer.data() + start, cell) - buffer.constData());
                ends[c] = buffer.size();
            }
            for (qsizetype c = 0; c < columns.size(); ++c) {
                const qsizetype start = c == 0 ? 0 : ends.at(c - 1);
                insert.bindStatic(int(c) + 1, QByteArrayView(buffer).sliced(start, ends.at(c) - start));
            }
            if (!insert.run())
                return toDb(insert.error());
        }
        return {};
    }

    DbError dropTable(const QString &name, bool) override
    {
        return toDb(m_connection.exec(DropSql.arg(Sql::quoted(name))));
    }

    // The table made aside was made last: the template comes last among the
    // templates, as one made anew does.
    DbError swapTable(const QString &name, const QString &from, bool) override
    {
        if (DbError error = dropTable(name, false); error.isError())
            return error;
        return toDb(m_connection.exec(RenameSql.arg(Sql::quoted(from), Sql::quoted(name))));
    }

    DbError renameTable(const QString &from, const QString &to) override
    {
        // SQLite compares table names without case: a change of case alone
        // goes through a name of its own.
        QString source = from;
        if (source.compare(to, Qt::CaseInsensitive) == 0) {
            const QString aside = u"__kuaidi_renaming"_s;
            if (Sqlite::Error error =
                    m_connection.exec(RenameSql.arg(Sql::quoted(source), Sql::quoted(aside)));
                error.isError())
                return toDb(error);
            source = aside;
        }
        return toDb(m_connection.exec(RenameSql.arg(Sql::quoted(source), Sql::quoted(to))));
    }

    std::optional<qint64> dataVersion() override
    {
        if (!m_dataVersion)
            m_dataVersion = std::make_unique<Sqlite::Statement>(m_connection.handle(), DataVersionSql);
        m_dataVersion->reset();
        if (m_dataVersion->step() != Sqlite::Statement::Step::Row)
            return std::nullopt;
        const qint64 version = m_dataVersion->integer(0);
        m_dataVersion->reset();
        return version;
    }

    // A backup is a copy of the whole file, taken by VACUUM INTO: consistent
    // even while others write. It is made beside its place, told what it
    // was taken for, and only then named as a backup: a listed backup is
    // always whole.
    DbError backUp(const QString &name, const QStringList &templates) override
    {
        const QDir folder(backupFolder());
        if (!QDir().mkpath(folder.path()))
            return refusal(u"无法创建备份文件夹 %1"_s.arg(QDir::toNativeSeparators(folder.path())));
        const QString path = folder.filePath(name + u".db"_s);
        const QString part = path + u".part"_s;
        QFile::remove(part);
        if (QFileInfo::exists(path))
            return refusal(u"备份 %1 已存在"_s.arg(name));
        DbError error = exec(VacuumIntoSql, {part}, nullptr);
        if (!error.isError()) {
            Sqlite::Connection copy;
            error = toDb(copy.open(part, m_busyTimeoutMs));
            if (!error.isError())
                error = toDb(copy.exec(CreateBackupInfoSql));
            if (!error.isError()) {
                Sqlite::Statement info(copy.handle(), InsertBackupInfoSql);
                info.bind(1, QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(templates))
                                                   .toJson(QJsonDocument::Compact)));
                if (!info.run())
                    error = toDb(info.error());
            }
        }
        if (!error.isError() && !QFile::rename(part, path))
            error = refusal(u"无法保存备份文件 %1"_s.arg(QDir::toNativeSeparators(path)));
        if (error.isError())
            QFile::remove(part);
        return error;
    }

    QList<Backup> backups() override
    {
        QList<Backup> found;
        const QDir folder(backupFolder());
        const QFileInfoList files = folder.entryInfoList({u"*.db"_s}, QDir::Files);
        for (const QFileInfo &file : files) {
            if (std::optional<Backup> backup = backupNamed(file.fileName().chopped(3))) {
                backup->path = file.filePath();
                backup->made = file.lastModified();
                backup->templates = backupInfoOf(backup->path);
                found.append(*backup);
            }
        }
        // The files' own times, not their names', tell which is newer; a
        // folder copied all at once falls back on the names.
        std::sort(found.begin(), found.end(), [](const Backup &a, const Backup &b) {
            if (a.made != b.made)
                return a.made > b.made;
            if (a.time != b.time)
                return a.time > b.time;
            return a.name > b.name;
        });
        return found;
    }

    void removeBackup(const Backup &backup) override { QFile::remove(backup.path); }

    DbError checkBackup(const Backup &backup) override
    {
        const QFileInfo file(backup.path);
        if (!file.isFile())
            return refusal(u"备份文件不见了"_s);
        if (file.size() == 0)
            return refusal(u"备份文件是空的（0 字节），不是数据库"_s);
        Sqlite::Connection source;
        if (const Sqlite::Error error = source.open(backup.path, m_busyTimeoutMs, Sqlite::Connection::Mode::ReadOnly);
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
                return {read.error().code, read.error().message,
                        u"备份中的表“%1”无法读取"_s.arg(table)};
            if (const QString problem = programTableProblem(source.handle(), table); !problem.isEmpty())
                return refusal(problem);
        }
        return {};
    }

    std::optional<QStringList> backedUpTemplates(const Backup &backup, DbError *error) override
    {
        Sqlite::Connection source;
        if (const Sqlite::Error opened = source.open(backup.path, m_busyTimeoutMs, Sqlite::Connection::Mode::ReadOnly);
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

    std::optional<BackedUpTemplate> readBackedUp(const Backup &backup, const QString &name,
                                                 DbError *error) override
    {
        Sqlite::Connection source;
        if (const Sqlite::Error opened = source.open(backup.path, m_busyTimeoutMs, Sqlite::Connection::Mode::ReadOnly);
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

    bool restoresWholeDatabase() const override { return true; }

    // The backup is copied aside and made ready there (its note of what it
    // was taken for dropped, the counters set); only then is it put in place,
    // in one step of SQLite's online backup that either copies every page
    // or none.
    DbError restoreWhole(const Backup &backup, const QHash<QString, qint64> &counters) override
    {
        const QString aside = backupFolder() + u'/' + backup.name + u".restoring"_s;
        QFile::remove(aside);
        DbError error = prepareRestore(backup, aside, counters);
        if (!error.isError()) {
            Sqlite::Connection source;
            error = toDb(source.open(aside, m_busyTimeoutMs, Sqlite::Connection::Mode::ReadOnly));
            if (!error.isError())
                error = toDb(Sqlite::copyDatabase(source, m_connection));
        }
        QFile::remove(aside);
        return error;
    }

    DbError copyAsBackup(const QString &name) override
    {
        const QDir folder(backupFolder());
        if (!QDir().mkpath(folder.path()))
            return refusal(u"无法创建备份文件夹 %1"_s.arg(QDir::toNativeSeparators(folder.path())));
        const QString path = folder.filePath(name + u".db"_s);
        const QString part = path + u".part"_s;
        QFile::remove(part);
        if (!QFile::copy(m_path, part) || !QFile::rename(part, path)) {
            QFile::remove(part);
            return refusal(u"无法复制数据库文件到 %1"_s.arg(QDir::toNativeSeparators(path)));
        }
        return {};
    }

private:
    QString backupFolder() const { return QFileInfo(m_path).dir().filePath(BackupFolderName); }

    DbError prepareRestore(const Backup &backup, const QString &aside, const QHash<QString, qint64> &counters)
    {
        {
            Sqlite::Connection source;
            DbError error = toDb(source.open(backup.path, m_busyTimeoutMs, Sqlite::Connection::Mode::ReadOnly));
            if (error.isError())
                return error;
            Sqlite::Statement vacuum(source.handle(), VacuumIntoSql);
            vacuum.bind(1, aside);
            if (!vacuum.run())
                return toDb(vacuum.error());
        }
        Sqlite::Connection copy;
        if (DbError error = toDb(copy.open(aside, m_busyTimeoutMs)); error.isError())
            return error;
        for (const QStringView sql : {DropBackupInfoSql, ProgramTables::CreateChangesSql, QStringView(u"BEGIN")}) {
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

    QString m_path;
    int m_busyTimeoutMs;
    Sqlite::Connection m_connection;
    std::unique_ptr<Sqlite::Statement> m_dataVersion;
};

} // namespace

std::unique_ptr<Engine> makeSqliteEngine(const QString &path, int busyTimeoutMs)
{
    return std::make_unique<SqliteEngine>(path, busyTimeoutMs);
}

} // namespace Kuaidi
