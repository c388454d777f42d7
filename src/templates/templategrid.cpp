#include "templategrid.h"

#include <core/limits.h>
#include <core/schema.h>
#include <regions/regionnames.h>
#include <regions/regiontable.h>

#include <QHash>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

constexpr int PreviewFirst = ColumnSurcharge20To30;
constexpr int PreviewCount = ColumnArrivalTime - ColumnSurcharge20To30; // 6 … 39

void insertColumn(TextTable &grid, int position, const QString &title)
{
    position = qBound(0, position, int(grid.columns.size()));
    grid.columns.insert(position, title);
    for (QStringList &row : grid.rows) {
        while (row.size() < position)
            row.append(QString());
        row.insert(position, QString());
    }
}

void setCell(QStringList &row, int column, const QString &text)
{
    while (row.size() <= column)
        row.append(QString());
    row[column] = text;
}

// The province every one of @p places lies in, or the empty text when they
// lie in several, or one of them is in none.
QString provinceOfAll(const QStringList &places)
{
    QString province;
    for (const QString &place : places) {
        const std::optional<RegionMatch> match = MatchRegion(place);
        if (!match || (!province.isEmpty() && match->entry->province != province))
            return {};
        province = match->entry->province.toString();
    }
    return province;
}

} // namespace

QString newTemplateSizeProblem(const TextTable &sheet)
{
    // The ID, the sheet's fields, 省区 and 市等级, and the 34 columns of the
    // preview, at least the 41 of a rate template.
    const qsizetype width = qMax<qsizetype>(RateColumnCount, sheet.columns.size() + 1 + 2 + PreviewCount);
    if (sheet.rows.size() <= MaxSheetCells / width)
        return {};
    return u"表格有 %1 行，做成模板后超过 %2 万个单元格，无法导入。请删去不需要的行后再试"_s
        .arg(sheet.rows.size())
        .arg(MaxSheetCells / 10'000);
}

TextTable importGridFromSheet(const TextTable &sheet)
{
    TextTable grid;
    grid.columns = QStringList{u"ID"_s} + sheet.columns;
    grid.rows.reserve(sheet.rows.size());
    for (qsizetype r = 0; r < sheet.rows.size(); ++r)
        grid.rows.append(QStringList{QString::number(r + 1)} + sheet.rows.at(r));
    return grid;
}

TextTable editorGridFromSheet(const TextTable &sheet)
{
    TextTable grid = importGridFromSheet(sheet);
    insertColumn(grid, 1, u"代码"_s);
    return grid;
}

void MatchProvinces(TextTable &grid, bool sheetsOwn)
{
    const QString province = RateColumns().at(ColumnProvince);
    const QString cityGrade = RateColumns().at(ColumnCityGrade);
    if (grid.columns.value(ColumnProvince) != province || grid.columns.value(ColumnCityGrade) != cityGrade) {
        insertColumn(grid, ColumnProvince, province);
        insertColumn(grid, ColumnCityGrade, cityGrade);
    } else if (sheetsOwn) {
        return;
    }
    for (QStringList &row : grid.rows) {
        const QString region = row.value(ColumnRegion);
        // A row for several provinces ("山东、天津", "江浙沪") belongs to none
        // of them; one for places of a single province belongs to it.
        if (mayNameSeveralPlaces(region)) {
            if (const RegionNames names = readRegionNames(region); names.isGroup()) {
                setCell(row, ColumnProvince, provinceOfAll(names.named));
                continue;
            }
        }
        if (const std::optional<RegionMatch> match = MatchRegion(region))
            setCell(row, ColumnProvince, match->entry->province.toString());
    }
}

void previewNewTemplate(TextTable &grid, const NewTemplateDefaults &defaults)
{
    // Found by name wherever they are (a preview before the provinces were
    // matched put them further left), and refilled in place.
    const QStringList previewColumns = RateColumns().mid(PreviewFirst, PreviewCount);
    int first = int(grid.columns.indexOf(previewColumns.first()));
    // A sheet may bring some of these columns itself (its own 联系方式):
    // they move into place, and only their blank cells take the defaults.
    QHash<int, QStringList> own;
    if (first < 0 || grid.columns.mid(first, PreviewCount) != previewColumns) {
        for (int i = 0; i < PreviewCount; ++i) {
            const qsizetype at = grid.columns.indexOf(previewColumns.at(i));
            if (at < 0)
                continue;
            QStringList &cells = own[i];
            for (QStringList &row : grid.rows)
                cells << (at < row.size() ? row.takeAt(at) : QString());
            grid.columns.removeAt(at);
        }
        for (int i = 0; i < PreviewCount; ++i)
            insertColumn(grid, PreviewFirst + i, previewColumns.at(i));
        first = int(grid.columns.indexOf(previewColumns.first()));
    }
    const QStringList fills{defaults.surcharge20To30, defaults.surcharge30To50, defaults.otherFee,
                            defaults.contact};
    for (qsizetype r = 0; r < grid.rows.size(); ++r) {
        for (int i = 0; i < PreviewCount; ++i) {
            const QString sheets = own.value(i).value(r);
            setCell(grid.rows[r], first + i,
                    !sheets.trimmed().isEmpty() ? sheets
                    : i < fills.size()          ? fills.at(i)
                                                : u"0"_s);
        }
    }
}

QStringList missingFeeColumns(const QStringList &columns)
{
    QStringList missing;
    for (const int column : {int(ColumnRegion), int(ColumnFirstWeight), int(ColumnAdditionalWeight)}) {
        if (!columns.contains(RateColumns().at(column)))
            missing << RateColumns().at(column);
    }
    return missing;
}

} // namespace Kuaidi
