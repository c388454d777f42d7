#pragma once

#include <core/limits.h>

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace Kuaidi {

/// The cells of one sheet as stored, row by row. Rows may differ in length and
/// may be blank; turning them into fields and records is sheettable's job.
using SheetRows = QList<QStringList>;

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

    QString lastError() const { return m_error; }

    static QString damagedMessage();
    static QString tooLargeMessage();
    /// A file the program may not read, or that another program holds.
    static QString cannotOpenMessage();

protected:
    SheetReader() = default;
    bool fail(const QString &message);
    void addSheetName(const QString &name) { m_sheetNames.append(name); }

private:
    QString m_error;
    QStringList m_sheetNames;
};

} // namespace Kuaidi
