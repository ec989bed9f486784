// SPDX-License-Identifier: GPL-3.0-or-later
// porome-bare-window: the floor a Qt 6 program can reach. An empty window of the size of
// the program's large layout, with nothing in it.
#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare"));
    window.resize(1017, 749);
    window.show();
    return QApplication::exec();
}
