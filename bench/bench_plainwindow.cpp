// The baseline of start-up: a plain Qt Widgets window with a Chinese label
// and a line edit, no database and no browser engine.

#include "mappedreport.h"

#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QStringLiteral("快递费用计算器")));
    layout->addWidget(new QLineEdit);
    window.show();
    reportWhenMapped(&window);
    return QApplication::exec();
}
