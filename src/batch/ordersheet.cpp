#include "ordersheet.h"

#include <core/numbertext.h>
#include <core/parcelsize.h>
#include <core/schema.h>
#include <import/workbook.h>

#include <QDateTime>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

constexpr int HeaderSearchRows = 10;

struct FieldTitles
{
    OrderField field;
    QStringList titles;
};

const QList<FieldTitles> &fieldTitles()
{
    static const QList<FieldTitles> titles{
        {OrderField::Destination, {u"收货地址"_s, u"收件地址"_s, u"地址"_s, u"目的地"_s, u"地区"_s}},
        {OrderField::Weight, {u"重量"_s, u"实重"_s, u"毛重"_s, u"计费重量"_s, u"KG"_s}},
        {OrderField::OrderNumber, {u"订单号"_s, u"订单编号"_s, u"单号"_s, u"运单号"_s}},
        {OrderField::Volume, {u"体积"_s}},
        {OrderField::Amount, {u"金额"_s, u"运费"_s, u"费用"_s, u"应付"_s, u"应付金额"_s}},
        {OrderField::Length, {u"长"_s, u"长度"_s}},
        {OrderField::Width, {u"宽"_s, u"宽度"_s}},
        {OrderField::Height, {u"高"_s, u"高度"_s}},
        {OrderField::Size, {u"尺寸"_s, u"长宽高"_s, u"长×宽×高"_s, u"长*宽*高"_s, u"包裹尺寸"_s}},
    };
    return titles;
}

// A bill's 合计 line: its first filled cell says so, and it names no
// destination (or only in that same cell).
bool isFooter(const QStringList &row, int destination)
{
    const auto first =
        std::find_if(row.cbegin(), row.cend(), [](const QString &cell) { return !cell.trimmed().isEmpty(); });
    if (first == row.cend())
        return false;
    QString text = *first;
    text.remove(u' ').remove(u'\u3000');
    while (text.endsWith(u':') || text.endsWith(u'：'))
        text.chop(1);
    if (text != u"合计" && text != u"总计" && text != u"小计")
        return false;
    return first - row.cbegin() == destination || row.value(destination).trimmed().isEmpty();
}

bool isDateTitle(const QString &title)
{
    const QString text = normalisedColumnTitle(title);
    return text.contains(u"日期") || text.contains(u"时间");
}

// Excel's day numbers of 1990 to 2099: such a number in a date column is a
// date a reader gave as the workbook stores it.
constexpr double FirstDateSerial = 32874;
constexpr double LastDateSerial = 73051;

// "2026-02-01" or "2026-02-01 14:30:00" for a day number, else the text.
QString dateOfSerial(const QString &text)
{
    const std::optional<double> serial = parseNumber(text);
    if (!serial || *serial < FirstDateSerial || *serial >= LastDateSerial)
        return text;
    double days = std::floor(*serial);
    qint64 seconds = std::llround((*serial - days) * 86400);
    if (seconds >= 86400) {
        days += 1;
        seconds -= 86400;
    }
    const QString date = QDate(1899, 12, 30).addDays(qint64(days)).toString(u"yyyy-MM-dd");
    return seconds == 0 ? date : date + QTime(0, 0).addSecs(int(seconds)).toString(u" HH:mm:ss");
}

// The column each field takes: the first of its kind.
void assignColumns(OrderSheet &sheet)
{
    for (int c = 0; c < sheet.titles.size(); ++c) {
        const std::optional<OrderField> field = orderFieldOfTitle(sheet.titles.at(c));
        if (!field)
            continue;
        int *column = nullptr;
        switch (*field) {
        case OrderField::Destination:
            column = &sheet.destination;
            break;
        case OrderField::Weight:
            column = &sheet.weight;
            break;
        case OrderField::OrderNumber:
            column = &sheet.orderNumber;
            break;
        case OrderField::Volume:
            column = &sheet.volume;
            break;
        case OrderField::Amount:
            column = &sheet.amount;
            break;
        case OrderField::Length:
            column = &sheet.length;
            break;
        case OrderField::Width:
            column = &sheet.width;
            break;
        case OrderField::Height:
            column = &sheet.height;
            break;
        case OrderField::Size:
            column = &sheet.size;
            break;
        }
        if (*column < 0)
            *column = c;
    }
}

} // namespace

QString orderFieldName(OrderField field)
{
    switch (field) {
    case OrderField::Destination:
        return u"目的地"_s;
    case OrderField::Weight:
        return u"重量"_s;
    case OrderField::OrderNumber:
        return u"订单号"_s;
    case OrderField::Volume:
        return u"体积"_s;
    case OrderField::Amount:
        return u"金额"_s;
    case OrderField::Length:
        return u"长"_s;
    case OrderField::Width:
        return u"宽"_s;
    case OrderField::Height:
        return u"高"_s;
    case OrderField::Size:
        return u"尺寸"_s;
    }
    return {};
}

std::optional<OrderField> orderFieldOfTitle(QStringView title)
{
    const QString text = normalisedColumnTitle(title);
    for (const FieldTitles &field : fieldTitles()) {
        if (field.titles.contains(text, Qt::CaseInsensitive))
            return field.field;
    }
    return std::nullopt;
}

OrderSheetResult findOrderColumns(const TextTable &table, bool withAmount)
{
    const qsizetype rowCount = 1 + table.rows.size();
    const auto rowAt = [&table](qsizetype i) -> const QStringList & {
        return i == 0 ? table.columns : table.rows.at(i - 1);
    };
    // The seller's own row numbers where the reader kept them.
    const auto sheetRowOf = [&table](qsizetype i) {
        return i < table.sourceRows.size() ? table.sourceRows.at(i) : int(i) + 1;
    };
    qsizetype header = -1;
    for (qsizetype i = 0; i < qMin(rowCount, qsizetype(HeaderSearchRows)) && header < 0; ++i) {
        for (const QString &cell : rowAt(i)) {
            if (orderFieldOfTitle(cell) == OrderField::Destination) {
                header = i;
                break;
            }
        }
    }
    if (header < 0) {
        // No header: every required column is missing that none of the
        // first rows names.
        QStringList missing{orderFieldName(OrderField::Destination)};
        QList<OrderField> required{OrderField::Weight};
        if (withAmount)
            required << OrderField::Amount;
        for (const OrderField field : std::as_const(required)) {
            bool named = false;
            for (qsizetype i = 0; i < qMin(rowCount, qsizetype(HeaderSearchRows)) && !named; ++i) {
                named = std::any_of(rowAt(i).cbegin(), rowAt(i).cend(), [field](const QString &cell) {
                    return orderFieldOfTitle(cell) == field;
                });
            }
            if (!named)
                missing << orderFieldName(field);
        }
        return {std::nullopt, u"表格缺少列：%1（前 %2 行中没有收货地址、收件地址、地址、目的地或地区）"_s
                                  .arg(missing.join(u"、"))
                                  .arg(HeaderSearchRows)};
    }

    OrderSheet sheet;
    sheet.titles = rowAt(header);
    sheet.headerRow = sheetRowOf(header);
    assignColumns(sheet);
    QStringList missing;
    if (sheet.weight < 0)
        missing << orderFieldName(OrderField::Weight);
    if (withAmount && sheet.amount < 0)
        missing << orderFieldName(OrderField::Amount);
    if (!missing.isEmpty()) {
        return {std::nullopt, u"表格缺少列：%1（表头在第 %2 行：%3）"_s.arg(missing.join(u"、"))
                                  .arg(sheet.headerRow)
                                  .arg(sheet.titles.join(u"、"))};
    }
    QList<int> dateColumns;
    for (int c = 0; c < sheet.titles.size(); ++c) {
        if (isDateTitle(sheet.titles.at(c)))
            dateColumns << c;
    }
    const bool numbered = !table.sourceRows.isEmpty();
    bool skipped = false;
    sheet.rows.reserve(rowCount - header - 1);
    for (qsizetype i = header + 1; i < rowCount; ++i) {
        QStringList row = rowAt(i);
        if (isFooter(row, sheet.destination)) {
            if (!skipped && !numbered) {
                for (qsizetype o = 0; o < sheet.rows.size(); ++o)
                    sheet.rowNumbers.append(sheet.sheetRow(o));
            }
            skipped = true;
            continue;
        }
        if (row.size() != sheet.titles.size())
            row.resize(sheet.titles.size());
        for (const int c : std::as_const(dateColumns))
            row[c] = dateOfSerial(row.at(c));
        if (numbered || skipped)
            sheet.rowNumbers.append(sheetRowOf(i));
        sheet.rows.append(std::move(row));
    }
    return {std::move(sheet), {}};
}

OrderSheetResult readOrderSheet(const QString &path, const QString &sheet, bool withAmount)
{
    Workbook workbook;
    if (!workbook.open(path))
        return {std::nullopt, workbook.failureMessage()};
    const QStringList names = workbook.sheetNames();
    const QString name = sheet.isEmpty() ? names.value(0) : sheet;
    if (!names.contains(name))
        return {std::nullopt, u"工作簿中没有名为“%1”的表，可选：%2"_s.arg(name, names.join(u"、"))};
    const std::optional<TextTable> table = workbook.readSheet(name);
    if (!table)
        return {std::nullopt, workbook.failureMessage()};
    return findOrderColumns(*table, withAmount);
}

std::optional<double> orderWeight(QStringView text)
{
    text = text.trimmed();
    for (const QStringView unit : {QStringView(u"kg"), QStringView(u"公斤"), QStringView(u"千克")}) {
        if (text.endsWith(unit, Qt::CaseInsensitive)) {
            text.chop(unit.size());
            break;
        }
    }
    return parseWeight(text);
}

OrderParcel orderParcel(const QString &weight, const QString &volume)
{
    OrderParcel parcel;
    parcel.weight = orderWeight(weight);
    if (!parcel.weight) {
        parcel.problem = u"重量无效"_s;
    } else if (!volume.trimmed().isEmpty()) {
        parcel.volume = parseNumber(volume);
        if (!parcel.volume || *parcel.volume < 0)
            parcel.problem = u"体积无效"_s;
    }
    return parcel;
}

OrderParcel orderParcel(const OrderSheet &sheet, const QStringList &row)
{
    const auto cell = [&row](int column) { return column >= 0 ? row.value(column) : QString(); };
    const QString volume = cell(sheet.volume);
    OrderParcel parcel = orderParcel(cell(sheet.weight), volume);
    if (!parcel.problem.isEmpty() || !volume.trimmed().isEmpty())
        return parcel;
    // No volume given: the sides, in one cell or in three.
    if (const QString sides = cell(sheet.size); !sides.trimmed().isEmpty()) {
        parcel.volume = dimensionsToCubicMetres(sides);
    } else {
        const QStringList three{cell(sheet.length), cell(sheet.width), cell(sheet.height)};
        if (sheet.length < 0 || sheet.width < 0 || sheet.height < 0 ||
            std::all_of(three.cbegin(), three.cend(),
                        [](const QString &side) { return side.trimmed().isEmpty(); }))
            return parcel;
        const std::optional<double> length = parseCentimetres(three.at(0));
        const std::optional<double> width = parseCentimetres(three.at(1));
        const std::optional<double> height = parseCentimetres(three.at(2));
        if (length && width && height)
            parcel.volume = cubicMetresOf(*length, *width, *height);
    }
    if (!parcel.volume)
        parcel.problem = u"体积无效"_s;
    return parcel;
}

} // namespace Kuaidi
