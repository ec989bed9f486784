// SPDX-License-Identifier: GPL-3.0-or-later
// porome-gallery: opens the real window off screen, starts every level with a problem in
// each slot and saves what the pupil sees as one picture per level, plus the two menus.
//
//   porome-gallery [folder]      (default: docs/gallery)
//
// Problems are drawn from a fixed seed, so the same program gives the same pictures.
#include "shell/Fonts.h"
#include "shell/Form1.h"
#include "shell/Platform.h"
#include "shell/Texts.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QStyleFactory>
#include <cstdio>
#include <memory>

namespace {

constexpr int kLargeScreen = 1280;
constexpr int kSmallScreen = 800;
constexpr uint32_t kSeed = 2024;
constexpr int kLevels = 22;

// The machine as the gallery plays it: no dialog ever waits for a person, every question
// is answered いいえ, and the clock moves only when the program waits for it.
class GalleryPlatform final : public Platform
{
public:
    explicit GalleryPlatform(int screenWidth) : screenWidth_(screenWidth) {}
    QStringList messages;

    void MsgBox(const QString& text) override { messages << text; }
    bool AskYesNo(const QString& text) override
    {
        messages << text;
        return false;
    }
    void Beep() override {}
    QTime TimeOfDay() override { return clock_; }
    void WaitForNextSecond() override { clock_ = clock_.addSecs(1); }
    void EndProgram() override {}
    int ScreenWidthPixels() override { return screenWidth_; }

private:
    int screenWidth_;
    QTime clock_{10, 0, 0};
};

// A loaded window at its start-up menu, on a platform of the given screen width.
struct Window
{
    explicit Window(int screenWidth) : platform(screenWidth), form(platform)
    {
        form.Form_Load();
        form.rnd.Seed(kSeed);
        form.show();
        QApplication::processEvents();
    }
    GalleryPlatform platform;
    Form1 form;
};

// Presses the level's school-year button, its menu entry and けってい, as a pupil would.
void StartLevel(Form1& form, int level)
{
    const int grade = level <= 10 ? 0 : 1;
    form.Command1[grade]->click();
    form.Option2[level - 1]->click();
    form.Command10[grade]->click();
}

// A left press inside slot s, on its frame away from any drawing.
void PressSlot(Form1& form, int s)
{
    QWidget* panel = form.Picture1[form.st.PanelIndex];
    const QPointF at(760, (s - 1) * 220 + 90);
    QMouseEvent press(QEvent::MouseButtonPress, at, panel->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(panel, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, panel->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(panel, &release);
}

// Saves the window as it is now and reads the file back; false (with a message) on failure.
bool Save(Form1& form, const QDir& folder, const QString& name)
{
    QApplication::processEvents();
    const QPixmap shot = form.grab();
    const QString path = folder.filePath(name);
    if (shot.isNull() || !shot.save(path, "PNG")) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(path));
        return false;
    }
    const QImage back(path);
    if (back.size() != shot.size()) {
        std::fprintf(stderr, "%s reads back as %dx%d\n", qPrintable(path), back.width(), back.height());
        return false;
    }
    std::printf("%s  %dx%d\n", qPrintable(path), back.width(), back.height());
    return true;
}

// Reports any message box the pupil would have seen; pressing an empty slot shows none.
bool NoMessages(const Window& w, const QString& what)
{
    for (const QString& m : w.platform.messages)
        std::fprintf(stderr, "%s: unexpected message box \"%s\"\n", qPrintable(what), qPrintable(m));
    return w.platform.messages.isEmpty();
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    fonts::InstallSubstitutes();

    const QStringList args = QApplication::arguments();
    if (args.size() > 2 || (args.size() == 2 && args[1].startsWith('-'))) {
        std::fprintf(stderr, "usage: porome-gallery [folder]   (default: docs/gallery)\n");
        return 2;
    }
    const QDir folder(args.size() == 2 ? args[1] : QStringLiteral("docs/gallery"));
    if (!QDir().mkpath(folder.path())) {
        std::fprintf(stderr, "could not create %s\n", qPrintable(folder.path()));
        return 1;
    }

    bool ok = true;
    {
        Window large(kLargeScreen);
        ok &= Save(large.form, folder, QStringLiteral("menu.png"));
    }
    {
        Window small(kSmallScreen);
        ok &= Save(small.form, folder, QStringLiteral("menu-small.png"));
    }
    for (int level = 1; level <= kLevels; ++level) {
        Window w(kLargeScreen);
        StartLevel(w.form, level);
        for (int s = 1; s <= 3; ++s)
            PressSlot(w.form, s);
        const QString name = QStringLiteral("level%1.png").arg(level, 2, 10, QLatin1Char('0'));
        ok &= NoMessages(w, name);
        ok &= Save(w.form, folder, name);
    }
    return ok ? 0 : 1;
}
