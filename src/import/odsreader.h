#pragma once

#include "sheetreader.h"

#include <memory>

class QXmlStreamReader;

namespace Kuaidi {

class ZipPackage;

/// OpenDocument spreadsheets (.ods, as LibreOffice and WPS save them; and the
/// flat .fods), read from content.xml under the same limits as .xlsx parts.
/// Numbers come out through numberToText, dates as "2024-01-15" or
/// "2024-01-15 08:30:00", times as "08:30:00" (hours past 24 kept), booleans
/// as TRUE/FALSE; a text cell's paragraphs are joined by line feeds, its
/// comments left out. Repeated rows and cells are repeated.
class OdsReader final : public SheetReader
{
public:
    OdsReader();
    ~OdsReader() override;

    bool open(const QString &path) override;
    std::optional<SheetRows> readSheet(qsizetype index) override;

private:
    std::optional<QByteArray> content();
    bool readRows(QXmlStreamReader &reader, SheetRows &rows);

    std::unique_ptr<ZipPackage> m_package; // none for a flat .fods
    QString m_path;
};

} // namespace Kuaidi
