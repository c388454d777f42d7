#pragma once

#include <core/texttable.h>

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace Kuaidi {

class SheetReader;

/// One spreadsheet file opened for import: an Excel 97–2003 or 5.0/95
/// workbook (.xls), an Excel workbook (.xlsx), an OpenDocument spreadsheet
/// (.ods, .fods), comma-separated text (.csv, .txt) or an Access database
/// (.mdb, .accdb, whose tables are its sheets). The format is told from the
/// file's first bytes; only plain text falls back on the extension.
///
/// A sheet reads as a table of texts: the first non-blank row names the
/// fields, every later non-blank row is a record with exactly one text per
/// field. Numbers are written by numberToText(), TRUE/FALSE stay as such,
/// formula cells give their stored result and error cells their text
/// (#DIV/0!), and a date or time as "2024-01-15", "08:30:00" or both, by its
/// cell's format, in every format.
class Workbook final
{
public:
    Workbook();
    ~Workbook();
    Q_DISABLE_COPY_MOVE(Workbook)

    /// The encoding of texts whose file does not say it: Access 97 databases
    /// (GBK unless set) and text files (told from their bytes unless set).
    /// A name Qt or ICU knows ("gbk", "big5", "windows-1252" …); takes effect
    /// at the next open().
    void setEncoding(const QString &name) { m_encoding = name; }
    /// Whether @p name is an encoding texts can be decoded by.
    static bool isKnownEncoding(const QString &name);

    /// Opens @p path, closing any workbook opened before. On failure returns
    /// false and lastError() tells why.
    bool open(const QString &path);
    void close();
    bool isOpen() const;

    /// Why the last open() or readSheet() failed, in Chinese, starting with the
    /// reason.
    QString lastError() const;
    /// The same as a whole sentence for the seller: "无法读取该文件：" and the reason.
    QString failureMessage() const;
    /// What the seller should know about the file opened, read all the same:
    /// bytes of a text file that were not valid text, and on which lines.
    QStringList warnings() const;

    /// Worksheet names in workbook order; a text file has one sheet named
    /// after the file without its extension.
    QStringList sheetNames() const;

    /// Fields and records of the sheet called @p sheetName; nothing when there
    /// is no such sheet or it cannot be read.
    std::optional<TextTable> readSheet(const QString &sheetName);

private:
    std::unique_ptr<SheetReader> m_reader;
    QStringList m_sheetNames;
    QString m_error;
    QString m_encoding;
};

} // namespace Kuaidi
