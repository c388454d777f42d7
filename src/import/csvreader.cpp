#include "csvreader.h"

#include "codepage.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

// Text files are read whole; anything bigger is not a rate table.
constexpr qint64 MaxCsvBytes = 256 * 1024 * 1024;
// GBK text read as UTF-8 passes as valid about once in ten characters; a
// UTF-8 file with a damaged byte has far more valid characters than that.
constexpr qsizetype ValidPerInvalid = 4;
constexpr qsizetype LinesNamed = 5;

struct Utf8Scan
{
    qsizetype valid = 0;   // characters of two bytes or more
    qsizetype invalid = 0; // bytes that begin no valid character
    QList<int> badLines;   // the first few lines holding such bytes
};

Utf8Scan scanUtf8(QByteArrayView bytes)
{
    Utf8Scan scan;
    int line = 1;
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const auto b = quint8(bytes[i]);
        if (b < 0x80) {
            if (b == '\n' || (b == '\r' && (i + 1 >= n || bytes[i + 1] != '\n')))
                ++line;
            ++i;
            continue;
        }
        const int length = (b >= 0xC2 && b <= 0xDF)   ? 2
                           : (b >= 0xE0 && b <= 0xEF) ? 3
                           : (b >= 0xF0 && b <= 0xF4) ? 4
                                                      : 0;
        bool ok = length > 0;
        for (int k = 1; ok && k < length; ++k) {
            if (i + k >= n)
                return scan; // cut off at the end of a truncated file
            const auto c = quint8(bytes[i + k]);
            // No overlong forms, surrogates or code points past U+10FFFF.
            const quint8 low = k == 1 && b == 0xE0 ? 0xA0 : k == 1 && b == 0xF0 ? 0x90 : 0x80;
            const quint8 high = k == 1 && b == 0xED ? 0x9F : k == 1 && b == 0xF4 ? 0x8F : 0xBF;
            ok = c >= low && c <= high;
        }
        if (ok) {
            ++scan.valid;
            i += length;
        } else {
            ++scan.invalid;
            if (scan.badLines.size() < LinesNamed && !scan.badLines.contains(line))
                scan.badLines.append(line);
            ++i;
        }
    }
    return scan;
}

QString invalidBytesWarning(const QList<int> &lines, const QString &encoding)
{
    QStringList numbers;
    for (const int line : lines)
        numbers.append(QString::number(line));
    return u"第 %1 行有不是 %2 文字的字节，已读作“\uFFFD”；请在原文件中检查%3"_s.arg(
        numbers.join(u"、") + (lines.size() >= LinesNamed ? u" 等"_s : QString()), encoding,
        lines.size() == 1 ? u"这一行"_s : u"这些行"_s);
}

} // namespace

QString CsvReader::decode(QByteArray bytes, QStringList *warnings)
{
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF"))
        return QStringDecoder(QStringDecoder::encodingForData(bytes).value_or(QStringConverter::Utf16))
            .decode(bytes);
    const bool bom = bytes.startsWith("\xEF\xBB\xBF");
    if (bom)
        bytes.remove(0, 3);

    const Utf8Scan scan = scanUtf8(bytes);
    if (bom || scan.invalid == 0 || scan.valid >= ValidPerInvalid * scan.invalid) {
        if (scan.invalid > 0 && warnings)
            warnings->append(invalidBytesWarning(scan.badLines, u"UTF-8"_s));
        // Stateful, so that a sequence cut off at the end of a truncated file
        // is left out rather than flagged.
        QStringDecoder utf8(QStringDecoder::Utf8);
        return utf8.decode(bytes);
    }
    if (std::optional<QString> text = decodeEncoding(bytes, u"GB18030"_s))
        return *text;
    return *decodeCodePage(bytes, 936);
}

bool CsvReader::open(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(cannotOpenMessage());
    if (file.size() > MaxCsvBytes)
        return fail(u"文件太大（超过 %1 MB），无法导入"_s.arg(MaxCsvBytes / (1024 * 1024)));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return fail(u"读取文件时出错，文件可能不完整或所在的磁盘有问题"_s);

    QStringList warnings;
    m_text = m_encoding.isEmpty() ? decode(std::move(bytes), &warnings)
                                  : decodeEncoding(bytes, m_encoding).value_or(QString());
    for (const QString &warning : std::as_const(warnings))
        warn(warning);
    addSheetName(QFileInfo(path).completeBaseName());
    return true;
}

std::optional<SheetRows> CsvReader::readSheet(qsizetype index)
{
    if (index != 0)
        return std::nullopt;
    SheetBudget budget;
    SheetRows rows = parse(m_text, &budget);
    if (budget.exceeded()) {
        fail(budget.message());
        return std::nullopt;
    }
    return rows;
}

SheetRows CsvReader::parse(QStringView text, SheetBudget *budget)
{
    SheetBudget unlimited;
    SheetBudget &counted = budget ? *budget : unlimited;
    SheetRows rows;
    QStringList row;
    QString cell;
    int line = 1;
    int rowLine = 1; // the line the row being split started on
    bool quoted = false;
    bool fieldStart = true;
    bool rowHasContent = false; // an empty line is no row, but a line holding "" is
    const qsizetype n = text.size();

    // Cells and their characters are counted as they are split, so that a
    // file of nothing but commas, or one endless cell, is refused before it
    // fills the memory.
    bool within = true;
    const auto endCell = [&] {
        within = counted.take(1, cell.size()) && within;
        row.append(cell);
        cell.clear();
        fieldStart = true;
    };
    const auto endRow = [&] {
        if (rowHasContent || !cell.isEmpty() || !row.isEmpty()) {
            endCell();
            rows.append(SheetRow{rowLine, row});
        }
        row.clear();
        cell.clear();
        fieldStart = true;
        rowHasContent = false;
    };
    const auto newLine = [&](qsizetype *i) {
        if (text[*i] == u'\r' && *i + 1 < n && text[*i + 1] == u'\n')
            ++*i;
        ++line;
    };

    for (qsizetype i = 0; i < n; ++i) {
        if (!within || cell.size() > MaxSheetChars) {
            counted.take(0, cell.size());
            return {};
        }
        const QChar c = text[i];
        if (row.isEmpty() && cell.isEmpty() && fieldStart && !rowHasContent)
            rowLine = line;
        if (quoted) {
            if (c != u'"') {
                cell += c;
                if (c == u'\n' || c == u'\r')
                    newLine(&i);
                if (c == u'\r' && text[i] == u'\n')
                    cell += u'\n';
            } else if (i + 1 < n && text[i + 1] == u'"') {
                cell += u'"';
                ++i;
            } else {
                quoted = false;
            }
            continue;
        }
        switch (c.unicode()) {
        case u',':
            endCell();
            rowHasContent = true;
            break;
        case u'\r':
        case u'\n':
            newLine(&i);
            endRow();
            break;
        case u'"':
            // Only a quote that opens a field starts quoting; elsewhere it is
            // taken as written, as is text after a closing quote.
            if (fieldStart) {
                quoted = true;
                fieldStart = false;
                rowHasContent = true;
                break;
            }
            [[fallthrough]];
        default:
            cell += c;
            fieldStart = false;
        }
    }
    endRow(); // a last line without a line end, or an unterminated quote
    if (!within)
        return {};
    return rows;
}

} // namespace Kuaidi
