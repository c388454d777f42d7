// The .xlsx and .csv writer against the readers: a table made from the
// input is written both ways and must read back as it was, numbers of a
// number column as numbers, cells Excel would run as formulas guarded in
// .csv.

#include <batch/tablefile.h>
#include <core/numbertext.h>
#include <import/workbook.h>

#include <QDir>

#include <unistd.h>

#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

// What cells are made of: each input byte picks one.
const QStringList &pieces()
{
    static const QStringList all{
        u"a"_s, u"Z"_s, u"南京"_s,       u"0"_s,      u"7"_s,      u"."_s,  u"-"_s,  u"+"_s,  u"="_s,
        u"@"_s, u","_s, u"\""_s,         u"'"_s,      u" "_s,      u"\n"_s, u"\t"_s, u"\r"_s, u"_x0041_"_s,
        u"&"_s, u"<"_s, u"\U0001F600"_s, u"\u0001"_s, u"\uFFFE"_s, u"１"_s, u"E"_s};
    return all;
}

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    // First byte: the column count and whether column 0 holds numbers.
    const int width = 1 + data[0] % 6;
    const bool numbers = data[0] & 0x80;
    QStringList cells{QString()};
    for (size_t i = 1; i < size; ++i) {
        if (data[i] == 0xFF)
            cells << QString();
        else
            cells.last() += pieces().at(data[i] % pieces().size());
    }
    // Fields and records as the readers give them back: titles trimmed and
    // not blank, no blank record.
    Kuaidi::TextTable table;
    for (int c = 0; c < width; ++c) {
        const QString title = cells.value(c).trimmed();
        table.columns << u"t"_s + QString::number(c) + title;
    }
    for (qsizetype at = width; at < cells.size(); at += width) {
        QStringList row = cells.mid(at, width);
        row.resize(width);
        row[width - 1].prepend(u'r');
        table.rows << row;
    }
    const QSet<int> numberColumns = numbers ? QSet<int>{0} : QSet<int>{};
    const QList<Kuaidi::OutputSheet> sheets{{u"表"_s, table, numberColumns}};
    const QString base = QDir::temp().filePath(u"kuaidi-fuzz-out-%1."_s.arg(qint64(getpid())));
    for (const QString &suffix : {u"xlsx"_s, u"csv"_s}) {
        const QString path = base + suffix;
        check(Kuaidi::writeTableFile(path, sheets).isEmpty());
        Kuaidi::Workbook book;
        check(book.open(path));
        const std::optional<Kuaidi::TextTable> back = book.readSheet(book.sheetNames().value(0));
        check(back.has_value());
        check(back->columns == table.columns);
        check(back->rows.size() == table.rows.size());
        for (qsizetype r = 0; r < table.rows.size(); ++r) {
            for (int c = 0; c < width; ++c) {
                QString expected = table.rows.at(r).at(c);
                if (suffix == u"xlsx" && c == 0 && numbers) {
                    if (const std::optional<double> value = Kuaidi::parseNumber(expected))
                        expected = Kuaidi::numberToText(*value);
                }
                if (suffix == u"csv")
                    expected = QString::fromUtf8(Kuaidi::csvRecord({expected}).chopped(2)); // guarded, quoted
                QString got = back->rows.at(r).at(c);
                if (suffix == u"csv")
                    got = QString::fromUtf8(Kuaidi::csvRecord({got}, false).chopped(2));
                check(got == expected);
            }
        }
    }
    return 0;
}
