// SPDX-License-Identifier: GPL-3.0-or-later
// porome-classrecord OUTDIR: a class's learning record made by the program's own window and
// recorder, one file per pupil, for looking at the report. Each pupil drills some levels in
// slot 1 and answers every problem right, or first with a mistake of a kind the level can
// have (then right, or wrong three times), as a pupil of that skill might.
#include "record/Csv.h"
#include "record/RecordingPlatform.h"
#include "support/Harness.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <cstdio>

namespace {

using Boxes = QStringList;   // Text1, Text2, Text3

QString N(int v) { return QString::number(v); }

// The right answer to the problem of slot 1, from its record.
Boxes Right(int level, Harness& h)
{
    const int r1 = h.Rec(1, 1), r2 = h.Rec(1, 2), r3 = h.Rec(1, 3), r4 = h.Rec(1, 4), r5 = h.Rec(1, 5);
    switch (level) {
    case 9: return {N(r1), N(r4), r4 == r1 ? "1" : ""};
    case 10: case 15: return {N(r1), N(r4), ""};
    case 11: return {N(r3), N(r1), N(r2)};
    case 17: {
        if (r4 < r1) return {N(r1), N(r4), ""};
        if (r4 == r1) return {"", "", "1"};
        return {N(r1), N(r4 - r1), "1"};
    }
    case 18: {
        const int sum = r2 + r3, whole = r4 + r5;
        if (sum < r1) return {N(r1), N(sum), N(whole)};
        if (sum == r1) return {"", "", N(whole + 1)};
        return {N(r1), N(sum - r1), N(whole + 1)};
    }
    case 21: return {N(r1), N(r4), ""};
    case 22: {
        const int p = r2 - r3, whole = r4 - r5;
        if (p > 0) return {N(r1), N(p), N(whole)};
        if (p == 0) return {"", "", N(whole)};
        return {N(r1), N(p + r1), whole - 1 > 0 ? N(whole - 1) : ""};
    }
    default: return {N(r1), N(r2), ""};   // levels 1 to 4 and 6: n/d
    }
}

// Wrong answers of the kinds the level can have, for the problem of slot 1.
QList<Boxes> Mistakes(int level, Harness& h)
{
    const int r1 = h.Rec(1, 1), r2 = h.Rec(1, 2), r3 = h.Rec(1, 3), r4 = h.Rec(1, 4), r5 = h.Rec(1, 5);
    switch (level) {
    case 9: return {{N(2 * r1), N(r4), ""}, {N(r4), N(r1), ""}, {N(r1), N(r1), ""}};
    case 10: return {{"0", N(r4), ""}, {N(r4), N(r1), ""}};
    case 11: return {{N(r3), N(r1), N(r1 - r2)}, {N(r3), N(r2), N(r1)}};
    case 15: return {{N(r4), N(r1), ""}, {N(r1), N(r4 / r1 + r4 % r1), ""}};
    case 17: return {{N(2 * r1), N(r4), ""}, {N(r1), N(r4), ""}};
    case 18: return {{N(2 * r1), N(r2 + r3), N(r4 + r5)}, {N(r1), N(r2 + r3), N(r4 + r5)}};
    case 21: return {{N(r1), N(r3 - r2), "1"}, {N(r4), N(r1), ""}};
    case 22: return {{N(r1), N(std::abs(r2 - r3)), N(r4 - r5)}, {N(r1), N(r2 - r3 + r1), N(r4 - r5)},
                     {N(r1), N(r2 - r3 + r1), "0"}};
    default: return {{N(r2), N(r1), ""}, {N(r1), N(r1 - r2), ""}, {N(r1), N(r2 + 1), ""}};
    }
}

void Answer(Harness& h, const Boxes& b)
{
    h.form->Text1[0]->setText(b.value(0));
    h.form->Text2[0]->setText(b.value(1));
    h.form->Text3[0]->setText(b.value(2));
    h.Check(1);
}

bool Drill(const QString& folder, const QString& computer, const QString& login, double skill,
           const QList<int>& levels, QRandomGenerator& rnd)
{
    QFile file(QDir(folder).filePath(QStringLiteral("porome-%1-%2.csv").arg(computer, login)));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.write(QByteArray("\xEF\xBB\xBF") + csv::Row(record::Header()).toUtf8());
    Harness h;
    Recorder recorder([&file](const QByteArray& row) { file.write(row); }, Recorder::Who{computer, login});
    RecordingPlatform platform(h.platform, recorder);
    h.form = std::make_unique<Form1>(platform);
    h.form->Form_Load();
    h.form->show();
    recorder.Attach(h.form->exercise());
    h.form->recorder = &recorder;
    h.Seed(rnd.generate());
    for (int level : levels) {
        h.StartLevel(level);
        h.PressSlot(1);
        for (int problem = 0; problem < 8; ++problem) {
            const int k = h.Problem(1);
            if (rnd.generateDouble() >= skill) {
                const QList<Boxes> wrong = Mistakes(level, h);
                Answer(h, wrong[int(rnd.bounded(qsizetype(wrong.size())))]);
                if (h.Problem(1) != k)
                    continue;   // the mistake was right after all for this problem
                if (rnd.generateDouble() < 0.3) {
                    Answer(h, {"9", "9", "9"});
                    Answer(h, {"9", "9", "9"});
                }
            }
            if (h.Problem(1) == k)
                Answer(h, Right(level, h));
        }
        h.platform.answers.push_back(true);   // 終わる, then はい
        h.form->Command8_Click(int16_t(h.st().PanelIndex));
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    PrepareTestApplication();
    if (argc < 2) {
        std::fprintf(stderr, "usage: porome-classrecord OUTDIR\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    QRandomGenerator rnd(18);
    const QList<int> third{1, 4, 9, 10}, fourth{11, 15, 17, 18, 21, 22};
    struct Pupil { const char *computer, *login; double skill; bool fourthYear; };
    const Pupil pupils[] = {{"pc-01", "aoi", 0.9, false},   {"pc-02", "haruto", 0.5, false},
                            {"pc-03", "yui", 0.7, false},   {"pc-04", "sota", 0.3, true},
                            {"pc-05", "mei", 0.8, true},    {"pc-06", "riku", 0.6, true},
                            {"pc-07", "student", 0.4, true}, {"pc-08", "student", 0.7, false}};
    for (const Pupil& p : pupils)
        if (!Drill(folder, p.computer, p.login, p.skill, p.fourthYear ? fourth : third, rnd)) {
            std::fprintf(stderr, "porome-classrecord: cannot write into %s\n", argv[1]);
            return 1;
        }
    std::printf("porome-classrecord: %d records in %s\n", int(std::size(pupils)), argv[1]);
    return 0;
}
