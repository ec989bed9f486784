// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "drawing/Exercise.h"

#include <QStringList>

// The numbers the check reads from the three boxes of a slot (panel 0 levels).
struct TypedAnswer
{
    double t1 = 0, t2 = 0, t3 = 0;
    QString text1, text2, text3;   // the raw texts, for rules that look at them
};

enum class Verdict { Right, Wrong, Hint };

// Everything particular to one level: how a problem is made and drawn, how an answer is
// judged and what a press on the picture means. One object per level in the level table.
class LevelRules
{
public:
    virtual ~LevelRules() = default;
    // Draws problem k into slot s (below the score line) and fills its record.
    virtual void Generate(Exercise& ex, int s, int k) = 0;
    // Judges check t of problem k. A hint is shown by the rule itself and ends the check.
    virtual Verdict Judge(Exercise& ex, int s, int k, int t, const TypedAnswer& answer) = 0;
    // Runs after the marking steps of a right or wrong answer (and after the next problem,
    // when one was drawn): empties and recolours the boxes the level uses.
    virtual void AfterCheck(Exercise& ex, int s, Verdict v)
    {
        if (v == Verdict::Wrong) {
            ex.EmptyBoxes(s, true, true, false);
            ex.MakeText1Target(s, false);
        }
    }
    // A press on slot s while its problem is on show.
    virtual void Press(Exercise&, int /*s*/, double /*x*/, double /*y*/) {}
    // Problem k of slot s and the pupil's answer to it in words, for the learning record.
    // The defaults read the level's row of the table in LevelWords.cpp; levels whose record
    // or boxes do not hold what the pupil saw or gave say it themselves. At level 14 the
    // answer's t1 is the kind button pressed.
    virtual QString ProblemInWords(Exercise& ex, int s, int k);
    virtual QString AnswerInWords(Exercise& ex, int s, int k, const TypedAnswer& answer);
    // The kind of mistake the answer is, should the check not take it (MistakeKind of the
    // problem's record items); levels answered on the picture say it themselves.
    virtual QString MistakeInWords(Exercise& ex, int s, int k, const TypedAnswer& answer);
    // The right answer to problem k of slot s in the words of AnswerInWords, one entry for
    // every form the level takes as right; for the store's record of each check.
    virtual QStringList RightAnswersInWords(Exercise& ex, int s, int k);
};

// Level 1..22 to its rules; levels not built yet have rules that draw and accept nothing.
LevelRules& RulesFor(int level);
