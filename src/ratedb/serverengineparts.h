#pragma once

// What the files of the server engine share: the engine, its cursor, and how
// the server's errors read.

#include "engine.h"
#include "serverengine.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace Kuaidi::Server {

// Identifiers longer than this many bytes the server cuts short without a
// word; a table keeps one column for its row order.
inline constexpr qsizetype MaxIdentifierBytes = 63;
inline constexpr qsizetype MaxColumns = 1600 - 1;
inline constexpr QLatin1StringView KeyColumn("__kuaidi_key");

/// How long a session of the program waits on the server before it gives up:
/// for a lock (as long as a file waits when busy), for one statement, and
/// for a station that went quiet in the middle of a transaction (its locks
/// are freed then).
struct SessionLimits
{
    int lockTimeoutMs = 5000;
    int statementTimeoutMs = 30000;
    int idleInTransactionMs = 15000;
};

/// What a server's error means to the seller, by its SQLSTATE.
QString reasonOf(const QString &state, const SessionLimits &limits);
DbError errorOf(const QSqlError &error, const SessionLimits &limits);

/// Why connecting to @p location failed, decided by what libpq and the
/// server say in codes (a password asked for, SQLSTATE), never by their
/// words, which may be in any language and name anything.
QString connectFailureReason(const ServerLocation &location);

/// The statements that set a new session up: its limits, and keepalives from
/// the server's side, so that a station that vanished frees what it held.
QString sessionSetupSql(const SessionLimits &limits);

/// Connect options for the driver: the time to wait for the server, and
/// keepalives from this side, so that a server that vanished is noticed.
QString connectOptions();

/// The first cell of every row of @p cursor; nothing, with @p error, when
/// reading fails.
std::optional<QStringList> firstColumnOf(RowCursor &cursor, DbError *error);

/// Runs @p sql on @p query: as it is without values, prepared with them bound
/// to its '?' marks.
bool run(QSqlQuery &query, QStringView sql, const QStringList &values);

class ServerCursor final : public RowCursor
{
public:
    explicit ServerCursor(DbError error) : m_error(std::move(error)) {}
    /// @p prefixed: every text was selected behind one character of its own,
    /// which reading drops (see readTable()). @p names, when given, name the
    /// columns instead of the driver, which drops a leading U+FEFF.
    // Not forward-only: the driver would then stream rows one by one, and
    // any other statement before the last row was read would lose them.
    ServerCursor(const QSqlDatabase &db, QStringView sql, const QStringList &values,
                 const SessionLimits &limits, bool prefixed = false, const QStringList &names = {});

    int columnCount() const override { return int(m_fields.size()); }
    QString columnName(int column) const override { return m_names.at(column); }
    bool next() override;
    bool isNull(int column) const override { return m_query.isNull(m_fields.at(column)); }
    QString text(int column) const override;
    QByteArrayView utf8(int column) const override;
    DbError error() const override;

private:
    QSqlQuery m_query;
    SessionLimits m_limits;
    bool m_prefixed = false;
    DbError m_error;
    QList<int> m_fields; // the visible fields: all but the row-order key
    QStringList m_names;
    mutable QList<std::optional<QByteArray>> m_cells;
};

class ServerEngine final : public Engine
{
public:
    ServerEngine(const ServerLocation &location, int lockTimeoutMs);
    ~ServerEngine() override { close(); }

    std::unique_ptr<Engine> another() const override;
    QString displayName() const override;
    QString openFailure() const override;
    bool keepsBackupsInFiles() const override { return false; }

    DbError open() override;
    void close() override;
    bool isOpen() const override { return m_db.isOpen(); }
    bool wasRemoved() const override { return false; }

    // The server looks after its own pages.
    DbError checkIntegrity(QStringList *) override { return {}; }

    DbError begin(Access access) override;
    DbError commit() override;
    void rollback() override;

    DbError exec(QStringView sql, const QStringList &values, qint64 *changes) override;
    std::unique_ptr<RowCursor> query(QStringView sql, const QStringList &values) override;

    std::optional<QStringList> templateNames(DbError *error) override;
    bool tableExists(const QString &name, DbError *error) override;
    QString checkNames(const QString &name, const QStringList &columns) const override;
    std::unique_ptr<RowCursor> readTable(const QString &name) override;
    std::optional<QStringList> columnsOf(const QString &name, DbError *error) override;
    DbError createTable(const QString &name, const QStringList &columns,
                        const QList<QStringList> &rows) override;
    DbError swapTable(const QString &name, const QString &from, bool keepPlace) override;
    DbError dropTable(const QString &name, bool keepPlace) override;
    DbError renameTable(const QString &from, const QString &to) override;
    std::optional<qint64> dataVersion() override;

    DbError backUp(const QString &name, const QStringList &templates) override;
    QList<Backup> backups() override;
    void removeBackup(const Backup &backup) override;
    DbError checkBackup(const Backup &backup) override;
    std::optional<QStringList> backedUpTemplates(const Backup &backup, DbError *error) override;
    std::optional<BackedUpTemplate> readBackedUp(const Backup &backup, const QString &name,
                                                 DbError *error) override;
    bool restoresWholeDatabase() const override { return false; }
    DbError restoreWhole(const Backup &, const QHash<QString, qint64> &) override;
    DbError copyAsBackup(const QString &) override;

private:
    /// Makes the program's own tables that are missing, one station at a
    /// time.
    DbError makeProgramTables();
    /// The columns of table @p name as named, read by @p sql with the name
    /// bound (the driver would drop a leading U+FEFF of a name).
    std::optional<QStringList> namesOf(QStringView sql, const QString &name, DbError *error);
    DbError failed(const QSqlError &error);

    ServerLocation m_location;
    SessionLimits m_limits;
    QString m_connectionName;
    QSqlDatabase m_db;
    std::unique_ptr<QSqlQuery> m_dataVersion;
    bool m_inTransaction = false;
};

} // namespace Kuaidi::Server
