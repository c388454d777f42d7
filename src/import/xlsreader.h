#pragma once

#include "numberformat.h"
#include "sheetreader.h"

#include <QByteArray>
#include <QHash>

namespace Kuaidi {

/// Excel 97–2003 workbooks (.xls, BIFF8) and Excel 5.0/95 workbooks (BIFF5/7),
/// read by walking the workbook stream's records here: no record is trusted
/// beyond the bytes it really has, so a damaged file is refused with a
/// message instead of being read out of bounds.
///
/// Numbers come out through numberToText(); cells whose number format is a
/// date or time read as "2024-01-15", "2024-01-15 08:30:00" or "08:30:00";
/// formula cells give the result the saving program stored; booleans read
/// TRUE/FALSE and errors their text (#DIV/0!). Excel 95 texts are decoded by
/// the workbook's code page, else by the first sheet's, else as GBK.
class XlsReader final : public SheetReader
{
public:
    XlsReader();
    ~XlsReader() override;

    bool open(const QString &path) override;
    std::optional<SheetRows> readSheet(qsizetype index) override;

    /// The same for the bytes of a file already in memory. A workbook
    /// stream holding one worksheet and no globals (as FoxPro writes them)
    /// has one sheet, called @p loneSheetName.
    bool openBytes(const QByteArray &file, const QString &loneSheetName = QStringLiteral("Sheet1"));

private:
    bool readGlobals(const QString &loneSheetName);
    void findCodePage();
    std::optional<qsizetype> sheetStart(qsizetype index) const;
    QString numberText(double value, quint16 xf) const;
    QString byteString(QByteArrayView bytes) const;

    QByteArray m_stream;
    int m_biff = 8; // 8, or 5 for Excel 5.0/95 files
    bool m_date1904 = false;
    int m_codepage = 1252;
    QStringList m_sst;
    QList<quint32> m_sheetOffsets;
    QList<quint16> m_xfFormats;               // XF index → number format id
    QHash<quint16, DateKind> m_customFormats; // format id → what its FORMAT record shows
};

} // namespace Kuaidi
