// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/Harness.h"

#include "shell/Fonts.h"

#include <QApplication>
#include <QStyleFactory>
#include <QTest>

void PrepareTestApplication()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    fonts::InstallSubstitutes();
}

Harness::Harness(int screenWidth, QTime start)
{
    PrepareTestApplication();
    platform.screenWidth = screenWidth;
    platform.clock = start;
    form = std::make_unique<Form1>(platform);
    form->Form_Load();
    form->show();
}

void Harness::StartLevel(int level)
{
    const int grade = level <= 10 ? 0 : 1;
    form->Command1_Click(int16_t(grade));
    QTest::mouseClick(form->Option2[level - 1], Qt::LeftButton, {}, QPoint(10, 10));
    form->Command10_Click(int16_t(grade));
}

void Harness::PressSlot(int s)
{
    Click(760, (s - 1) * 220 + 90);
}

void Harness::Click(int x, int y)
{
    QTest::mousePress(form->Picture1[form->st.PanelIndex], Qt::LeftButton, {}, QPoint(x, y));
}

void Harness::Type(int s, int box, const QString& digits)
{
    QLineEdit* target = box == 1 ? form->Text1[s - 1] : box == 2 ? form->Text2[s - 1] : form->Text3[s - 1];
    QTest::mousePress(target, Qt::LeftButton, {}, QPoint(5, 5));
    const int k = s - 1;
    for (QChar c : digits) {
        const int digit = c.digitValue();
        const int index = k == 0 ? digit : 10 * k + 9 - digit;
        QTest::mouseClick(form->Command6[index], Qt::LeftButton);
    }
}

void Harness::Check(int s)
{
    const int index = form->st.PanelIndex == 0 ? s - 1 : 6 - s;
    QTest::mouseClick(form->Command5[index], Qt::LeftButton);
}

int CountPixels(const QImage& image, const QRect& r, QRgb colour)
{
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if ((image.pixel(x, y) | 0xff000000u) == (colour | 0xff000000u))
                ++n;
    return n;
}

void RarelyRightTry(Form1& form, int attempt)
{
    if (form.st.Level == 14) {
        form.Command3_Click(0);
        return;
    }
    const bool typed = form.st.PanelIndex == 0;
    if (typed) {
        form.Text1[0]->setText(QString::number(1 + attempt % 7));
        form.Text2[0]->setText(QString::number(2 + attempt % 5));
        form.Text3[0]->setText(QString::number(attempt % 3));
    }
    form.Command5_Click(typed ? 0 : 5);
}
