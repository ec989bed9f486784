// SPDX-License-Identifier: GPL-3.0-or-later
// The program on a web page: the same form as on the desktop, in a window that fills the
// page. No command line, no settings, no learning record: a page has none of them.
#include "shell/CommandLine.h"
#include "shell/Form1.h"
#include "shell/PagePlatform.h"
#include "shell/PageWindow.h"
#include "shell/QtPlatform.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    SetApplicationNames();
    QApplication app(argc, argv);
    PrepareApplication();

    QtPlatform qt;
    PageWindow* page = nullptr;
    PagePlatform platform(qt, [&page] {
        if (page)
            page->showClosing();
    });
    PageWindow window([&platform] {
        auto form = std::make_unique<Form1>(platform, nullptr, Form1::Build::MenuFirst);
        form->Form_Load();
        return std::unique_ptr<QWidget>(std::move(form));
    });
    page = &window;
    // Message boxes belong to the page's window, over the form, never inside the view.
    qt.setWindow(&window);
    window.showFullScreen();
    return QApplication::exec();
}
