#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace Kuaidi {

/// What went wrong in the database engine: its own code and text, and what
/// it means to the seller when the engine can say.
struct DbError
{
    int code = 0;
    QString message;
    QString reason; ///< in Chinese; empty when the code has no meaning of its own
    /// A table of that name was made meanwhile (by another station).
    bool nameTaken = false;

    bool isError() const { return code != 0; }
};

/// One copy of templates taken before a destructive operation.
struct Backup
{
    QString name;   ///< as `restore` takes it: the time, '_', the operation
    QString path;   ///< the file, for a database file; empty on a server
    QDateTime time; ///< when it was taken, as its name says
    QString operation; ///< "删除模板", "替换模板", "重命名模板", "删除行", "全部修改", "恢复备份"
    /// The templates it was taken for; empty when it was taken for the whole
    /// database (before a restore), or before backups named their templates.
    QStringList templates;
    /// When it was made, by the file's or the server's own clock: backups are
    /// listed and kept in this order, whatever their names say (a clock once
    /// set ahead names them wrongly).
    QDateTime made;
};

/// One template as a backup holds it.
struct BackedUpTemplate
{
    QStringList columns;
    QList<QStringList> rows;
    /// Its billing rules as texts in the order of billingRuleNames() (fewer
    /// from before the later rules), or nothing when it had none saved.
    std::optional<QStringList> rules;
};

/// The rows a query gives, one at a time. Cells are text; NULL reads as the
/// empty text.
class RowCursor
{
public:
    virtual ~RowCursor() = default;

    virtual int columnCount() const = 0;
    virtual QString columnName(int column) const = 0;
    /// Moves to the next row; false at the end, or when the query failed.
    virtual bool next() = 0;
    virtual bool isNull(int column) const = 0;
    virtual QString text(int column) const = 0;
    /// The cell as UTF-8, valid until the next row.
    virtual QByteArrayView utf8(int column) const = 0;
    /// The cell as a whole number, or nothing when it is not one.
    virtual std::optional<qint64> integer(int column) const;
    virtual DbError error() const = 0;
};

/// The name of a backup taken at @p time before @p operation.
QString backupName(const QDateTime &time, const QString &operation);
/// The backup a name of backupName() stands for; nothing for other names.
std::optional<Backup> backupNamed(const QString &name);

/// What differs between the engines a rate database can live in: how to
/// reach it, its catalogue, how tables are made, renamed and dropped, how a
/// reader learns that others wrote, and how backups are kept. Everything
/// else is plain SQL with '?' marks and double-quoted names, which every
/// engine runs alike.
class Engine
{
public:
    virtual ~Engine() = default;

    /// A fresh, unopened engine for the same database, for another thread.
    virtual std::unique_ptr<Engine> another() const = 0;
    /// How the seller knows the database: the file's path, or DBNAME@HOST.
    virtual QString displayName() const = 0;
    /// "无法打开数据库文件 …" or "无法连接数据库服务器 …", said when open() fails.
    virtual QString openFailure() const = 0;
    /// Whether backups are files in a folder beside the database.
    virtual bool keepsBackupsInFiles() const = 0;

    virtual DbError open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    /// Whether the database was removed while open (a file someone deleted):
    /// it is then opened, and so made, again before the next write.
    virtual bool wasRemoved() const = 0;
    /// Whether the engine may be written to, the database found sound.
    /// @p problems receives what a check found wrong with it.
    virtual DbError checkIntegrity(QStringList *problems) = 0;

    enum class Access { Read, Write };
    /// Starts a transaction: one consistent state to read, or one writer at
    /// a time.
    virtual DbError begin(Access access) = 0;
    virtual DbError commit() = 0;
    virtual void rollback() = 0;

    /// Runs @p sql with @p values bound to its '?' marks; @p changes
    /// receives the rows an INSERT, UPDATE or DELETE touched.
    virtual DbError exec(QStringView sql, const QStringList &values = {}, qint64 *changes = nullptr) = 0;
    virtual std::unique_ptr<RowCursor> query(QStringView sql, const QStringList &values = {}) = 0;

    /// Template tables, in the order they were created; never the program's
    /// own "__kuaidi…" tables nor the engine's.
    virtual std::optional<QStringList> templateNames(DbError *error) = 0;
    virtual bool tableExists(const QString &name, DbError *error) = 0;
    /// Why a table @p name with @p columns cannot be made here (a name
    /// longer than the engine allows, too many columns), or the empty text.
    virtual QString checkNames(const QString &name, const QStringList &columns) const = 0;
    /// Every column and row of a table, in table order.
    virtual std::unique_ptr<RowCursor> readTable(const QString &name) = 0;
    /// The columns of a table, as named (nothing when it cannot be read).
    virtual std::optional<QStringList> columnsOf(const QString &name, DbError *error) = 0;
    /// The key and the 地区 of every row of a table, in any order (as an
    /// index holds them); null where rows have no such key (a search then
    /// waits for whole rows). Table order is the order of the keys.
    virtual std::unique_ptr<RowCursor> readRegions(const QString &) { return nullptr; }
    /// Templates with a 地区 column but no index of it for readRegions() to
    /// read from (made before there were such indexes, or by another
    /// program); none where the engine needs none.
    virtual QStringList templatesWithoutRegionIndex(DbError *) { return {}; }
    /// Makes the index of table @p name's 地区 texts, inside the running
    /// transaction.
    virtual DbError indexRegions(const QString &) { return {}; }
    /// Every column of the rows of a table whose keys are @p keys, in table
    /// order; null where rows have no keys, or for too many keys at once.
    virtual std::unique_ptr<RowCursor> readRowsByKey(const QString &, const QList<qint64> &)
    {
        return nullptr;
    }
    /// Keeps few pages in memory: for a connection that reads each once.
    virtual void keepFewPages() {}
    /// Creates table @p name (every column TEXT) holding @p rows, inside the
    /// running transaction.
    virtual DbError createTable(const QString &name, const QStringList &columns,
                                const QList<QStringList> &rows) = 0;
    /// Puts table @p from in the place of table @p name, which is dropped:
    /// the last, brief step of a replacement whose rows were written aside.
    /// With @p keepPlace the table keeps @p name's place among the templates
    /// where the engine can.
    virtual DbError swapTable(const QString &name, const QString &from, bool keepPlace) = 0;
    /// Drops a table; with @p keepPlace a table made again under its name
    /// keeps its place among the templates.
    virtual DbError dropTable(const QString &name, bool keepPlace) = 0;
    virtual DbError renameTable(const QString &from, const QString &to) = 0;
    /// A number that changes whenever anyone writes, read cheaply before
    /// trusting rows held in memory; nothing when it cannot be read.
    virtual std::optional<qint64> dataVersion() = 0;

    /// Takes a backup named @p name for @p templates (the whole database
    /// when empty): on a file a copy of the whole file, on a server of the
    /// rows of those templates (of all when empty).
    virtual DbError backUp(const QString &name, const QStringList &templates) = 0;
    /// The backups, the last made first.
    virtual QList<Backup> backups() = 0;
    virtual void removeBackup(const Backup &backup) = 0;
    /// Whether the backup can be read whole and is one of this program: on a
    /// file it opens, passes SQLite's quick check, its schema reads and the
    /// program's own tables have their shape. Reads, never writes.
    virtual DbError checkBackup(const Backup &backup) = 0;
    /// The templates a backup holds, in their order.
    virtual std::optional<QStringList> backedUpTemplates(const Backup &backup, DbError *error) = 0;
    virtual std::optional<BackedUpTemplate> readBackedUp(const Backup &backup, const QString &name,
                                                         DbError *error) = 0;
    /// Whether restoreWhole() can put a backup in place of the whole database.
    virtual bool restoresWholeDatabase() const = 0;
    /// Puts a checked backup in place of the whole database in one step, its
    /// templates' change counters set to @p counters first.
    virtual DbError restoreWhole(const Backup &backup, const QHash<QString, qint64> &counters) = 0;
    /// Copies the database file byte for byte as a backup named @p name,
    /// for a file that SQLite cannot copy (a damaged one); an error elsewhere.
    virtual DbError copyAsBackup(const QString &name) = 0;
};

/// Whether @p location names a database server rather than a file.
bool isServerLocation(QStringView location);

/// Whether this program can reach a database server at all: Qt's PostgreSQL
/// driver is installed (the Windows build carries none).
bool serverDriverAvailable();

/// The file in which libpq looks for the server's password, as the seller
/// finds it on this system.
QString passwordFileName();

/// The engine for @p location: a PostgreSQL server for
/// "postgresql://USER@HOST:PORT/DBNAME[?schema=NAME]" (or "postgres://"),
/// a database file otherwise. A location that cannot be understood gives
/// nothing, with @p problem saying why.
std::unique_ptr<Engine> makeEngine(const QString &location, int busyTimeoutMs, QString *problem);

} // namespace Kuaidi
