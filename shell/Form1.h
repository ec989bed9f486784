// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "drawing/Exercise.h"
#include "drawing/Surface.h"
#include "shell/AppState.h"
#include "shell/Platform.h"
#include "shell/Random.h"

#include <QButtonGroup>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>
#include <array>
#include <map>
#include <cstdint>

enum class Verdict;
class CheckObserver;
class QKeyEvent;

// The program's one window. Controls keep the names and indices of the control arrays the
// handlers speak of; every handler is a plain public member that a test may call directly.
class Form1 : public QWidget
{
    Q_OBJECT
public:
    // When the window builds what its start-up menu does not need: at once (Complete), or
    // later (MenuFirst), so that it maps without waiting for them. Then the icon is set right
    // after the window maps, and the exercise panels with everything on them are built when
    // a level starts; until then Picture1 and the panels' controls are null.
    // completeWindow() builds them at any time.
    enum class Build { Complete, MenuFirst };
    explicit Form1(Platform& platform, QWidget* parent = nullptr, Build build = Build::Complete);
    void completeWindow();

    // Start-up
    void Form_Load();

    // Menus and finishing
    void Command1_Click(int16_t Index);
    void Option2_Click(int16_t Index);
    void Command10_Click(int16_t Index);
    void Command2_Click(int16_t Index);
    void Command8_Click(int16_t Index);

    // Answer entry and checking
    void Text1_Click(int16_t Index);
    void Text2_Click(int16_t Index);
    void Text3_Click(int16_t Index);
    void Command6_Click(int16_t Index);
    void Command7_Click(int16_t Index);
    void Command5_Click(int16_t Index);
    void Picture1_MouseDown(int16_t Index, int Button, int Shift, double X, double Y);
    void Command3_Click(int16_t Index);
    void Command4_Click(int16_t Index);
    void Command9_Click(int16_t Index);

    // A line for the teacher about a learning record that cannot work, small and grey in the
    // top right corner of each level menu, under its buttons (never on the exercise panels).
    // Empty shows nothing and leaves the window as it was. Call after Form_Load, which sets
    // the menus' size.
    void ShowRecordNotice(const QString& text);

    // Module procedures
    void PrepareExercise();
    void NewProblem();

    AppState st;
    Random rnd;
    Platform& platform;
    // The learning record, when the teacher turned it on; null otherwise.
    CheckObserver* recorder = nullptr;

    // Top level
    std::array<QPushButton*, 3> Command1{};
    std::array<QWidget*, 3> Picture7{};
    std::array<Surface*, 2> Picture1{};
    // Level menus
    std::array<QLabel*, 3> Label2{};
    std::array<QPushButton*, 3> Command10{};
    std::array<QPushButton*, 3> Command2{};
    std::array<QRadioButton*, 22> Option2{};
    std::array<QLabel*, 3> RecordNotice{};   // null until a notice is shown
    // Exercise panels
    std::array<QLabel*, 2> Label1{};
    std::array<QPushButton*, 2> Command8{};
    std::array<QLineEdit*, 3> Text1{}, Text2{}, Text3{};
    std::array<QWidget*, 3> Picture6{};
    std::array<QPushButton*, 6> Command5{};
    std::array<QPushButton*, 30> Command6{};
    std::array<QPushButton*, 3> Command7{};
    std::array<QPushButton*, 3> Command3{}, Command4{}, Command9{};
    std::array<QWidget*, 2> Picture2{}, Picture3{}, Picture4{};

    Exercise& exercise() { return exercise_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();
    void buildExercisePanels();
    void connectHandlers();
    void connectPanelHandlers();
    void setIcon();
    void applyLargeLayout();
    void applySmallLayout();
    void showLevelMenu(int grade);
    void setActiveField(int slot, int box);
    void focusReceivingBox(int s);
    bool answerBoxKey(int16_t Index, int box, const QKeyEvent& key);
    // The marking steps after a level's judgement: mark, pause, record and the next problem.
    void concludeCheck(int s, int k, int t, Verdict v);
    void showMark(int top);
    // Keeps a slot's table within items 0..1000 from the 100th problem on.
    void makeRoomForNextProblem(int s);
    void answerKind(int16_t Index, int kind);
    // Side of the white square that wipes the mark after the pause.
    static constexpr int kMarkEraseSize = 26;
    void placeAnswerBoxes(int s);

    Exercise exercise_;
    std::array<QButtonGroup*, 2> optionGroups_{};
    std::map<QObject*, void (Form1::*)(int16_t)> clickHandlers_;
    bool iconSet_ = false;
};
