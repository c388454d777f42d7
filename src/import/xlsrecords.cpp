#include "xlsrecords.h"

using namespace Qt::StringLiterals;

namespace Kuaidi::Xls {

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

std::optional<Record> recordAt(const QByteArray &stream, qsizetype at)
{
    if (at < 0 || at + 4 > stream.size())
        return std::nullopt;
    const qsizetype length = u16(stream, at + 2);
    if (at + 4 + length > stream.size())
        return std::nullopt;
    return Record{u16(stream, at), QByteArrayView(stream).sliced(at + 4, length), at + 4 + length};
}

RecordReader::RecordReader(const QByteArray &stream, const Record &first) : m_segments{first.body}
{
    for (qsizetype at = first.end;;) {
        const std::optional<Record> next = recordAt(stream, at);
        if (!next || next->type != RecContinue)
            break;
        m_segments.append(next->body);
        at = next->end;
    }
}

bool RecordReader::atEnd()
{
    while (m_segment < m_segments.size() && m_at >= m_segments.at(m_segment).size())
        nextSegment();
    return m_segment >= m_segments.size();
}

quint8 RecordReader::u8()
{
    if (atEnd())
        return fail();
    return quint8(m_segments.at(m_segment).at(m_at++));
}

void RecordReader::skip(quint64 count)
{
    while (count > 0 && !atEnd()) {
        const quint64 step = qMin<quint64>(count, quint64(m_segments.at(m_segment).size() - m_at));
        m_at += qsizetype(step);
        count -= step;
    }
    if (count > 0)
        fail();
}

QString RecordReader::chars(qsizetype count, bool wide)
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
                text += QChar(Xls::u16(segment, m_at + 2 * i));
            m_at += 2 * take;
        } else {
            text += QString::fromLatin1(segment.sliced(m_at, take));
            m_at += take;
        }
    }
    return text;
}

QString RecordReader::unicodeString(int lengthBytes)
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

QByteArrayView RecordReader::bytes(qsizetype count)
{
    if (atEnd() || m_segments.at(m_segment).size() - m_at < count) {
        fail();
        return {};
    }
    const QByteArrayView result = m_segments.at(m_segment).sliced(m_at, count);
    m_at += count;
    return result;
}

quint8 RecordReader::fail()
{
    m_ok = false;
    m_segment = m_segments.size();
    return 0;
}

void RecordReader::nextSegment()
{
    ++m_segment;
    m_at = 0;
}

} // namespace Kuaidi::Xls
