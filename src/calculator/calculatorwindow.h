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

/// The setting that keeps the database chosen in 设置 → 数据库…, which both
/// windows' programs use when no --db is given.
inline constexpr QLatin1StringView DatabaseKey("database/location");

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
    /// Uses the database at @p location from now on, and at the next start
    /// (设置 → 数据库…). The editor and the batch window, which work on the
    /// database they were opened with, are closed.
    void useDatabase(const QString &location);
    /// 设置 → 导入 Access 数据库…: every rate table of the database at
    /// @p path becomes a template of its name; the seller chooses whether
    /// templates of the same names are replaced, and is told each table's
    /// outcome.
    void importAccessDatabase(const QString &path);
    /// Whether templates are still being read into memory behind the window.
    bool isReadingTemplates() const;
    /// The running editor process, or null.
    QProcess *editorProcess() const { return m_editor; }
    /// The editor program; kuaidi-editor beside this program unless set.
    void setEditorProgram(const QString &path) { m_editorProgram = path; }
    /// kuaidi-editor beside this program, or the empty text in a build
    /// without the editor (no browser engine).
    static QString builtEditorProgram();
    /// What a build without the editor says when it is asked for.
    static QString noEditorMessage();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QWidget *createSidePanel();
    /// The size a first start opens at, as far as the screen allows.
    QSize openingSize() const;
    void openHelp(const QString &anchor);
    void updateTitle();
    void endEditor();

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
