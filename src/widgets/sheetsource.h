#pragma once

#include <core/texttable.h>

#include <memory>
#include <optional>

class QComboBox;
class QWidget;

namespace Kuaidi {

class Workbook;

/// Asks for a spreadsheet file (.xls, .xlsx, .ods, .csv, or an Access
/// database) under @p caption, starting
/// in @p folder; empty when the seller cancels.
QString chooseWorkbookFile(QWidget *parent, const QString &caption = QStringLiteral("选择运费表格"),
                           const QString &folder = {});

/// A workbook whose sheets a window offers in a sheet chooser. Failures are
/// told to the user ("无法读取该文件：" and the reason) and change nothing.
class SheetSource final
{
public:
    explicit SheetSource(QComboBox *chooser);
    ~SheetSource();
    SheetSource(const SheetSource &) = delete;
    SheetSource &operator=(const SheetSource &) = delete;

    /// Opens @p path and lists its sheets, the first one current, telling the
    /// user what was read but not valid. The open workbook and the chooser
    /// stay as they were when @p path cannot be read.
    bool open(const QString &path, QWidget *parent);
    /// The chooser's current sheet, or nothing.
    std::optional<TextTable> currentSheet(QWidget *parent);
    void close();

private:
    QComboBox *m_chooser = nullptr;
    std::unique_ptr<Workbook> m_workbook;
};

} // namespace Kuaidi
