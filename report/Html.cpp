// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/Report.h"

#include "report/Roster.h"
#include "shell/Texts.h"

#include <algorithm>
#include <set>

namespace report {

namespace {

QString Esc(const QString& text)
{
    return text.toHtmlEscaped();
}

QString Cells(const Counts& c)
{
    QString row;
    for (int n : {c.problems, c.right, c.later, c.wrong, c.hints})
        row += QStringLiteral("<td class=\"n\">%1</td>").arg(n);
    return row;
}

const QString kCountHeads = QStringLiteral(
    "<th>問題 problems</th><th>○</th><th>△</th><th>×</th><th>ヒント hints</th>");

// Stacked bars of ○, △ and × per row, with the hints as a thin bar below.
QString Chart(const std::vector<std::pair<QString, Counts>>& rows)
{
    constexpr int kLabel = 230, kBar = 600, kRow = 34, kTop = 30;
    int most = 1;
    for (const auto& [label, c] : rows)
        most = std::max({most, c.right + c.later + c.wrong, c.hints});
    const int height = kTop + int(rows.size()) * kRow + 10;
    QString svg = QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%2\" "
                                 "role=\"img\">")
                      .arg(kLabel + kBar + 60)
                      .arg(height);
    // Legend
    const std::array<std::pair<const char*, QString>, 4> legend{
        {{"#3a9a3a", QStringLiteral("○")}, {"#e0a020", QStringLiteral("△")}, {"#d03030", QStringLiteral("×")},
         {"#6a7fc0", QStringLiteral("ヒント")}}};
    for (size_t i = 0; i < legend.size(); ++i) {
        const int x = kLabel + int(i) * 90;
        svg += QStringLiteral("<rect x=\"%1\" y=\"6\" width=\"14\" height=\"14\" fill=\"%2\"/>"
                              "<text x=\"%3\" y=\"18\">%4</text>")
                   .arg(x)
                   .arg(QLatin1String(legend[i].first))
                   .arg(x + 20)
                   .arg(legend[i].second);
    }
    int y = kTop;
    for (const auto& [label, c] : rows) {
        svg += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"end\">%3</text>")
                   .arg(kLabel - 8)
                   .arg(y + 15)
                   .arg(Esc(label));
        double x = kLabel;
        const std::array<std::pair<int, const char*>, 3> parts{
            {{c.right, "#3a9a3a"}, {c.later, "#e0a020"}, {c.wrong, "#d03030"}}};
        for (const auto& [n, colour] : parts) {
            const double w = double(kBar) * n / most;
            if (n > 0)
                svg += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"18\" fill=\"%4\"/>")
                           .arg(x, 0, 'f', 1)
                           .arg(y)
                           .arg(w, 0, 'f', 1)
                           .arg(QLatin1String(colour));
            x += w;
        }
        svg += QStringLiteral("<text x=\"%1\" y=\"%2\" class=\"v\">%3</text>")
                   .arg(x + 6, 0, 'f', 1)
                   .arg(y + 15)
                   .arg(c.right + c.later + c.wrong);
        if (c.hints > 0)
            svg += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"6\" fill=\"#6a7fc0\"/>")
                       .arg(kLabel)
                       .arg(y + 21)
                       .arg(double(kBar) * c.hints / most, 0, 'f', 1);
        y += kRow;
    }
    svg += QStringLiteral("</svg>");
    return svg;
}

const char* const kStyle = R"(
body { font-family: sans-serif; margin: 2em; color: #222; }
h1 { font-size: 1.6em; } h2 { margin-top: 1.6em; border-bottom: 2px solid #ccc; } h3 { margin-bottom: .3em; }
table { border-collapse: collapse; margin: .5em 0 1em; }
th, td { border: 1px solid #bbb; padding: .25em .6em; }
th { background: #eef3ea; } td.n { text-align: right; font-variant-numeric: tabular-nums; }
tr.total td { font-weight: bold; background: #f6f6f6; }
svg text { font-size: 13px; font-family: sans-serif; } svg text.v { fill: #444; }
.note { color: #555; } .skipped, .warning { color: #a00; font-weight: bold; }
table.class th, table.class td { padding: .15em .4em; font-size: .9em; }
table.class td.c { text-align: center; white-space: nowrap; font-variant-numeric: tabular-nums; }
table.class td.c small { color: #333; }
table.class th.lv { writing-mode: horizontal-tb; white-space: nowrap; }
table.class td.who { white-space: nowrap; } table.class td.kinds { min-width: 16em; }
details { margin: .6em 0; } summary { font-size: 1.25em; font-weight: bold; cursor: pointer; padding: .2em 0; }
.legend span { display: inline-block; padding: 0 .5em; margin-right: .3em; }
@page { size: A4 landscape; margin: 8mm; }
@media print {
  body { margin: 0; font-size: 8pt; }
  h1 { font-size: 13pt; margin: 0 0 2pt; } .note { margin: 0 0 3pt; }
  section.class { break-after: page; }
  details:not([open]) { display: none; }
  section.class h2 { display: none; }
  table.class { margin: 0; width: 100%; }
  table.class th, table.class td { font-size: 8.5pt; padding: 0 3pt; line-height: 1.3; }
  table.class td.kinds { min-width: 0; white-space: nowrap; }
  * { -webkit-print-color-adjust: exact; print-color-adjust: exact; }
  svg { max-width: 100%; height: auto; }
}
)";

// With a roster, added to the style: the class's title is printed above its table.
const char* const kRosterStyle = R"(
table.class td.notyet { font-weight: bold; color: #a00; }
@media print { section.roster h2 { display: block; font-size: 11pt; margin: 0 0 2pt; border: 0; } }
)";

// Red through amber to green for a share of 0..1.
QString ShareColour(double share)
{
    return QStringLiteral("hsl(%1, 75%, 78%)").arg(int(share * 120 + 0.5));
}

// "分母どうしもたした 5" for the kinds of a pupil, at most two.
// A pupil's cell of one level: the share of right answers on its colour, blank where none.
QString LevelCell(const Counts* c)
{
    const double share = c ? RightShare(*c) : -1;
    if (share < 0)
        return QStringLiteral("<td class=\"c\"></td>");
    return QStringLiteral("<td class=\"c\" style=\"background:%1\">%2% <small>%3問</small></td>")
        .arg(ShareColour(share))
        .arg(int(share * 100 + 0.5))
        .arg(c->problems);
}

QString TopKinds(const std::vector<MistakeCount>* kinds)
{
    QStringList words;
    if (kinds)
        for (size_t i = 0; i < kinds->size() && words.size() < 2; ++i)
            if (!(*kinds)[i].kind.isEmpty())
                words << QStringLiteral("%1 %2").arg(Esc((*kinds)[i].kind)).arg((*kinds)[i].count);
    return words.join(QStringLiteral("、"));
}

QString ClassTable(const Summary& s)
{
    QString h = QStringLiteral("<section class=\"class\"><h2>クラス (the class)</h2>\n"
                               "<p class=\"note legend\">○の割合 (share right at once) と問題の数 (problems): "
                               "<span style=\"background:%1\">0%</span><span style=\"background:%2\">50%</span>"
                               "<span style=\"background:%3\">100%</span></p>\n")
                    .arg(ShareColour(0), ShareColour(0.5), ShareColour(1));
    h += QStringLiteral("<table class=\"class\"><tr><th>ログイン (login)</th>");
    for (const auto& [level, c] : s.byLevel)
        h += QStringLiteral("<th class=\"lv\">%1</th>").arg(Esc(LevelLabel(level)));
    h += QStringLiteral("<th>よくあるまちがい (typical mistakes)</th></tr>\n");
    for (const Pupil& p : Pupils(s)) {
        h += QStringLiteral("<tr><td class=\"who\">%1</td>").arg(Esc(p.name));
        const auto& levels = s.byGroup.at(p.group);
        for (const auto& [level, all] : s.byLevel) {
            const auto c = levels.find(level);
            h += LevelCell(c == levels.end() ? nullptr : &c->second);
        }
        const auto kinds = s.groupMistakes.find(p.group);
        h += QStringLiteral("<td class=\"kinds\">%1</td></tr>\n")
                 .arg(TopKinds(kinds == s.groupMistakes.end() ? nullptr : &kinds->second));
    }
    h += QStringLiteral("</table></section>\n");
    return h;
}

// "分母どうしもたした 5" for the kinds of a roster's row, at most two.
QString TopKinds(const std::vector<MistakeCount>& kinds)
{
    return TopKinds(&kinds);
}

// What the roster gave and what of it was left out, and its problems, none naming a pupil.
QString RosterNote(const Roster& r, int idle)
{
    QString h = QStringLiteral("<p class=\"note\">めいぼ (roster): 利用者 %1 人、クラス %2、在籍 %3 をよみました "
                               "(users, classes, enrollments taken)")
                    .arg(r.users())
                    .arg(r.classes())
                    .arg(r.enrollments());
    if (r.leftOut() > 0 || r.deleted() > 0)
        h += QStringLiteral("。のこした行 %1、tobedeleted %2 (rows left out)").arg(r.leftOut()).arg(r.deleted());
    if (idle > 0)
        h += QStringLiteral("。記録のない　クラス %1 は　のせていません (classes without records, not shown)").arg(idle);
    h += QStringLiteral(".</p>\n");
    if (!r.Usable())
        h += QStringLiteral("<p class=\"skipped\">めいぼを　つかえませんでした (the roster is not used).</p>\n");
    if (!r.Problems().isEmpty()) {
        h += QStringLiteral("<ul class=\"skipped\">");
        for (const QString& p : r.Problems())
            h += QStringLiteral("<li>%1</li>").arg(Esc(p));
        h += QStringLiteral("</ul>\n");
    }
    return h;
}

// The class table with a roster: a section per class, its pupils in 出席番号 order, those
// without a check in the period at the top.
QString RosterTables(const std::vector<ClassSection>& sections)
{
    QString h = QStringLiteral("<p class=\"note legend\">○の割合 (share right at once) と問題の数 (problems): "
                               "<span style=\"background:%1\">0%</span><span style=\"background:%2\">50%</span>"
                               "<span style=\"background:%3\">100%</span></p>\n")
                    .arg(ShareColour(0), ShareColour(0.5), ShareColour(1));
    for (const ClassSection& section : sections) {
        std::set<int> levels;
        for (const ClassRow& row : section.rows)
            for (const auto& [level, c] : row.levels)
                levels.insert(level);
        h += QStringLiteral("<section class=\"class roster\"><h2>%1</h2>\n<table class=\"class\"><tr><th>出席番号</th>"
                            "<th>なまえ（かな）</th>")
                 .arg(Esc(section.title));
        for (int level : levels)
            h += QStringLiteral("<th class=\"lv\">%1</th>").arg(Esc(LevelLabel(level)));
        h += QStringLiteral("<th>よくあるまちがい (typical mistakes)</th></tr>\n");
        for (const ClassRow& row : section.rows) {
            h += QStringLiteral("<tr><td class=\"n\">%1</td><td class=\"who\">%2</td>")
                     .arg(row.number > 0 ? QString::number(row.number) : QString(), Esc(row.name));
            if (!row.checked && section.listed) {
                h += QStringLiteral("<td class=\"notyet\" colspan=\"%1\">まだ　していません</td></tr>\n")
                         .arg(levels.size() + 1);
                continue;
            }
            for (int level : levels) {
                const auto c = row.levels.find(level);
                h += LevelCell(c == row.levels.end() ? nullptr : &c->second);
            }
            h += QStringLiteral("<td class=\"kinds\">%1</td></tr>\n").arg(TopKinds(row.kinds));
        }
        h += QStringLiteral("</table></section>\n");
    }
    return h;
}

QString MistakeTables(const Summary& s)
{
    QString h;
    for (const auto& [level, kinds] : s.mistakeKinds) {
        int total = 0;
        for (const MistakeCount& m : kinds)
            total += m.count;
        h += QStringLiteral("<h3>%1</h3>\n<table><tr><th>まちがいのしゅるい</th><th>回数 times</th><th>割合 share</th>"
                            "<th>例 examples</th></tr>\n")
                 .arg(Esc(LevelLabel(level)));
        for (const MistakeCount& m : kinds) {
            QStringList examples;
            for (const WrongAnswer& w : m.examples)
                examples << QStringLiteral("%1 → %2").arg(Esc(w.problem), Esc(w.answer));
            h += QStringLiteral("<tr><td>%1</td><td class=\"n\">%2</td><td class=\"n\">%3%</td><td>%4</td></tr>\n")
                     .arg(m.kind.isEmpty() ? QStringLiteral("—") : Esc(m.kind))
                     .arg(m.count)
                     .arg(int(100.0 * m.count / std::max(total, 1) + 0.5))
                     .arg(examples.join(QStringLiteral("<br>")));
        }
        h += QStringLiteral("</table>\n");
    }
    return h;
}

} // namespace

QString Html(const Summary& s, const QString& title, const QString& warning)
{
    QString h;
    h += QStringLiteral("<!DOCTYPE html>\n<html lang=\"ja\"><head><meta charset=\"utf-8\"><title>%1</title>"
                        "<style>%2</style></head><body>\n")
             .arg(Esc(title), QLatin1String(kStyle));
    h += QStringLiteral("<h1>%1</h1>\n").arg(Esc(title));
    if (!warning.isEmpty())
        h += QStringLiteral("<p class=\"warning\">%1</p>\n").arg(Esc(warning));
    h += QStringLiteral("<p class=\"note\">記録ファイル %1 こ、行 %2 (record files, rows). "
                        "○ = 1回目で正解 (right at once), △ = 2回目からで正解 (right later), "
                        "× = 3回まちがえた問題 (wrong three times).</p>\n")
             .arg(s.files)
             .arg(s.rows);
    if (s.skipped > 0)
        h += QStringLiteral("<p class=\"skipped\">読めなかった行 (rows skipped as unreadable): %1</p>\n").arg(s.skipped);
    for (const QString& u : s.unreadable)
        h += QStringLiteral("<p class=\"skipped\">開けなかったファイル (could not open): %1</p>\n").arg(Esc(u));

    int idle = 0;
    const std::vector<ClassSection> sections = RosterSections(s, &idle);
    if (s.roster)
        h += RosterNote(*s.roster, idle);
    if (!sections.empty())
        h += QStringLiteral("<style>%1</style>\n").arg(QLatin1String(kRosterStyle));
    h += sections.empty() ? ClassTable(s) : RosterTables(sections);

    // Per level, the whole class
    h += QStringLiteral("<details><summary>レベルごと (per level)</summary>\n");
    std::vector<std::pair<QString, Counts>> levelRows;
    h += QStringLiteral("<table><tr><th>レベル</th>%1</tr>\n").arg(kCountHeads);
    Counts all;
    for (const auto& [level, c] : s.byLevel) {
        h += QStringLiteral("<tr><td>%1</td>%2</tr>\n").arg(Esc(LevelLabel(level)), Cells(c));
        levelRows.emplace_back(LevelLabel(level), c);
        all += c;
    }
    h += QStringLiteral("<tr class=\"total\"><td>ぜんぶ (all)</td>%1</tr></table>\n").arg(Cells(all));
    h += Chart(levelRows);
    h += QStringLiteral("</details>\n");

    // Kinds of mistakes per level
    h += QStringLiteral("<details><summary>まちがいのしゅるい (kinds of mistakes per level)</summary>\n");
    if (s.mistakeKinds.empty())
        h += QStringLiteral("<p class=\"note\">まちがいはありません (no wrong answers).</p>\n");
    h += MistakeTables(s);
    h += QStringLiteral("</details>\n");

    // Per computer and login
    h += QStringLiteral("<details><summary>コンピューター・ログインごと (per computer and login)</summary>\n");
    std::vector<std::pair<QString, Counts>> groupRows;
    for (const auto& [group, levels] : s.byGroup) {
        h += QStringLiteral("<h3>%1</h3>\n<table><tr><th>レベル</th>%2</tr>\n").arg(Esc(GroupLabel(s, group)), kCountHeads);
        Counts total;
        for (const auto& [level, c] : levels) {
            h += QStringLiteral("<tr><td>%1</td>%2</tr>\n").arg(Esc(LevelLabel(level)), Cells(c));
            total += c;
        }
        h += QStringLiteral("<tr class=\"total\"><td>ぜんぶ (all)</td>%1</tr></table>\n").arg(Cells(total));
        groupRows.emplace_back(GroupLabel(s, group), total);
    }
    if (!groupRows.empty())
        h += Chart(groupRows);
    h += QStringLiteral("</details>\n");

    // Wrong answers
    h += QStringLiteral("<details><summary>よくあるまちがい (most frequent wrong answers)</summary>\n");
    if (s.wrongAnswers.empty())
        h += QStringLiteral("<p class=\"note\">まちがいはありません (no wrong answers).</p>\n");
    for (const auto& [level, list] : s.wrongAnswers) {
        h += QStringLiteral("<h3>%1</h3>\n<table><tr><th>問題 problem</th><th>答え answer</th><th>回数 times</th>"
                            "<th>まちがいのしゅるい</th></tr>\n")
                 .arg(Esc(LevelLabel(level)));
        for (size_t i = 0; i < list.size() && i < size_t(kWrongAnswersShown); ++i)
            h += QStringLiteral("<tr><td>%1</td><td>%2</td><td class=\"n\">%3</td><td>%4</td></tr>\n")
                     .arg(Esc(list[i].problem), Esc(list[i].answer))
                     .arg(list[i].count)
                     .arg(Esc(list[i].kind));
        h += QStringLiteral("</table>\n");
    }
    h += QStringLiteral("</details>\n");
    h += QStringLiteral("</body></html>\n");
    return h;
}

} // namespace report
