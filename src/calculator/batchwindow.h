#pragma once

#include <QWidget>

#include <atomic>
#include <memory>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QThread;

namespace Kuaidi {

class RateDatabase;
class ReportList;
struct OutputSheet;

/// Prices a whole order list by every template, or checks a courier's bill
/// against its template, off the GUI thread; shows, sorts, filters and
/// exports the result.
class BatchWindow final : public QWidget
{
    Q_OBJECT

public:
    explicit BatchWindow(RateDatabase *database, QWidget *parent = nullptr);
    ~BatchWindow() override;

    /// Opens @p path and lists its sheets; false (and a message) when it
    /// cannot be read.
    bool openFile(const QString &path);
    bool isRunning() const { return m_worker != nullptr; }

private:
    struct Outcome;

    void chooseFile();
    /// Opens the path typed or pasted into the file box, if it is another.
    void openTypedFile();
    void modeChanged();
    void start();
    void cancel();
    void progressed(qint64 done, qint64 total);
    void finished(const std::shared_ptr<Outcome> &outcome);
    /// Shows the result, every line or only those overcharged.
    void showResult();
    /// A header click: sorts by that column, numbers as numbers; a second
    /// click on the same column reverses the order.
    void sortResults(int column);
    void exportResult();
    void setRunning(bool running);
    QString lastFolder() const;
    void rememberFolder(const QString &path);

    RateDatabase *m_database;
    QLineEdit *m_file = nullptr;
    QString m_openedPath; // the file whose sheets are listed
    QComboBox *m_sheet = nullptr;
    QComboBox *m_mode = nullptr;
    QComboBox *m_template = nullptr;
    QDoubleSpinBox *m_tolerance = nullptr;
    QCheckBox *m_overchargedOnly = nullptr;
    QComboBox *m_level = nullptr;
    QPushButton *m_run = nullptr;
    QPushButton *m_cancel = nullptr;
    QPushButton *m_export = nullptr;
    QProgressBar *m_progress = nullptr;
    ReportList *m_results = nullptr;
    QLabel *m_summary = nullptr;
    int m_sortColumn = -1;
    bool m_sortAscending = true;

    QThread *m_worker = nullptr;
    std::shared_ptr<std::atomic_bool> m_cancelled;
    std::shared_ptr<Outcome> m_outcome; // the result shown, for 导出
};

} // namespace Kuaidi
