#include "batchwindow.h"

#include <batch/batchquote.h>
#include <batch/reconcile.h>
#include <batch/tablefile.h>
#include <core/listsort.h>
#include <core/numbertext.h>
#include <core/schema.h>
#include <import/workbook.h>
#include <ratedb/ratedatabase.h>
#include <widgets/messages.h>
#include <widgets/reportlist.h>
#include <widgets/sheetsource.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QThread>
#include <QUrl>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace Kuaidi {

namespace {

constexpr int QuoteMode = 0;
const auto FolderKey = "batch/lastFolder"_L1;

// A path as a seller pastes it: in quotes (Windows' 复制为路径), or as a
// file:// address dragged from a browser or file manager.
QString pastedPath(QString text)
{
    text = text.trimmed();
    if (text.size() >= 2 && (text.front() == u'"' || text.front() == u'\'') && text.back() == text.front())
        text = text.mid(1, text.size() - 2).trimmed();
    if (text.startsWith(u"file:", Qt::CaseInsensitive))
        text = QUrl(text).toLocalFile();
    return QDir::fromNativeSeparators(text);
}

// A column whose every filled cell is a number ("1.2kg" among them).
bool holdsNumbers(const ReportList *list, int column)
{
    bool any = false;
    for (int r = 0; r < list->rowCount(); ++r) {
        const QString cell = list->cell(r, column);
        if (cell.trimmed().isEmpty())
            continue;
        if (!parseNumber(cell) && !orderWeight(cell))
            return false;
        any = true;
    }
    return any;
}

} // namespace

// What a run hands back to the window: the tables to show and export, the
// cells to mark, or why there is nothing.
struct BatchWindow::Outcome
{
    QString error;
    bool cancelled = false;
    bool reconciling = false;
    QString skipped;                  // templates that could not be read, and why
    QList<OutputSheet> sheets;        // the result, then its summary
    QList<std::pair<int, int>> best;  // the cheapest fees
    QList<std::pair<int, int>> alarm; // overcharges
    QList<int> overcharged;           // the lines 多收
};

BatchWindow::BatchWindow(RateDatabase *database, QWidget *parent)
    : QWidget(parent, Qt::Window), m_database(database)
{
    setObjectName(u"batchWindow"_s);
    setWindowTitle(u"批量报价与对账"_s);
    resize(960, 600);

    auto *form = new QFormLayout;
    auto *fileRow = new QHBoxLayout;
    m_file = new QLineEdit(this);
    m_file->setObjectName(u"batchFile"_s);
    m_file->setPlaceholderText(u"订单表或账单（.xlsx、.xls、.csv）：选择文件，或粘贴路径后按回车"_s);
    auto *browse = new QPushButton(u"选择文件…"_s, this);
    browse->setObjectName(u"batchBrowse"_s);
    fileRow->addWidget(m_file, 1);
    fileRow->addWidget(browse);
    form->addRow(u"文件"_s, fileRow);
    m_sheet = new QComboBox(this);
    m_sheet->setObjectName(u"batchSheet"_s);
    // Choosers as wide as their texts, not as the window.
    const auto narrow = [](QWidget *chooser) {
        auto *row = new QHBoxLayout;
        row->addWidget(chooser);
        row->addStretch(1);
        return row;
    };
    m_sheet->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_sheet->setMinimumWidth(160);
    form->addRow(u"工作表"_s, narrow(m_sheet));

    auto *modeRow = new QHBoxLayout;
    m_mode = new QComboBox(this);
    m_mode->setObjectName(u"batchMode"_s);
    m_mode->addItems({u"批量报价"_s, u"对账"_s});
    m_template = new QComboBox(this);
    m_template->setObjectName(u"batchTemplate"_s);
    m_template->setAccessibleName(u"对账模板"_s);
    auto *templateLabel = new QLabel(u"对账模板"_s, this);
    templateLabel->setBuddy(m_template);
    m_tolerance = new QDoubleSpinBox(this);
    m_tolerance->setObjectName(u"batchTolerance"_s);
    m_tolerance->setAccessibleName(u"容差（元）"_s);
    m_tolerance->setRange(0, 100);
    m_tolerance->setDecimals(2);
    m_tolerance->setSingleStep(0.01);
    m_tolerance->setValue(0.01);
    m_tolerance->setToolTip(u"账单金额与应收相差不超过此数时算一致"_s);
    auto *toleranceLabel = new QLabel(u"容差（元）"_s, this);
    toleranceLabel->setBuddy(m_tolerance);
    m_overchargedOnly = new QCheckBox(u"只看多收"_s, this);
    m_overchargedOnly->setObjectName(u"batchOverchargedOnly"_s);
    modeRow->addWidget(m_mode);
    modeRow->addWidget(templateLabel);
    modeRow->addWidget(m_template);
    modeRow->addWidget(toleranceLabel);
    modeRow->addWidget(m_tolerance);
    modeRow->addWidget(m_overchargedOnly);
    modeRow->addStretch(1);
    form->addRow(u"方式"_s, modeRow);
    m_level = new QComboBox(this);
    m_level->setObjectName(u"batchLevel"_s);
    m_level->addItems(levelNames());
    form->addRow(u"收费级别"_s, narrow(m_level));

    auto *actions = new QHBoxLayout;
    m_run = new QPushButton(u"开始"_s, this);
    m_run->setObjectName(u"batchRun"_s);
    m_cancel = new QPushButton(u"取消"_s, this);
    m_cancel->setObjectName(u"batchCancel"_s);
    m_export = new QPushButton(u"导出…"_s, this);
    m_export->setObjectName(u"batchExport"_s);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(u"batchProgress"_s);
    m_progress->setAccessibleName(u"进度"_s);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    actions->addWidget(m_run);
    actions->addWidget(m_cancel);
    actions->addWidget(m_progress, 1);
    actions->addWidget(m_export);

    m_results = new ReportList(this);
    m_results->setObjectName(u"batchResults"_s);
    m_results->setAccessibleName(u"结果"_s);
    m_results->setToolTip(u"单击列标题排序，再次单击反向排序"_s);
    m_summary = new QLabel(this);
    m_summary->setObjectName(u"batchSummary"_s);
    m_summary->setWordWrap(true);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(actions);
    layout->addWidget(m_results, 1);
    layout->addWidget(m_summary);

    // Label buddies, so that every input has an accessible name.
    for (int row = 0; row < form->rowCount(); ++row) {
        auto *label = qobject_cast<QLabel *>(form->itemAt(row, QFormLayout::LabelRole)
                                                 ? form->itemAt(row, QFormLayout::LabelRole)->widget()
                                                 : nullptr);
        if (!label)
            continue;
        QLayoutItem *field = form->itemAt(row, QFormLayout::FieldRole);
        QWidget *widget = field->widget() ? field->widget() : field->layout()->itemAt(0)->widget();
        label->setBuddy(widget);
        widget->setAccessibleName(label->text());
    }

    connect(browse, &QPushButton::clicked, this, &BatchWindow::chooseFile);
    connect(m_file, &QLineEdit::editingFinished, this, &BatchWindow::openTypedFile);
    connect(m_mode, &QComboBox::currentIndexChanged, this, &BatchWindow::modeChanged);
    connect(m_run, &QPushButton::clicked, this, &BatchWindow::start);
    connect(m_cancel, &QPushButton::clicked, this, &BatchWindow::cancel);
    connect(m_export, &QPushButton::clicked, this, &BatchWindow::exportResult);
    connect(m_overchargedOnly, &QCheckBox::toggled, this, &BatchWindow::showResult);
    connect(m_results, &ReportList::headerClicked, this, &BatchWindow::sortResults);

    m_template->addItems(m_database->templateNames());
    modeChanged();
    setRunning(false);
}

BatchWindow::~BatchWindow()
{
    // A run still going is cancelled and waited for; its result, queued to
    // this window, is dropped with it.
    cancel();
    if (m_worker) {
        m_worker->wait();
        delete m_worker;
    }
}

QString BatchWindow::lastFolder() const
{
    return QSettings().value(FolderKey).toString();
}

void BatchWindow::rememberFolder(const QString &path)
{
    QSettings().setValue(FolderKey, QFileInfo(path).absolutePath());
}

void BatchWindow::chooseFile()
{
    const QString path = chooseWorkbookFile(this, u"选择订单表或账单"_s, lastFolder());
    if (!path.isEmpty())
        openFile(path);
}

void BatchWindow::openTypedFile()
{
    const QString path = pastedPath(m_file->text());
    if (path == m_openedPath)
        return;
    if (path.isEmpty() || !openFile(path)) {
        m_openedPath.clear();
        m_sheet->clear();
    }
}

bool BatchWindow::openFile(const QString &path)
{
    Workbook workbook;
    if (!workbook.open(path)) {
        Messages::show(this, workbook.failureMessage(), u"提示"_s, Messages::Icon::Warning);
        return false;
    }
    rememberFolder(path);
    m_openedPath = path;
    m_file->setText(QDir::toNativeSeparators(path));
    m_sheet->clear();
    m_sheet->addItems(workbook.sheetNames());
    return true;
}

void BatchWindow::modeChanged()
{
    setRunning(isRunning());
}

void BatchWindow::setRunning(bool running)
{
    for (QWidget *input :
         {static_cast<QWidget *>(m_run), static_cast<QWidget *>(m_file), static_cast<QWidget *>(m_sheet),
          static_cast<QWidget *>(m_mode), static_cast<QWidget *>(m_level)})
        input->setEnabled(!running);
    const bool reconciling = m_mode->currentIndex() != QuoteMode;
    m_template->setEnabled(!running && reconciling);
    m_tolerance->setEnabled(!running && reconciling);
    m_overchargedOnly->setEnabled(!running && m_outcome && m_outcome->reconciling);
    m_cancel->setEnabled(running);
    m_export->setEnabled(!running && m_outcome);
}

void BatchWindow::start()
{
    if (isRunning())
        return;
    openTypedFile();
    if (m_openedPath.isEmpty()) {
        Messages::show(this, u"请先选择订单表或账单文件"_s, u"提示"_s, Messages::Icon::Warning);
        return;
    }
    const bool quoting = m_mode->currentIndex() == QuoteMode;
    const QStringList names = quoting ? m_database->templateNames() : QStringList{m_template->currentText()};
    if (names.isEmpty() || names.first().isEmpty()) {
        Messages::show(this, quoting ? u"还没有快递模板"_s : u"请选择对账的快递模板"_s, u"提示"_s,
                       Messages::Icon::Warning);
        return;
    }
    QStringList failed;
    QList<std::shared_ptr<const TemplateRows>> rows = m_database->templateRows(names, &failed);
    const QString failure = m_database->lastError();
    const std::optional<QHash<QString, BillingRules>> rules = m_database->billingRulesOfAll();
    if (failed.size() == names.size() || !rules) {
        Messages::show(this, rules ? failure : m_database->lastError(), u"提示"_s, Messages::Icon::Critical);
        return;
    }
    // One template that cannot be read does not stop the others.
    QString skipped;
    if (!failed.isEmpty()) {
        skipped = u"已跳过无法读取的模板：%1（%2）"_s.arg(failed.join(u"、"), failure);
        rows.removeAll(nullptr);
    }

    m_outcome.reset();
    m_results->setColumns({});
    m_summary->clear();
    m_progress->setValue(0);
    m_overchargedOnly->setChecked(false);
    m_cancelled = std::make_shared<std::atomic_bool>(false);
    auto pricer = std::make_shared<OrderPricer>(rows, *rules, levelIndex(m_level->currentText()));
    const QString path = m_openedPath;
    const QString sheet = m_sheet->currentText();
    const double tolerance = m_tolerance->value();
    const std::shared_ptr<std::atomic_bool> cancelled = m_cancelled;
    const BatchProgress progress = [this, cancelled](qsizetype done, qsizetype total) {
        QMetaObject::invokeMethod(
            this, [this, done, total] { progressed(done, total); }, Qt::QueuedConnection);
        return !*cancelled;
    };
    m_worker = QThread::create([this, path, sheet, quoting, tolerance, skipped, pricer, progress] {
        auto outcome = std::make_shared<Outcome>();
        outcome->reconciling = !quoting;
        outcome->skipped = skipped;
        const OrderSheetResult orders = readOrderSheet(path, sheet, !quoting);
        if (!orders.sheet) {
            outcome->error = orders.error;
        } else if (quoting) {
            const QStringList names = pricer->templateNames();
            if (const std::optional<QList<BatchLine>> lines = priceOrders(*orders.sheet, *pricer, progress)) {
                outcome->sheets = batchSheets(*orders.sheet, *lines, names);
                for (int r = 0; r < lines->size(); ++r) {
                    for (const int t : lines->at(r).cheapest)
                        outcome->best.append({r, BatchTable::FirstFeeColumn + t});
                }
            } else {
                outcome->cancelled = true;
            }
        } else if (const std::optional<QList<BillCheck>> checks =
                       ReconcileBill(*orders.sheet, *pricer, 0, tolerance, progress)) {
            const int width = int(orders.sheet->titles.size());
            outcome->sheets = reconcileSheets(*orders.sheet, *checks);
            for (int r = 0; r < checks->size(); ++r) {
                if (checks->at(r).verdict == Verdict::Overcharged) {
                    outcome->alarm << std::pair{r, width + 1} << std::pair{r, width + 2};
                    outcome->overcharged << r;
                }
            }
        } else {
            outcome->cancelled = true;
        }
        QMetaObject::invokeMethod(
            this, [this, outcome] { finished(outcome); }, Qt::QueuedConnection);
    });
    setRunning(true);
    m_worker->start();
}

void BatchWindow::cancel()
{
    if (m_cancelled)
        *m_cancelled = true;
}

void BatchWindow::progressed(qint64 done, qint64 total)
{
    if (total > 0)
        m_progress->setValue(int(done * 100 / total));
}

void BatchWindow::finished(const std::shared_ptr<Outcome> &outcome)
{
    m_worker->wait();
    delete m_worker;
    m_worker = nullptr;
    m_cancelled.reset();
    setRunning(false);
    if (!outcome->error.isEmpty()) {
        m_progress->setValue(0);
        Messages::show(this, outcome->error, u"提示"_s, Messages::Icon::Warning);
        return;
    }
    if (outcome->cancelled) {
        m_progress->setValue(0);
        m_summary->setText(u"已取消"_s);
        return;
    }
    m_outcome = outcome;
    showResult();
    QStringList lines;
    if (!outcome->skipped.isEmpty())
        lines << outcome->skipped;
    lines << outcome->sheets.at(1).table.columns.join(u"  ");
    for (const QStringList &row : outcome->sheets.at(1).table.rows)
        lines << row.join(u"  ");
    m_summary->setText(lines.join(u'\n'));
    m_progress->setValue(100);
    setRunning(false);
}

void BatchWindow::showResult()
{
    if (!m_outcome)
        return;
    const TextTable &table = m_outcome->sheets.at(0).table;
    QList<std::pair<int, int>> best = m_outcome->best;
    QList<std::pair<int, int>> alarm = m_outcome->alarm;
    m_results->setColumns(table.columns);
    if (m_overchargedOnly->isChecked()) {
        QList<QStringList> rows;
        QHash<int, int> shownAt; // a line of the table → its row on screen
        for (const int r : std::as_const(m_outcome->overcharged)) {
            shownAt.insert(r, int(rows.size()));
            rows << table.rows.at(r);
        }
        for (auto &[row, column] : alarm)
            row = shownAt.value(row, -1);
        best.clear();
        m_results->table()->setRows(rows);
    } else {
        m_results->table()->setRows(table.rows);
    }
    m_results->table()->setCellTones(best, TextTableModel::Tone::Best);
    m_results->table()->setCellTones(alarm, TextTableModel::Tone::Alarm);
    m_results->fitColumnsToContents();
    m_sortColumn = -1;
    m_results->header()->setSortIndicatorShown(false);
}

void BatchWindow::sortResults(int column)
{
    const bool ascending = column == m_sortColumn ? !m_sortAscending : true;
    const int kind = holdsNumbers(m_results, column) ? SortAsNumber : SortAsText;
    if (m_results->sortByColumn(column, ascending, kind).isEmpty())
        return;
    m_sortColumn = column;
    m_sortAscending = ascending;
    m_results->header()->setSortIndicatorShown(true);
    m_results->header()->setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void BatchWindow::exportResult()
{
    if (!m_outcome)
        return;
    const QString suggested = QDir(lastFolder()).filePath(m_outcome->sheets.at(0).name + u".xlsx"_s);
    const QString path = Messages::chooseSaveFile(this, u"导出结果"_s,
                                                  u"Excel 工作簿 (*.xlsx);;CSV 文件 (*.csv)"_s, suggested);
    if (path.isEmpty())
        return;
    rememberFolder(path);
    // The lines as shown: sorted, and filtered, as on screen.
    QList<OutputSheet> sheets = m_outcome->sheets;
    TextTable &result = sheets[0].table;
    result.rows.clear();
    for (int r = 0; r < m_results->rowCount(); ++r)
        result.rows << m_results->table()->rowCells(r);
    if (const QString error = writeTableFile(path, sheets); !error.isEmpty()) {
        Messages::show(this, error, u"提示"_s, Messages::Icon::Warning);
        return;
    }
    Messages::show(this, u"导出成功：%1"_s.arg(QDir::toNativeSeparators(path)), u"提示"_s,
                   Messages::Icon::Information);
}

} // namespace Kuaidi
