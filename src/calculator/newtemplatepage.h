#pragma once

#include <templates/ratesheet.h>

#include <QWidget>

#include <memory>
#include <optional>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;

namespace Kuaidi {

class BillingRulesForm;
class RateDatabase;
class ReportList;
class SheetSource;

/// "新建快递公司运费模板": load a sheet of regions and prices, let the region
/// table fill in the provinces, preview the new template and save it.
class NewTemplatePage final : public QWidget
{
    Q_OBJECT

public:
    explicit NewTemplatePage(RateDatabase &database, QWidget *parent = nullptr);
    ~NewTemplatePage() override;

    void chooseWorkbook();
    /// Lists the sheets of @p path and loads the first one. On failure the
    /// user is told why and the page stays as it was.
    void ListSheets(const QString &path);
    void LoadSheet();
    void MatchProvinces();
    void previewNewTemplate();
    void saveNewTemplate();
    /// Lets the seller say what each heading is, remembered for the courier
    /// named in 3, and reads the sheet again.
    void chooseColumns();
    /// Whether a sheet was loaded and never saved as a template.
    bool hasUnsavedSheet() const;

private:
    void showGrid(const QList<int> &widths);
    void readSheet();
    void showReadNotes();
    QHash<QString, QString> rememberedMapping() const;

    RateDatabase &m_database;
    std::unique_ptr<SheetSource> m_sheetSource;
    QString m_workbookPath;
    std::optional<TextTable> m_sheet; // the sheet loaded, as it is in the file
    std::optional<RateSheet> m_rates; // the sheet loaded, read for a template
    QString m_fileName;               // the name 3 was given from the file
    bool m_saved = false;
    QLabel *m_path = nullptr;
    QComboBox *m_sheets = nullptr;
    QGroupBox *m_gridGroup = nullptr;
    ReportList *m_grid = nullptr;
    QLineEdit *m_name = nullptr;
    QLineEdit *m_surcharge20 = nullptr;
    QLineEdit *m_surcharge30 = nullptr;
    QLineEdit *m_otherFee = nullptr;
    QLineEdit *m_contact = nullptr;
    QLabel *m_readNotes = nullptr;
    BillingRulesForm *m_rulesForm = nullptr;
};

} // namespace Kuaidi
