// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "drawing/Surface.h"
#include "shell/AppState.h"
#include "shell/Platform.h"
#include "shell/Random.h"

#include <QColor>
#include <QLineEdit>
#include <array>

namespace colours {
constexpr QRgb Black = 0xff000000u;
constexpr QRgb White = 0xffffffffu;
constexpr QRgb Red = 0xffff0000u;
constexpr QRgb Cyan = 0xff00ffffu;
const QColor Pink(255, 200, 200);   // the box that receives keypad digits
const QColor Grey(200, 200, 200);   // the other boxes of the slot
} // namespace colours

// Reads or sets the colour a control shows as its background.
void SetBackColor(QWidget* w, const QColor& c);
QColor BackColor(const QWidget* w);

// What a level's rules may touch: the shared state, the panel in use, the answer boxes of
// panel 0, the random source and the message box. Slots are numbered 1..3 throughout.
struct Exercise
{
    AppState& st;
    Random& rnd;
    Platform& platform;
    std::array<Surface*, 2> panels{};
    std::array<QLineEdit*, 3> text1{}, text2{}, text3{};

    Surface& Pic() const { return *panels.at(st.PanelIndex); }
    QLineEdit& Text1(int s) const { return *text1.at(s - 1); }
    QLineEdit& Text2(int s) const { return *text2.at(s - 1); }
    QLineEdit& Text3(int s) const { return *text3.at(s - 1); }
    static int Top(int s) { return (s - 1) * 220; }
    double Rnd() { return rnd.Rnd(); }
    int32_t& Item(int s, int i) { return st.Item(s, i); }
    // Item i (1..10) of the record of problem k of slot s.
    int32_t& Rec(int s, int k, int i) { return st.Item(s, k * 10 + i); }

    // Print text with its top-left at (x, y) in the current colour.
    void PrintAt(double x, double y, const QString& text);
    void PrintAt(double x, double y, long number) { PrintAt(x, y, QString::number(number)); }
    // Black filled bar, the usual fraction bar.
    void Bar(double x, double y, double w, double h = 3);
    // A fraction whose numerator may have two digits: then the numerator stands 5 px further
    // left, the denominator 2 px further right, and the bar widens from 45 to 50 px.
    void FractionWithWideNumerator(double x, double numeratorY, double denominatorY, double barX, double barY,
                                   long numerator, long denominator);
    void MoveBox(QLineEdit& box, int left, int top) { box.move(left, top); }
    // Makes Text1 the keypad target: Text1 pink, Text2 grey, and Text3 grey when asked.
    void MakeText1Target(int s, bool greyText3);
    // Empties the given boxes of slot s.
    void EmptyBoxes(int s, bool t1, bool t2, bool t3);
};
