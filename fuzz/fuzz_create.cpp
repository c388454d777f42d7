// The whole way from a sheet to a stored template, as 新建 and
// `kuaidi-cli create` take it: whatever a sheet holds, the template is
// refused with a message, or stored and read back as the grid that was
// saved (a half character replaced in its own cell alone, and said).

#include <import/workbook.h>
#include <ratedb/ratedatabase.h>
#include <templates/ratesheet.h>
#include <templates/templategrid.h>

#include <QDir>
#include <QFile>

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void check(bool holds)
{
    if (!holds)
        std::abort();
}

// A stored cell is the saved one, or, when that held half a character, the
// same length with U+FFFD in place of each half.
bool storedAsSaved(const QString &saved, const QString &stored)
{
    if (saved == stored)
        return true;
    if (saved.isValidUtf16() || saved.size() != stored.size() || !stored.isValidUtf16())
        return false;
    for (qsizetype i = 0; i < saved.size(); ++i) {
        if (saved.at(i) != stored.at(i) && stored.at(i) != QChar(QChar::ReplacementCharacter))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace Kuaidi;
    static const QString folder = [] {
        const QString path =
            QDir::temp().filePath(QStringLiteral("kuaidi-fuzz-create-%1").arg(qint64(getpid())));
        QDir().mkpath(path);
        return path;
    }();
    const QString sheetPath = folder + QStringLiteral("/sheet.csv");
    const QString dbPath = folder + QStringLiteral("/kuaidishuju.db");
    {
        QFile file(sheetPath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    Workbook book;
    if (!book.open(sheetPath) || book.sheetNames().isEmpty()) {
        check(!book.lastError().isEmpty());
        return 0;
    }
    const std::optional<TextTable> sheet = book.readSheet(book.sheetNames().first());
    if (!sheet) {
        check(!book.lastError().isEmpty());
        return 0;
    }
    if (!newTemplateSizeProblem(*sheet).isEmpty())
        return 0;
    const RateSheet rates = readRateSheet(*sheet);
    if (!rates.problems.isEmpty()) {
        for (const QString &problem : rates.problems)
            check(!problem.isEmpty());
        return 0;
    }
    const TextTable grid = newTemplateGrid(rates, NewTemplateDefaults());
    if (!checkTemplateColumns(grid.columns).isEmpty())
        return 0;

    QFile::remove(dbPath);
    RateDatabase db(dbPath);
    const QString name = QStringLiteral("模板");
    if (!db.createTemplate(name, grid.columns, grid.rows, rates.rules.appliedTo(BillingRules()))) {
        check(!db.lastError().isEmpty());
        return 0;
    }
    const std::optional<TextTable> stored = db.readTemplate(name);
    check(stored.has_value());
    check(stored->columns == grid.columns);
    check(stored->rows.size() == grid.rows.size());
    bool replaced = false;
    for (qsizetype r = 0; r < grid.rows.size(); ++r) {
        const QStringList &saved = grid.rows.at(r);
        const QStringList &back = stored->rows.at(r);
        for (qsizetype c = 0; c < grid.columns.size(); ++c) {
            const QString savedCell = saved.value(c);
            check(storedAsSaved(savedCell, back.value(c)));
            replaced = replaced || savedCell != back.value(c);
        }
    }
    check(replaced == !db.notes().isEmpty());
    check(db.billingRules(name) == rates.rules.appliedTo(BillingRules()));
    db.close();
    return 0;
}
