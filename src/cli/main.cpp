#include "cli.h"

#include <core/program.h>

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QStringDecoder>
#include <QTextStream>

#include <cstdio>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#include <qt_windows.h>
#include <shellapi.h>
#endif

namespace {

// Arguments decoded here rather than by QCoreApplication::arguments(), which
// drops a U+FEFF at the start of one: a name or text that begins with it
// would be looked up, or saved, as another.
QStringList commandLineArguments(int argc, char *argv[])
{
    QStringList arguments;
#ifdef Q_OS_WIN
    // argv holds the ANSI code page, in which Chinese is lost on most
    // systems; the wide command line holds every character.
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    int count = 0;
    if (wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i)
            arguments << QString(reinterpret_cast<const QChar *>(wide[i]), qsizetype(wcslen(wide[i])));
        LocalFree(wide);
    }
#else
    for (int i = 0; i < argc; ++i) {
        QStringDecoder decoder(QStringConverter::System, QStringConverter::Flag::ConvertInitialBom);
        arguments << decoder.decode(QByteArrayView(argv[i]));
    }
#endif
    return arguments;
}

#ifdef Q_OS_WIN
// The output is UTF-8 on every system, byte for byte: binary mode keeps the C
// runtime from writing "\n" as "\r\n" (and a "\r\n" of the program's as
// "\r\r\n"), and a console reads the bytes as UTF-8 while the program runs;
// its own code page comes back afterwards, for whatever runs next in it.
class Utf8Console
{
public:
    Utf8Console() : m_previous(GetConsoleOutputCP())
    {
        _setmode(_fileno(stdout), _O_BINARY);
        _setmode(_fileno(stderr), _O_BINARY);
        if (m_previous != 0)
            SetConsoleOutputCP(CP_UTF8);
    }
    ~Utf8Console()
    {
        if (m_previous != 0)
            SetConsoleOutputCP(m_previous);
    }
    Utf8Console(const Utf8Console &) = delete;
    Utf8Console &operator=(const Utf8Console &) = delete;

private:
    UINT m_previous;
};
#endif

} // namespace

int main(int argc, char *argv[])
{
#ifdef Q_OS_WIN
    const Utf8Console console;
#endif
    QCoreApplication app(argc, argv);
    // Failures reach the user as messages on stderr; the log would repeat them.
    QLoggingCategory::setFilterRules(QStringLiteral("kuaidi.*.warning=false"));
    // The same data folder as the windows'.
    Kuaidi::setApplicationNames();
    QTextStream out(stdout);
    QTextStream err(stderr);
    const int status = Kuaidi::runCli(commandLineArguments(argc, argv), out, err);
    out.flush();
    err.flush();
    return status;
}
