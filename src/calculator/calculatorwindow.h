#pragma once

#include <QMainWindow>

#include <memory>

class QProcess;
class QTabWidget;

namespace Kuaidi {

class BatchWindow;
class FeeQueryPage;
class MaintenancePage;
class NewTemplatePage;
class RateDatabase;

/// The program's main window: the fee calculator with its three pages, a
/// menu, a side panel of links and the button that opens the template editor.
class CalculatorWindow final : public QMainWindow
{
    Q_OBJECT

public:
    explicit CalculatorWindow(const QString &databasePath, QWidget *parent = nullptr);
    ~CalculatorWindow() override;

    /// Re-reads the template names into the courier list and the template
    /// choice of the maintenance page.
    void refreshTemplateLists();

    /// Starts the template editor in a process of its own (the browser
    /// engine is loaded there, not here), or brings the running one forward.
    /// The editor ends with this window.
    void openEditor();
    /// Shows the window of batch quotes and bill checks.
    void openBatchWindow();
    /// The running editor process, or null.
    QProcess *editorProcess() const { return m_editor; }
    /// The editor program; kuaidi-editor beside this program unless set.
    void setEditorProgram(const QString &path) { m_editorProgram = path; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QWidget *createSidePanel();
    void openHelp(const QString &anchor);

    QString m_databasePath;
    std::unique_ptr<RateDatabase> m_database;
    QTabWidget *m_pages = nullptr;
    FeeQueryPage *m_feeQuery = nullptr;
    NewTemplatePage *m_newTemplate = nullptr;
    MaintenancePage *m_maintenance = nullptr;
    QString m_editorProgram;
    QProcess *m_editor = nullptr;
    BatchWindow *m_batch = nullptr;
};

} // namespace Kuaidi
