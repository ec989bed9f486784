// SPDX-License-Identifier: GPL-3.0-or-later
#include "drawing/Exercise.h"

#include <QLineEdit>
#include <QPalette>
#include <QPushButton>

namespace {
QPalette::ColorRole RoleOf(const QWidget* w)
{
    if (qobject_cast<const QLineEdit*>(w))
        return QPalette::Base;
    if (qobject_cast<const QAbstractButton*>(w))
        return QPalette::Button;
    return QPalette::Window;
}
} // namespace

void SetBackColor(QWidget* w, const QColor& c)
{
    QPalette pal = w->palette();
    const QPalette::ColorRole role = RoleOf(w);
    pal.setColor(role, c);
    if (role == QPalette::Button)
        pal.setColor(QPalette::Window, c);
    w->setPalette(pal);
    w->setAutoFillBackground(role == QPalette::Window);
}

QColor BackColor(const QWidget* w)
{
    return w->palette().color(RoleOf(w));
}

void Exercise::PrintAt(double x, double y, const QString& text)
{
    Surface& p = Pic();
    p.CurrentX = x;
    p.CurrentY = y;
    p.Print(text);
}

void Exercise::Bar(double x, double y, double w, double h)
{
    Pic().FilledBox(x, y, w, h, colours::Black);
}

void Exercise::FractionWithWideNumerator(double x, double numeratorY, double denominatorY, double barX,
                                         double barY, long numerator, long denominator)
{
    const bool wide = numerator > 9;
    PrintAt(wide ? x + 2 : x, denominatorY, denominator);
    PrintAt(wide ? x - 5 : x, numeratorY, numerator);
    Bar(barX, barY, wide ? 50 : 45);
}

void Exercise::MakeText1Target(int s, bool greyText3)
{
    st.ActiveField[s] = 0;
    SetBackColor(&Text1(s), colours::Pink);
    SetBackColor(&Text2(s), colours::Grey);
    if (greyText3)
        SetBackColor(&Text3(s), colours::Grey);
}

void Exercise::EmptyBoxes(int s, bool t1, bool t2, bool t3)
{
    if (t1)
        Text1(s).clear();
    if (t2)
        Text2(s).clear();
    if (t3)
        Text3(s).clear();
}
