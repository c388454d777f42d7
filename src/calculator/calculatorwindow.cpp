#include "calculatorwindow.h"

#include "artwork.h"
#include "backupdialog.h"
#include "batchwindow.h"
#include "browserdialog.h"
#include "databasedialog.h"
#include "feequerypage.h"
#include "maintenancepage.h"
#include "newtemplatepage.h"

#include <core/program.h>
#include <import/workbook.h>
#include <ratedb/ratedatabase.h>
#include <templates/workbookmigration.h>
#include <widgets/messages.h>
#include <widgets/reportlist.h>
#include <widgets/screenfit.h>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollArea>
#include <QSettings>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

// A static library's resources are not registered unless asked for.
static void initCalculatorResources()
{
    Q_INIT_RESOURCE(calculator);
}

namespace Kuaidi {

namespace {
const auto GeometryKey = "calculator/geometry"_L1;
const auto MaximizedKey = "calculator/maximized"_L1;
} // namespace

CalculatorWindow::CalculatorWindow(const QString &databasePath, QWidget *parent)
    : QMainWindow(parent), m_databasePath(databasePath),
      m_database(std::make_unique<RateDatabase>(databasePath))
{
    initCalculatorResources();
    // Start-up: make sure the database file exists, and start reading every
    // template into memory, behind the window being built, so that the first
    // keystroke finds them there. An unusable file leaves the lists empty;
    // the seller is told which file once the window is up.
    if (!m_database->open()) {
        QTimer::singleShot(0, this, [this] {
            Messages::show(this, m_database->lastError(), u"提示"_s, Messages::Icon::Critical);
        });
    } else {
        m_database->preloadTemplateRows();
    }
    updateTitle();

    // Alt+S opens the menu, and a letter each item: the keyboard reaches all.
    QMenu *settings = menuBar()->addMenu(u"设置(&S)"_s);
    settings->setObjectName(u"settingsMenu"_s);
    settings->addAction(u"检查更新(&U)"_s, this, [this] { openHelp(u"update"_s); });
    settings->addAction(u"教程视频(&V)"_s, this, [this] { openHelp(u"tutorial"_s); });
    settings->addSeparator();
    QAction *quiet = settings->addAction(u"操作成功时不弹窗(&Q)"_s);
    quiet->setObjectName(u"quietSuccess"_s);
    quiet->setCheckable(true);
    quiet->setChecked(QSettings().value(Messages::QuietSuccessKey).toBool());
    connect(quiet, &QAction::toggled, this,
            [](bool on) { QSettings().setValue(Messages::QuietSuccessKey, on); });
    // A success box may have turned it on since ("不再弹出此类提示").
    connect(settings, &QMenu::aboutToShow, quiet, [quiet] {
        const QSignalBlocker quietly(quiet);
        quiet->setChecked(QSettings().value(Messages::QuietSuccessKey).toBool());
    });
    Messages::setStatusSink([this](const QString &text) { statusBar()->showMessage(text, 8000); });
    QAction *database = settings->addAction(u"数据库(&D)…"_s, this, [this] {
        DatabaseDialog dialog(m_databasePath, this);
        if (dialog.exec() == QDialog::Accepted)
            useDatabase(dialog.location());
    });
    database->setObjectName(u"databaseAction"_s);
    // Where the editor shows the marketplace page: asked only where the
    // editor can use the seller's own browser.
    if (builtPageBackends().contains(PageBackend::OwnBrowser)) {
        settings->addAction(u"模板编辑器的浏览器(&B)…"_s, this, [this] { BrowserDialog(this).exec(); })
            ->setObjectName(u"browserAction"_s);
    }
    settings->addAction(u"恢复备份(&R)…"_s, this, [this] {
        BackupDialog dialog(*m_database, this);
        connect(&dialog, &BackupDialog::restored, this, &CalculatorWindow::refreshTemplateLists);
        dialog.exec();
    });
    QAction *access = settings->addAction(u"导入 Access 数据库(&A)…"_s, this, [this] {
        importAccessDatabase(Messages::chooseFile(this, u"选择 Access 数据库"_s,
                                                  u"Access 数据库 (*.mdb *.accdb);;所有文件 (*)"_s));
    });
    access->setObjectName(u"importAccessAction"_s);

    m_pages = new QTabWidget(this);
    m_pages->setObjectName(u"选择夹1"_s);
    m_pages->setMinimumSize(600, 616);
    m_feeQuery = new FeeQueryPage(*m_database, m_pages);
    m_newTemplate = new NewTemplatePage(*m_database, m_pages);
    m_maintenance = new MaintenancePage(*m_database, m_pages);
    m_pages->addTab(m_feeQuery, u"快递费用查询和计算"_s);
    m_pages->addTab(m_newTemplate, u"新建快递公司运费模板"_s);
    m_pages->addTab(m_maintenance, u"修改快递公司运费模板"_s);
    // Pages that paint their own background: what changes on a page, with
    // every keystroke, is drawn without the tab frame around it.
    for (QWidget *page : {static_cast<QWidget *>(m_feeQuery), static_cast<QWidget *>(m_newTemplate),
                          static_cast<QWidget *>(m_maintenance)})
        page->setAutoFillBackground(true);

    auto *central = new QWidget(this);
    auto *layout = new QHBoxLayout(central);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(m_pages, 1);
    layout->addWidget(createSidePanel());
    // On a screen too short for the pages (a laptop at 125 % scaling) the
    // window fits the screen and its contents scroll.
    auto *scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(central);
    setCentralWidget(scroll);

    connect(m_pages, &QTabWidget::currentChanged, this, &CalculatorWindow::refreshTemplateLists);
    connect(m_maintenance, &MaintenancePage::templateRenamed, this, &CalculatorWindow::refreshTemplateLists);
    connect(m_maintenance, &MaintenancePage::templatesChanged, this, &CalculatorWindow::refreshTemplateLists);

    // Read again, now and then, once the editor, another program or another
    // station has changed it. A database not open (a server out of reach) is
    // not tried from here: connecting could hold the window for seconds.
    auto *reload = new QTimer(this);
    reload->setObjectName(u"reloadTimer"_s);
    connect(reload, &QTimer::timeout, this, [this] {
        if (m_database->isOpen())
            m_database->preloadTemplateRows();
    });
    reload->start(250);
    refreshTemplateLists();
    m_feeQuery->clearDestination();
    const QSettings stored;
    if (!restoreGeometry(stored.value(GeometryKey).toByteArray()))
        fitIntoScreen(this, openingSize());
    if (stored.value(MaximizedKey).toBool())
        setWindowState(windowState() | Qt::WindowMaximized);
    m_feeQuery->setFocus(); // the weight box
}

void CalculatorWindow::closeEvent(QCloseEvent *event)
{
    // Only a sheet read on page 2 and never saved is work that closing loses.
    if (m_newTemplate->hasUnsavedSheet() &&
        !Messages::confirm(this, u"读取的表格还没有保存为模板，确定要退出吗？"_s, u"退出"_s)) {
        event->ignore();
        return;
    }
    QSettings settings;
    settings.setValue(GeometryKey, saveGeometry());
    settings.setValue(MaximizedKey, isMaximized());
    QMainWindow::closeEvent(event);
}

QSize CalculatorWindow::openingSize() const
{
    // The pages at ease, without the scroll bars the window falls back on,
    // and the results wide enough for every column up to 到达时间 and past.
    const auto *scroll = qobject_cast<const QScrollArea *>(centralWidget());
    QSize size = scroll && scroll->widget() ? scroll->widget()->sizeHint() : QSize();
    size.rheight() += menuBar()->sizeHint().height() + statusBar()->sizeHint().height();
    if (const auto *results = findChild<const ReportList *>(u"超级列表框6"_s)) {
        const int columns = results->header()->length() + 2 * results->frameWidth() +
                            results->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        size.rwidth() += qMax(0, columns - results->sizeHint().width());
    }
    return size.expandedTo(QSize(825, 682));
}

CalculatorWindow::~CalculatorWindow()
{
    Messages::setStatusSink({});
    // The program ends with this window, and the editor with it.
    endEditor();
}

void CalculatorWindow::endEditor()
{
    // Closing its input tells it to quit.
    if (m_editor) {
        m_editor->closeWriteChannel();
        if (!m_editor->waitForFinished(3000))
            m_editor->kill();
        delete m_editor;
        m_editor = nullptr;
    }
}

void CalculatorWindow::updateTitle()
{
    setWindowTitle(programName() + programVersion() + u" — "_s + m_database->shortName());
}

void CalculatorWindow::useDatabase(const QString &location)
{
    // The editor works on the database it was started with.
    endEditor();
    if (m_batch) {
        m_batch->close();
        delete m_batch;
        m_batch = nullptr;
    }
    m_database->setLocation(location);
    m_databasePath = location;
    QSettings().setValue(DatabaseKey, location);
    updateTitle();
    if (m_database->open())
        m_database->preloadTemplateRows();
    refreshTemplateLists();
    m_feeQuery->clearDestination();
    statusBar()->showMessage(u"已改用数据库：%1"_s.arg(m_database->displayName()), 8000);
}

bool CalculatorWindow::isReadingTemplates() const
{
    return m_database->isReadingRows();
}

QWidget *CalculatorWindow::createSidePanel()
{
    auto *panel = new QWidget(this);
    panel->setFixedWidth(200);
    auto *layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);

    const auto link = [this, panel](const QString &text, const QString &anchor) {
        auto *label = new QLabel(u"<a href=\"%1\">%2</a>"_s.arg(anchor, text.toHtmlEscaped()), panel);
        label->setTextInteractionFlags(Qt::TextBrowserInteraction);
        connect(label, &QLabel::linkActivated, this, &CalculatorWindow::openHelp);
        return label;
    };

    layout->addWidget(link(u"使用演示教程视频"_s, u"tutorial"_s));
    auto *picture = new QLabel(panel);
    picture->setObjectName(u"图片框1"_s);
    picture->setPixmap(parcelPicture(QSize(192, 176)));
    picture->setFixedSize(192, 176);
    layout->addWidget(picture);
    layout->addWidget(link(u"卖家交流群（一）"_s, u"community"_s));
    layout->addWidget(link(u"卖家交流群（二）"_s, u"community"_s));
    auto *about = new QLabel(u"快递费用计算器帮网店卖家管理各家快递的运费模板：输入目的地和重量，"
                             "一次比较所有快递的价格，并可一键勾选淘宝运费模板的地区。"_s,
                             panel);
    about->setWordWrap(true);
    about->setStyleSheet(u"color: #555;"_s);
    layout->addWidget(about);
    layout->addWidget(link(u"运费模板格式说明"_s, u"templates"_s));
    layout->addWidget(link(u"常见问题"_s, u"faq"_s));

    auto *extras = new QGroupBox(u"增值功能"_s, panel);
    auto *openEditor = new QPushButton(u"淘宝网店快递模板快速编辑器"_s, extras);
    openEditor->setObjectName(u"按钮19"_s);
    auto *openBatch = new QPushButton(u"批量报价与对账"_s, extras);
    openBatch->setObjectName(u"batchButton"_s);
    auto *extraButtons = new QVBoxLayout(extras);
    extraButtons->addWidget(openEditor);
    extraButtons->addWidget(openBatch);
    connect(openEditor, &QPushButton::clicked, this, &CalculatorWindow::openEditor);
    connect(openBatch, &QPushButton::clicked, this, &CalculatorWindow::openBatchWindow);
    layout->addWidget(extras);
    layout->addStretch();
    return panel;
}

void CalculatorWindow::importAccessDatabase(const QString &path)
{
    if (path.isEmpty())
        return;
    Workbook workbook;
    if (!workbook.open(path)) {
        Messages::show(this, workbook.failureMessage(), u"提示"_s, Messages::Icon::Warning);
        return;
    }
    const QList<MigrationTable> tables = planMigration(workbook);
    const QStringList names = m_database->templateNames();
    const QStringList taken = takenNames(tables, names);
    const bool replace =
        !taken.isEmpty() &&
        Messages::confirm(this,
                          u"数据库中已有同名的快递模板：%1。\n要用 Access 数据库中的表替换它们吗？"
                          u"（替换前会自动备份；选“取消”则跳过这些表）"_s.arg(taken.join(u"、")),
                          u"导入 Access 数据库"_s);
    QString databaseError;
    const QList<MigrationOutcome> outcomes = applyMigration(tables, *m_database, replace, &databaseError);
    refreshTemplateLists();

    QStringList lines;
    bool allTaken = true;
    bool anyLayout = false;
    for (qsizetype i = 0; i < outcomes.size(); ++i) {
        const MigrationOutcome &outcome = outcomes.at(i);
        if (outcome.taken)
            lines << u"已导入“%1”：%2 行"_s.arg(outcome.name).arg(outcome.rows);
        else
            lines << u"%1“%2”：%3"_s.arg(tables.at(i).layout ? u"未导入"_s : u"跳过"_s, outcome.name,
                                         outcome.reason);
        allTaken = allTaken && (outcome.taken || !tables.at(i).layout);
        anyLayout = anyLayout || tables.at(i).layout;
    }
    if (!databaseError.isEmpty())
        lines << databaseError;
    else if (!anyLayout)
        lines << u"没有运费模板格式的表（需要“地区”“首重价格”“续重价格”列），没有导入任何模板"_s;
    allTaken = allTaken && anyLayout;
    Messages::show(this, lines.join(u'\n'), u"导入 Access 数据库"_s,
                   allTaken && databaseError.isEmpty() ? Messages::Icon::Information
                                                       : Messages::Icon::Warning);
}

void CalculatorWindow::refreshTemplateLists()
{
    const QStringList names = m_database->templateNames();
    m_feeQuery->setCourierNames(names);
    m_maintenance->setTemplateNames(names);
}

void CalculatorWindow::openBatchWindow()
{
    if (!m_batch)
        m_batch = new BatchWindow(m_database.get(), this);
    m_batch->show();
    m_batch->raise();
    m_batch->activateWindow();
}

QString CalculatorWindow::builtEditorProgram()
{
#ifdef KUAIDI_EDITOR_PROGRAM
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral(KUAIDI_EDITOR_PROGRAM));
#else
    return {};
#endif
}

QString CalculatorWindow::noEditorMessage()
{
    return u"淘宝网店快递模板快速编辑器需要浏览器引擎，"
           u"这一版程序没有包含浏览器引擎，所以暂时不能使用快速编辑器。"
           u"运费计算、模板维护、批量报价与对账等其他功能不受影响。"_s;
}

void CalculatorWindow::openEditor()
{
    if (m_editor && m_editor->state() != QProcess::NotRunning) {
        m_editor->write("raise\n");
        return;
    }
    const QString program = m_editorProgram.isEmpty() ? builtEditorProgram() : m_editorProgram;
    if (program.isEmpty()) {
        Messages::show(this, noEditorMessage(), u"提示"_s, Messages::Icon::Information);
        return;
    }
    delete m_editor;
    m_editor = new QProcess(this);
    m_editor->setProcessChannelMode(QProcess::ForwardedChannels);
    // Attached, the editor takes its requests on its input and ends with it.
    m_editor->start(program, {u"--db"_s, m_databasePath, u"--attached"_s});
    if (!m_editor->waitForStarted(10000)) {
        Messages::show(
            this, u"无法启动淘宝网店快递模板快速编辑器（%1）：%2"_s.arg(program, m_editor->errorString()),
            u"提示"_s, Messages::Icon::Critical);
        delete m_editor;
        m_editor = nullptr;
    }
}

// The help page ships inside the program; the default browser needs it as a
// file, so it is written out before it is opened.
void CalculatorWindow::openHelp(const QString &anchor)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    QDir().mkpath(folder);
    const QString path = QDir(folder).filePath(u"kuaidi-help.html"_s);
    QFile source(u":/kuaidi/help.html"_s);
    QSaveFile target(path);
    const bool written =
        source.open(QIODevice::ReadOnly) && target.open(QIODevice::WriteOnly) &&
        target.write(source.readAll().replace("{{version}}", programVersion().toUtf8())) > 0 &&
        target.commit();
    // An older copy written before still helps; none at all is said.
    if (!written && !QFileInfo::exists(path)) {
        Messages::show(this,
                       u"无法写出帮助页面 %1：%2"_s.arg(QDir::toNativeSeparators(path), target.errorString()),
                       u"提示"_s, Messages::Icon::Warning);
        return;
    }
    QUrl url = QUrl::fromLocalFile(path);
    url.setFragment(anchor);
    Messages::openPage(this, url);
}

} // namespace Kuaidi
