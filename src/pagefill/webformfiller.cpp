#include "webformfiller.h"

#include "answerwait.h"
#include "elementidentifier.h"
#include "pagefilllogging.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

using namespace Qt::StringLiterals;

// A static library's resources are not registered unless asked for.
static void initPagefillResources()
{
    Q_INIT_RESOURCE(pagefill);
}

namespace Kuaidi {

namespace {

// A page that takes longer than this to answer a script counts as hung.
constexpr int AnswerTimeoutMs = 1000;
constexpr int DefaultLoadTimeoutMs = 20000;
constexpr int EndlessLoadTimeoutMs = 9999999;

constexpr QStringView ViewGoneText = u"浏览器句柄无效，可能已被关闭。";
constexpr QStringView NotLoadedText = u"初始化失败 - 必须网页载入完毕后才能初始化";
constexpr auto ScriptResource = ":/kuaidi/pagefill/pagefill.js"_L1;
constexpr auto Complete = "complete"_L1;

const QString &pageScript()
{
    static const QString script = [] {
        initPagefillResources();
        QFile file(ScriptResource);
        if (!file.open(QIODevice::ReadOnly)) {
            qCCritical(lcPagefill) << "page script missing:" << ScriptResource;
            return QString();
        }
        return QString::fromUtf8(file.readAll());
    }();
    return script;
}

// Waits while letting every event run, user input included, as a wait for a
// page to load always has.
void pumpedDelay(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs one request of the page script and waits for its answer. The script
// runs in an isolated world: it shares the page's DOM (and clicks reach the
// page's own handlers) but not its JavaScript globals, so a page that
// redefines click(), JSON or atob cannot disturb it or see it.
QVariantMap askPage(BrowserTab *tab, QJsonObject request)
{
    if (!tab || pageScript().isEmpty())
        return {};
    const QString operation = request.value("op"_L1).toString();
    request.insert("deadline"_L1, double(QDateTime::currentMSecsSinceEpoch() + AnswerTimeoutMs));
    const QByteArray payload = QJsonDocument(request).toJson(QJsonDocument::Compact).toBase64();
    const QString source = pageScript() % "\nkuaidiPagefill('"_L1 % QString::fromLatin1(payload) % "');\n"_L1;

    const std::optional<QVariant> answered = waitForAnswer<QVariant>(
        [tab, &source](const std::function<void(const QVariant &)> &done) { tab->runIsolated(source, done); },
        AnswerTimeoutMs,
        [tab](QEventLoop &loop) {
            QObject::connect(tab, &QObject::destroyed, &loop, &QEventLoop::quit);
            QObject::connect(tab, &BrowserTab::closed, &loop, &QEventLoop::quit);
        });
    if (!answered) {
        qCWarning(lcPagefill) << "page did not answer" << operation << "within" << AnswerTimeoutMs << "ms";
        return {};
    }
    QVariantMap answer = answered->toMap();
    if (answer.contains("error"_L1)) {
        qCWarning(lcPagefill) << "page script failed:" << operation << answer.value("error"_L1).toString();
        return {};
    }
    if (answer.contains("late"_L1))
        return {};
    return answer;
}

QJsonObject elementRequest(const PageElement &element)
{
    return {{"element"_L1, QJsonObject{{"key"_L1, element.key}}}};
}

} // namespace

bool WebFormFiller::Initialise(BrowserTab *tab, QString *errorText)
{
    // The tab can go away while we wait for its page.
    const QPointer<BrowserTab> guard(tab);
    QString error;
    if (!tab) {
        error = ViewGoneText.toString();
    } else if (!tab->attach(&error)) {
        if (error.trimmed().isEmpty())
            error = NotLoadedText.toString();
    } else if (!bind(tab)) {
        error = guard ? NotLoadedText.toString() : ViewGoneText.toString();
    } else if (!guard) {
        error = ViewGoneText.toString();
    }
    if (!error.isEmpty()) {
        if (errorText)
            *errorText = error;
        return false;
    }
    m_boundTab = tab;
    return true;
}

BrowserTab *WebFormFiller::boundWindowHandle() const
{
    return m_boundTab.data();
}

void WebFormFiller::EnsureBound()
{
    if (m_documents.isEmpty())
        Initialise(m_boundTab.data());
}

int WebFormFiller::DocumentCount() const
{
    return int(m_documents.size());
}

void WebFormFiller::SelectFrame(int frame)
{
    m_frameSelector = frame;
}

void WebFormFiller::ClearFrameSelection()
{
    m_frameSelector = 0;
}

int WebFormFiller::frameSelector() const
{
    return m_frameSelector;
}

QString WebFormFiller::pageFingerprint() const
{
    return m_pageFingerprint;
}

bool WebFormFiller::bind(BrowserTab *tab)
{
    const QPointer<BrowserTab> guard(tab);
    QString bodyTexts;
    const QList<BoundDocument> documents = liveDocuments(tab, &bodyTexts);
    if (documents.isEmpty() || !guard)
        return false;
    m_boundTab = tab;
    m_documents = documents;
    m_pageFingerprint =
        QString::fromLatin1(QCryptographicHash::hash(bodyTexts.toUtf8(), QCryptographicHash::Md5).toHex());
    return true;
}

QList<WebFormFiller::BoundDocument> WebFormFiller::liveDocuments(BrowserTab *tab, QString *bodyTexts) const
{
    const QVariantMap answer = askPage(tab, {{"op"_L1, "describe"_L1}});
    QList<BoundDocument> documents;
    const QVariantList list = answer.value("documents"_L1).toList();
    for (const QVariant &entry : list) {
        const QVariantMap map = entry.toMap();
        const QString text = map.value("text"_L1).toString();
        documents.append({map.value("readyState"_L1).toString(), !text.isEmpty()});
        if (bodyTexts)
            bodyTexts->append(text);
    }
    return documents;
}

bool WebFormFiller::WaitUntilLoaded(BrowserTab *tab, int timeoutMs)
{
    const qint64 timeout = timeoutMs == -1  ? EndlessLoadTimeoutMs
                           : timeoutMs == 0 ? DefaultLoadTimeoutMs
                                            : timeoutMs;
    QElapsedTimer clock;
    clock.start();
    const auto expired = [&] { return clock.elapsed() > timeout; };
    // A tab that is gone will never load; don't wait out the time-out for it.
    const QPointer<BrowserTab> guard(tab);

    for (;;) {
        while (!Initialise(guard.data())) {
            if (!guard)
                return false;
            pumpedDelay(200);
            if (expired())
                return false;
        }
        // Until a new page's document arrives the old one answers, complete;
        // only the browser knows that a load is under way.
        const bool loading = m_boundTab && m_boundTab->isLoading();
        if (!loading && m_documents.first().readyState == Complete)
            break;
        if (expired())
            return false;
        pumpedDelay(500);
    }
    if (m_documents.size() == 1) {
        pumpedDelay(100);
        return true;
    }
    // Frames without text are not waited for: they are often empty
    // placeholders that never finish.
    for (qsizetype i = 1; i < m_documents.size(); ++i) {
        if (!m_documents.at(i).hasText)
            continue;
        for (;;) {
            const QList<BoundDocument> live = liveDocuments(m_boundTab);
            if (i < live.size() && live.at(i).readyState == Complete)
                break;
            if (!guard || expired())
                return false;
            pumpedDelay(200);
        }
    }
    return true;
}

QJsonObject WebFormFiller::searchRequest(const QString &type, const QString &identifier, int occurrence,
                                         bool counted, int frame) const
{
    const ElementIdentifier parsed = ElementIdentifier::parse(identifier);
    return {{"type"_L1, type},
            {"attribute"_L1, parsed.attribute},
            {"value"_L1, parsed.value},
            {"ordinal"_L1, parsed.ordinal},
            {"occurrence"_L1, occurrence},
            {"counted"_L1, counted},
            {"counter"_L1, 0},
            {"frame"_L1, frame},
            {"frameSelector"_L1, m_frameSelector}};
}

QVariantMap WebFormFiller::callPage(QJsonObject request)
{
    EnsureBound();
    // A failed re-bind leaves nothing to search.
    if (m_documents.isEmpty())
        return {};
    return askPage(m_boundTab, std::move(request));
}

PageElement WebFormFiller::FindInputElement(const QString &type, const QString &identifier, int occurrence,
                                            int *matchCounter, int frame)
{
    QJsonObject request = searchRequest(type, identifier, occurrence, matchCounter != nullptr, frame);
    request.insert("op"_L1, "find"_L1);
    if (matchCounter)
        request.insert("counter"_L1, *matchCounter);
    const QVariantMap answer = callPage(request);

    PageElement element;
    element.key = answer.value("key"_L1).toString();
    if (!element.isNull())
        element.frame = answer.value("frame"_L1).toInt();
    if (matchCounter)
        *matchCounter = element.isNull() ? -1 : answer.value("counter"_L1).toInt();
    return element;
}

PageElement WebFormFiller::FindCheckBox(const QString &identifier, int occurrence, int frame)
{
    return FindInputElement(u"checkbox"_s, identifier, occurrence, nullptr, frame);
}

bool WebFormFiller::check(QJsonObject request, bool checked)
{
    request.insert("op"_L1, "check"_L1);
    request.insert("checked"_L1, checked);
    const QVariantMap answer = callPage(std::move(request));
    m_lastCheckResult = answer.value("done"_L1).toBool()       ? CheckResult::Done
                        : answer.value("disabled"_L1).toBool() ? CheckResult::Disabled
                                                               : CheckResult::NotFound;
    return m_lastCheckResult == CheckResult::Done;
}

bool WebFormFiller::SetCheckBoxChecked(const QString &identifier, bool checked, int occurrence, int frame)
{
    return check(searchRequest(u"checkbox"_s, identifier, occurrence, false, frame), checked);
}

bool WebFormFiller::SetCheckBoxChecked(const PageElement &element, bool checked)
{
    if (element.isNull()) {
        m_lastCheckResult = CheckResult::NotFound;
        return false;
    }
    return check(elementRequest(element), checked);
}

bool WebFormFiller::SetCheckBoxDisplay(const QString &identifier, bool shown, int occurrence, int frame)
{
    QJsonObject request = searchRequest(u"checkbox"_s, identifier, occurrence, false, frame);
    request.insert("op"_L1, "display"_L1);
    request.insert("shown"_L1, shown);
    return callPage(request).value("done"_L1).toBool();
}

bool WebFormFiller::restoreCheckBoxDisplay(const QString &identifier, int occurrence, int frame)
{
    QJsonObject request = searchRequest(u"checkbox"_s, identifier, occurrence, false, frame);
    request.insert("op"_L1, "display"_L1);
    request.insert("restore"_L1, true);
    return callPage(request).value("done"_L1).toBool();
}

bool WebFormFiller::FireElementEvent(const PageElement &element, const QString &eventName)
{
    if (element.isNull())
        return false;
    QJsonObject request = elementRequest(element);
    request.insert("op"_L1, "fire"_L1);
    request.insert("event"_L1, eventName);
    return callPage(request).value("done"_L1).toBool();
}

QList<PageCheckBox> WebFormFiller::checkBoxes(int frame)
{
    QJsonObject request = searchRequest(u"checkbox"_s, QString(), 0, false, frame);
    request.insert("op"_L1, "boxes"_L1);
    QList<PageCheckBox> boxes;
    const QVariantList list = callPage(request).value("boxes"_L1).toList();
    for (const QVariant &entry : list) {
        const QVariantMap map = entry.toMap();
        boxes.append({map.value("frame"_L1).toInt(), map.value("id"_L1).toString(),
                      map.value("checked"_L1).toBool(), map.value("disabled"_L1).toBool(),
                      map.value("hidden"_L1).toBool()});
    }
    return boxes;
}

} // namespace Kuaidi
