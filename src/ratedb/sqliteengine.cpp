#include "sqliteengine.h"

#include "programtables.h"
#include "sqlite.h"
#include "sqlitebackupfiles.h"
#include "sqltext.h"

#include <core/schema.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QStringEncoder>

#include <sqlite3.h>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

constexpr QStringView TableExistsSql =
    u"SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = ?";
constexpr QStringView CreateTableSql = u"CREATE TABLE %1 (%2)";
constexpr QStringView InsertSql = u"INSERT INTO %1 (%2) VALUES (%3)";
constexpr QStringView RenameSql = u"ALTER TABLE %1 RENAME TO %2";
constexpr QStringView DropSql = u"DROP TABLE %1";
constexpr QStringView DataVersionSql = u"PRAGMA data_version";
constexpr QStringView CreateBackupInfoSql = u"CREATE TABLE \"__kuaidi_backup\" (\"模板\" TEXT)";
constexpr QStringView InsertBackupInfoSql = u"INSERT INTO \"__kuaidi_backup\" (\"模板\") VALUES (?)";
// A row's rowid is its key: its place in the table, going up in table order.
// The rows come as the index of 地区 below holds them, by text, where the
// template has it.
constexpr QStringView SelectRegionsSql = u"SELECT rowid, %2 FROM %1";
// Read by readRegions() in place of the table: 7 times smaller than its
// rows. Its name is the program's own and no other index's, whatever the
// table is renamed to.
constexpr QStringView CreateRegionIndexSql = u"CREATE INDEX %1 ON %2 (%3)";
constexpr QStringView RegionIndexPrefix = u"__kuaidi_地区_";
// The indexed tables are looked up once, not for every table.
constexpr QStringView UnindexedTemplatesSql =
    u"SELECT t.name FROM sqlite_master t WHERE t.type = 'table' "
    u"AND t.name NOT LIKE 'sqlite\\_%' ESCAPE '\\' AND t.name NOT LIKE '\\_\\_kuaidi%' ESCAPE '\\' "
    u"AND t.name NOT IN (SELECT i.tbl_name FROM sqlite_master i WHERE i.type = 'index' "
    u"AND substr(i.name, 1, length(?2)) = ?2) "
    u"AND EXISTS (SELECT 1 FROM pragma_table_info(t.name) c WHERE c.name = ?1) ORDER BY t.rowid";
constexpr QStringView SelectByKeySql = u"SELECT * FROM %1 WHERE rowid IN (%2)";
// Fewer than SQLite's limit of bound values a statement.
constexpr qsizetype MaxKeysAtOnce = 5000;
// 64 KiB of pages: a table read once, from end to end, needs no more.
constexpr QStringView FewPagesSql = u"PRAGMA cache_size = -64";

constexpr auto BackupFolderName = "backups"_L1;

DbError refusal(const QString &reason)
{
    return {-1, reason, reason};
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
    // A key read as what it is, not written out as a text to be read back.
    std::optional<qint64> integer(int column) const override
    {
        if (m_statement.isInteger(column))
            return m_statement.integer(column);
        return RowCursor::integer(column);
    }
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

    std::unique_ptr<RowCursor> readRegions(const QString &name) override
    {
        return query(SelectRegionsSql.arg(Sql::quoted(name), Sql::quoted(RateColumns().at(ColumnRegion))),
                     {});
    }

    QStringList templatesWithoutRegionIndex(DbError *error) override
    {
        Sqlite::Statement query(m_connection.handle(), UnindexedTemplatesSql);
        query.bind(1, RateColumns().at(ColumnRegion));
        query.bind(2, RegionIndexPrefix.toString());
        QStringList names;
        while (query.step() == Sqlite::Statement::Step::Row)
            names << query.text(0);
        *error = toDb(query.error());
        return error->isError() ? QStringList() : names;
    }

    DbError indexRegions(const QString &name) override
    {
        const QString index =
            RegionIndexPrefix +
            u"%1"_s.arg(qulonglong(QRandomGenerator::global()->generate64()), 16, 16, QChar(u'0'));
        return toDb(m_connection.exec(CreateRegionIndexSql.arg(Sql::quoted(index), Sql::quoted(name),
                                                               Sql::quoted(RateColumns().at(ColumnRegion)))));
    }

    std::unique_ptr<RowCursor> readRowsByKey(const QString &name, const QList<qint64> &keys) override
    {
        if (keys.isEmpty() || keys.size() > MaxKeysAtOnce)
            return nullptr;
        QStringList values;
        values.reserve(keys.size());
        for (const qint64 key : keys)
            values << QString::number(key);
        return query(SelectByKeySql.arg(Sql::quoted(name), Sql::placeholders(keys.size())), values);
    }

    void keepFewPages() override { m_connection.exec(FewPagesSql); }

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
        // Indexed once the rows are in: faster than row by row.
        if (columns.contains(RateColumns().at(ColumnRegion)))
            return indexRegions(name);
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
        QString path;
        QString part;
        if (DbError error = placeBackup(name, &path, &part); error.isError())
            return error;
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
                info.bind(
                    1,
                    QString::fromUtf8(
                        QJsonDocument(QJsonArray::fromStringList(templates)).toJson(QJsonDocument::Compact)));
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
        return checkBackupFile(backup.path, m_busyTimeoutMs);
    }

    std::optional<QStringList> backedUpTemplates(const Backup &backup, DbError *error) override
    {
        return templatesOfBackupFile(backup.path, m_busyTimeoutMs, error);
    }

    std::optional<BackedUpTemplate> readBackedUp(const Backup &backup, const QString &name,
                                                 DbError *error) override
    {
        return templateOfBackupFile(backup.path, m_busyTimeoutMs, name, error);
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
        DbError error = prepareRestoreFile(backup.path, aside, m_busyTimeoutMs, counters);
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
        QString path;
        QString part;
        if (DbError error = placeBackup(name, &path, &part); error.isError())
            return error;
        if (!QFile::copy(m_path, part) || !QFile::rename(part, path)) {
            QFile::remove(part);
            return refusal(u"无法复制数据库文件到 %1"_s.arg(QDir::toNativeSeparators(path)));
        }
        return {};
    }

private:
    QString backupFolder() const { return QFileInfo(m_path).dir().filePath(BackupFolderName); }

    // Where backup @p name goes (@p path, its folder made) and the file it is
    // written to first (@p part, a stale one removed).
    DbError placeBackup(const QString &name, QString *path, QString *part) const
    {
        const QDir folder(backupFolder());
        if (!QDir().mkpath(folder.path()))
            return refusal(u"无法创建备份文件夹 %1"_s.arg(QDir::toNativeSeparators(folder.path())));
        *path = folder.filePath(name + u".db"_s);
        *part = *path + u".part"_s;
        QFile::remove(*part);
        return {};
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
