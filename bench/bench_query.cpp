// The per-keystroke path of the calculator (search every template, price every
// match), the region lookup, and sorting a long list.

#include <core/listsort.h>
#include <core/schema.h>
#include <fees/feequery.h>
#include <ratedb/ratedatabase.h>
#include <regions/regiontable.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <map>
#include <memory>

using namespace Kuaidi;
using namespace Qt::StringLiterals;

namespace {

QStringList benchRow(int id, const QString &region)
{
    QStringList row{
        QString::number(id),       region, QString(), QString(), u"10"_s, u"5"_s, u"1"_s, u"2"_s, u"3"_s,
        u"联系电话 400-000-0000"_s};
    for (int i = 0; i < 30; ++i)
        row << QString::number(i % 3);
    row << u"2-3天"_s;
    return row;
}

/// A database of @p templates templates of @p rows rows each, built once per
/// size and kept for the whole run.
struct BenchDatabase
{
    QTemporaryDir dir;
    std::unique_ptr<RateDatabase> db;
    QStringList names;
};

BenchDatabase &database(int templates, int rows)
{
    static std::map<std::pair<int, int>, std::unique_ptr<BenchDatabase>> cache;
    auto &slot = cache[{templates, rows}];
    if (!slot) {
        slot = std::make_unique<BenchDatabase>();
        slot->db = std::make_unique<RateDatabase>(slot->dir.filePath(u"bench.db"_s));
        const auto regions = RegionTable::entries();
        QList<QStringList> content;
        for (int r = 0; r < rows; ++r) {
            const QString name = regions[r % regions.size()].name.toString();
            content << benchRow(r + 1, r < int(regions.size()) ? name : name + QString::number(r));
        }
        for (int t = 0; t < templates; ++t) {
            const QString name = u"快递"_s + QString::number(t);
            slot->db->createTemplate(name, RateColumns(), content);
            slot->names << name;
        }
    }
    return *slot;
}

void keystroke(benchmark::State &state, const QString &destination)
{
    BenchDatabase &b = database(int(state.range(0)), int(state.range(1)));
    qsizetype matched = 0;
    for (auto _ : state) {
        const QList<MatchedRateRow> rows = DestinationSearch(*b.db, b.names, destination);
        const QList<FeeQuote> quotes = ComputeFees(rows, 12.5, u"二星客户");
        matched = quotes.size();
        benchmark::DoNotOptimize(quotes.data());
    }
    state.counters["matches"] = double(matched);
}

void BM_Keystroke_City(benchmark::State &state)
{
    keystroke(state, u"苏州"_s);
}
BENCHMARK(BM_Keystroke_City)->Args({30, 424})->Args({100, 3000})->Unit(benchmark::kMillisecond);

void BM_Keystroke_Province(benchmark::State &state)
{
    keystroke(state, u"江"_s);
}
BENCHMARK(BM_Keystroke_Province)->Args({30, 424})->Args({100, 3000})->Unit(benchmark::kMillisecond);

void BM_MatchRegion(benchmark::State &state)
{
    const QStringList texts{u"江苏南京"_s, u"海南藏族自治州"_s, u"国外"_s, u"新疆克孜勒苏柯尔克孜自治州"_s};
    qsizetype i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(MatchRegion(texts.at(i++ % texts.size())));
}
BENCHMARK(BM_MatchRegion)->Unit(benchmark::kMicrosecond);

void BM_Sort10000Rows(benchmark::State &state)
{
    TextTable table;
    table.columns = RateColumns();
    const auto regions = RegionTable::entries();
    for (int r = 0; r < 10000; ++r)
        table.rows << benchRow(r, regions[(r * 7919) % regions.size()].name.toString());
    const int column = int(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        TextTable copy = table;
        state.ResumeTiming();
        benchmark::DoNotOptimize(
            SortListByColumn(copy, column, true, false, column == 0 ? SortAsNumber : SortAsText));
    }
}
BENCHMARK(BM_Sort10000Rows)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
