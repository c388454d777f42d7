#include "ordersheet.h"

#include <core/schema.h>
#include <import/workbook.h>

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
    };
    return titles;
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
    sheet.headerRow = int(header) + 1;
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
        }
        if (*column < 0) // the first column of a kind counts
            *column = c;
    }
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
    sheet.rows.reserve(rowCount - header - 1);
    for (qsizetype i = header + 1; i < rowCount; ++i) {
        QStringList row = rowAt(i);
        if (row.size() != sheet.titles.size())
            row.resize(sheet.titles.size());
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

} // namespace Kuaidi
