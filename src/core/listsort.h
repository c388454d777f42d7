#pragma once

#include <core/texttable.h>

#include <QString>

namespace Kuaidi {

/// How SortListByColumn() compares the texts of the sort column.
enum SortKind : int {
    SortAsText = 10,    ///< byte order of the GBK encoding
    SortAsNumber = 6,   ///< lenient text-to-number
    SortAsCurrency = 3, ///< taken as SortAsNumber
    SortAsDateTime = 8,
};

namespace SortStatus {
inline constexpr QStringView NotReportView = u"该超级列表框不是报表类型";
inline constexpr QStringView BadColumn = u"错误的列索引";
inline constexpr QStringView BadKind = u"排序类型不对";
inline constexpr QStringView Done = u"排序完成";
} // namespace SortStatus

/// The order a sort by one column puts the rows in.
struct SortOrder
{
    QString status;  ///< a SortStatus text
    QList<int> rows; ///< entry i: the position before the sort of the row that comes i-th; empty on an error
};

/// The order SortListByColumn() would give @p table, without moving any row.
SortOrder sortOrderByColumn(const TextTable &table, int column, bool ascending = true,
                            bool caseSensitive = false, int kind = SortAsText);

/// Reorders whole rows of @p table by the texts of one column and returns a
/// status text. Rows whose keys are equal come out in the reverse of their
/// previous order, in either direction, so sorting a column twice swaps them
/// back. Text keys are folded to upper case unless @p caseSensitive; the
/// cells themselves keep their own case. On an error status the table is
/// left unchanged.
QString SortListByColumn(TextTable &table, int column, bool ascending = true, bool caseSensitive = false,
                         int kind = SortAsText);

} // namespace Kuaidi
