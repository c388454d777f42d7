#pragma once

// Makes small Excel workbooks byte by byte: BIFF records, and the compound
// file that holds their stream, for cases no spreadsheet program here writes.

#include <QByteArray>
#include <QString>
#include <QtEndian>

namespace KuaidiTest {

inline QByteArray le16(quint16 value)
{
    QByteArray bytes(2, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

inline QByteArray le32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

inline QByteArray biffRecord(quint16 type, const QByteArray &body)
{
    return le16(type) + le16(quint16(body.size())) + body;
}

/// A compound file holding one stream, @p name, in regular sectors of 512
/// bytes, or of 4096 for a stream too large for a FAT the header alone
/// lists. A stream under 4096 bytes is padded to that size, so that it
/// belongs in regular sectors.
inline QByteArray compoundFile(const QString &name, QByteArray stream)
{
    constexpr quint32 EndOfChain = 0xFFFFFFFE;
    constexpr quint32 Free = 0xFFFFFFFF;
    constexpr quint32 FatSector = 0xFFFFFFFD;
    if (stream.size() < 4096)
        stream.append(QByteArray(4096 - stream.size(), '\0'));
    const bool large = stream.size() > 6'000'000;
    const int sectorSize = large ? 4096 : 512;
    const qsizetype streamSectors = (stream.size() + sectorSize - 1) / sectorSize;
    const qsizetype perFat = sectorSize / 4;
    qsizetype fatSectors = 1;
    while (fatSectors * perFat < streamSectors + 1 + fatSectors)
        ++fatSectors;
    Q_ASSERT(fatSectors <= 109);

    QByteArray header;
    header += QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(16, '\0');
    header += le16(0x3E) + le16(large ? 4 : 3) + le16(0xFFFE) + le16(large ? 12 : 9) + le16(6);
    header += QByteArray(6, '\0') + le32(large ? 1 : 0) + le32(quint32(fatSectors));
    header += le32(quint32(fatSectors)) + le32(0) + le32(4096); // directory, transaction, mini cutoff
    header += le32(EndOfChain) + le32(0) + le32(EndOfChain) + le32(0);
    for (qsizetype i = 0; i < 109; ++i)
        header += le32(i < fatSectors ? quint32(i) : Free);
    header.append(QByteArray(sectorSize - header.size(), '\0'));

    // Sectors: the FAT, the directory, then the stream.
    QByteArray fat;
    for (qsizetype i = 0; i < fatSectors; ++i)
        fat += le32(FatSector);
    fat += le32(EndOfChain);
    const qsizetype first = fatSectors + 1;
    for (qsizetype i = 0; i < streamSectors; ++i)
        fat += le32(i + 1 < streamSectors ? quint32(first + i + 1) : EndOfChain);
    while (fat.size() < fatSectors * sectorSize)
        fat += le32(Free);

    const auto entry = [](const QString &entryName, quint8 type, quint32 child, quint32 start, quint64 size) {
        QByteArray bytes;
        for (const QChar c : entryName)
            bytes += le16(c.unicode());
        bytes.append(QByteArray(64 - bytes.size(), '\0'));
        bytes += le16(quint16((entryName.size() + 1) * 2));
        bytes += char(type);
        bytes += char(1); // black
        bytes += le32(0xFFFFFFFF) + le32(0xFFFFFFFF) + le32(child);
        bytes.append(QByteArray(16 + 4 + 16, '\0'));
        bytes += le32(start) + le32(quint32(size)) + le32(quint32(size >> 32));
        return bytes;
    };
    QByteArray directory = entry(QStringLiteral("Root Entry"), 5, 1, EndOfChain, 0);
    directory += entry(name, 2, 0xFFFFFFFF, quint32(first), quint64(stream.size()));
    directory.append(QByteArray(sectorSize - directory.size(), '\0'));
    stream.append(QByteArray(streamSectors * sectorSize - stream.size(), '\0'));
    return header + fat + directory + stream;
}

} // namespace KuaidiTest
