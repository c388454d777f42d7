// An order list or a bill through the whole batch path: read as a .csv
// sheet, its columns found, every order priced by two templates and every
// bill line checked, as kuaidi-cli batch and reconcile do, rows and totals
// made as they would be written.

#include "fuzzworkbook.h"

#include <batch/batchquote.h>
#include <batch/reconcile.h>
#include <ratedb/ratedatabase.h>

#include <QTemporaryDir>

#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

// Two templates held in memory once: one by city, one by province, one of
// them rounding up and billing the volume.
Kuaidi::OrderPricer &pricer()
{
    static Kuaidi::OrderPricer *made = [] {
        static QTemporaryDir dir;
        Kuaidi::RateDatabase db(dir.filePath(u"rates.db"_s));
        const auto row = [](const QString &region, const QString &first, const QString &additional) {
            QStringList cells(Kuaidi::RateColumnCount, u"0"_s);
            cells[Kuaidi::ColumnRegion] = region;
            cells[Kuaidi::ColumnFirstWeight] = first;
            cells[Kuaidi::ColumnAdditionalWeight] = additional;
            return cells;
        };
        if (!db.createTemplate(u"甲"_s, Kuaidi::RateColumns(),
                               {row(u"江苏南京"_s, u"10"_s, u"2"_s), row(u"北京"_s, u"不发"_s, {})}) ||
            !db.createTemplate(u"乙"_s, Kuaidi::RateColumns(),
                               {row(u"江苏"_s, u"6"_s, u"1.5"_s), row(u"上海"_s, u"-3"_s, u"1"_s)}))
            std::abort();
        Kuaidi::BillingRules rules;
        rules.rounding = Kuaidi::BillingRules::Rounding::HalfKilogram;
        rules.volumeDivisor = 6000;
        if (!db.setBillingRules(u"乙"_s, rules))
            std::abort();
        return new Kuaidi::OrderPricer(db.templateRows({u"甲"_s, u"乙"_s}), *db.billingRulesOfAll(), 0);
    }();
    return *made;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = fuzzInputFile(data, size, "csv");
    Kuaidi::OrderPricer &prices = pricer();
    const Kuaidi::OrderSheetResult orders = Kuaidi::readOrderSheet(path, {}, false);
    if (orders.sheet) {
        const Kuaidi::BatchTable table(*orders.sheet, prices.templateNames());
        Kuaidi::BatchTotals totals(prices.templateNames());
        Kuaidi::priceEachOrder(*orders.sheet, prices, [&](qsizetype order, const Kuaidi::BatchLine &line) {
            totals.add(line);
            if (table.row(order, line).size() != table.columns().size())
                std::abort();
            return true;
        });
        totals.table();
    }
    const Kuaidi::OrderSheetResult bill = Kuaidi::readOrderSheet(path, {}, true);
    if (bill.sheet) {
        for (qsizetype index = 0; index < 2; ++index) {
            Kuaidi::ReconcileTotals totals;
            Kuaidi::checkEachBillLine(*bill.sheet, prices, index, 0.01,
                                      [&](qsizetype line, const Kuaidi::BillCheck &check) {
                                          totals.add(check);
                                          Kuaidi::reconcileRow(*bill.sheet, line, check);
                                          return true;
                                      });
            totals.table();
        }
    }
    return 0;
}
