#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QtEndian>

#include <bit>
#include <optional>

namespace Kuaidi::Xls {

// The record types read from a workbook stream.
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
constexpr quint16 RecArray = 0x0221;
constexpr quint16 RecTable = 0x0236;
constexpr quint16 RecRk = 0x027E;
constexpr quint16 RecFormat = 0x041E;
constexpr quint16 RecSharedFormula = 0x04BC;
constexpr quint16 RecBof = 0x0809;
constexpr quint16 Biff5 = 0x0500;
constexpr quint16 Biff8 = 0x0600;
// The substream a BOF record opens: the workbook globals, or a worksheet.
constexpr quint16 GlobalsStream = 0x0005;
constexpr quint16 WorksheetStream = 0x0010;

inline quint16 u16(QByteArrayView data, qsizetype at)
{
    return qFromLittleEndian<quint16>(data.data() + at);
}

inline quint32 u32(QByteArrayView data, qsizetype at)
{
    return qFromLittleEndian<quint32>(data.data() + at);
}

inline double f64(QByteArrayView data, qsizetype at)
{
    return std::bit_cast<double>(qFromLittleEndian<quint64>(data.data() + at));
}

/// An RK number: a double's high 30 bits or an integer, perhaps ÷ 100.
double rkValue(quint32 rk);

/// The text of an error cell's code (#DIV/0!, #N/A …).
QString errorText(quint8 code);

struct Record
{
    quint16 type = 0;
    QByteArrayView body;
    qsizetype end = 0; // where the next record starts
};

/// The record at @p at, or nothing when its header or body would run past
/// the end of the stream.
std::optional<Record> recordAt(const QByteArray &stream, qsizetype at);

/// Reads one record and the CONTINUE records after it as one run of bytes.
/// Where the characters of a string go on in a continuation, that
/// continuation restates in its first byte whether they are one or two bytes
/// wide. Reading past the end fails the reader instead of the program.
class RecordReader
{
public:
    RecordReader(const QByteArray &stream, const Record &first);

    bool ok() const { return m_ok; }
    bool atEnd();

    quint8 u8();
    quint16 u16() { return quint16(u8() | u8() << 8); }
    quint32 u32() { return quint32(u16()) | quint32(u16()) << 16; }
    void skip(quint64 count);

    /// @p count characters, one byte wide (Latin-1) or two (UTF-16).
    QString chars(qsizetype count, bool wide);
    /// A BIFF8 unicode string: its length (one or two bytes), option flags,
    /// the counts of formatting runs and phonetic data when present, the
    /// characters, then the runs and phonetic data, which are skipped.
    QString unicodeString(int lengthBytes);
    /// @p count bytes of an Excel 95 string, which never spans records.
    QByteArrayView bytes(qsizetype count);

private:
    quint8 fail();
    void nextSegment();

    QList<QByteArrayView> m_segments;
    qsizetype m_segment = 0;
    qsizetype m_at = 0;
    bool m_ok = true;
};

} // namespace Kuaidi::Xls
