// One keystroke in the calculator's destination box, as the user feels it:
// the search over every template and the matched-rows list refilled.

#include <calculator/calculatorwindow.h>
#include <core/schema.h>
#include <ratedb/ratedatabase.h>
#include <regions/regiontable.h>

#include <QApplication>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace Kuaidi;
using namespace Qt::StringLiterals;

namespace {

QString buildDatabase(const QTemporaryDir &dir, int templates, int rows)
{
    const QString path = dir.filePath(u"keystroke-%1-%2.db"_s.arg(templates).arg(rows));
    RateDatabase db(path);
    const auto regions = RegionTable::entries();
    QList<QStringList> content;
    for (int r = 0; r < rows; ++r) {
        QStringList row{QString::number(r + 1),
                        regions[r % regions.size()].name.toString() + QString::number(r),
                        QString(),
                        QString(),
                        u"10"_s,
                        u"5"_s,
                        u"1"_s,
                        u"2"_s,
                        u"3"_s,
                        u"客服电话"_s};
        for (int i = 0; i < 30; ++i)
            row << u"0"_s;
        row << u"2-3天"_s;
        content << row;
    }
    for (int t = 0; t < templates; ++t)
        db.createTemplate(u"快递"_s + QString::number(t), RateColumns(), content);
    return path;
}

void BM_DestinationKeystroke(benchmark::State &state, const QString &first, const QString &second)
{
    static QTemporaryDir dir;
    CalculatorWindow window(buildDatabase(dir, int(state.range(0)), int(state.range(1))));
    window.show();
    auto *destination = window.findChild<QLineEdit *>(u"编辑框_目的地"_s);
    destination->setText(first); // the first search builds the in-memory region index
    QApplication::processEvents();
    bool flip = false;
    for (auto _ : state) {
        destination->setText(flip ? first : second);
        QApplication::processEvents();
        flip = !flip;
    }
}

BENCHMARK_CAPTURE(BM_DestinationKeystroke, city, u"苏州"_s, u"苏"_s)
    ->Args({30, 424})
    ->Args({100, 3000})
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
