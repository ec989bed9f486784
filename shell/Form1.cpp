// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/Form1.h"

#include "answer/CheckObserver.h"
#include "levels/LevelTable.h"
#include "shell/Fonts.h"
#include "shell/Texts.h"

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QSvgWidget>
#include <QTimer>

namespace {

// Design positions are in twips, 15 to the pixel.
struct Twips
{
    int left, top, width, height;
    QRect px() const { return QRect(left / 15, top / 15, width / 15, height / 15); }
};

// &H00BBGGRR
QColor Vb(uint32_t bgr)
{
    return QColor(int(bgr & 0xff), int((bgr >> 8) & 0xff), int((bgr >> 16) & 0xff));
}

constexpr uint32_t kFormBack = 0x00C0FFC0;
constexpr uint32_t kGradeOff = 0x00FFC0C0;
constexpr uint32_t kGradeOn = 0x00C0FFFF;
constexpr uint32_t kMenuBack = 0x00FFEFEF;
constexpr uint32_t kPanelBack = 0x00C0FFFF;
constexpr uint32_t kGreenButton = 0x00C0FFC0;

// The small fourth-year menu holds twelve entries 28 pixels high in a menu 520 high: at this
// step all twelve lie inside it (the last at 486..514), and L04 keeps its place.
constexpr int kSmallFourthYearStep = 37, kSmallFourthYearTop = 79;

constexpr std::array<Twips, 3> kGradeButtons{{{300, 60, 2295, 615}, {2700, 60, 2295, 615},
                                              {5100, 60, 2295, 615}}};
constexpr Twips kMenuPanel{0, 0, 15195, 10275};
constexpr Twips kMenuHeading{180, 240, 11565, 405};
constexpr Twips kStartButton{12240, 120, 1335, 615};
constexpr Twips kQuitButton{13680, 120, 1335, 615};
constexpr Twips kLevelOption{0, 0, 12075, 555};

constexpr std::array<Twips, 2> kExercisePanels{{{180, 840, 15135, 11115}, {2580, 360, 15135, 11055}}};
constexpr Twips kPrompt{240, 120, 5520, 555};
constexpr std::array<Twips, 2> kFinishButtons{{{8760, 180, 2055, 555}, {8640, 180, 2055, 555}}};

// Panel 0, per slot.
constexpr std::array<Twips, 3> kText1{{{6900, 1680, 735, 600}, {6900, 5220, 735, 600},
                                       {7080, 8340, 735, 600}}};
constexpr std::array<Twips, 3> kText2{{{6900, 2340, 735, 585}, {6900, 5820, 735, 585},
                                       {7080, 9000, 735, 585}}};
constexpr std::array<Twips, 3> kText3{{{7860, 2040, 735, 585}, {6900, 4860, 735, 585},
                                       {6300, 8580, 735, 585}}};
constexpr std::array<Twips, 3> kKeypads{{{2040, 3480, 6435, 615}, {2040, 6780, 6435, 615},
                                         {2040, 10080, 6435, 615}}};
constexpr std::array<Twips, 3> kChecks0{{{8520, 3480, 1515, 585}, {8520, 6780, 1515, 585},
                                         {8520, 10080, 1515, 585}}};
// Panel 1, per row (slot); the check buttons of this panel run bottom-up.
constexpr std::array<int, 3> kRowTops{3300, 6600, 9900};
constexpr int kProperLeft = 5520, kImproperLeft = 7260, kMixedLeft = 9000, kCheck1Left = 9120;
constexpr int kKindWidth = 1635, kKindHeight = 555, kCheckWidth = 1515, kCheckHeight = 585;

// Illustrations (pixel sizes of the pictures), per panel.
struct Picture
{
    const char* resource;
    std::array<Twips, 2> at;
};
const std::array<Picture, 3> kPictures{{
    {":/assets/girl.svg", {{{12000, 4440, 173 * 15, 190 * 15}, {12060, 4500, 173 * 15, 190 * 15}}}},
    {":/assets/boy.svg", {{{11520, 660, 226 * 15, 239 * 15}, {11640, 660, 226 * 15, 239 * 15}}}},
    {":/assets/children.svg", {{{11580, 7560, 213 * 15, 227 * 15}, {11580, 7500, 213 * 15, 227 * 15}}}},
}};

QPushButton* MakeButton(QWidget* parent, const QString& caption, const QRect& r, uint32_t back,
                        const QFont& font)
{
    auto* b = new QPushButton(caption, parent);
    b->setGeometry(r);
    b->setFont(font);
    b->setFocusPolicy(Qt::NoFocus);
    SetBackColor(b, Vb(back));
    return b;
}

} // namespace

// The pictures live in a static library, whose resources must be registered by hand.
static void InitAssets()
{
    Q_INIT_RESOURCE(assets);
}

Form1::Form1(Platform& platformIn, QWidget* parent, Build build)
    : QWidget(parent), platform(platformIn), exercise_{st, rnd, platformIn}
{
    InitAssets();
    setWindowTitle(texts::WindowCaption);
    SetBackColor(this, Vb(kFormBack));
    setFont(fonts::Make(fonts::Mincho, 26.25, true));
    buildControls();
    connectHandlers();
    if (build == Build::Complete)
        completeWindow();
    resize(1017, 749);
}

// Setting the icon renders its SVG at several sizes, and the panels' line edits load
// the font database: together most of the start-up time, and none of it needed for the menu.
void Form1::completeWindow()
{
    setIcon();
    if (Picture1[0])
        return;
    buildExercisePanels();
    connectPanelHandlers();
    exercise_.panels = {Picture1[0], Picture1[1]};
    exercise_.text1 = Text1;
    exercise_.text2 = Text2;
    exercise_.text3 = Text3;
}

void Form1::setIcon()
{
    if (!iconSet_) {
        const QIcon icon(":/assets/icon.svg");
        setWindowIcon(icon);
        // The form may be shown inside the scaling window: the window that carries it, and
        // the message boxes, take the program's icon.
        QApplication::setWindowIcon(icon);
    }
    iconSet_ = true;
}

void Form1::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // The map request has gone out before the event loop's first turn.
    if (!iconSet_)
        QTimer::singleShot(0, this, &Form1::setIcon);
}

void Form1::buildControls()
{
    const QFont formFont = font();
    for (int i = 0; i < 3; ++i)
        Command1[i] = MakeButton(this, texts::GradeButtons[i], kGradeButtons[i].px(), kGradeOff, formFont);
    SetBackColor(Command1[0], Vb(kGradeOn));
    Command1[2]->hide();

    // Level menus
    for (int g = 0; g < 3; ++g) {
        auto* menu = new QWidget(this);
        Picture7[g] = menu;
        menu->setGeometry(kMenuPanel.px());
        SetBackColor(menu, Vb(kMenuBack));
        menu->hide();
        Label2[g] = new QLabel(texts::MenuHeadings[g], menu);
        Label2[g]->setGeometry(kMenuHeading.px());
        Label2[g]->setFont(fonts::Make(fonts::Mincho, 20.25, true));
        Command10[g] = MakeButton(menu, texts::Start, kStartButton.px(), 0x00C0C0FF,
                                  fonts::Make(fonts::Mincho, 14.25, true));
        Command2[g] = MakeButton(menu, texts::Quit, kQuitButton.px(), 0x00C0C000,
                                 fonts::Make(fonts::Mincho, 15.75, true));
    }
    for (int g = 0; g < 2; ++g)
        optionGroups_[g] = new QButtonGroup(this);
    for (int i = 0; i < 22; ++i) {
        const int g = i < 10 ? 0 : 1;
        auto* o = new QRadioButton(texts::LevelNames[i], Picture7[g]);
        Option2[i] = o;
        QRect r = kLevelOption.px();
        if (i == 2)
            r.setWidth(12015 / 15);
        o->setGeometry(r);
        o->setFont(fonts::Make(fonts::Gothic, 15.75, true));
        o->setFocusPolicy(Qt::NoFocus);
        SetBackColor(o, Vb(kMenuBack));
        optionGroups_[g]->addButton(o, i);
    }
}

void Form1::buildExercisePanels()
{
    const QFont panelFont = fonts::Make(fonts::Gothic, 24, false);
    for (int p = 0; p < 2; ++p) {
        auto* panel = new Surface(this);
        Picture1[p] = panel;
        panel->move(kExercisePanels[p].px().topLeft());
        SetBackColor(panel, Vb(kPanelBack));
        panel->setFont(panelFont);
        panel->resizeImage(kExercisePanels[p].px().width(), kExercisePanels[p].px().height());
        panel->hide();
        Label1[p] = new QLabel(texts::NextProblems, panel);
        Label1[p]->setGeometry(kPrompt.px());
        Label1[p]->setFont(fonts::Make(fonts::Mincho, 24, true));
        SetBackColor(Label1[p], Vb(0x00FFFFC0));
        Command8[p] = MakeButton(panel, texts::Finish, kFinishButtons[p].px(), kGreenButton,
                                 fonts::Make(fonts::Mincho, 21.75, true));
        for (int i = 0; i < 3; ++i) {
            auto* pic = new QSvgWidget(QString::fromUtf8(kPictures[i].resource), panel);
            pic->setGeometry(kPictures[i].at[p].px());
            SetBackColor(pic, Vb(kPanelBack));
            (i == 0 ? Picture2 : i == 1 ? Picture3 : Picture4)[p] = pic;
        }
    }

    Surface* panel0 = Picture1[0];
    const QFont checkFont = fonts::Make(fonts::Mincho, 18, true);
    for (int s = 0; s < 3; ++s) {
        auto makeBox = [&](const Twips& t) {
            auto* box = new QLineEdit(panel0);
            box->setGeometry(t.px());
            box->setFont(panelFont);
            // Asks an on-screen keyboard or input method for digits where it can.
            box->setInputMethodHints(Qt::ImhDigitsOnly | Qt::ImhPreferNumbers);
            box->hide();
            return box;
        };
        Text1[s] = makeBox(kText1[s]);
        Text2[s] = makeBox(kText2[s]);
        Text3[s] = makeBox(kText3[s]);
        if (s > 0)
            SetBackColor(Text3[s], QColor(0xC0, 0xC0, 0xC0));

        auto* pad = new QWidget(panel0);
        Picture6[s] = pad;
        pad->setGeometry(kKeypads[s].px());
        pad->hide();
        for (int j = 0; j < 10; ++j) {
            // Keypad 0 numbers its buttons left to right, keypads 1 and 2 right to left.
            const int index = s == 0 ? j : 10 * s + 9 - j;
            Command6[index] = MakeButton(pad, QString::number(j), Twips{j * 540, 0, 555, 555}.px(),
                                         kGreenButton, panelFont);
        }
        Command7[s] = MakeButton(pad, texts::Erase, Twips{5400, 0, 975, 555}.px(), kGreenButton,
                                 fonts::Make(fonts::Mincho, 14.25, true));
        Command5[s] = MakeButton(panel0, texts::Check, kChecks0[s].px(), kGreenButton, checkFont);
        Command5[s]->hide();
    }

    Surface* panel1 = Picture1[1];
    const QFont kindFont = fonts::Make(fonts::Mincho, 20.25, true);
    for (int r = 0; r < 3; ++r) {
        const int top = kRowTops[r];
        Command3[r] = MakeButton(panel1, texts::Proper, Twips{kProperLeft, top, kKindWidth, kKindHeight}.px(),
                                 kGreenButton, kindFont);
        Command4[r] = MakeButton(panel1, texts::Improper,
                                 Twips{kImproperLeft, top, kKindWidth, kKindHeight}.px(), kGreenButton, kindFont);
        Command9[r] = MakeButton(panel1, texts::Mixed, Twips{kMixedLeft, top, kKindWidth, kKindHeight}.px(),
                                 kGreenButton, kindFont);
        Command5[5 - r] = MakeButton(panel1, texts::Check,
                                     Twips{kCheck1Left, top, kCheckWidth, kCheckHeight}.px(), kGreenButton,
                                     checkFont);
        for (QPushButton* b : {Command3[r], Command4[r], Command9[r], Command5[5 - r]})
            b->hide();
    }
}

namespace {
// Connects each button of a control array to its handler, with the button's index.
template <typename Controls, typename Handler>
void each(Controls& controls, Handler handler)
{
    for (size_t i = 0; i < controls.size(); ++i)
        QObject::connect(controls[i], &QAbstractButton::clicked, controls[i],
                         [handler, i] { handler(int16_t(i)); });
}
} // namespace

void Form1::connectHandlers()
{
    each(Command1, [this](int16_t i) { Command1_Click(i); });
    each(Option2, [this](int16_t i) { Option2_Click(i); });
    each(Command10, [this](int16_t i) { Command10_Click(i); });
    each(Command2, [this](int16_t i) { Command2_Click(i); });
}

void Form1::connectPanelHandlers()
{
    each(Command8, [this](int16_t i) { Command8_Click(i); });
    each(Command6, [this](int16_t i) { Command6_Click(i); });
    each(Command7, [this](int16_t i) { Command7_Click(i); });
    each(Command5, [this](int16_t i) { Command5_Click(i); });
    each(Command3, [this](int16_t i) { Command3_Click(i); });
    each(Command4, [this](int16_t i) { Command4_Click(i); });
    each(Command9, [this](int16_t i) { Command9_Click(i); });
    for (int16_t p = 0; p < 2; ++p)
        connect(Picture1[p], &Surface::mouseDown, this,
                [this, p](int button, int shift, double x, double y) { Picture1_MouseDown(p, button, shift, x, y); });
    // A text box reports its click as it takes the focus or is pressed again, and its keys.
    for (int16_t s = 0; s < 3; ++s) {
        int b = 0;
        for (auto [box, handler] : {std::pair{Text1[s], &Form1::Text1_Click}, std::pair{Text2[s], &Form1::Text2_Click},
                                    std::pair{Text3[s], &Form1::Text3_Click}}) {
            box->installEventFilter(this);
            box->setProperty("slotIndex", int(s));
            box->setProperty("boxIndex", b++);
            clickHandlers_[box] = handler;
        }
    }
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::KeyPress) {
        auto it = clickHandlers_.find(watched);
        if (it != clickHandlers_.end()) {
            const auto slotIndex = int16_t(watched->property("slotIndex").toInt());
            if (event->type() == QEvent::MouseButtonPress)
                (this->*(it->second))(slotIndex);
            else if (answerBoxKey(slotIndex, watched->property("boxIndex").toInt(), *static_cast<QKeyEvent*>(event)))
                return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::Form_Load()
{
    st.ScreenWidthPixels = int16_t(platform.ScreenWidthPixels());
    if (st.ScreenWidthPixels >= 1000)
        applyLargeLayout();
    else
        applySmallLayout();
    const QTime now = platform.TimeOfDay();
    rnd.Seed(Random::SeedFromTime(now.minute(), now.second()));
    showLevelMenu(0);
}

void Form1::applyLargeLayout()
{
    for (int i = 0; i < 22; ++i) {
        const int row = i < 10 ? i : i - 10;
        Option2[i]->move(34, 50 * row + 70);
        Option2[i]->setFont(fonts::Make(fonts::Gothic, 16, true));
    }
    resize(1017, 749);
}

void Form1::applySmallLayout()
{
    completeWindow();
    Picture3[0]->hide();
    Picture3[1]->hide();
    for (QWidget* menu : Picture7)
        menu->resize(794, 520);
    for (Surface* panel : Picture1)
        panel->resizeImage(786, 530);
    for (int g = 0; g < 2; ++g) {
        Command10[g]->move(610, Command10[g]->y());
        Command2[g]->move(700, Command2[g]->y());
    }
    for (QLabel* heading : Label2)
        heading->setFont(fonts::Make(fonts::Mincho, 16, true));
    for (int i = 0; i < 22; ++i) {
        const int row = i < 10 ? i : i - 10;
        Option2[i]->setGeometry(35, i < 10 ? 40 * row + 70 : kSmallFourthYearStep * row + kSmallFourthYearTop, 700, 28);
        Option2[i]->setFont(fonts::Make(fonts::Gothic, 16, true));
    }
    resize(800, 574);
}

void Form1::ShowRecordNotice(const QString& text)
{
    for (int g = 0; g < 3; ++g) {
        QLabel*& notice = RecordNotice[g];
        if (text.isEmpty()) {
            if (notice)
                notice->hide();
            continue;
        }
        if (!notice) {
            notice = new QLabel(Picture7[g]);
            notice->setFont(fonts::Make(fonts::Gothic, 9, false));
            notice->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            QPalette grey = notice->palette();
            grey.setColor(QPalette::WindowText, QColor(0x80, 0x80, 0x80));
            notice->setPalette(grey);
            // A press there still reaches the menu beneath.
            notice->setAttribute(Qt::WA_TransparentForMouseEvents);
        }
        notice->setText(text);
        // Between the heading and the first entry, which begin at y 16 and 70 on both layouts;
        // right-aligned under けってい and おわり.
        const int right = Command2[g]->geometry().right();
        notice->setGeometry(12, 50, right - 12 + 1, 18);
        notice->show();
    }
}

void Form1::showLevelMenu(int grade)
{
    Picture7[grade]->move(4, 54);
    Picture7[grade]->show();
}

void Form1::Command1_Click(int16_t Index)
{
    for (QPushButton* b : Command1)
        SetBackColor(b, Vb(kGradeOff));
    SetBackColor(Command1[Index], Vb(kGradeOn));
    st.GradeIndex = Index;
    Picture7[Index]->move(4, 54);
    for (QWidget* menu : Picture7)
        menu->hide();
    Picture7[Index]->show();
}

void Form1::Option2_Click(int16_t Index)
{
    st.Level = int16_t(Index + 1);
}

void Form1::Command10_Click(int16_t Index)
{
    if (st.Level == 0) {
        platform.MsgBox(texts::ChooseLevelFirst);
        return;
    }
    completeWindow();
    PrepareExercise();
    for (QPushButton* b : Command1)
        b->hide();
    for (QPushButton* b : Command5)
        b->hide();
    Surface& panel = *Picture1[st.PanelIndex];
    panel.ForeColor = colours::Black;
    for (int y : {155, 375, 595}) {
        panel.CurrentX = 40;
        panel.CurrentY = y;
        panel.Print(texts::ClickHere);
    }
    Picture1[0]->hide();
    Picture1[1]->hide();
    Picture7[Index]->hide();
    panel.move(8, 8);
    panel.show();
    if (recorder)
        recorder->ExerciseBegins(st.Level);
}

void Form1::Command2_Click(int16_t)
{
    if (platform.AskYesNo(texts::ConfirmQuit))
        platform.EndProgram();
}

void Form1::Command8_Click(int16_t)
{
    if (!platform.AskYesNo(texts::ConfirmFinish))
        return;
    if (recorder)
        recorder->ExerciseEnds();
    Command1[0]->show();
    Command1[1]->show();
    for (int i = 0; i < 3; ++i) {
        Command3[i]->hide();
        Command4[i]->hide();
        Command9[i]->hide();
    }
    Picture1[st.PanelIndex]->hide();
    showLevelMenu(st.GradeIndex);
    for (int s = 1; s <= 3; ++s) {
        const int i = s - 1;
        for (QWidget* w : std::initializer_list<QWidget*>{Text1[i], Command5[i], Picture6[i], Text2[i], Text3[i]})
            w->hide();
        st.ProblemData[s].fill(0);
        st.ActiveField[s] = 0;
    }
}
