#pragma once

#include <core/texttable.h>

#include <QList>
#include <QSet>
#include <QString>

namespace Kuaidi {

/// One sheet of a file to write.
struct OutputSheet
{
    QString name;
    TextTable table;
    QSet<int> numberColumns; ///< columns whose numbers go into a workbook as numbers
};

/// Writes @p sheets to @p path: a workbook (.xlsx) with one sheet each, or
/// the first sheet as comma-separated UTF-8 with a byte-order mark (.csv), so
/// that Excel opens it. The file is written aside and moved into place at the
/// end: a failure leaves whatever was at @p path untouched. Returns the
/// reason for a failure, or the empty text.
QString writeTableFile(const QString &path, const QList<OutputSheet> &sheets);

/// One CSV record: cells quoted where they hold a comma, a quote or a line
/// break, lines ended by CRLF.
QByteArray csvRecord(const QStringList &cells);

} // namespace Kuaidi
