#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QTextStream;

namespace Kuaidi {

/// One line of tab-separated cells; tabs and line breaks inside a cell would
/// break the columns, so they become blanks.
QString tsvLine(const QStringList &cells);

/// A table as tab-separated lines under its titles, or as a JSON array of
/// objects that keep the column order.
void writeTable(QTextStream &out, bool json, const QStringList &titles, const QList<QStringList> &rows);

} // namespace Kuaidi
