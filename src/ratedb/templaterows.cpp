#include "templaterows.h"

#include "engine.h"

#include <core/numbertext.h>

#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

bool hasUpperAscii(QStringView text)
{
    for (const QChar c : text) {
        if (c >= u'A' && c <= u'Z')
            return true;
    }
    return false;
}

QString foldAscii(QStringView text)
{
    QString folded = text.toString();
    for (QChar &c : folded) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    }
    return folded;
}

} // namespace

void TemplateRows::Pool::endText()
{
    m_ends.append(qint32(m_text.size()));
    m_text.append(QChar(0));
}

void TemplateRows::Pool::append(QStringView text)
{
    m_text.append(text);
    endText();
}

void TemplateRows::Pool::appendUtf8(QByteArrayView text, QStringDecoder &decoder)
{
    if (std::all_of(text.begin(), text.end(), [](char c) { return uchar(c) < 0x80; })) {
        m_text.append(QLatin1StringView(text));
        endText();
        return;
    }
    // Decoded straight into the pool.
    const qsizetype start = m_text.size();
    m_text.resize(start + decoder.requiredSpace(text.size()));
    QChar *end = decoder.appendToBuffer(m_text.data() + start, text);
    m_text.resize(end - m_text.constData());
    endText();
}

QStringView TemplateRows::Pool::at(qsizetype i) const
{
    const qint32 begin = i == 0 ? 0 : m_ends.at(i - 1) + 1;
    return QStringView(m_text).sliced(begin, m_ends.at(i) - begin);
}

void TemplateRows::Pool::squeeze()
{
    m_text.squeeze();
    m_ends.squeeze();
}

QString TemplateRows::cell(qsizetype row, int column) const
{
    if (column == ColumnId)
        return m_ids.at(row).toString();
    if (column == ColumnRegion)
        return m_regions.at(row).toString();
    return m_combinations.at(m_combinationOf.at(row)).value(column);
}

std::shared_ptr<const TemplateRows> TemplateRows::load(RowCursor &query, const QString &name, DbError *error)
{
    // Where each rate column is among the fields; -1 for one the table lacks.
    std::array<int, PricedColumnCount> fieldOf;
    fieldOf.fill(-1);
    for (int field = 0; field < query.columnCount(); ++field) {
        const qsizetype column = pricedColumns().indexOf(query.columnName(field));
        if (column >= 0 && fieldOf[column] < 0)
            fieldOf[column] = field;
    }
    const auto bytes = [&](int column) {
        return fieldOf[column] < 0 ? QByteArrayView() : query.utf8(fieldOf[column]);
    };

    auto rows = std::make_shared<TemplateRows>();
    rows->m_name = name;
    // Stateless, so that every text is read alone; a leading U+FEFF stays a
    // character.
    QStringDecoder decoder(QStringConverter::Utf8,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    // The other cells of a row, each with its length in front, name its
    // combination without decoding a single text; the cells a quote reads
    // name its quote group.
    QHash<QByteArray, quint32> combinations;
    QHash<QByteArray, quint32> quoteGroups;
    std::string key;
    key.reserve(4096);
    const auto appendCell = [&](int column) {
        const QByteArrayView cell = bytes(column);
        const qint32 length = qint32(cell.size());
        const size_t at = key.size();
        key.resize(at + sizeof length + size_t(length));
        std::memcpy(key.data() + at, &length, sizeof length);
        if (length > 0)
            std::memcpy(key.data() + at + sizeof length, cell.data(), size_t(length));
    };
    bool folding = false;
    while (query.next()) {
        rows->m_ids.appendUtf8(bytes(ColumnId), decoder);
        rows->m_regions.appendUtf8(bytes(ColumnRegion), decoder);
        rows->m_nullRegion.append(fieldOf[ColumnRegion] < 0 || query.isNull(fieldOf[ColumnRegion]));
        const QStringView region = rows->m_regions.at(rows->m_regions.size() - 1);
        if (!folding && hasUpperAscii(region)) {
            folding = true;
            for (qsizetype i = 0; i + 1 < rows->m_regions.size(); ++i)
                rows->m_foldedRegions.append(rows->m_regions.at(i));
        }
        if (folding)
            rows->m_foldedRegions.append(foldAscii(region));
        if (!rows->m_nullRegion.last() && mayNameSeveralPlaces(region)) {
            if (RegionNames names = readRegionNames(region); names.isGroup())
                rows->m_groups.insert(quint32(rows->m_regions.size() - 1), std::move(names));
        }

        key.clear();
        for (int column = ColumnProvince; column < PricedColumnCount; ++column)
            appendCell(column);
        auto it = combinations.constFind(QByteArray::fromRawData(key.data(), qsizetype(key.size())));
        if (it == combinations.cend()) {
            QStringList cells(PricedColumnCount);
            for (int column = ColumnProvince; column < PricedColumnCount; ++column)
                cells[column] = fieldOf[column] < 0 ? QString() : query.text(fieldOf[column]);
            it = combinations.insert(QByteArray(key.data(), qsizetype(key.size())),
                                     quint32(rows->m_combinations.size()));
            for (int column = 0; column < PricedColumnCount; ++column) {
                const QString &cell = cells.at(column);
                rows->m_combinationNumbers.append(column < RateColumnCount ? textToNumber(cell)
                                                                           : priceCellNumber(cell));
            }
            rows->m_combinations.append(std::move(cells));
            key.clear();
            for (int column = ColumnFirstWeight; column < PricedColumnCount; ++column)
                appendCell(column);
            const QByteArray group(key.data(), qsizetype(key.size()));
            rows->m_quoteGroupOf.append(quoteGroups.value(group, quint32(quoteGroups.size())));
            quoteGroups.insert(group, rows->m_quoteGroupOf.last());
        }
        rows->m_combinationOf.append(*it);
    }
    if (query.error().isError()) {
        *error = query.error();
        return nullptr;
    }
    rows->m_quoteGroupCount = quint32(quoteGroups.size());
    rows->m_ids.squeeze();
    rows->m_regions.squeeze();
    rows->m_foldedRegions.squeeze();
    rows->m_nullRegion.squeeze();
    rows->m_combinationOf.squeeze();
    return rows;
}

} // namespace Kuaidi
