#pragma once

#include <core/schema.h>
#include <regions/regionnames.h>

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <memory>

class QStringDecoder;

namespace Kuaidi {

class RowCursor;
struct DbError;

/// Every row of one template held in memory, as compactly as its texts
/// allow. The 地区 of each row sits in a text pool, and its ID too unless the
/// IDs are the rows' numbers; its 省区 and 市等级 are one of a few pairs, and
/// its priced cells one of the few combinations the template has (a template
/// has dozens of price combinations, not one per row), each a list of
/// numbers into the template's distinct texts, stored once. Searching and
/// pricing read rows from here; nothing is read from the file per keystroke.
///
/// A template may also be held by its 地区 texts alone, while the rest is
/// still being read (see hasCells()): a search is answered from those, and
/// the rows it finds are read with every cell by their keys.
///
/// Immutable once loaded, so that it may be shared between threads.
class TemplateRows
{
public:
    QString name() const { return m_name; }
    qsizetype rowCount() const { return m_regions.size(); }

    /// Whether the rows hold every cell; false for rows of 地区 texts alone,
    /// which have only name(), rowCount(), the 地区 and the keys.
    bool hasCells() const { return m_hasCells; }
    /// Where the row is in its table (SQLite's rowid), for rows of 地区 texts
    /// alone.
    qint64 key(qsizetype row) const { return m_keys.at(row); }

    /// Any of the cells of pricedColumns(), as stored (a column the table
    /// lacks reads as empty).
    QString cell(qsizetype row, int column) const;
    QStringView region(qsizetype row) const { return m_regions.at(row); }
    /// 地区 with ASCII letters lowered, as LIKE compares them.
    QStringView foldedRegion(qsizetype row) const
    {
        return m_foldedRegions.size() ? m_foldedRegions.at(row) : m_regions.at(row);
    }
    /// Calls @p f with each row, in order, whose folded 地区 contains
    /// @p foldedNeedle (not empty), as foldedRegion(row).contains() would
    /// pick them, but in one pass over all the texts.
    template<typename F> void forEachRegionContaining(QStringView foldedNeedle, F &&f) const
    {
        (m_foldedRegions.size() ? m_foldedRegions : m_regions).forEachContaining(foldedNeedle, f);
    }
    /// Whether the row's 地区 is NULL in the file, which LIKE matches nowhere.
    bool regionIsNull(qsizetype row) const
    {
        return m_noRegions || (!m_nullRegions.isEmpty() &&
                               std::binary_search(m_nullRegions.cbegin(), m_nullRegions.cend(), qint32(row)));
    }
    /// What the row's 地区 names when it names several places or excludes
    /// some ("山东、天津", "江浙沪", "广东(深圳除外)"); null for one plain place.
    const RegionNames *regionGroup(qsizetype row) const
    {
        if (m_groups.isEmpty())
            return nullptr;
        const auto it = m_groups.constFind(quint32(row));
        return it == m_groups.cend() ? nullptr : &*it;
    }

    /// The combination of the row's priced cells: every cell a fee quote
    /// reads (prices, star-level amounts, contact, arrival time). Rows of one
    /// combination share a quote group; only their 地区 tells their quotes
    /// apart.
    quint32 combination(qsizetype row) const { return m_combinationOf.at(row); }
    quint32 quoteGroup(qsizetype row) const { return m_combinationOf.at(row); }
    quint32 quoteGroupCount() const { return quint32(combinationCount()); }
    qsizetype combinationCount() const { return m_combinationNumbers.size() / PricedColumnCount; }
    /// One cell of pricedColumns() of a combination; the ID, 地区, 省区 and
    /// 市等级 read as empty.
    const QString &combinationCell(quint32 combination, int column) const;
    /// The same cells read as numbers for pricing (as readPriceNumbers()
    /// reads them: the 41 by textToNumber(), the others by priceCellNumber()).
    const double *combinationNumbers(quint32 combination) const
    {
        return m_combinationNumbers.constData() + qsizetype(combination) * PricedColumnCount;
    }

    /// Reads every row of template @p name from @p table, a cursor over its
    /// every column; nothing (with @p error set) when the table cannot be read.
    static std::shared_ptr<const TemplateRows> load(RowCursor &table, const QString &name, DbError *error);
    /// Reads the 地区 texts alone from @p table, a cursor over each row's key
    /// (increasing) and 地区; nothing (with @p error set) when it cannot.
    static std::shared_ptr<const TemplateRows> loadRegions(RowCursor &table, const QString &name,
                                                           DbError *error);

private:
    /// Texts one after another in one string, each ended by a U+0000: few
    /// allocations for many rows, and one string to search for all of them.
    class Pool
    {
    public:
        void reserve(qsizetype texts, qsizetype characters);
        void append(QStringView text);
        void appendUtf8(QByteArrayView text, QStringDecoder &decoder);
        QStringView at(qsizetype i) const;
        qsizetype size() const { return m_ends.size(); }
        void squeeze();

        template<typename F> void forEachContaining(QStringView needle, F &&f) const
        {
            if (needle.isEmpty() || needle.contains(QChar(0))) {
                for (qsizetype i = 0; i < size(); ++i) {
                    if (at(i).contains(needle))
                        f(i);
                }
                return;
            }
            // A hit never spans two texts: the needle holds no U+0000.
            const QStringView text(m_text);
            const QChar first = needle.front();
            const QStringView rest = needle.sliced(1);
            qsizetype from = 0;
            while ((from = text.indexOf(first, from)) >= 0) {
                if (!text.sliced(from + 1).startsWith(rest)) {
                    ++from;
                    continue;
                }
                const auto end = std::upper_bound(m_ends.cbegin(), m_ends.cend(), qint32(from));
                f(qsizetype(end - m_ends.cbegin()));
                from = *end + 1;
            }
        }

    private:
        void endText();

        QString m_text;
        QList<qint32> m_ends; // where each text's U+0000 is
    };

    /// Adds a row's 地区 (NULL when @p isNull): to the pools, and to the
    /// groups when it names several places.
    void appendRegion(QByteArrayView text, bool isNull, QStringDecoder &decoder);
    void squeeze();

    QString m_name;
    bool m_hasCells = true;
    bool m_idsAreNumbers = true; // every ID is its row's number, from 1: no pool
    Pool m_ids;
    Pool m_regions;
    Pool m_foldedRegions; // empty when no 地区 holds an upper-case ASCII letter
    bool m_folding = false;
    bool m_noRegions = false;             // the table has no 地区 column
    QList<qint32> m_nullRegions;          // rows whose 地区 is NULL, in order
    QHash<quint32, RegionNames> m_groups; // by row: the rows whose 地区 is a group
    QList<qint64> m_keys;                 // by row, for rows of 地区 texts alone

    QStringList m_texts;                // every distinct text of the cells below
    QList<quint32> m_placeTexts;        // 省区 and 市等级 of each pair, by number in m_texts
    QList<quint32> m_placeOf;           // by row
    QList<quint32> m_combinationTexts;  // PricedCellCount a combination, by number in m_texts
    QList<double> m_combinationNumbers; // PricedColumnCount a combination
    QList<quint32> m_combinationOf;     // by row
};

} // namespace Kuaidi
