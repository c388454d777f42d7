#include "templaterows.h"

#include "engine.h"

#include <core/numbertext.h>

#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

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

void TemplateRows::Pool::reserve(qsizetype texts, qsizetype characters)
{
    m_text.reserve(characters + texts);
    m_ends.reserve(texts);
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

namespace {

// The priced cells of a combination: those from 首重价格 on.
constexpr int PricedCellCount = int(PricedColumnCount) - int(ColumnFirstWeight);

// Whether @p text is the decimal number @p number, as IDs are written.
bool isNumberText(QByteArrayView text, qsizetype number)
{
    char digits[24];
    const int length = std::snprintf(digits, sizeof digits, "%lld", static_cast<long long>(number));
    return text == QByteArrayView(digits, length);
}

} // namespace

QString TemplateRows::cell(qsizetype row, int column) const
{
    if (column == ColumnId)
        return m_idsAreNumbers ? QString::number(row + 1) : m_ids.at(row).toString();
    if (column == ColumnRegion)
        return m_regions.at(row).toString();
    if (!m_hasCells || column < 0 || column >= PricedColumnCount)
        return {};
    if (column < ColumnFirstWeight)
        return m_texts.at(m_placeTexts.at(2 * m_placeOf.at(row) + (column - ColumnProvince)));
    return combinationCell(m_combinationOf.at(row), column);
}

const QString &TemplateRows::combinationCell(quint32 combination, int column) const
{
    static const QString none;
    if (column < ColumnFirstWeight || column >= PricedColumnCount)
        return none;
    return m_texts.at(
        m_combinationTexts.at(qsizetype(combination) * PricedCellCount + column - ColumnFirstWeight));
}

void TemplateRows::appendRegion(QByteArrayView text, bool isNull, QStringDecoder &decoder)
{
    m_regions.appendUtf8(text, decoder);
    const qsizetype row = m_regions.size() - 1;
    if (isNull && !m_noRegions)
        m_nullRegions.append(qint32(row));
    const QStringView region = m_regions.at(row);
    if (!m_folding && hasUpperAscii(region)) {
        m_folding = true;
        for (qsizetype i = 0; i < row; ++i)
            m_foldedRegions.append(m_regions.at(i));
    }
    if (m_folding)
        m_foldedRegions.append(foldAscii(region));
    if (!isNull && mayNameSeveralPlaces(region)) {
        if (RegionNames names = readRegionNames(region); names.isGroup())
            m_groups.insert(quint32(row), names);
    }
}

void TemplateRows::squeeze()
{
    m_ids.squeeze();
    m_regions.squeeze();
    m_foldedRegions.squeeze();
    m_nullRegions.squeeze();
    m_keys.squeeze();
    m_placeOf.squeeze();
    m_combinationOf.squeeze();
    m_texts.squeeze();
    m_placeTexts.squeeze();
    m_combinationTexts.squeeze();
    m_combinationNumbers.squeeze();
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
    rows->m_noRegions = fieldOf[ColumnRegion] < 0;
    // Stateless, so that every text is read alone; a leading U+FEFF stays a
    // character.
    QStringDecoder decoder(QStringConverter::Utf8,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    // Each distinct text once, found by its bytes.
    QHash<QByteArray, quint32> textNumbers;
    const auto textNumber = [&](int column) {
        const QByteArrayView cell = bytes(column);
        auto it = textNumbers.constFind(QByteArray::fromRawData(cell.data(), cell.size()));
        if (it == textNumbers.cend()) {
            it = textNumbers.insert(cell.toByteArray(), quint32(rows->m_texts.size()));
            rows->m_texts.append(fieldOf[column] < 0 ? QString() : query.text(fieldOf[column]));
        }
        return *it;
    };
    // The cells of a row, each with its length in front, name its
    // combination (and its 省区 and 市等级 their pair) without decoding a
    // single text.
    QHash<QByteArray, quint32> combinations;
    QHash<QByteArray, quint32> places;
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
    const auto keyView = [&key] { return QByteArray::fromRawData(key.data(), qsizetype(key.size())); };
    while (query.next()) {
        const qsizetype row = rows->m_regions.size();
        const QByteArrayView id = bytes(ColumnId);
        if (rows->m_idsAreNumbers && !isNumberText(id, row + 1)) {
            rows->m_idsAreNumbers = false;
            for (qsizetype i = 0; i < row; ++i)
                rows->m_ids.append(QString::number(i + 1));
        }
        if (!rows->m_idsAreNumbers)
            rows->m_ids.appendUtf8(id, decoder);
        rows->appendRegion(bytes(ColumnRegion),
                           fieldOf[ColumnRegion] < 0 || query.isNull(fieldOf[ColumnRegion]), decoder);

        key.clear();
        appendCell(ColumnProvince);
        appendCell(ColumnCityGrade);
        auto place = places.constFind(keyView());
        if (place == places.cend()) {
            place = places.insert(QByteArray(key.data(), qsizetype(key.size())),
                                  quint32(rows->m_placeTexts.size() / 2));
            rows->m_placeTexts << textNumber(ColumnProvince) << textNumber(ColumnCityGrade);
        }
        rows->m_placeOf.append(*place);

        key.clear();
        for (int column = ColumnFirstWeight; column < PricedColumnCount; ++column)
            appendCell(column);
        auto it = combinations.constFind(keyView());
        if (it == combinations.cend()) {
            it = combinations.insert(QByteArray(key.data(), qsizetype(key.size())),
                                     quint32(rows->combinationCount()));
            for (int column = 0; column < PricedColumnCount; ++column) {
                if (column < ColumnFirstWeight) {
                    rows->m_combinationNumbers.append(0);
                    continue;
                }
                const quint32 text = textNumber(column);
                rows->m_combinationTexts.append(text);
                const QString &cell = rows->m_texts.at(text);
                rows->m_combinationNumbers.append(column < RateColumnCount ? textToNumber(cell)
                                                                           : priceCellNumber(cell));
            }
        }
        rows->m_combinationOf.append(*it);
    }
    if (query.error().isError()) {
        *error = query.error();
        return nullptr;
    }
    rows->squeeze();
    return rows;
}

std::shared_ptr<const TemplateRows> TemplateRows::loadRegions(RowCursor &query, const QString &name,
                                                              DbError *error)
{
    // The rows come as their index holds them, by 地区; they are put in
    // table order, the order of their keys, once read.
    struct Read
    {
        qint64 key;
        qsizetype start;
        qsizetype size;
        bool isNull;
    };
    // Kept by the thread from one template to the next: memory the system
    // gives anew is costly to touch.
    thread_local std::vector<Read> read;
    thread_local std::string texts;
    read.clear();
    texts.clear();
    while (query.next()) {
        const std::optional<qint64> key = query.integer(0);
        if (!key) {
            *error = {-1, u"rows without keys"_s, {}};
            return nullptr;
        }
        const QByteArrayView text = query.utf8(1);
        read.push_back({*key, qsizetype(texts.size()), text.size(), query.isNull(1)});
        texts.append(text.data(), size_t(text.size()));
    }
    if (query.error().isError()) {
        *error = query.error();
        return nullptr;
    }
    const auto byKey = [](const Read &a, const Read &b) { return a.key < b.key; };
    if (!std::is_sorted(read.cbegin(), read.cend(), byKey))
        std::sort(read.begin(), read.end(), byKey);
    // Rows that share a key cannot be told apart by it.
    if (std::adjacent_find(read.cbegin(), read.cend(),
                           [](const Read &a, const Read &b) { return a.key == b.key; }) != read.cend()) {
        *error = {-1, u"rows without keys"_s, {}};
        return nullptr;
    }

    auto rows = std::make_shared<TemplateRows>();
    rows->m_name = name;
    rows->m_hasCells = false;
    rows->m_keys.reserve(qsizetype(read.size()));
    // A character of UTF-8 is never fewer bytes than its UTF-16 units.
    rows->m_regions.reserve(qsizetype(read.size()), qsizetype(texts.size()));
    QStringDecoder decoder(QStringConverter::Utf8,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    for (const Read &row : read) {
        rows->m_keys.append(row.key);
        rows->appendRegion(QByteArrayView(texts.data() + row.start, row.size), row.isNull, decoder);
    }
    rows->squeeze();
    return rows;
}

} // namespace Kuaidi
