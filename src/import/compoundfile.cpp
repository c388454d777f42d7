#include "compoundfile.h"

#include <QtEndian>

namespace Kuaidi {

namespace {

constexpr quint32 EndOfChain = 0xFFFFFFFE;
constexpr quint32 FreeSector = 0xFFFFFFFF;
constexpr quint32 NoEntry = 0xFFFFFFFF;
constexpr int HeaderSize = 512;
constexpr int HeaderDifatEntries = 109;
constexpr int MiniSectorSize = 64;
constexpr int EntrySize = 128;
constexpr quint8 StreamEntry = 2;
constexpr quint8 RootEntry = 5;

quint16 u16(const QByteArray &data, qsizetype at)
{
    return qFromLittleEndian<quint16>(data.constData() + at);
}

quint32 u32(const QByteArray &data, qsizetype at)
{
    return qFromLittleEndian<quint32>(data.constData() + at);
}

} // namespace

bool CompoundFile::load(const QByteArray &data)
{
    *this = CompoundFile();
    if (data.size() < HeaderSize || !data.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"))
        return false;
    const quint16 major = u16(data, 0x1A);
    const quint16 sectorShift = u16(data, 0x1E);
    if (u16(data, 0x1C) != 0xFFFE || (sectorShift != 9 && sectorShift != 12) || u16(data, 0x20) != 6)
        return false;
    if (data.size() < (1 << sectorShift))
        return false;
    m_data = data;
    m_sectorSize = 1 << sectorShift;
    // Some programs leave the last sector short; what it lacks reads as zeros,
    // as other readers read it.
    if (const qsizetype partial = (data.size() - m_sectorSize) % m_sectorSize; partial != 0)
        m_data.append(QByteArray(m_sectorSize - partial, '\0'));
    // Sector n starts at (n + 1) * size: the header fills sector -1, padded
    // to 4096 bytes in version 4 files.
    m_sectorCount = (m_data.size() - m_sectorSize) / m_sectorSize;
    m_miniCutoff = u32(data, 0x38);

    const quint32 fatSectors = u32(data, 0x2C);
    if (fatSectors > quint32(m_sectorCount))
        return false;

    // The sectors holding the FAT are listed first in the header, then in a
    // chain of DIFAT sectors whose last entry points at the next one.
    QList<quint32> fatList;
    for (int i = 0; i < HeaderDifatEntries && quint32(fatList.size()) < fatSectors; ++i)
        fatList.append(u32(data, 0x4C + 4 * i));
    quint32 difat = u32(data, 0x44);
    const int perDifat = m_sectorSize / 4 - 1;
    qsizetype guard = 0;
    while (quint32(fatList.size()) < fatSectors) {
        if (difat >= quint32(m_sectorCount) || ++guard > m_sectorCount)
            return false;
        const qsizetype base = qsizetype(difat + 1) * m_sectorSize;
        for (int i = 0; i < perDifat && quint32(fatList.size()) < fatSectors; ++i)
            fatList.append(u32(m_data, base + 4 * i));
        difat = u32(m_data, base + 4 * perDifat);
    }

    m_fat.reserve(fatList.size() * (m_sectorSize / 4));
    for (const quint32 sector : std::as_const(fatList)) {
        if (sector >= quint32(m_sectorCount))
            return false;
        const qsizetype base = qsizetype(sector + 1) * m_sectorSize;
        for (int i = 0; i < m_sectorSize / 4; ++i)
            m_fat.append(u32(m_data, base + 4 * i));
    }

    const std::optional<QByteArray> directory =
        readRegular(u32(data, 0x30), quint64(m_sectorCount) * m_sectorSize);
    if (!directory)
        return false;
    for (qsizetype at = 0; at + EntrySize <= directory->size(); at += EntrySize) {
        Entry entry;
        const int nameBytes = qMin<int>(u16(*directory, at + 0x40), 64);
        const int nameChars = qMax(0, nameBytes / 2 - 1); // the length counts the terminating zero
        for (int i = 0; i < nameChars; ++i)
            entry.name.append(QChar(u16(*directory, at + 2 * i)));
        entry.type = quint8(directory->at(at + 0x42));
        entry.left = u32(*directory, at + 0x44);
        entry.right = u32(*directory, at + 0x48);
        entry.child = u32(*directory, at + 0x4C);
        entry.start = u32(*directory, at + 0x74);
        entry.size = qFromLittleEndian<quint64>(directory->constData() + at + 0x78);
        if (major < 4)
            entry.size &= 0xFFFFFFFFu; // version 3 leaves the high half undefined
        m_entries.append(entry);
    }
    if (m_entries.isEmpty() || m_entries.first().type != RootEntry)
        return false;

    const Entry &root = m_entries.first();
    if (root.size > 0) {
        const std::optional<QByteArray> mini = readRegular(root.start, root.size);
        if (!mini)
            return false;
        m_miniStream = *mini;
        const std::optional<QByteArray> miniFat =
            readRegular(u32(data, 0x3C), quint64(u32(data, 0x40)) * m_sectorSize);
        if (miniFat) {
            for (qsizetype at = 0; at + 4 <= miniFat->size(); at += 4)
                m_miniFat.append(u32(*miniFat, at));
        }
    }
    return true;
}

std::optional<QList<quint32>> CompoundFile::chain(const QList<quint32> &table, quint32 start,
                                                  qsizetype limit) const
{
    QList<quint32> sectors;
    quint32 sector = start;
    while (sector != EndOfChain && sectors.size() < limit) {
        // Free or reserved markers mid-chain, or a chain longer than the table
        // (a loop), mean the file is damaged.
        if (sector >= quint32(table.size()) || sectors.size() >= table.size())
            return std::nullopt;
        sectors.append(sector);
        sector = table.at(sector);
    }
    return sectors;
}

// Reads up to @p size bytes; a chain that ends early yields what it holds.
std::optional<QByteArray> CompoundFile::readRegular(quint32 start, quint64 size) const
{
    if (start == EndOfChain || start == FreeSector)
        return QByteArray();
    const qsizetype needed =
        qsizetype(qMin<quint64>((size + m_sectorSize - 1) / m_sectorSize, m_sectorCount));
    const std::optional<QList<quint32>> sectors = chain(m_fat, start, needed);
    if (!sectors)
        return std::nullopt;
    QByteArray out;
    out.reserve(sectors->size() * m_sectorSize);
    for (const quint32 sector : *sectors) {
        if (sector >= quint32(m_sectorCount))
            return std::nullopt;
        out.append(m_data.constData() + qsizetype(sector + 1) * m_sectorSize, m_sectorSize);
    }
    if (quint64(out.size()) > size)
        out.truncate(qsizetype(size));
    return out;
}

std::optional<QByteArray> CompoundFile::readMini(quint32 start, quint64 size) const
{
    const qsizetype miniSectors = m_miniStream.size() / MiniSectorSize;
    const qsizetype needed =
        qsizetype(qMin<quint64>((size + MiniSectorSize - 1) / MiniSectorSize, miniSectors));
    const std::optional<QList<quint32>> sectors = chain(m_miniFat, start, needed);
    if (!sectors)
        return std::nullopt;
    QByteArray out;
    for (const quint32 sector : *sectors) {
        if (sector >= quint32(miniSectors))
            return std::nullopt;
        out.append(m_miniStream.constData() + qsizetype(sector) * MiniSectorSize, MiniSectorSize);
    }
    if (quint64(out.size()) > size)
        out.truncate(qsizetype(size));
    return out;
}

std::optional<QByteArray> CompoundFile::stream(const QString &name) const
{
    if (m_entries.isEmpty())
        return std::nullopt;
    // The children of a storage form a binary tree through left/right links;
    // a visited mark stops a damaged tree from looping.
    QList<bool> seen(m_entries.size(), false);
    QList<quint32> pending{m_entries.first().child};
    while (!pending.isEmpty()) {
        const quint32 id = pending.takeLast();
        if (id == NoEntry || id >= quint32(m_entries.size()) || seen[id])
            continue;
        seen[id] = true;
        const Entry &entry = m_entries.at(id);
        if (entry.type == StreamEntry && entry.name.compare(name, Qt::CaseInsensitive) == 0) {
            std::optional<QByteArray> data = entry.size < m_miniCutoff ? readMini(entry.start, entry.size)
                                                                       : readRegular(entry.start, entry.size);
            // Some writers keep even a small stream in regular sectors.
            if (entry.size < m_miniCutoff && (!data || quint64(data->size()) != entry.size))
                data = readRegular(entry.start, entry.size);
            if (!data || quint64(data->size()) != entry.size)
                return std::nullopt;
            return data;
        }
        pending.append(entry.left);
        pending.append(entry.right);
    }
    return std::nullopt;
}

} // namespace Kuaidi
