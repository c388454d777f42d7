#pragma once

#include <core/limits.h>

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace Kuaidi {

/// One row of a sheet as stored: where it stands in the file as the seller
/// counts there (the sheet's row number, or the line of a text file it
/// starts on, from 1) and its cells, which may be fewer or more than another
/// row's and may be blank.
struct SheetRow
{
    int number = 0;
    QStringList cells;
};

/// The rows of one sheet in file order; turning them into fields and
/// records is sheettable's job.
using SheetRows = QList<SheetRow>;

/// What one sheet expands to, counted while it is read: its cells (a row's
/// blank cells before its last one included) and the characters of its
/// texts, a text shown by many cells counted at each. A small file that
/// would expand past either is refused before it fills the memory.
class SheetBudget
{
public:
    /// Counts @p cells more cells and @p chars more characters; false once
    /// either limit is passed, and from then on.
    bool take(qsizetype cells, qsizetype chars)
    {
        m_cells += cells;
        m_chars += chars;
        return !exceeded();
    }
    bool exceeded() const { return m_cells > MaxSheetCells || m_chars > MaxSheetChars; }
    /// Why the sheet is refused.
    QString message() const;

private:
    qsizetype m_cells = 0;
    qsizetype m_chars = 0;
};

/// One file format behind Workbook. A reader opens one file and hands out the
/// raw rows of its sheets; failures leave a Chinese message in lastError().
class SheetReader
{
public:
    virtual ~SheetReader() = default;
    Q_DISABLE_COPY_MOVE(SheetReader)

    virtual bool open(const QString &path) = 0;
    /// Sheet names in workbook order, as open() found them.
    QStringList sheetNames() const { return m_sheetNames; }
    /// Rows of the sheet at @p index in sheetNames().
    virtual std::optional<SheetRows> readSheet(qsizetype index) = 0;
    /// Whether a sheet's first row names its fields exactly as they are,
    /// blank rows and columns included: a database table's columns.
    virtual bool keepsEveryRow() const { return false; }

    QString lastError() const { return m_error; }
    /// What the seller should know about a file that was read all the same
    /// (bytes that were not valid text, and where).
    QStringList warnings() const { return m_warnings; }

    static QString damagedMessage();
    static QString tooLargeMessage();
    static QString tooMuchTextMessage();
    /// More texts in a workbook's shared table than cells any sheet may have.
    static QString tooManyTextsMessage();
    /// A file the program may not read, or that another program holds.
    static QString cannotOpenMessage();

protected:
    SheetReader() = default;
    bool fail(const QString &message);
    void warn(const QString &message) { m_warnings.append(message); }
    void addSheetName(const QString &name) { m_sheetNames.append(name); }

private:
    QString m_error;
    QStringList m_warnings;
    QStringList m_sheetNames;
};

} // namespace Kuaidi
