#include "xlsreader.h"

#include "compoundfile.h"

#include <core/numbertext.h>
#ifdef Q_OS_WIN
#include <core/windowscodepage.h>
#endif

#include <QDate>
#include <QFile>
#include <QStringDecoder>
#include <QTime>
#include <QtEndian>

#include <bit>
#include <cmath>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

constexpr qint64 MaxXlsBytes = 256 * 1024 * 1024;

// The record types read here.
constexpr quint16 RecFormula = 0x0006;
constexpr quint16 RecEof = 0x000A;
constexpr quint16 RecDate1904 = 0x0022;
constexpr quint16 RecFilePass = 0x002F;
constexpr quint16 RecContinue = 0x003C;
constexpr quint16 RecCodePage = 0x0042;
constexpr quint16 RecBoundSheet = 0x0085;
constexpr quint16 RecMulRk = 0x00BD;
constexpr quint16 RecRString = 0x00D6;
constexpr quint16 RecXf = 0x00E0;
constexpr quint16 RecSst = 0x00FC;
constexpr quint16 RecLabelSst = 0x00FD;
constexpr quint16 RecDimension = 0x0200;
constexpr quint16 RecNumber = 0x0203;
constexpr quint16 RecLabel = 0x0204;
constexpr quint16 RecBoolErr = 0x0205;
constexpr quint16 RecString = 0x0207;
constexpr quint16 RecRk = 0x027E;
constexpr quint16 RecFormat = 0x041E;
constexpr quint16 RecBof = 0x0809;
constexpr quint16 Biff5 = 0x0500;
constexpr quint16 Biff8 = 0x0600;

// Excel 97–2003 sheets end at row 65536 and column IV; Excel 95 sheets at
// row 16384.
constexpr quint32 MaxRows8 = 65536;
constexpr quint32 MaxRows5 = 16384;
constexpr quint32 MaxColumns = 256;

// The last day Excel can show, 9999-12-31.
constexpr double LastSerialDay = 2958465;

QString passwordMessage()
{
    return u"工作簿设有密码保护，请先在 Excel 中取消密码并保存后再导入"_s;
}

quint16 u16(QByteArrayView data, qsizetype at)
{
    return qFromLittleEndian<quint16>(data.data() + at);
}

quint32 u32(QByteArrayView data, qsizetype at)
{
    return qFromLittleEndian<quint32>(data.data() + at);
}

double f64(QByteArrayView data, qsizetype at)
{
    return std::bit_cast<double>(qFromLittleEndian<quint64>(data.data() + at));
}

// An RK number: a double's high 30 bits or an integer, perhaps ÷ 100.
double rkValue(quint32 rk)
{
    double value = (rk & 2) ? double(qint32(rk) >> 2) : std::bit_cast<double>(quint64(rk & 0xFFFFFFFC) << 32);
    if (rk & 1)
        value /= 100;
    return value;
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

struct Record
{
    quint16 type = 0;
    QByteArrayView body;
    qsizetype end = 0; // where the next record starts
};

// The record at @p at, or nothing when its header or body would run past
// the end of the stream.
std::optional<Record> recordAt(const QByteArray &stream, qsizetype at)
{
    if (at < 0 || at + 4 > stream.size())
        return std::nullopt;
    const qsizetype length = u16(stream, at + 2);
    if (at + 4 + length > stream.size())
        return std::nullopt;
    return Record{u16(stream, at), QByteArrayView(stream).sliced(at + 4, length), at + 4 + length};
}

// Reads one record and the CONTINUE records after it as one run of bytes.
// Where the characters of a string go on in a continuation, that
// continuation restates in its first byte whether they are one or two bytes
// wide. Reading past the end fails the reader instead of the program.
class RecordReader
{
public:
    RecordReader(const QByteArray &stream, const Record &first) : m_segments{first.body}
    {
        for (qsizetype at = first.end;;) {
            const std::optional<Record> next = recordAt(stream, at);
            if (!next || next->type != RecContinue)
                break;
            m_segments.append(next->body);
            at = next->end;
        }
    }

    bool ok() const { return m_ok; }
    bool atEnd()
    {
        while (m_segment < m_segments.size() && m_at >= m_segments.at(m_segment).size())
            nextSegment();
        return m_segment >= m_segments.size();
    }

    quint8 u8()
    {
        if (atEnd())
            return fail();
        return quint8(m_segments.at(m_segment).at(m_at++));
    }
    quint16 u16() { return quint16(u8() | u8() << 8); }
    quint32 u32() { return quint32(u16()) | quint32(u16()) << 16; }

    void skip(quint64 count)
    {
        while (count > 0 && !atEnd()) {
            const quint64 step = qMin<quint64>(count, quint64(m_segments.at(m_segment).size() - m_at));
            m_at += qsizetype(step);
            count -= step;
        }
        if (count > 0)
            fail();
    }

    // @p count characters, one byte wide (Latin-1) or two (UTF-16).
    QString chars(qsizetype count, bool wide)
    {
        QString text;
        text.reserve(qMin<qsizetype>(count, 4096));
        while (text.size() < count && m_ok) {
            if (m_segment < m_segments.size() && m_at >= m_segments.at(m_segment).size()) {
                nextSegment();
                if (m_segment < m_segments.size())
                    wide = u8() & 1;
                continue;
            }
            if (m_segment >= m_segments.size()) {
                fail();
                break;
            }
            const QByteArrayView segment = m_segments.at(m_segment);
            const qsizetype available = (segment.size() - m_at) / (wide ? 2 : 1);
            if (available == 0) { // half a character at the end of a segment
                fail();
                break;
            }
            const qsizetype take = qMin(available, count - text.size());
            if (wide) {
                for (qsizetype i = 0; i < take; ++i)
                    text += QChar(Kuaidi::u16(segment, m_at + 2 * i));
                m_at += 2 * take;
            } else {
                text += QString::fromLatin1(segment.sliced(m_at, take));
                m_at += take;
            }
        }
        return text;
    }

    // A BIFF8 unicode string: its length (one or two bytes), option flags,
    // the counts of formatting runs and phonetic data when present, the
    // characters, then the runs and phonetic data, which are skipped.
    QString unicodeString(int lengthBytes)
    {
        const qsizetype length = lengthBytes == 1 ? u8() : u16();
        const quint8 flags = u8();
        const quint16 runs = (flags & 0x08) ? u16() : 0;
        const quint32 phonetic = (flags & 0x04) ? u32() : 0;
        QString text = chars(length, flags & 0x01);
        skip(4 * quint64(runs));
        skip(phonetic);
        return text;
    }

    // @p count bytes of an Excel 95 string, which never spans records.
    QByteArrayView bytes(qsizetype count)
    {
        if (atEnd() || m_segments.at(m_segment).size() - m_at < count) {
            fail();
            return {};
        }
        const QByteArrayView result = m_segments.at(m_segment).sliced(m_at, count);
        m_at += count;
        return result;
    }

private:
    quint8 fail()
    {
        m_ok = false;
        m_segment = m_segments.size();
        return 0;
    }
    void nextSegment()
    {
        ++m_segment;
        m_at = 0;
    }

    QList<QByteArrayView> m_segments;
    qsizetype m_segment = 0;
    qsizetype m_at = 0;
    bool m_ok = true;
};

// What a custom number format shows: a date (y, d, or m without h and s), a
// time of day (h, s, or [h] for elapsed hours), both, or a number. Quoted
// text, escaped characters and [colour] sections are not codes.
void formatCodes(QStringView format, bool *date, bool *time)
{
    *date = false;
    *time = false;
    if (format.compare(u"General", Qt::CaseInsensitive) == 0)
        return;
    bool month = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i).toLower();
        if (c == u'"') {
            const qsizetype close = format.indexOf(u'"', i + 1);
            i = close < 0 ? format.size() : close;
        } else if (c == u'\\' || c == u'_' || c == u'*') {
            ++i;
        } else if (c == u'[') {
            const qsizetype close = format.indexOf(u']', i + 1);
            const QStringView inside = format.mid(i + 1, close < 0 ? -1 : close - i - 1);
            if (!inside.isEmpty() && (inside.startsWith(u'h', Qt::CaseInsensitive) ||
                                      inside.startsWith(u's', Qt::CaseInsensitive)))
                *time = true;
            i = close < 0 ? format.size() : close;
        } else if (c == u'y' || c == u'd') {
            *date = true;
        } else if (c == u'h' || c == u's') {
            *time = true;
        } else if (c == u'm') {
            month = true;
        } else if (c == u'0' || c == u'#' || c == u'?' || c == u'@') {
            *date = *time = false; // a number or text format with letters in it
            return;
        }
    }
    if (month && !*time)
        *date = true;
}

std::optional<QStringDecoder> decoderForCodePage(quint16 codepage)
{
    static const QHash<quint16, const char *> names{
        {367, "US-ASCII"},      {437, "IBM437"},        {850, "IBM850"},        {874, "windows-874"},
        {932, "Shift_JIS"},     {936, "GBK"},           {949, "windows-949"},   {950, "Big5"},
        {1250, "windows-1250"}, {1251, "windows-1251"}, {1252, "windows-1252"}, {1253, "windows-1253"},
        {1254, "windows-1254"}, {1255, "windows-1255"}, {1256, "windows-1256"}, {1257, "windows-1257"},
        {1258, "windows-1258"}, {10000, "macintosh"},   {32768, "macintosh"},   {32769, "windows-1252"},
    };
    QStringDecoder decoder(names.value(codepage, "windows-1252"));
    if (!decoder.isValid())
        return std::nullopt;
    return decoder;
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
    return openBytes(bytes);
}

bool XlsReader::openBytes(const QByteArray &file)
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
    return readGlobals();
}

// The workbook globals: code page, date system, number formats, cell
// formats, sheets and shared strings, up to the globals' EOF.
bool XlsReader::readGlobals()
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

    qsizetype at = bof->end;
    for (;;) {
        const std::optional<Record> record = recordAt(m_stream, at);
        if (!record)
            return fail(damagedMessage());
        at = record->end;
        const QByteArrayView body = record->body;
        switch (record->type) {
        case RecEof:
            if (!m_decoder && m_biff == 5) {
                if (std::optional<QStringDecoder> decoder = decoderForCodePage(m_codepage))
                    m_decoder = std::make_unique<QStringDecoder>(std::move(*decoder));
            }
            return true;
        case RecFilePass:
            return fail(passwordMessage()); // all that follows is ciphertext
        case RecCodePage:
            if (body.size() >= 2) {
                m_codepage = u16(body, 0);
                if (m_biff == 5) {
                    if (std::optional<QStringDecoder> decoder = decoderForCodePage(m_codepage))
                        m_decoder = std::make_unique<QStringDecoder>(std::move(*decoder));
                }
            }
            break;
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
            bool date = false;
            bool time = false;
            formatCodes(format, &date, &time);
            m_customFormats.insert(id, date && time ? DateKind::DateTime
                                       : date       ? DateKind::Date
                                       : time       ? DateKind::Time
                                                    : DateKind::None);
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
                m_sst.append(reader.unicodeString(2));
                if (!reader.ok())
                    return fail(damagedMessage());
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
    if (m_decoder) {
        QStringDecoder decoder(m_decoder->name());
        return decoder.decode(bytes);
    }
#ifdef Q_OS_WIN
    // Excel's own numbers for the Mac and the Windows code pages.
    const unsigned codePage = m_codepage == 32768 ? 10000 : m_codepage == 32769 ? 1252 : m_codepage;
    if (std::optional<QString> text = decodeWithWindowsCodePage(codePage, bytes))
        return *text;
#endif
    return QString::fromLatin1(bytes);
}

QString XlsReader::numberText(double value, quint16 xf) const
{
    const quint16 format = xf < m_xfFormats.size() ? m_xfFormats.at(xf) : 0;
    DateKind kind = DateKind::None;
    if (const auto it = m_customFormats.constFind(format); it != m_customFormats.cend()) {
        kind = *it;
    } else if ((format >= 14 && format <= 17) || (format >= 27 && format <= 31) || format == 36 ||
               (format >= 50 && format <= 58)) {
        kind = DateKind::Date;
    } else if ((format >= 18 && format <= 21) || (format >= 32 && format <= 35) ||
               (format >= 45 && format <= 47)) {
        kind = DateKind::Time;
    } else if (format == 22) {
        kind = DateKind::DateTime;
    }
    if (kind == DateKind::None || !std::isfinite(value) || value < 0 || value > LastSerialDay)
        return numberToText(value);

    double days = std::floor(value);
    qint64 seconds = qRound64((value - days) * 86400);
    if (seconds >= 86400) {
        days += 1;
        seconds -= 86400;
    }
    // Excel counts 1900 as a leap year: its day 60 is a 29 February that never
    // was, so the days before it start one day later.
    const QDate origin = m_date1904  ? QDate(1904, 1, 1)
                         : days < 60 ? QDate(1899, 12, 31)
                                     : QDate(1899, 12, 30);
    QString date = origin.addDays(qint64(days)).toString(u"yyyy-MM-dd");
    QString time = QTime(0, 0).addSecs(int(seconds)).toString(u"HH:mm:ss");
    switch (kind) {
    case DateKind::Date:
        return date;
    case DateKind::Time:
        return time;
    default:
        return date + u' ' + time;
    }
}

std::optional<SheetRows> XlsReader::readSheet(qsizetype index)
{
    if (index < 0 || index >= m_sheetOffsets.size())
        return std::nullopt;
    const auto damaged = [this] {
        fail(damagedMessage());
        return std::nullopt;
    };
    qsizetype at = m_sheetOffsets.at(index);
    std::optional<Record> record = recordAt(m_stream, at);
    if (!record || record->type != RecBof)
        return damaged();

    const quint32 maxRows = m_biff == 8 ? MaxRows8 : MaxRows5;
    SheetRows rows;
    qsizetype cells = 0;
    bool tooLarge = false;
    const auto place = [&](quint32 r, quint32 c, const QString &text) {
        if (r >= maxRows || c >= MaxColumns)
            return false;
        if (text.isEmpty())
            return true;
        if (r >= quint32(rows.size())) {
            cells += r + 1 - rows.size();
            rows.resize(r + 1);
        }
        QStringList &row = rows[r];
        if (c >= quint32(row.size())) {
            cells += c + 1 - row.size();
            row.resize(c + 1);
        }
        if (cells > MaxSheetCells) {
            tooLarge = true;
            return false;
        }
        row[c] = text;
        return true;
    };
    const auto fails = [&] {
        if (tooLarge) {
            fail(tooLargeMessage());
            return std::nullopt;
        }
        return damaged();
    };

    // Embedded charts have a BOF and EOF of their own inside the sheet.
    int depth = 0;
    bool stringPending = false; // a formula's text result follows in a STRING record
    quint32 pendingRow = 0;
    quint32 pendingColumn = 0;
    for (;; at = record->end) {
        record = recordAt(m_stream, at);
        if (!record)
            return damaged();
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
        if (record->type != RecString && record->type != RecContinue)
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
            RecordReader reader(m_stream, *record);
            const quint16 row = reader.u16();
            const quint16 column = reader.u16();
            reader.skip(2);
            QString text;
            if (m_biff == 8) {
                text = reader.unicodeString(2);
            } else {
                const quint16 length = reader.u16();
                text = byteString(reader.bytes(length));
            }
            if (!reader.ok() || !place(row, column, text))
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
            QString text;
            if (quint8(body.at(12)) == 0xFF && quint8(body.at(13)) == 0xFF) {
                switch (body.at(6)) {
                case 0:
                    stringPending = true;
                    pendingRow = row;
                    pendingColumn = column;
                    break;
                case 1:
                    text = body.at(8) ? u"TRUE"_s : u"FALSE"_s;
                    break;
                case 2:
                    text = errorText(quint8(body.at(8)));
                    break;
                default:
                    break;
                }
            } else {
                text = numberText(f64(body, 6), u16(body, 4));
            }
            if (!place(row, column, text))
                return fails();
            break;
        }
        case RecString:
            if (stringPending) {
                RecordReader reader(m_stream, *record);
                QString text;
                if (m_biff == 8) {
                    text = reader.unicodeString(2);
                } else {
                    const quint16 length = reader.u16();
                    text = byteString(reader.bytes(length));
                }
                if (!reader.ok() || !place(pendingRow, pendingColumn, text))
                    return fails();
            }
            stringPending = false;
            break;
        default:
            break;
        }
    }
    return rows;
}

} // namespace Kuaidi
