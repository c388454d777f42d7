#pragma once

#include <QString>
#include <QStringList>

namespace Kuaidi {

/// What a maintenance edit stores in a cell the seller left empty.
inline constexpr QStringView EmptyCellMarker = u"空";
/// What a new row gets in each of its fields that the seller left empty.
inline constexpr QStringView NotFilledMarker = u"未填";
/// The province of a new row whose region the region table does not know.
inline constexpr QStringView UnknownRegionProvince = u"您的市区输入有误";

/// How a row reaches the database, which decides what an empty cell becomes.
enum class RowWrite {
    Change, ///< an edited row: empty cells store "空", except the last (到达时间)
    Add,    ///< a new row: every empty cell stores "空"
};

/// The texts @p cells are stored as.
QStringList cellsToStore(QStringList cells, RowWrite write);

/// The fields the maintenance page's row editor shows and writes, each at its
/// rate column.
struct RowFields
{
    QString region;
    QString firstWeight;
    QString additionalWeight;
    QString surcharge20To30;
    QString surcharge30To50;
    QString otherFee;
    QString contact;
    QString arrivalTime;
};

/// Writes @p fields into the cells of a row at their rate columns, growing
/// the row where it is shorter.
void writeRowFields(QStringList &cells, const RowFields &fields);

/// A new row must not leave its prices, contact and arrival time empty:
/// those the seller left empty become "未填", but for the contact, which is
/// @p contact (the template's, see templateContact()) when there is one. The
/// region stays as typed.
RowFields withNewRowDefaults(RowFields fields, const QString &contact = {});

/// The contact a template gives its rows: the one most of @p contacts are
/// (the first of equals), leaving out "未填", "空" and blanks; empty when
/// there is none.
QString templateContact(const QStringList &contacts);

/// A new row of @p columnCount cells: @p id, the fields, and the province the
/// region table gives the region (or "您的市区输入有误"), each at its rate
/// column where the row has one. Other cells stay empty; cellsToStore() says
/// what is stored for them.
QStringList newRow(int columnCount, const QString &id, const RowFields &fields);

/// The ID for a row added to a template whose rows carry @p ids. Rows are
/// addressed by ID, so it is never one in use: one more than both the row
/// count and the highest numeric ID (after a delete, "rows + 1" may be taken).
int nextRowId(const QStringList &ids);

} // namespace Kuaidi
