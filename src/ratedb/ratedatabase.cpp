#include "ratedatabase.h"

#include "programtables.h"
#include "ratedatabaseparts.h"
#include "sqltext.h"

#include <core/limits.h>
#include <core/schema.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcRateDb, "kuaidi.ratedb")

namespace Kuaidi {

namespace {

constexpr auto DatabaseFileName = "kuaidishuju.db"_L1;

bool isBlank(QChar c)
{
    return c.isSpace() || c == u'\u3000';
}

} // namespace

bool hasHalfCharacter(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            return true;
    }
    return false;
}

QString withoutHalfCharacters(QString text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            text[i] = QChar::ReplacementCharacter;
    }
    return text;
}

QHash<QString, qint64> changeCountersOf(Engine &engine)
{
    static constexpr QStringView SelectChangesSql = u"SELECT \"模板\", \"版本\" FROM \"__kuaidi_changes\"";
    QHash<QString, qint64> counters;
    std::unique_ptr<RowCursor> query = engine.query(SelectChangesSql, {});
    while (query->next())
        counters.insert(query->text(0), query->text(1).toLongLong());
    return counters;
}

QString checkTemplateName(QStringView name)
{
    if (name.isEmpty())
        return u"模板名称不能为空，请输入模板名称！"_s;
    if (isBlank(name.front()) || isBlank(name.back()))
        return u"模板名称的开头和结尾不能有空格，请去掉空格后再试！"_s;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        char32_t code = c.unicode();
        if (c.isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate())
            code = QChar::surrogateToUcs4(c, name.at(++i));
        else if (c.isSurrogate())
            return u"模板名称中有无效的文字，请重新输入！"_s;
        const QChar::Category category = QChar::category(code);
        if (category == QChar::Other_Control || category == QChar::Other_Format)
            return u"模板名称不能包含控制字符！"_s;
        if (QChar::isNonCharacter(code))
            return u"模板名称不能包含非字符（如 U+FFFF），请重新输入！"_s;
    }
    if (name.startsWith(u"sqlite_", Qt::CaseInsensitive))
        return u"模板名称不能以 sqlite_ 开头！"_s;
    if (name.startsWith(u"__"))
        return u"模板名称不能以 __ 开头，这是程序自用的名称！"_s;
    return {};
}

QString checkTemplateColumns(const QStringList &columns)
{
    if (columns.isEmpty())
        return u"模板没有任何列"_s;
    if (columns.size() > MaxTemplateColumns) {
        return u"表格有 %1 列，数据库一个模板最多只能保存 %2 列，请删去不需要的列后重新读取"_s
            .arg(columns.size())
            .arg(MaxTemplateColumns);
    }
    // The engine compares column names without regard to ASCII case.
    QSet<QString> seen;
    for (qsizetype c = 0; c < columns.size(); ++c) {
        const QString &column = columns.at(c);
        if (column.trimmed().isEmpty())
            return u"表格中有一列没有标题，请补上标题后重新读取"_s;
        // A NUL would end the name where the database reads it; half a
        // character cannot be stored at all.
        if (column.contains(QChar(0))) {
            return u"第 %1 列的标题“%2”中有空字符（U+0000），数据库不能保存，请修改标题后重新读取"_s
                .arg(c + 1)
                .arg(QString(column).replace(QChar(0), u'\u2400'));
        }
        if (hasHalfCharacter(column))
            return u"第 %1 列的标题中有半个字符（常见于被截断的表情符号），请修改标题后重新读取"_s.arg(c + 1);
        QString key = column;
        for (QChar &c : key) {
            if (c.unicode() < 128)
                c = c.toLower();
        }
        if (seen.contains(key))
            return u"表格中有两列都叫“%1”，请修改标题后重新读取"_s.arg(column);
        seen.insert(key);
    }
    return {};
}

QString RateDatabase::defaultPath()
{
    // The local (not roaming) folder: on Windows %LOCALAPPDATA%\Vantor\kuaidi,
    // elsewhere the same as the application data folder.
    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    QString path = defaultPathFor(QCoreApplication::applicationDirPath(), dataDir);
    if (path.startsWith(dataDir))
        QDir().mkpath(dataDir);
    return path;
}

bool RateDatabase::isSystemProgramDir(const QString &programDir)
{
    const QString dir = QDir::cleanPath(QDir(programDir).absolutePath());
#ifdef KUAIDI_INSTALL_BINDIR
    if (dir == QDir::cleanPath(QStringLiteral(KUAIDI_INSTALL_BINDIR)))
        return true;
#endif
#ifdef Q_OS_WIN
    QStringList roots;
    for (const char *variable : {"ProgramFiles", "ProgramFiles(x86)", "ProgramW6432"})
        roots << qEnvironmentVariable(variable);
    // The per-user programs folder too, where an installer without
    // administrator rights puts a program: writable, yet not a portable copy.
    if (const QString local = qEnvironmentVariable("LOCALAPPDATA"); !local.isEmpty())
        roots << local + u"\\Programs"_s;
    for (const QString &variable : std::as_const(roots)) {
        const QString root = QDir::cleanPath(QDir::fromNativeSeparators(variable));
        if (!root.isEmpty() &&
            (dir.compare(root, Qt::CaseInsensitive) == 0 || dir.startsWith(root + u'/', Qt::CaseInsensitive)))
            return true;
    }
    return false;
#else
    for (const QLatin1StringView root : {"/usr"_L1, "/opt"_L1, "/snap"_L1, "/bin"_L1, "/sbin"_L1}) {
        if (dir == root || dir.startsWith(root + u'/'))
            return true;
    }
    return false;
#endif
}

QString RateDatabase::defaultPathFor(const QString &programDir, const QString &dataDir)
{
    QString inDataDir = QDir(dataDir).filePath(DatabaseFileName);
    if (isSystemProgramDir(programDir))
        return inDataDir;
    const QFileInfo inProgramDir(QDir(programDir).filePath(DatabaseFileName));
    const bool usable =
        inProgramDir.exists() ? inProgramDir.isWritable() : QFileInfo(programDir).isWritable();
    return usable ? inProgramDir.filePath() : inDataDir;
}

RateDatabase::RateDatabase(const QString &location) : m_path(location)
{
    m_engine = makeEngine(location, m_busyTimeoutMs, &m_locationProblem);
}

RateDatabase::~RateDatabase()
{
    close();
}

void RateDatabase::setBusyTimeout(int milliseconds)
{
    close();
    m_busyTimeoutMs = milliseconds;
    m_engine = makeEngine(m_path, m_busyTimeoutMs, &m_locationProblem);
}

void RateDatabase::setLocation(const QString &location)
{
    close();
    m_path = location;
    m_checked = false;
    m_notIndexed.clear();
    m_lastError.clear();
    m_locationProblem.clear();
    m_engine = makeEngine(m_path, m_busyTimeoutMs, &m_locationProblem);
}

QString RateDatabase::probe(const QString &location)
{
    RateDatabase db(location);
    db.templateNames();
    return db.lastError();
}

QString RateDatabase::shortName() const
{
    return isOnServer() ? displayName() : QFileInfo(m_path).fileName();
}

bool RateDatabase::isOpen() const
{
    return m_engine && m_engine->isOpen();
}

QString RateDatabase::displayName() const
{
    return m_engine ? m_engine->displayName() : m_path;
}

bool RateDatabase::isOnServer() const
{
    return isServerLocation(m_path);
}

// The user reads the first part; what the engine said goes to the log, in
// its own language, for whoever looks into it.
bool RateDatabase::fail(const QString &what, const QString &detail)
{
    m_lastError = what;
    qCWarning(lcRateDb).noquote() << displayName() << what << detail;
    return false;
}

// A failure with the engine's error: what failed, then what it means ("…：数据
// 库文件是只读的…"), so that no failure comes without its reason.
bool RateDatabase::fail(const QString &what, const DbError &error)
{
    return fail(error.reason.isEmpty() ? what : what + u"：" + error.reason,
                u"(%1) %2"_s.arg(error.code).arg(error.message));
}

bool RateDatabase::open()
{
    m_lastError.clear();
    if (!m_engine)
        return fail(m_locationProblem, QString());
    if (isOpen())
        return true;
    if (const DbError opened = m_engine->open(); opened.isError())
        return fail(m_engine->openFailure(), opened);
    return true;
}

void RateDatabase::close()
{
    if (m_preload.valid()) {
        m_progress->cancelled = true; // a program closed at once need not wait for it
        m_preload.wait();
        m_preload = {};
    }
    m_progress.reset();
    m_cached.clear();
    m_regionsOnly.clear();
    m_versions.clear();
    m_dataVersion = -1;
    ++m_revision;
    if (m_engine)
        m_engine->close();
}

bool RateDatabase::openForWriting()
{
    if (m_engine && m_engine->wasRemoved())
        close();
    if (!open())
        return false;
    if (m_checked)
        return true;
    QStringList problems;
    if (const DbError error = m_engine->checkIntegrity(&problems); error.isError())
        return fail(u"无法修改数据库文件 %1"_s.arg(displayName()), error);
    if (!problems.isEmpty()) {
        return fail(u"数据库文件 %1 已损坏（完整性检查没有通过），为保护其中的数据，程序不会再写入它。"
                    u"请从备份恢复，或把它复制一份后交给技术人员检查"_s.arg(displayName()),
                    problems.join(u"; "));
    }
    m_checked = true;
    return true;
}

bool RateDatabase::transact(const QString &failure, const std::function<DbError()> &steps)
{
    m_nameTaken = false;
    if (const DbError begun = m_engine->begin(Engine::Access::Write); begun.isError())
        return fail(failure, begun);
    m_countedChanges.clear();
    DbError error = steps();
    if (!error.isError())
        error = m_engine->commit();
    if (error.isError()) {
        m_nameTaken = error.nameTaken;
        m_engine->rollback();
        m_countedChanges.clear();
        return fail(failure, error);
    }
    m_versions.insert(m_countedChanges);
    m_countedChanges.clear();
    ++m_revision;
    return true;
}

bool RateDatabase::requireTemplate(const QString &name)
{
    DbError error;
    if (m_engine->tableExists(name, &error))
        return true;
    if (error.isError())
        return fail(u"读取模板“%1”失败"_s.arg(name), error);
    return fail(u"快递模板“%1”已不存在：可能刚被其他程序或其他电脑删除或改名，请重新选择模板"_s.arg(name),
                QString());
}

// Made only when missing: a server account that may write rows but not make
// tables can still save.
DbError RateDatabase::ensureTable(QStringView table, QStringView createSql)
{
    DbError error;
    if (m_engine->tableExists(table.toString(), &error) || error.isError())
        return error;
    return m_engine->exec(createSql);
}

bool RateDatabase::acceptNames(const QString &name, const QStringList &columns)
{
    QString problem = checkTemplateColumns(columns);
    if (problem.isEmpty() && m_engine)
        problem = m_engine->checkNames(name, columns);
    return problem.isEmpty() || fail(problem, QString());
}

QString RateDatabase::checkNewTemplate(const QString &name, const QStringList &columns) const
{
    QString problem = checkTemplateName(name);
    if (problem.isEmpty())
        problem = checkTemplateColumns(columns);
    if (problem.isEmpty() && m_engine)
        problem = m_engine->checkNames(name, columns);
    return problem;
}

QStringList RateDatabase::templateNames()
{
    m_lastError.clear();
    if (!open())
        return {};
    DbError error;
    std::optional<QStringList> names = m_engine->templateNames(&error);
    if (!names) {
        fail(u"读取模板列表失败"_s, error);
        return {};
    }
    return *names;
}

bool RateDatabase::hasTemplate(const QString &name)
{
    const QStringList names = templateNames();
    return names.contains(name, Qt::CaseInsensitive); // SQLite table names ignore case
}

} // namespace Kuaidi
