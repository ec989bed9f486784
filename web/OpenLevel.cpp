// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/OpenLevel.h"

#include "shell/Form1.h"

#include <QPushButton>
#include <QRadioButton>

void page::OpenLevel(Form1& form, int level)
{
    const int grade = level <= 10 ? 0 : 1;
    form.Command1[grade]->click();
    form.Option2[level - 1]->click();
    form.Command10[grade]->click();
}
