// SPDX-License-Identifier: GPL-3.0-or-later
// The program on a web page: the same form as on the desktop, in a window that fills the
// page. No command line and no settings; the learning record follows what the page's launch
// (or porome-config.json) asks for, and the page's JavaScript keeps and sends it.
#include "answer/CheckObserver.h"
#include "shell/CommandLine.h"
#include "shell/Form1.h"
#include "shell/PagePlatform.h"
#include "shell/PageWindow.h"
#include "shell/QtPlatform.h"
#include "web/PageTone.h"
#ifndef POROME_PAGE_WITHOUT_RECORD
#include "record/Recorder.h"
#include "record/RecordingPlatform.h"
#include "web/JsQueue.h"
#include "web/OpenLevel.h"
#else
class Recorder;
#endif

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QStringList>

#include <emscripten.h>

namespace {

// Opened as index.html?measure, the page gives the program a function that sends a line to
// the server serving it; otherwise there is none, and nothing here does anything.
bool Measured()
{
    return EM_ASM_INT({ return typeof window.poromeReport === 'function' ? 1 : 0; }) != 0;
}

void Report(const QString& line)
{
    const QByteArray utf8 = line.toUtf8();
    EM_ASM({ window.poromeReport(UTF8ToString($0)); }, utf8.constData());
}

// When start-up reached a step, in milliseconds since the page was opened.
void ReportStep(const char* step)
{
    Report(QStringLiteral("step=%1:%2").arg(QLatin1String(step)).arg(int(emscripten_get_now())));
}

// After each check of slot 1, its verdict, the level, the record of its problem (items 1 to
// 5) and the middles of its answer boxes and けす button on the form, so that a check from
// outside can answer the problem right or wrong as a pupil who read it would.
// It lives as long as its form, and passes everything on to the form's record.
class CheckReport final : public QObject, public CheckObserver
{
public:
    explicit CheckReport(Form1& form) : QObject(&form), form_(form), next_(form.recorder) { form.recorder = this; }

    void ExerciseBegins(int level) override
    {
        if (next_)
            next_->ExerciseBegins(level);
    }
    void ExerciseEnds() override
    {
        if (next_)
            next_->ExerciseEnds();
    }
    void CheckBegins(int s, int k, int t, const TypedAnswer& answer, bool kindButton) override
    {
        if (next_)
            next_->CheckBegins(s, k, t, answer, kindButton);
        slot_ = s;
        k_ = k;
    }
    void CheckEnds(Verdict v) override
    {
        if (next_)
            next_->CheckEnds(v);
        if (slot_ != 1)
            return;
        QStringList fields{QString::number(form_.st.Level), v == Verdict::Right ? "right" : v == Verdict::Wrong ? "wrong" : "hint"};
        for (int i = 1; i <= 5; ++i)
            fields << QString::number(form_.st.Item(1, k_ * 10 + i));
        for (QWidget* w : {static_cast<QWidget*>(form_.Text1[0]), static_cast<QWidget*>(form_.Text2[0]),
                           static_cast<QWidget*>(form_.Text3[0]), static_cast<QWidget*>(form_.Command7[0])}) {
            const QPoint middle = w ? w->mapTo(&form_, w->rect().center()) : QPoint(-1, -1);
            fields << QString::number(middle.x()) << QString::number(middle.y());
        }
        Report(QStringLiteral("check=") + fields.join(QLatin1Char(',')));
    }

private:
    Form1& form_;
    CheckObserver* next_;
    int slot_ = 0;
    int k_ = 0;
};

// On the closing screen: the middles of もういちど and of 「きろくを　ほぞんする」 on the page
// (or -1, -1 while hidden), and the line of statements not yet sent, empty while hidden.
void ReportClosing(PageWindow& page)
{
    QStringList fields;
    for (QWidget* w : {static_cast<QWidget*>(&page.againButton()), static_cast<QWidget*>(&page.saveButton())}) {
        const QPoint middle = w->isVisible() ? w->mapTo(&page, w->rect().center()) : QPoint(-1, -1);
        fields << QString::number(middle.x()) << QString::number(middle.y());
    }
    fields << (page.unsentLine().isVisible() ? page.unsentLine().text() : QString());
    Report(QStringLiteral("closing=") + fields.join(QLatin1Char(',')));
}

#ifndef POROME_PAGE_WITHOUT_RECORD
// The record, where the launch asks for one: statements for the store, or the rows of a
// record file, kept and sent by the page's JavaScript. The pupil's login is the launch's
// account name; a browser knows no computer name.
class PageRecord
{
public:
    explicit PageRecord(Platform& inner)
        : launch_(page::ReadLaunch(page::ReadLaunchInput()))
    {
        std::unique_ptr<RecordSink> sink =
            page::OpenRecord(launch_, queue_, QStringLiteral("ポロメ %1 web").arg(QStringLiteral(POROME_VERSION)));
        if (!sink)
            return;
        recorder_ = std::make_unique<Recorder>(Recorder::Who{QString(), page::LoginOf(launch_)},
                                               &QDateTime::currentDateTime);
        recorder_->AddSink(std::move(sink));
        recording_ = std::make_unique<RecordingPlatform>(inner, *recorder_);
        page::AttachToPage();
    }

    // What the window sees as the machine: message boxes reach the record first.
    Platform& platform(Platform& inner) { return recording_ ? static_cast<Platform&>(*recording_) : inner; }
    Recorder* recorder() { return recorder_.get(); }

    // A new form, before it loads.
    void attach(Form1& form)
    {
        if (recorder_) {
            recorder_->Attach(form.exercise());
            form.recorder = recorder_.get();
        }
    }
    // The first form, loaded: a launch that names a level opens it at once.
    void opened(Form1& form)
    {
        if (launch_.level > 0)
            page::OpenLevel(form, launch_.level);
    }
    // The closing screen's line of what waits, or its button that saves the record file.
    void show(PageWindow& window)
    {
        if (launch_.record == page::Record::Store)
            window.setRecord({[this] { return queue_.Waiting(); }, nullptr, nullptr});
        else if (launch_.record == page::Record::Download)
            window.setRecord({nullptr, [this] { return queue_.Unsaved(); }, [this] { queue_.Save(); }});
    }

private:
    page::JsQueue queue_;
    const page::Launch launch_;
    std::unique_ptr<Recorder> recorder_;
    std::unique_ptr<RecordingPlatform> recording_;
};

// The record of the page, for the page going away.
Recorder* pageRecorder = nullptr;
#else
// Built without the record, only to measure what the record adds to the page.
class PageRecord
{
public:
    explicit PageRecord(Platform&) {}
    Platform& platform(Platform& inner) { return inner; }
    Recorder* recorder() { return nullptr; }
    void attach(Form1&) {}
    void opened(Form1&) {}
    void show(PageWindow&) {}
};
#endif

} // namespace

#ifndef POROME_PAGE_WITHOUT_RECORD
// Called by the page when it goes away for good (a closed tab or lid, a reload): the open
// exercise ends, as 終わる would end it.
extern "C" EMSCRIPTEN_KEEPALIVE void porome_page_hidden()
{
    if (pageRecorder)
        pageRecorder->Finish();
}
#endif

int main(int argc, char* argv[])
{
    const bool measured = Measured();
    if (measured)
        ReportStep("main");
    SetApplicationNames();
    QApplication app(argc, argv);
    PrepareApplication();
    if (measured)
        ReportStep("prepared");

    QtPlatform qt;
    PageTone tone;
    PageWindow* page = nullptr;
    PagePlatform pagePlatform(qt, tone, [&page, measured] {
        if (!page)
            return;
        page->showClosing();
        if (measured)
            ReportClosing(*page);
    });
    PageRecord record(pagePlatform);
#ifndef POROME_PAGE_WITHOUT_RECORD
    pageRecorder = record.recorder();
#endif
    Platform& platform = record.platform(pagePlatform);
    bool first = true;
    PageWindow window([&platform, &record, &first, measured] {
        auto form = std::make_unique<Form1>(platform, nullptr, Form1::Build::MenuFirst);
        record.attach(*form);
        form->Form_Load();
        if (measured)
            new CheckReport(*form);
        if (first)
            record.opened(*form);
        first = false;
        return std::unique_ptr<QWidget>(std::move(form));
    });
    record.show(window);
    page = &window;
    if (measured)
        ReportStep("form");
    // Message boxes belong to the page's window, over the form, never inside the view.
    qt.setWindow(&window);
    window.showFullScreen();
    if (measured)
        ReportStep("shown");
    const int status = QApplication::exec();
#ifndef POROME_PAGE_WITHOUT_RECORD
    pageRecorder = nullptr;
#endif
    return status;
}
