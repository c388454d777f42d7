#pragma once

#include <QMainWindow>
#include <QPointer>

#include <editor/editorwindow.h>

#include <memory>

class QTabWidget;

namespace Kuaidi {

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

    void openEditor();
    EditorWindow *editor() const { return m_editor; }

private:
    QWidget *createSidePanel();
    void openHelp(const QString &anchor);

    QString m_databasePath;
    std::unique_ptr<RateDatabase> m_database;
    QTabWidget *m_pages = nullptr;
    FeeQueryPage *m_feeQuery = nullptr;
    NewTemplatePage *m_newTemplate = nullptr;
    MaintenancePage *m_maintenance = nullptr;
    QPointer<EditorWindow> m_editor;
};

} // namespace Kuaidi
