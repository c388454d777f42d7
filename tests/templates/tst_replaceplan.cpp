#include <core/schema.h>
#include <templates/ratesheet.h>
#include <templates/replaceplan.h>

#include <QTest>

using namespace Qt::StringLiterals;
using namespace Kuaidi;

namespace {

RateSheet sheetOf(const QList<QStringList> &rows)
{
    TextTable table;
    table.columns = rows.first();
    table.rows = rows.mid(1);
    return readRateSheet(table);
}

// The template being replaced: 北京, 上海 and 广东, with their own contacts,
// a star-level price on 上海 and a row added by hand (拉萨).
TextTable currentTemplate()
{
    TextTable current = newTemplateGrid(sheetOf({{u"地区"_s, u"首重价格"_s, u"续重价格"_s},
                                                 {u"北京"_s, u"10"_s, u"5"_s},
                                                 {u"上海"_s, u"8"_s, u"3"_s},
                                                 {u"广东"_s, u"9"_s, u"4"_s},
                                                 {u"拉萨"_s, u"20"_s, u"15"_s}}),
                                        {u"0"_s, u"0"_s, u"0"_s, u"王 123"_s});
    current.rows[1][ColumnContact] = u"李 456"_s;
    current.rows[1][priceSetColumnIndex(2, 0)] = u"-1"_s;
    return current;
}

QString cellOf(const TextTable &table, const QString &region, int column)
{
    for (const QStringList &row : table.rows) {
        if (row.at(ColumnRegion) == region)
            return row.at(column);
    }
    return u"(none)"_s;
}

} // namespace

class TestReplacePlan : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void plan_data()
    {
        QTest::addColumn<QList<QStringList>>("sheet");
        QTest::addColumn<QString>("typedContact");
        QTest::addColumn<QString>("contact上海");
        QTest::addColumn<QString>("contact海南");
        QTest::addColumn<QString>("level上海");
        QTest::addColumn<QString>("summary");

        const QStringList prices{u"地区"_s, u"首重价格"_s, u"续重价格"_s};
        QTest::newRow("prices only: contacts and levels carried over")
            << QList<QStringList>{prices,
                                  {u"北京"_s, u"10"_s, u"5"_s},
                                  {u"上海"_s, u"8"_s, u"2.5"_s},
                                  {u"广东"_s, u"9"_s, u"4"_s},
                                  {u"海南"_s, u"12"_s, u"6"_s}}
            << QString() << u"李 456"_s << u"王 123"_s << u"-1"_s
            << u"原有 4 行，表格 4 行：删除 1 行（拉萨），新增 1 行（海南），价格变动 1 行；"
               "联系方式、会员级别价格沿用原模板"_s;
        QTest::newRow("the sheet's own contacts")
            << QList<QStringList>{prices + QStringList{u"联系方式"_s},
                                  {u"上海"_s, u"8"_s, u"3"_s, u"赵 789"_s},
                                  {u"海南"_s, u"12"_s, u"6"_s, u"钱 000"_s}}
            << QString() << u"赵 789"_s << u"钱 000"_s << u"-1"_s
            << u"原有 4 行，表格 2 行：删除 3 行（北京、广东、拉萨），新增 1 行（海南），价格变动 0 行；"
               "会员级别价格沿用原模板"_s;
        QTest::newRow("a contact typed for the new rows")
            << QList<QStringList>{prices, {u"上海"_s, u"8"_s, u"3"_s}, {u"海南"_s, u"12"_s, u"6"_s}}
            << u"孙 111"_s << u"孙 111"_s << u"孙 111"_s << u"-1"_s
            << u"原有 4 行，表格 2 行：删除 3 行（北京、广东、拉萨），新增 1 行（海南），价格变动 0 行；"
               "会员级别价格沿用原模板"_s;
    }
    void plan()
    {
        QFETCH(QList<QStringList>, sheet);
        QFETCH(QString, typedContact);
        const RateSheet rates = sheetOf(sheet);
        QVERIFY2(rates.problems.isEmpty(), qPrintable(rates.problems.join(u'\n')));
        const Replacement plan =
            planReplacement(rates, {u"0"_s, u"0"_s, u"0"_s, typedContact}, currentTemplate());
        QTEST(cellOf(plan.grid, u"上海"_s, ColumnContact), "contact上海");
        QTEST(cellOf(plan.grid, u"海南"_s, ColumnContact), "contact海南");
        QTEST(cellOf(plan.grid, u"上海"_s, priceSetColumnIndex(2, 0)), "level上海");
        QCOMPARE(cellOf(plan.grid, u"海南"_s, priceSetColumnIndex(2, 0)), u"0"_s);
        QTEST(plan.summary(), "summary");
    }

    // Many regions gone: five are named, then "等".
    void summary_namesAFew()
    {
        QList<QStringList> rows{{u"地区"_s, u"首重价格"_s, u"续重价格"_s}};
        for (int i = 1; i <= 8; ++i)
            rows.append({u"地区%1"_s.arg(i), u"1"_s, u"1"_s});
        const TextTable current = newTemplateGrid(sheetOf(rows), {});
        const Replacement plan = planReplacement(sheetOf(rows.mid(0, 2)), {}, current);
        QVERIFY(plan.summary().contains(u"删除 7 行（地区2、地区3、地区4、地区5、地区6 等）"_s));
    }
};

QTEST_GUILESS_MAIN(TestReplacePlan)
#include "tst_replaceplan.moc"
