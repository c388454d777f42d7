// Reading a 5,000-row rate sheet, as the "new template" page does when a
// seller picks a file: one CSV and one .xlsx, both generated at start-up.

#include <import/workbook.h>

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <zip.h>

using namespace Kuaidi;
using namespace Qt::StringLiterals;

namespace {

constexpr int SheetRows = 5000;

QString region(int row)
{
    static const QStringList names{u"江苏南京"_s, u"吉林"_s, u"北京"_s, u"广东广州"_s, u"浙江杭州"_s};
    return names.at(row % names.size()) + QString::number(row);
}

QByteArray csvText()
{
    QByteArray text = "\xEF\xBB\xBF地区,首重价格,续重价格,到达时间\r\n";
    for (int row = 0; row < SheetRows; ++row)
        text += region(row).toUtf8() + ',' + QByteArray::number(8 + row % 7) + ",5.5,\"2-3天, 偏远加收\"\r\n";
    return text;
}

// Region names go through the shared string table, prices are plain numbers,
// the way spreadsheet programs save them.
bool writeXlsx(const QString &path)
{
    const QByteArray main = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
    const QByteArray rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    QByteArray strings = "<sst xmlns=\"" + main +
                         "\"><si><t>地区</t></si><si><t>首重价格</t></si>"
                         "<si><t>续重价格</t></si><si><t>到达时间</t></si><si><t>2-3天</t></si>";
    QByteArray sheet = "<worksheet xmlns=\"" + main + "\"><sheetData><row r=\"1\">";
    for (int c = 0; c < 4; ++c)
        sheet +=
            "<c r=\"" + QByteArray(1, char('A' + c)) + "1\" t=\"s\"><v>" + QByteArray::number(c) + "</v></c>";
    sheet += "</row>";
    for (int row = 0; row < SheetRows; ++row) {
        const QByteArray r = QByteArray::number(row + 2);
        strings += "<si><t>" + region(row).toUtf8() + "</t></si>";
        sheet += "<row r=\"" + r + "\"><c r=\"A" + r + "\" t=\"s\"><v>" + QByteArray::number(row + 5) +
                 "</v></c><c r=\"B" + r + "\"><v>" + QByteArray::number(8 + row % 7) + "</v></c><c r=\"C" +
                 r + "\"><v>5.5</v></c><c r=\"D" + r + "\" t=\"s\"><v>4</v></c></row>";
    }
    strings += "</sst>";
    sheet += "</sheetData></worksheet>";
    const QList<std::pair<const char *, QByteArray>> parts{
        {"xl/workbook.xml",
         "<workbook xmlns=\"" + main + "\" xmlns:r=\"" + rel +
             "\"><sheets><sheet name=\"运费\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
        {"xl/_rels/workbook.xml.rels",
         "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
         "<Relationship Id=\"rId1\" Type=\"" +
             rel + "/worksheet\" Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" Type=\"" + rel +
             "/sharedStrings\" Target=\"sharedStrings.xml\"/></Relationships>"},
        {"xl/sharedStrings.xml", strings},
        {"xl/worksheets/sheet1.xml", sheet},
    };

    int error = 0;
    zip_t *zip = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!zip)
        return false;
    for (const auto &[name, data] : parts) {
        zip_source_t *source = zip_source_buffer(zip, data.constData(), zip_uint64_t(data.size()), 0);
        if (zip_file_add(zip, name, source, 0) < 0) {
            zip_source_free(source);
            zip_discard(zip);
            return false;
        }
    }
    return zip_close(zip) == 0;
}

struct Files
{
    QTemporaryDir dir;
    QString csv = dir.filePath(u"运费.csv"_s);
    QString xlsx = dir.filePath(u"运费.xlsx"_s);
    bool ok = false;

    Files()
    {
        QFile out(csv);
        ok = out.open(QIODevice::WriteOnly) && out.write(csvText()) > 0 && writeXlsx(xlsx);
    }
};

const Files &files()
{
    static const Files instance;
    return instance;
}

void readSheet(benchmark::State &state, const QString &path)
{
    if (!files().ok) {
        state.SkipWithError("could not write the sheets");
        return;
    }
    for (auto _ : state) {
        Workbook book;
        std::optional<TextTable> table;
        if (book.open(path))
            table = book.readSheet(u"运费"_s);
        if (!table || table->rows.size() != SheetRows) {
            state.SkipWithError("sheet did not read back");
            return;
        }
        benchmark::DoNotOptimize(table);
    }
    state.SetItemsProcessed(state.iterations() * SheetRows);
}

void BM_ReadCsv(benchmark::State &state)
{
    readSheet(state, files().csv);
}

void BM_ReadXlsx(benchmark::State &state)
{
    readSheet(state, files().xlsx);
}

} // namespace

BENCHMARK(BM_ReadCsv)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadXlsx)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
