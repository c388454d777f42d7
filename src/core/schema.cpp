#include "schema.h"

using namespace Qt::StringLiterals;

namespace Kuaidi {

const QStringList &levelNames()
{
    static const QStringList names{u"原参数价格"_s, u"一星客户"_s, u"二星客户"_s,
                                   u"三星客户"_s,   u"四星客户"_s, u"五星客户"_s};
    return names;
}

const QStringList &priceFieldNames()
{
    static const QStringList names{u"首重价格"_s, u"续重价格"_s, u"二十至三十KG手续费"_s,
                                   u"三十至五十KG手续费"_s, u"其他手续费"_s};
    return names;
}

QString priceSetColumnName(int level, int field)
{
    return levelNames().at(level) + priceFieldNames().at(field);
}

int levelIndex(QStringView levelName)
{
    const QStringList &names = levelNames();
    for (int i = 0; i < names.size(); ++i) {
        if (names.at(i) == levelName)
            return i;
    }
    return -1;
}

const QStringList &RateColumns()
{
    static const QStringList columns = [] {
        QStringList c{u"ID"_s,
                      u"地区"_s,
                      u"省区"_s,
                      u"市等级"_s,
                      u"首重价格"_s,
                      u"续重价格"_s,
                      u"二十至三十KG手续费"_s,
                      u"三十至五十KG手续费"_s,
                      u"其他手续费"_s,
                      u"联系方式"_s};
        for (int level = 0; level < LevelCount; ++level) {
            for (int field = 0; field < PriceFieldCount; ++field)
                c << priceSetColumnName(level, field);
        }
        c << u"到达时间"_s;
        return c;
    }();
    return columns;
}

const QStringList &pricedColumns()
{
    static const QStringList columns = [] {
        QStringList c = RateColumns();
        for (int i = 1; i <= MaxBrackets; ++i)
            c << u"重量段%1价格"_s.arg(i);
        for (int b = 1; b <= MaxBands; ++b)
            c << u"区间%1首重价格"_s.arg(b) << u"区间%1续重价格"_s.arg(b);
        c << u"最低收费"_s;
        return c;
    }();
    return columns;
}

QStringList priceExtensionColumns(int brackets, int bands)
{
    const QStringList &all = pricedColumns();
    QStringList columns = all.mid(ColumnFirstBracket, qBound(0, brackets, MaxBrackets));
    columns += all.mid(ColumnFirstBand, 2 * qBound(0, bands, MaxBands));
    columns << all.at(ColumnMinimumFee);
    return columns;
}

const QStringList &rateColumnShortTitles()
{
    static const QStringList titles = [] {
        QStringList t{u"ID"_s,       u"地区"_s,    u"省区"_s,        u"市等级"_s,      u"首重价格"_s,
                      u"续重价格"_s, u"20-30费"_s, u"30-50费"_s,     u"其他"_s,        u"联系方式"_s,
                      u"原首重"_s,   u"原续重"_s,  u"原20-30KG费"_s, u"原30-50KG费"_s, u"原其他"_s};
        const QStringList fields{u"首重"_s, u"续重"_s, u"20-30KG费"_s, u"30-50KG费"_s, u"其他"_s};
        for (int level = 1; level < LevelCount; ++level) {
            for (const QString &field : fields)
                t << QString::number(level) + u"星"_s + field;
        }
        t << u"到达时间"_s;
        return t;
    }();
    return titles;
}

QString normalisedColumnTitle(QStringView title)
{
    // Every "(…)" or "（…）" (either kind closing either) with no bracket
    // inside goes, as a unit or a note does. Done by hand: the window names
    // its fields this way at start-up, where a regular expression would load
    // its engine for this alone.
    const auto opens = [](QChar c) { return c == u'(' || c == u'（'; };
    const auto closes = [](QChar c) { return c == u')' || c == u'）'; };
    QString text = title.trimmed().toString();
    for (qsizetype at = 0; at < text.size(); ++at) {
        if (!opens(text.at(at)))
            continue;
        qsizetype end = at + 1;
        while (end < text.size() && !opens(text.at(end)) && !closes(text.at(end)))
            ++end;
        if (end < text.size() && closes(text.at(end))) {
            text.remove(at, end - at + 1);
            --at;
        }
    }
    return text.trimmed();
}

} // namespace Kuaidi
