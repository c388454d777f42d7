#pragma once

#include <core/billingrules.h>
#include <core/texttable.h>
#include <ratedb/engine.h>
#include <ratedb/restoreplan.h>
#include <ratedb/templaterows.h>

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <optional>

namespace Kuaidi {

/// The rows of one template that a region search found.
struct RegionSearchResult
{
    QString templateName;
    QList<QStringList> rows; ///< 41 cells each, in table order
    bool failed = false;     ///< the template could not be searched
};

/// One column assignment of an UPDATE.
struct ColumnValue
{
    QString column;
    QString value;
};

/// Why a text cannot be a template name, or the empty text when it can.
QString checkTemplateName(QStringView name);

/// Why @p columns cannot be the columns of a template (a title missing or
/// used twice, one holding a character no database stores, more columns than
/// the database stores), or the empty text.
QString checkTemplateColumns(const QStringList &columns);

/// The rate database: one table per courier template, every column TEXT, in
/// a SQLite file or on a PostgreSQL server.
///
/// Every operation returns whether it worked; lastError() then says why it
/// did not, naming the file or server where that is the problem. Nothing here
/// talks to the user.
class RateDatabase
{
public:
    /// @p location is a file's path, or a server's address as
    /// "postgresql://USER@HOST:PORT/DBNAME[?schema=NAME]".
    explicit RateDatabase(const QString &location);
    ~RateDatabase();
    RateDatabase(const RateDatabase &) = delete;
    RateDatabase &operator=(const RateDatabase &) = delete;

    /// defaultPathFor() the running program and the per-user data folder
    /// (which it creates when the database is to go there).
    static QString defaultPath();
    /// Where the database "kuaidishuju.db" is kept when none is named. A
    /// program installed in a system folder keeps it in @p dataDir, whoever
    /// runs it (root could write the program folder); a portable copy keeps
    /// it beside itself in @p programDir when it may write there, and in
    /// @p dataDir otherwise.
    static QString defaultPathFor(const QString &programDir, const QString &dataDir);
    /// Whether @p programDir is a folder that packages install programs to.
    static bool isSystemProgramDir(const QString &programDir);

    /// Opens the file (creating it empty when it is missing) or connects to
    /// the server. A file that is not a rate database is refused and left as
    /// it is.
    bool open();
    void close();
    bool isOpen() const;

    /// The location as given: a file's path or a server's address.
    QString path() const { return m_path; }
    /// How the seller knows the database: the file's path, or DBNAME@HOST.
    QString displayName() const;
    /// The same, short enough for a window title: the file's name, or
    /// DBNAME@HOST.
    QString shortName() const;
    bool isOnServer() const;
    /// Why the database at @p location cannot be used (it cannot be opened
    /// or its templates cannot be listed), or the empty text when it can. A
    /// missing file is made, as open() makes it.
    static QString probe(const QString &location);
    /// Closes this database and uses the one at @p location from now on.
    void setLocation(const QString &location);

    /// How long an operation waits for a file another program holds before it
    /// fails as busy; 5 seconds unless set before open().
    void setBusyTimeout(int milliseconds);
    QString lastError() const { return m_lastError; }

    /// Template names in the order the templates were created. Empty (with
    /// lastError() set) when the catalogue cannot be read.
    QStringList templateNames();
    bool hasTemplate(const QString &name);

    /// All rows of a template in table order, cells as stored (NULL reads as
    /// empty), with the table's own column names.
    std::optional<TextTable> readTemplate(const QString &name);

    /// Rows whose 地区 contains @p destination as a substring, in table order,
    /// each as the 41 cells of RateColumns(); a column the table lacks reads
    /// as empty. '%', '_' and quotes in the destination are plain characters.
    std::optional<QList<QStringList>> findRowsByRegion(const QString &name, const QString &destination);

    /// The same over several templates at once, in the order given.
    QList<RegionSearchResult> findRowsByRegion(const QStringList &names, const QString &destination);

    /// The rows of @p names in memory, in the order given, brought up to date
    /// with the database first: a template this or another program changed
    /// since it was read is read again (a change by another program that does not
    /// say which template it changed makes every template read again). A
    /// template that cannot be read is null in the list; its name goes to
    /// @p failed. Cheap when nothing changed: one look at the database's
    /// version (on a server, one round trip).
    QList<std::shared_ptr<const TemplateRows>> templateRows(const QStringList &names,
                                                            QStringList *failed = nullptr);

    /// The rows of @p names for a search, which need not wait for every row
    /// to be read: a template being read in the background (see
    /// preloadTemplateRows()) comes as its 地区 texts alone
    /// (TemplateRows::hasCells() false) as soon as those are read, and
    /// rowsWithCells() reads the rows a search finds there. Otherwise as
    /// templateRows().
    QList<std::shared_ptr<const TemplateRows>> searchRows(const QStringList &names,
                                                          QStringList *failed = nullptr);
    /// Rows of templates' 地区 texts alone (from searchRows()), read now with
    /// every cell, all in one state of the database.
    struct RowsWanted
    {
        const TemplateRows *regions = nullptr;
        QList<qsizetype> rows; ///< going up
    };
    /// For each of @p wanted, a TemplateRows of those rows alone, in that
    /// order; null where the template changed since its 地区 texts were
    /// read, or the rows cannot be read so: templateRows() then reads it
    /// whole.
    QList<std::shared_ptr<const TemplateRows>> rowsWithCells(const QList<RowsWanted> &wanted);
    /// Whether templates are being read in the background.
    bool isReadingRows();

    /// A number that moves whenever templates or their rows may have changed
    /// since it was last read: a write of this program, a write of another
    /// program or station (one look at the database's version, as
    /// templateRows() takes), another database used. Rows found before it
    /// moved are to be found again.
    qint64 revision();

    /// Starts reading every template not held in memory, or changed in the
    /// database since it was read, on threads of their own, so that the next
    /// search finds them there; templateRows() waits for them. Cheap when
    /// nothing changed: a window calls it after start-up and now and then.
    void preloadTemplateRows();

    /// The columns of a template, as named in the database.
    std::optional<QStringList> templateColumns(const QString &name);
    /// Why this database cannot hold a template @p name with @p columns (see
    /// checkTemplateName(), checkTemplateColumns() and the engine's own
    /// limits), or the empty text. Asks the database nothing.
    QString checkNewTemplate(const QString &name, const QStringList &columns) const;

    /// Creates a template with the given columns (all TEXT) and rows, and
    /// its billing rules when given, all in one transaction: either the
    /// whole template is stored or nothing is. Half characters in a cell are
    /// stored as U+FFFD and named in notes().
    bool createTemplate(const QString &name, const QStringList &columns, const QList<QStringList> &rows,
                        const std::optional<BillingRules> &rules = std::nullopt);

    /// What the last write stored otherwise than given (a cell's half
    /// character replaced), one line a cell, for the seller to read.
    QStringList notes() const { return m_notes; }

    /// Sets columns of the rows whose ID is @p id, or of every row when @p id
    /// is not given. @p rowsChanged receives the number of rows touched.
    bool updateRows(const QString &name, const QList<ColumnValue> &values, const std::optional<QString> &id,
                    int *rowsChanged = nullptr);

    /// Appends one row; @p values follow @p columns.
    bool insertRow(const QString &name, const QStringList &columns, const QStringList &values);

    /// Deletes the rows whose ID is @p id.
    bool deleteRows(const QString &name, const QString &id, int *rowsDeleted = nullptr);

    /// Deletes a template and its billing rules, after a backup.
    bool deleteTemplate(const QString &name);
    /// Replaces every row (and the columns) of template @p name in one
    /// transaction, after a backup; its name stays, and its billing rules
    /// unless others are given. The new rows are written aside first, so
    /// that others read the old ones until the last moment.
    bool replaceTemplate(const QString &name, const QStringList &columns, const QList<QStringList> &rows,
                         const std::optional<BillingRules> &rules = std::nullopt);

    /// The folder of backups: "backups" beside the database file; empty on a
    /// server, which keeps them in a table of its own.
    QString backupFolder() const;
    /// The backups, the last made first; the last 30 made are kept.
    QList<Backup> backups();
    /// Takes a backup named with the time and @p operation, for @p templates
    /// (see Backup): a copy of the whole file (SQLite's VACUUM INTO,
    /// consistent even while others write), or on a server a copy of the
    /// rows of @p templates (every template when empty). Every destructive
    /// operation calls it first and does not run when it fails.
    bool backUp(const QString &operation, const QStringList &templates = {});
    /// What restoring backup @p name would change, template by template,
    /// after checking the backup whole; nothing (with lastError()) when it
    /// cannot be restored that way.
    std::optional<RestorePlan> planRestore(const QString &name, RestoreScope scope);
    /// Restores backup @p name: the templates it was taken for, or the whole
    /// database (on a server, every template it holds), after backing up
    /// what it replaces. The backup is checked whole before anything is
    /// touched: on any failure the database stays as it was.
    bool restoreBackup(const QString &name, RestoreScope scope);

    /// Renames a template; its billing rules keep going with it.
    bool renameTemplate(const QString &oldName, const QString &newName);

    /// The billing rules of template @p name: the saved ones, or the defaults.
    /// Nothing when there is no such template or the file cannot be read.
    std::optional<BillingRules> billingRules(const QString &name);
    /// The saved billing rules of every template that has some; templates
    /// missing here bill by the defaults.
    std::optional<QHash<QString, BillingRules>> billingRulesOfAll();
    /// Saves the billing rules of template @p name, kept in the program's own
    /// table of the same database (it never lists as a template).
    bool setBillingRules(const QString &name, const BillingRules &rules);

private:
    bool fail(const QString &what, const QString &detail);
    bool fail(const QString &what, const DbError &error);
    /// Whether a write may start: the file opens and, once a session, passes
    /// SQLite's quick check. A damaged file is never written to.
    bool openForWriting();
    /// Runs @p steps in one transaction; each returns the error that stopped
    /// it, none when it worked. Any error rolls all of it back.
    bool transact(const QString &failure, const std::function<DbError()> &steps);
    /// How a template write treats its table: makes it, or writes the rows
    /// aside and swaps them in at the end, the template coming last among
    /// the templates (Replace) or, where the engine can, keeping its place
    /// (Restore).
    enum class TableWrite { Create, Replace, Restore };
    /// How a template write treats the billing rules: saves the ones given,
    /// keeps what is saved, or forgets it.
    enum class RulesWrite { Save, Keep, Forget };
    /// Writes template @p name inside the running transaction. The shared
    /// things (the old table, the change counter) are taken last, so that
    /// others wait for them as briefly as can be.
    DbError writeTemplate(const QString &name, const QStringList &columns, const QList<QStringList> &rows,
                          TableWrite tableWrite, RulesWrite rulesWrite, const BillingRules &rules = {});
    /// Takes a backup by @p take and keeps the last 30 made, and always the
    /// one just taken and the one being restored.
    bool keepBackup(const QString &operation, const std::function<DbError(const QString &)> &take);
    std::optional<Backup> findBackup(const QString &name);
    bool restoreTemplates(const Backup &backup, const QStringList &names);
    bool restoreWholeFile(const Backup &backup);
    /// Whether template @p name may be destroyed by @p operation: it exists,
    /// the file may be written, and a backup was taken.
    bool prepareToDestroy(const QString &name, const QString &operation);
    /// Whether a table @p name with @p columns may be made (see
    /// checkTemplateColumns() and the engine's own limits); fails when not.
    bool acceptNames(const QString &name, const QStringList &columns);
    /// Creates the program's table @p table with @p createSql unless it is
    /// there.
    DbError ensureTable(QStringView table, QStringView createSql);
    /// Whether template @p name is (still) there; when it is not (another
    /// program or station deleted or renamed it meanwhile), fails saying so.
    bool requireTemplate(const QString &name);
    DbError forgetRules(const QString &name);
    /// Saves @p rules inside the running transaction.
    DbError saveRules(const QString &name, const BillingRules &rules);
    DbError addMissingRuleColumns();
    /// Adds those of @p columns that are price columns beyond the 41 and
    /// that template @p name lacks, inside the running transaction.
    DbError addPriceColumns(const QString &name, const QStringList &columns);
    /// Saves @p rules inside the running transaction (making the rules table
    /// when missing) and adds the price columns they ask for (their brackets
    /// and bands) that template @p name lacks, for the seller to fill.
    DbError storeRules(const QString &name, const BillingRules &rules);
    std::optional<QHash<QString, BillingRules>> savedBillingRules();
    /// Bumps the change counter of @p name in the running transaction, so
    /// that other connections know which template to read again.
    DbError countChange(const QString &name);
    /// Indexes the 地区 texts of templates made before such indexes, that
    /// they be read fast; quietly, and once a session, where the database
    /// may not be written.
    void indexOlderTemplates();
    /// Takes the rows read in the background into memory: once they are
    /// all read, or, with @p wait, waiting for them.
    void takePreload(bool wait = true);
    void refreshChangedTemplates();

    QString m_path;
    QString m_lastError;
    std::unique_ptr<Engine> m_engine; // none when the location is not understood
    QString m_locationProblem;
    bool m_checked = false; // passed the quick check this session
    QString m_restoring;    // the backup being restored, kept while it is read
    QStringList m_notes;
    bool m_nameTaken = false; // the last transaction failed as another made the name
    int m_busyTimeoutMs = 5000;

    /// What is held in memory of each template: its rows, and its change
    /// counter when they were read.
    struct Cached
    {
        std::shared_ptr<const TemplateRows> rows;
        qint64 version = 0;
    };
    struct Preloaded
    {
        QHash<QString, Cached> templates;
        QHash<QString, qint64> versions;
    };
    /// What the threads reading in the background have read so far.
    struct PreloadProgress;
    QHash<QString, Cached> m_cached;
    QHash<QString, Cached> m_regionsOnly;    // 地区 texts alone, while the rest is read
    QHash<QString, qint64> m_versions;       // the change counters last seen
    QHash<QString, qint64> m_countedChanges; // bumped in the running transaction
    QStringList m_notIndexed;                // templates whose index could not be made
    qint64 m_dataVersion = -1;
    qint64 m_revision = 0;
    qint64 m_outsideWrites = 0; // writes of other programs that did not say what they changed
    std::future<Preloaded> m_preload;
    std::shared_ptr<PreloadProgress> m_progress;
    qint64 m_preloadOutsideWrites = 0; // m_outsideWrites when the background reading began
};

} // namespace Kuaidi
