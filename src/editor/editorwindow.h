#pragma once

#include <pagefill/webformfiller.h>

#include <QHash>
#include <QStringList>
#include <QWidget>

#include <memory>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;

namespace Kuaidi {

class PageArea;
class RateDatabase;
class ReportList;
class SheetSource;

/// "Vantor淘宝网店快递费用模板快速编辑器": shows the marketplace's freight
/// template page beside a list of regions and prices. The seller loads a
/// stored template at a star level (or a sheet), lets the region table find
/// each region's check box on the page, then right-clicks the rows one by
/// one: each ticks its region on the page and shows its two prices.
///
/// The page is in the embedded browser or in the seller's own (PageArea).
class EditorWindow final : public QWidget
{
    Q_OBJECT

public:
    /// Works on the database at @p databasePath, with the marketplace page
    /// in @p page, which the window takes.
    EditorWindow(const QString &databasePath, PageArea *page, QWidget *parent = nullptr);
    ~EditorWindow() override;

    /// The marketplace's logistics-tools page, the address box's first text.
    static QString defaultAddress();

    PageArea *pageArea() const { return m_page; }

    void showPage();
    void LoadStoredTemplate();
    void chooseWorkbook();
    void ListSheets(const QString &path);
    void LoadSheet();
    void MatchElementIds();
    /// The right-click action: ticks the row's region on the page, hides its
    /// box, and shows the row's prices. True when the page's box was ticked.
    bool ApplyRow(int row);
    /// Unticks a region ticked by mistake and shows its box again.
    bool unapplyRow(int row);
    /// Ticks every region priced as @p row is (same first-weight and
    /// additional-weight prices), one after another; returns how many.
    int applySamePriceRows(int row);
    void sortByColumn(int column);

    /// The menu a right-click on @p row opens.
    QMenu *rowMenu(int row);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    enum class Tick { Done, NoElementId, NotFound, Disabled };

    void fillTemplateChooser();
    void showStoredTemplateColumns();
    void showRowMenu(int row);
    /// Binds to the page afresh, so that the seller may browse between
    /// rows; the error text when that failed.
    QString bindPage();
    /// Ticks the region of @p row on the bound page and hides its box.
    Tick tickRegion(int row);
    Tick tickBox(const QString &elementId);
    /// What the status line says of a tick of @p row; @p bindError, when
    /// the page could not be bound, explains a box not found.
    QString tickText(int row, Tick tick, const QString &bindError = {});
    void showRowPrices(int row);

    std::unique_ptr<RateDatabase> m_database;
    std::unique_ptr<SheetSource> m_sheetSource;
    WebFormFiller m_filler;

    PageArea *m_page = nullptr;
    // Element ids of the cities ticked in place of a province, by the
    // province's element id: taken back with it.
    QHash<QString, QStringList> m_citiesTicked;
    QWidget *m_addressBar = nullptr;
    QLineEdit *m_address = nullptr;
    QGroupBox *m_controls = nullptr;
    QComboBox *m_templates = nullptr;
    QComboBox *m_levels = nullptr;
    QComboBox *m_sheets = nullptr;
    QLineEdit *m_path = nullptr;
    ReportList *m_grid = nullptr;
    QLineEdit *m_firstWeight = nullptr;
    QLineEdit *m_additionalWeight = nullptr;
    QLineEdit *m_rowIndex = nullptr;
    QLabel *m_status = nullptr;
};

} // namespace Kuaidi
