#pragma once

#include <fees/feequotes.h>
#include <fees/livesearch.h>

#include <QWidget>

#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace Kuaidi {

class CurveWindow;

class RateDatabase;
class ReportList;

/// "快递费用查询和计算": type a destination and a weight, pick a star level,
/// and compare what every matching courier row charges.
class FeeQueryPage final : public QWidget
{
    Q_OBJECT

public:
    explicit FeeQueryPage(RateDatabase &database, QWidget *parent = nullptr);

    /// The hidden courier list: the templates the destination search walks.
    void setCourierNames(const QStringList &names);
    QStringList courierNames() const;

    void clearDestination();

    /// Rebuilds the matched-rows list for the destination box's text.
    void DestinationSearch();
    /// Prices every matched row into the result list.
    void ComputeFees();
    /// Computes again after an input changed, or clears the results when
    /// the inputs cannot be priced (an empty destination, a weight not yet
    /// valid); asks nothing.
    void recompute();
    /// Opens (or brings up) the fee curves of the destination typed.
    void showCurves();
    CurveWindow *curveWindow() const { return m_curveWindow; }
    /// Explains the selected result in the breakdown box.
    void ShowFeeBreakdown();
    /// Puts the breakdown box's text on the clipboard.
    void CopyFeeBreakdown();

private:
    /// Shows the rows the search found, and what the search came to.
    void showMatches();
    void followCurves();
    void showStatus(const QString &text);
    /// The volume box: nothing when empty; false when it holds no volume.
    bool readVolume(std::optional<double> &volume);
    /// The sides typed, in cubic metres into the volume box.
    void dimensionsEdited();

    RateDatabase &m_database;
    QLineEdit *m_weight = nullptr;
    QLineEdit *m_volume = nullptr;
    QLineEdit *m_dimensions = nullptr;
    QLineEdit *m_destination = nullptr;
    QComboBox *m_level = nullptr;
    QPushButton *m_compute = nullptr;
    QPushButton *m_curves = nullptr;
    CurveWindow *m_curveWindow = nullptr;
    ReportList *m_results = nullptr;
    ReportList *m_matched = nullptr;
    ReportList *m_couriers = nullptr;
    QPlainTextEdit *m_breakdown = nullptr;
    QPushButton *m_copy = nullptr;
    QLabel *m_status = nullptr;

    // What the two lists show, row for row.
    LiveSearch m_search;
    FeeQuotes m_quotes;
};

} // namespace Kuaidi
