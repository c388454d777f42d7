#include "csvreader.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#ifdef Q_OS_WIN
#include <core/windowscodepage.h>
#endif

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

// Text files are read whole; anything bigger is not a rate table.
constexpr qint64 MaxCsvBytes = 256 * 1024 * 1024;

std::optional<QString> decode(QByteArray bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    else if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF"))
        return QStringDecoder(QStringDecoder::encodingForData(bytes).value_or(QStringConverter::Utf16))
            .decode(bytes);

    // A stateful decoder keeps a sequence cut off at the end of a truncated
    // file pending instead of flagging it, so such a file still reads as UTF-8.
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;

    for (const char *name : {"GBK", "GB18030"}) {
        QStringDecoder gbk(name);
        if (gbk.isValid())
            return gbk.decode(bytes);
    }
#ifdef Q_OS_WIN
    return decodeWithWindowsCodePage(936, bytes);
#else
    return std::nullopt;
#endif
}

} // namespace

bool CsvReader::open(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(cannotOpenMessage());
    if (file.size() > MaxCsvBytes)
        return fail(u"文件太大（超过 %1 MB），无法导入"_s.arg(MaxCsvBytes / (1024 * 1024)));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return fail(u"读取文件时出错，文件可能不完整或所在的磁盘有问题"_s);

    std::optional<QString> text = decode(bytes);
    if (!text)
        return fail(u"无法识别文件的文字编码，请把文件另存为 UTF-8 编码的 CSV 后再导入"_s);
    m_text = std::move(*text);
    addSheetName(QFileInfo(path).completeBaseName());
    return true;
}

std::optional<SheetRows> CsvReader::readSheet(qsizetype index)
{
    if (index != 0)
        return std::nullopt;
    bool tooLarge = false;
    SheetRows rows = parse(m_text, MaxSheetCells, &tooLarge);
    if (tooLarge) {
        fail(tooLargeMessage());
        return std::nullopt;
    }
    return rows;
}

SheetRows CsvReader::parse(QStringView text, qsizetype maxCells, bool *tooLarge)
{
    SheetRows rows;
    QStringList row;
    QString cell;
    qsizetype cells = 0;
    bool quoted = false;
    bool fieldStart = true;
    bool rowHasContent = false; // an empty line is no row, but a line holding "" is
    const qsizetype n = text.size();

    // Cells are counted as they are split, so that a file of nothing but
    // commas is refused before it fills the memory.
    const auto endCell = [&] {
        row.append(cell);
        cell.clear();
        fieldStart = true;
        ++cells;
    };
    const auto endRow = [&] {
        if (rowHasContent || !cell.isEmpty() || !row.isEmpty()) {
            endCell();
            rows.append(row);
        }
        row.clear();
        cell.clear();
        fieldStart = true;
        rowHasContent = false;
    };

    for (qsizetype i = 0; i < n; ++i) {
        if (cells > maxCells) {
            if (tooLarge)
                *tooLarge = true;
            return {};
        }
        const QChar c = text[i];
        if (quoted) {
            if (c != u'"') {
                cell += c;
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
            if (i + 1 < n && text[i + 1] == u'\n')
                ++i;
            endRow();
            break;
        case u'\n':
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
    if (cells > maxCells) {
        if (tooLarge)
            *tooLarge = true;
        return {};
    }
    return rows;
}

} // namespace Kuaidi
