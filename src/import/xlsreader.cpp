#include "xlsreader.h"

#include "compoundfile.h"

#include <core/numbertext.h>

#include <QFile>
#include <QtEndian>

#include <freexl.h>

#include <bit>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

constexpr qint64 MaxXlsBytes = 256 * 1024 * 1024;

// BIFF8 record types read here.
constexpr quint16 RecFormula = 0x0006;
constexpr quint16 RecEof = 0x000A;
constexpr quint16 RecFilePass = 0x002F;
constexpr quint16 RecContinue = 0x003C;
constexpr quint16 RecBoundSheet = 0x0085;
constexpr quint16 RecDimension = 0x0200;
constexpr quint16 RecBoolErr = 0x0205;
constexpr quint16 RecString = 0x0207;
constexpr quint16 RecBof = 0x0809;
constexpr quint16 Biff8 = 0x0600;

// Excel 97–2003 sheets end at row 65536 and column IV.
constexpr quint32 MaxRows = 65536;
constexpr quint32 MaxColumns = 256;

QString passwordMessage()
{
    return u"工作簿设有密码保护，请先在 Excel 中取消密码并保存后再导入"_s;
}

quint16 u16(const QByteArray &data, qsizetype at)
{
    return qFromLittleEndian<quint16>(data.constData() + at);
}

quint32 u32(const QByteArray &data, qsizetype at)
{
    return qFromLittleEndian<quint32>(data.constData() + at);
}

quint32 cellKey(quint32 row, quint32 column)
{
    return row << 16 | column;
}

QString errorText(quint8 code)
{
    switch (code) {
    case 0x00:
        return u"#NULL!"_s;
    case 0x07:
        return u"#DIV/0!"_s;
    case 0x0F:
        return u"#VALUE!"_s;
    case 0x17:
        return u"#REF!"_s;
    case 0x1D:
        return u"#NAME?"_s;
    case 0x24:
        return u"#NUM!"_s;
    case 0x2A:
        return u"#N/A"_s;
    default:
        return u"#ERROR!"_s;
    }
}

// The text of a STRING record. A long text goes on in CONTINUE records, each
// of which restates whether its characters are one or two bytes wide.
QString readStringRecord(const QByteArray &data, qsizetype body, qsizetype length)
{
    struct Segment
    {
        qsizetype begin;
        qsizetype end;
    };
    QList<Segment> segments{{body, body + length}};
    for (qsizetype at = body + length; at + 4 <= data.size() && u16(data, at) == RecContinue;) {
        const qsizetype end = at + 4 + u16(data, at + 2);
        if (end > data.size())
            break;
        segments.append({at + 4, end});
        at = end;
    }
    if (length < 3)
        return {};
    const quint16 count = u16(data, body);
    bool wide = data.at(body + 2) & 1;
    qsizetype at = body + 3;
    qsizetype segment = 0;
    QString text;
    text.reserve(count);
    while (text.size() < count) {
        if (at >= segments.at(segment).end) {
            if (++segment >= segments.size())
                break;
            wide = data.at(segments.at(segment).begin) & 1;
            at = segments.at(segment).begin + 1;
            continue;
        }
        if (wide) {
            if (at + 2 > segments.at(segment).end)
                break;
            text += QChar(u16(data, at));
            at += 2;
        } else {
            text += QChar::fromLatin1(data.at(at));
            at += 1;
        }
    }
    return text;
}

QString freexlError(int code)
{
    switch (code) {
    case FREEXL_FILE_NOT_FOUND:
        return u"无法打开文件（没有读取权限，或文件正被其他程序占用）"_s;
    case FREEXL_INSUFFICIENT_MEMORY:
        return u"内存不足，无法读取工作簿（文件可能已损坏）"_s;
    case FREEXL_UNSUPPORTED_CHARSET:
    case FREEXL_INVALID_CHARACTER:
        return u"工作簿中的文字编码无法识别"_s;
    default:
        return SheetReader::damagedMessage();
    }
}

} // namespace

XlsReader::~XlsReader()
{
    if (m_handle)
        freexl_close(m_handle);
}

bool XlsReader::open(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(u"无法打开文件（没有读取权限，或文件正被其他程序占用）"_s);
    if (file.size() > MaxXlsBytes)
        return fail(u"文件太大（超过 %1 MB），无法导入"_s.arg(MaxXlsBytes / (1024 * 1024)));
    const QByteArray bytes = file.readAll();
    file.close();

    CompoundFile container;
    if (!container.load(bytes))
        return fail(damagedMessage());
    if (const std::optional<QByteArray> stream = container.stream(u"Workbook"_s)) {
        if (!scanWorkbookStream(*stream))
            return fail(damagedMessage());
        if (m_encrypted)
            return fail(passwordMessage());
    } else if (!container.stream(u"Book"_s)) {
        // An encrypted .xlsx is a compound file holding the zipped workbook.
        if (container.stream(u"EncryptedPackage"_s))
            return fail(passwordMessage());
        return fail(u"文件中没有 Excel 工作簿数据（可能是其他 Office 文档，或已损坏）"_s);
    }

    const int opened = freexl_open(QFile::encodeName(path).constData(), &m_handle);
    if (opened != FREEXL_OK) {
        freexl_close(m_handle); // FreeXL wants this even after a failed open
        m_handle = nullptr;
        return fail(freexlError(opened));
    }
    unsigned int info = 0;
    if (freexl_get_info(m_handle, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK && info == FREEXL_BIFF_OBFUSCATED)
        return fail(passwordMessage());
    unsigned int count = 0;
    if (freexl_get_info(m_handle, FREEXL_BIFF_SHEET_COUNT, &count) != FREEXL_OK)
        return fail(damagedMessage());

    // FreeXL lists every sheet record; the scan knows which ones are worksheets
    // and holds their computed cells, as long as both saw the same sheets.
    const bool scanned = m_scanned.size() == qsizetype(count);
    for (unsigned int i = 0; i < count && i <= 0xFFFF; ++i) {
        if (scanned && !m_isWorksheet.at(i))
            continue;
        const char *name = nullptr;
        if (freexl_get_worksheet_name(m_handle, static_cast<unsigned short>(i), &name) != FREEXL_OK || !name)
            return fail(damagedMessage());
        addSheetName(QString::fromUtf8(name));
        m_sheets.append({static_cast<unsigned short>(i), scanned ? m_scanned.at(i) : CellTexts()});
    }
    m_scanned.clear();
    return true;
}

bool XlsReader::scanWorkbookStream(const QByteArray &data)
{
    QHash<quint32, qsizetype> sheetAtOffset; // BOF position -> BOUNDSHEET index
    qsizetype sheet = -1;
    int depth = 0;
    bool inGlobals = true;
    // A formula with a text result is followed by a STRING record holding it.
    bool stringPending = false;
    quint32 pendingKey = 0;

    for (qsizetype at = 0; at + 4 <= data.size();) {
        const quint16 type = u16(data, at);
        const qsizetype length = u16(data, at + 2);
        const qsizetype body = at + 4;
        if (body + length > data.size())
            return depth == 0; // padding after the last substream is harmless
        const bool inSheet = depth == 1 && sheet >= 0;

        switch (type) {
        case RecBof:
            if (at == 0) {
                // Older BIFF versions lay out cells differently; FreeXL alone reads them.
                if (length < 2 || u16(data, body) != Biff8)
                    return true;
            } else if (depth == 0) {
                sheet = sheetAtOffset.value(quint32(at), -1);
            }
            ++depth;
            break;
        case RecEof:
            if (depth > 0 && --depth == 0) {
                inGlobals = false;
                sheet = -1;
            }
            break;
        case RecFilePass:
            if (inGlobals) {
                m_encrypted = true; // all that follows is ciphertext
                return true;
            }
            break;
        case RecBoundSheet:
            if (inGlobals && depth == 1 && length >= 6) {
                sheetAtOffset.insert(u32(data, body), m_scanned.size());
                m_scanned.append(CellTexts());
                m_isWorksheet.append(data.at(body + 5) == 0);
            }
            break;
        case RecDimension:
            // FreeXL allocates rows × columns cells from this record, so an
            // impossible size must stop the file before FreeXL sees it.
            if (inSheet && length >= 12 &&
                (u32(data, body + 4) > MaxRows || u16(data, body + 10) > MaxColumns))
                return false;
            break;
        case RecFormula:
            stringPending = false;
            if (inSheet && length >= 14) {
                const quint32 key = cellKey(u16(data, body), u16(data, body + 2));
                const qsizetype result = body + 6;
                if (quint8(data.at(result + 6)) == 0xFF && quint8(data.at(result + 7)) == 0xFF) {
                    switch (data.at(result)) {
                    case 0:
                        stringPending = true;
                        pendingKey = key;
                        break;
                    case 1:
                        m_scanned[sheet].insert(key, data.at(result + 2) ? u"TRUE"_s : u"FALSE"_s);
                        break;
                    case 2:
                        m_scanned[sheet].insert(key, errorText(quint8(data.at(result + 2))));
                        break;
                    default:
                        m_scanned[sheet].insert(key, QString());
                    }
                } else {
                    const double value =
                        std::bit_cast<double>(qFromLittleEndian<quint64>(data.constData() + result));
                    m_scanned[sheet].insert(key, numberToText(value));
                }
            }
            break;
        case RecString:
            if (inSheet && stringPending)
                m_scanned[sheet].insert(pendingKey, readStringRecord(data, body, length));
            stringPending = false;
            break;
        case RecBoolErr:
            if (inSheet && length >= 8) {
                const quint32 key = cellKey(u16(data, body), u16(data, body + 2));
                const quint8 value = quint8(data.at(body + 6));
                m_scanned[sheet].insert(key, data.at(body + 7) ? errorText(value)
                                             : value           ? u"TRUE"_s
                                                               : u"FALSE"_s);
            }
            break;
        default:
            break;
        }
        at = body + length;
    }
    return true;
}

std::optional<SheetRows> XlsReader::readSheet(qsizetype index)
{
    if (index < 0 || index >= m_sheets.size() || !m_handle)
        return std::nullopt;
    const Sheet &sheet = m_sheets.at(index);
    unsigned int rowCount = 0;
    unsigned short columnCount = 0;
    if (freexl_select_active_worksheet(m_handle, sheet.freexlIndex) != FREEXL_OK ||
        freexl_worksheet_dimensions(m_handle, &rowCount, &columnCount) != FREEXL_OK) {
        fail(damagedMessage());
        return std::nullopt;
    }

    SheetRows rows;
    qsizetype cells = 0;
    const auto place = [&](quint32 r, quint32 c, const QString &text) {
        if (r >= MaxRows || c >= MaxColumns)
            return true; // outside any Excel 97–2003 sheet: a damaged record
        if (r >= quint32(rows.size()))
            rows.resize(r + 1);
        QStringList &row = rows[r];
        if (c >= quint32(row.size())) {
            cells += c + 1 - row.size();
            if (cells > MaxSheetCells)
                return false;
            row.resize(c + 1);
        }
        row[c] = text;
        return true;
    };

    // FreeXL's dimensions are counts, although its header calls them zero-based.
    for (unsigned int r = 0; r < rowCount && r < MaxRows; ++r) {
        for (unsigned int c = 0; c < columnCount && c < MaxColumns; ++c) {
            FreeXL_CellValue value;
            if (freexl_get_cell_value(m_handle, r, static_cast<unsigned short>(c), &value) != FREEXL_OK)
                continue;
            QString text;
            switch (value.type) {
            case FREEXL_CELL_INT:
                text = QString::number(value.value.int_value);
                break;
            case FREEXL_CELL_DOUBLE:
                text = numberToText(value.value.double_value);
                break;
            case FREEXL_CELL_TEXT:
            case FREEXL_CELL_SST_TEXT:
            case FREEXL_CELL_DATE:
            case FREEXL_CELL_DATETIME:
            case FREEXL_CELL_TIME:
                text = QString::fromUtf8(value.value.text_value);
                break;
            default:
                break;
            }
            if (!text.isEmpty() && !place(r, c, text)) {
                fail(tooLargeMessage());
                return std::nullopt;
            }
        }
    }
    for (auto it = sheet.computed.cbegin(); it != sheet.computed.cend(); ++it) {
        if (!place(it.key() >> 16, it.key() & 0xFFFF, it.value())) {
            fail(tooLargeMessage());
            return std::nullopt;
        }
    }
    return rows;
}

} // namespace Kuaidi
