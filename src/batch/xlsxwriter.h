#pragma once

#include "zipstream.h"

#include <QList>
#include <QSet>
#include <QStringList>

class QIODevice;

namespace Kuaidi {

/// Writes an Excel workbook (.xlsx) sheet by sheet and row by row onto a
/// seekable device, deflating as it goes. Texts go in as texts (never
/// formulas), numbers of the number columns as numbers; each sheet gets its
/// header row in bold and frozen, and column widths fitted to its first rows.
class XlsxWriter
{
public:
    explicit XlsxWriter(QIODevice *device);

    /// Starts a sheet, ending the one before. Refuses a name Excel does not
    /// take, or one a sheet before already has.
    bool beginSheet(const QString &name, const QStringList &columns, const QSet<int> &numberColumns);
    bool addRow(const QStringList &cells);
    /// Ends the last sheet and writes the workbook's own parts.
    bool finish();

    QString errorString() const { return m_error.isEmpty() ? m_zip.errorString() : m_error; }

private:
    bool endSheet();
    bool writeSheetStart();
    bool appendRow(const QStringList &cells, bool header);
    bool flush(bool always);
    bool fail(const QString &reason);

    ZipStream m_zip;
    QStringList m_sheetNames;
    bool m_inSheet = false;
    // The sheet being written.
    QStringList m_columns;
    QSet<int> m_numbers;
    QList<QStringList> m_firstRows; // held until the column widths are known
    bool m_started = false;
    qint64 m_rows = 0; // rows written, the header included
    QList<QByteArray> m_columnNames;
    QByteArray m_xml; // written out a buffer's worth at a time
    QString m_error;
};

/// "-3.5", "+2", ".5", "007": a number as Excel (and XML) reads it, written
/// in ASCII digits alone.
bool isPlainNumber(QStringView text);

/// Names Excel takes for a sheet: 1 to 31 characters, none of []:*?/\, not
/// beginning or ending with an apostrophe.
bool isSheetName(const QString &name);

} // namespace Kuaidi
