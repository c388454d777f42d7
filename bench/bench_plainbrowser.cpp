// The baseline of the editor's start-up: a bare Qt WebEngine view in a
// window, started as kuaidi-editor is (shared OpenGL contexts, no page
// loaded).

#include "mappedreport.h"

#include <QWebEngineView>

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QWebEngineView view;
    view.resize(1024, 600);
    view.show();
    reportWhenMapped(&view);
    return QApplication::exec();
}
