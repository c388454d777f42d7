#pragma once

#include <core/texttable.h>
#include <ratedb/regionsearchcache.h>

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class QSqlDatabase;

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

/// The rate database: one table per courier template, every column TEXT.
///
/// Every operation returns whether it worked; lastError() then says why it
/// did not, naming the file where the file itself is the problem. Nothing here
/// talks to the user.
class RateDatabase
{
public:
    explicit RateDatabase(const QString &path);
    ~RateDatabase();
    RateDatabase(const RateDatabase &) = delete;
    RateDatabase &operator=(const RateDatabase &) = delete;

    /// "kuaidishuju.db" in the program directory, or in the per-user data
    /// directory when the program directory is not writable.
    static QString defaultPath();

    /// Opens the file, creating it empty when it is missing. A file that is
    /// not a rate database is refused and left as it is.
    bool open();
    void close();
    bool isOpen() const;

    QString path() const { return m_path; }
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

    /// The same over several templates at once, in the order given: one read
    /// of a consistent state of the file, as one keystroke of the calculator
    /// needs it.
    QList<RegionSearchResult> findRowsByRegion(const QStringList &names, const QString &destination);

    /// Creates a template with the given columns (all TEXT) and rows, all in
    /// one transaction: either the whole template is stored or nothing is.
    bool createTemplate(const QString &name, const QStringList &columns, const QList<QStringList> &rows);

    /// Sets columns of the rows whose ID is @p id, or of every row when @p id
    /// is not given. @p rowsChanged receives the number of rows touched.
    bool updateRows(const QString &name, const QList<ColumnValue> &values, const std::optional<QString> &id,
                    int *rowsChanged = nullptr);

    /// Appends one row; @p values follow @p columns.
    bool insertRow(const QString &name, const QStringList &columns, const QStringList &values);

    /// Deletes the rows whose ID is @p id.
    bool deleteRows(const QString &name, const QString &id, int *rowsDeleted = nullptr);

    bool renameTemplate(const QString &oldName, const QString &newName);

private:
    QSqlDatabase database() const;
    bool fail(const QString &what, const QString &detail);
    std::optional<QList<QStringList>> searchTemplate(const QString &name, const QString &destination);
    std::optional<QList<QStringList>> findRowsByRegionWithLike(const QString &name,
                                                               const QString &destination);

    QString m_path;
    QString m_connectionName;
    QString m_lastError;
    RegionSearchCache m_searchCache;
};

} // namespace Kuaidi
