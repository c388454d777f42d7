#include "xlsreader.h"

#include "codepage.h"
#include "compoundfile.h"
#include "xlsrecords.h"

#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;
using namespace Kuaidi::Xls;

namespace Kuaidi {

namespace {

constexpr qint64 MaxXlsBytes = 256 * 1024 * 1024;

// Excel 97–2003 sheets end at row 65536 and column IV; Excel 95 sheets at
// row 16384.
constexpr quint32 MaxRows8 = 65536;
constexpr quint32 MaxRows5 = 16384;
constexpr quint32 MaxColumns = 256;

// Excel 95 files without a code page of their own are, here, mostly from
// Chinese programs.
constexpr int FallbackCodePage = 936;

QString passwordMessage()
{
    return u"工作簿设有密码保护，请先在 Excel 中取消密码并保存后再导入"_s;
}

// Whether @p record opens a worksheet: a BOF of Excel 5 or 97 whose
// substream is a worksheet.
bool isWorksheetBof(const Record &record)
{
    return record.type == RecBof && record.body.size() >= 4 &&
           (u16(record.body, 0) == Biff5 || u16(record.body, 0) == Biff8) &&
           u16(record.body, 2) == WorksheetStream;
}

} // namespace

XlsReader::XlsReader() = default;
XlsReader::~XlsReader() = default;

bool XlsReader::open(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(cannotOpenMessage());
    if (file.size() > MaxXlsBytes)
        return fail(u"文件太大（超过 %1 MB），无法导入"_s.arg(MaxXlsBytes / (1024 * 1024)));
    const QByteArray bytes = file.readAll();
    if (bytes.size() != file.size())
        return fail(u"读取文件时出错，文件可能不完整或所在的磁盘有问题"_s);
    return openBytes(bytes, QFileInfo(path).completeBaseName());
}

bool XlsReader::openBytes(const QByteArray &file, const QString &loneSheetName)
{
    CompoundFile container;
    if (!container.load(file))
        return fail(damagedMessage());
    if (std::optional<QByteArray> stream = container.stream(u"Workbook"_s)) {
        m_stream = std::move(*stream);
    } else if (std::optional<QByteArray> book = container.stream(u"Book"_s)) {
        m_stream = std::move(*book);
    } else {
        // An encrypted .xlsx is a compound file holding the zipped workbook.
        if (container.stream(u"EncryptedPackage"_s))
            return fail(passwordMessage());
        return fail(u"文件中没有 Excel 工作簿数据（可能是其他 Office 文档，或已损坏）"_s);
    }
    return readGlobals(loneSheetName);
}

// The code page of Excel 95 byte strings: the first CODEPAGE record of the
// stream, the workbook's when it has one, else a sheet's.
void XlsReader::findCodePage()
{
    m_codepage = m_biff == 5 ? FallbackCodePage : 1252;
    for (qsizetype at = 0;;) {
        const std::optional<Record> record = recordAt(m_stream, at);
        if (!record)
            return;
        if (record->type == RecCodePage && record->body.size() >= 2) {
            const int codepage = u16(record->body, 0);
            // 1200 (UTF-16) belongs to Excel 97 files, whose byte strings are Latin-1.
            m_codepage = codepage == 1200 ? 1252 : codepage;
            return;
        }
        at = record->end;
    }
}

// The workbook globals: date system, number formats, cell formats, sheets
// and shared strings, up to the globals' EOF.
bool XlsReader::readGlobals(const QString &loneSheetName)
{
    const std::optional<Record> bof = recordAt(m_stream, 0);
    if (!bof || bof->type != RecBof || bof->body.size() < 4)
        return fail(damagedMessage());
    const quint16 version = u16(bof->body, 0);
    if (version == Biff5) {
        m_biff = 5;
    } else if (version != Biff8) {
        return fail(u"工作簿的格式太旧，无法导入。请用 Excel 或 WPS 打开后另存为 .xlsx 再导入"_s);
    }
    findCodePage();
    // A stream of one worksheet: its cell and number formats sit in it.
    if (u16(bof->body, 2) == WorksheetStream) {
        addSheetName(loneSheetName);
        m_sheetOffsets.append(0);
    }

    SheetBudget strings;
    qsizetype at = bof->end;
    for (;;) {
        const std::optional<Record> record = recordAt(m_stream, at);
        if (!record) {
            // A stream that simply ends where an EOF was due lost nothing.
            if (at == m_stream.size() && !m_sheetOffsets.isEmpty())
                return true;
            return fail(damagedMessage());
        }
        at = record->end;
        const QByteArrayView body = record->body;
        switch (record->type) {
        case RecEof:
            return true;
        case RecFilePass:
            return fail(passwordMessage()); // all that follows is ciphertext
        case RecDate1904:
            m_date1904 = body.size() >= 2 && u16(body, 0) != 0;
            break;
        case RecXf:
            if (body.size() < 4)
                return fail(damagedMessage());
            m_xfFormats.append(u16(body, 2));
            break;
        case RecFormat: {
            RecordReader reader(m_stream, *record);
            const quint16 id = reader.u16();
            QString format;
            if (m_biff == 8) {
                format = reader.unicodeString(2);
            } else {
                const quint8 length = reader.u8();
                format = byteString(reader.bytes(length));
            }
            if (!reader.ok())
                return fail(damagedMessage());
            m_customFormats.insert(id, dateKindOfFormat(format));
            break;
        }
        case RecBoundSheet: {
            RecordReader reader(m_stream, *record);
            const quint32 offset = reader.u32();
            reader.u8(); // visibility: hidden sheets are listed too
            const quint8 type = reader.u8();
            QString name;
            if (m_biff == 8) {
                name = reader.unicodeString(1);
            } else {
                const quint8 length = reader.u8();
                name = byteString(reader.bytes(length));
            }
            if (!reader.ok())
                return fail(damagedMessage());
            // Charts, macro sheets and modules hold no table.
            if (type == 0) {
                addSheetName(name);
                m_sheetOffsets.append(offset);
            }
            break;
        }
        case RecSst: {
            RecordReader reader(m_stream, *record);
            reader.u32(); // references to the strings, not their number
            const quint32 unique = reader.u32();
            for (quint32 i = 0; i < unique && !reader.atEnd(); ++i) {
                // More texts than cells any sheet may hold: a bomb, not a workbook.
                if (m_sst.size() >= MaxSheetCells)
                    return fail(tooManyTextsMessage());
                m_sst.append(reader.unicodeString(2));
                if (!reader.ok())
                    return fail(damagedMessage());
                if (!strings.take(0, m_sst.last().size()))
                    return fail(strings.message());
            }
            break;
        }
        default:
            break;
        }
    }
}

QString XlsReader::byteString(QByteArrayView bytes) const
{
    if (std::optional<QString> text = decodeCodePage(bytes, m_codepage))
        return *text;
    return QString::fromLatin1(bytes);
}

QString XlsReader::numberText(double value, quint16 xf) const
{
    const quint16 format = xf < m_xfFormats.size() ? m_xfFormats.at(xf) : 0;
    const auto custom = m_customFormats.constFind(format);
    return cellNumberText(value, custom != m_customFormats.cend() ? *custom : builtinDateKind(format),
                          m_date1904);
}

// Where the sheet at @p index starts: where its BOUNDSHEET record says, or,
// when no worksheet starts there (a writer that counted wrong), the
// index-th worksheet BOF of the stream.
std::optional<qsizetype> XlsReader::sheetStart(qsizetype index) const
{
    const qsizetype offset = m_sheetOffsets.at(index);
    if (const std::optional<Record> record = recordAt(m_stream, offset); record && record->type == RecBof)
        return offset;
    qsizetype found = 0;
    for (qsizetype at = m_stream.indexOf("\x09\x08", 0); at >= 0; at = m_stream.indexOf("\x09\x08", at + 1)) {
        const std::optional<Record> record = recordAt(m_stream, at);
        if (record && isWorksheetBof(*record) && found++ == index)
            return at;
    }
    return std::nullopt;
}

std::optional<SheetRows> XlsReader::readSheet(qsizetype index)
{
    if (index < 0 || index >= m_sheetOffsets.size())
        return std::nullopt;
    const auto damaged = [this] {
        fail(damagedMessage());
        return std::nullopt;
    };
    const std::optional<qsizetype> start = sheetStart(index);
    if (!start)
        return damaged();
    qsizetype at = *start;
    std::optional<Record> record = recordAt(m_stream, at);

    const quint32 maxRows = m_biff == 8 ? MaxRows8 : MaxRows5;
    // Row r of the sheet at index r; rows grow as far as their last cell.
    QList<QStringList> rows;
    SheetBudget budget;
    const auto place = [&](quint32 r, quint32 c, const QString &text) {
        if (r >= maxRows || c >= MaxColumns)
            return false;
        if (text.isEmpty())
            return true;
        qsizetype grown = 0;
        if (r >= quint32(rows.size())) {
            grown += r + 1 - rows.size();
            rows.resize(r + 1);
        }
        QStringList &row = rows[r];
        if (c >= quint32(row.size())) {
            grown += c + 1 - row.size();
            row.resize(c + 1);
        }
        if (!budget.take(grown, text.size()))
            return false;
        row[c] = text;
        return true;
    };
    const auto fails = [&] {
        if (budget.exceeded()) {
            fail(budget.message());
            return std::nullopt;
        }
        return damaged();
    };
    // A text record: BIFF8's unicode string, or Excel 95's bytes, which some
    // other programs write into Excel 97 files too.
    const auto text = [&](const Record &label, qsizetype skip, QString *out) {
        if (m_biff == 8) {
            RecordReader reader(m_stream, label);
            reader.skip(quint64(skip));
            *out = reader.unicodeString(2);
            if (reader.ok() && reader.atEnd())
                return true;
            if (label.body.size() < skip + 2 || label.body.size() != skip + 2 + u16(label.body, skip))
                return reader.ok();
        }
        RecordReader reader(m_stream, label);
        reader.skip(quint64(skip));
        const quint16 length = reader.u16();
        *out = byteString(reader.bytes(length));
        return reader.ok();
    };

    // Embedded charts have a BOF and EOF of their own inside the sheet.
    int depth = 0;
    bool stringPending = false; // a formula's text result follows in a STRING record
    quint32 pendingRow = 0;
    quint32 pendingColumn = 0;
    for (;; at = record->end) {
        record = recordAt(m_stream, at);
        if (!record) {
            // The stream ends where the sheet's EOF was due: nothing is lost.
            if (at == m_stream.size() && depth == 1)
                break;
            return damaged();
        }
        const QByteArrayView body = record->body;
        const qsizetype size = body.size();
        if (record->type == RecBof) {
            ++depth;
            continue;
        }
        if (record->type == RecEof) {
            if (--depth == 0)
                break;
            continue;
        }
        if (depth != 1)
            continue;
        // A shared or array formula's own record may stand between a formula
        // and its text result.
        if (record->type != RecString && record->type != RecContinue && record->type != RecSharedFormula &&
            record->type != RecArray && record->type != RecTable)
            stringPending = false;

        switch (record->type) {
        case RecDimension:
            // A sheet no Excel 97–2003 file can hold is a damaged file.
            if (m_biff == 8 && size >= 12 && (u32(body, 4) > MaxRows8 || u16(body, 10) > MaxColumns))
                return damaged();
            break;
        case RecNumber:
            if (size < 14 || !place(u16(body, 0), u16(body, 2), numberText(f64(body, 6), u16(body, 4))))
                return fails();
            break;
        case RecRk:
            if (size < 10 ||
                !place(u16(body, 0), u16(body, 2), numberText(rkValue(u32(body, 6)), u16(body, 4))))
                return fails();
            break;
        case RecMulRk: {
            if (size < 6 || (size - 6) % 6 != 0)
                return damaged();
            const quint32 row = u16(body, 0);
            const quint32 first = u16(body, 2);
            for (qsizetype i = 0; i < (size - 6) / 6; ++i) {
                const qsizetype item = 4 + 6 * i;
                if (!place(row, first + quint32(i),
                           numberText(rkValue(u32(body, item + 2)), u16(body, item))))
                    return fails();
            }
            break;
        }
        case RecLabelSst: {
            if (size < 10)
                return damaged();
            const quint32 string = u32(body, 6);
            if (string >= quint32(m_sst.size()) || !place(u16(body, 0), u16(body, 2), m_sst.at(string)))
                return fails();
            break;
        }
        case RecLabel:
        case RecRString: {
            QString label;
            if (size < 6 || !text(*record, 6, &label) || !place(u16(body, 0), u16(body, 2), label))
                return fails();
            break;
        }
        case RecBoolErr:
            if (size < 8)
                return damaged();
            if (!place(u16(body, 0), u16(body, 2),
                       body.at(7)   ? errorText(quint8(body.at(6)))
                       : body.at(6) ? u"TRUE"_s
                                    : u"FALSE"_s))
                return fails();
            break;
        case RecFormula: {
            if (size < 20)
                return damaged();
            const quint16 row = u16(body, 0);
            const quint16 column = u16(body, 2);
            QString result;
            if (quint8(body.at(12)) == 0xFF && quint8(body.at(13)) == 0xFF) {
                switch (body.at(6)) {
                case 0:
                    stringPending = true;
                    pendingRow = row;
                    pendingColumn = column;
                    break;
                case 1:
                    result = body.at(8) ? u"TRUE"_s : u"FALSE"_s;
                    break;
                case 2:
                    result = errorText(quint8(body.at(8)));
                    break;
                default:
                    break;
                }
            } else {
                result = numberText(f64(body, 6), u16(body, 4));
            }
            if (!place(row, column, result))
                return fails();
            break;
        }
        case RecString:
            if (stringPending) {
                QString result;
                if (!text(*record, 0, &result) || !place(pendingRow, pendingColumn, result))
                    return fails();
            }
            stringPending = false;
            break;
        default:
            break;
        }
    }

    SheetRows sheet;
    for (qsizetype r = 0; r < rows.size(); ++r) {
        if (!rows.at(r).isEmpty())
            sheet.append(SheetRow{int(r + 1), std::move(rows[r])});
    }
    return sheet;
}

} // namespace Kuaidi
