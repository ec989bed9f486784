// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/Report.h"

#include "record/Csv.h"
#include "record/Recorder.h"
#include "shell/Texts.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <array>
#include <cstdio>

namespace report {

Counts& Counts::operator+=(const Counts& o)
{
    problems += o.problems;
    right += o.right;
    later += o.later;
    wrong += o.wrong;
    hints += o.hints;
    return *this;
}

namespace {

using WrongKey = std::pair<QString, QString>;   // problem, answer

struct Accumulator
{
    Summary summary;
    std::map<QString, std::map<int, QSet<quint64>>> problems;
    std::map<int, QHash<WrongKey, int>> wrong;
    // The checks already counted among the wrong answers: a notice before the × of the
    // same check must not count its answer twice.
    QSet<QPair<QString, quint64>> wrongChecks;
    int fileIndex = 0;

    void addText(QStringView text);
    Summary finish();
};

bool ReadInt(const QString& text, int low, int high, int* value)
{
    bool ok = false;
    *value = text.toInt(&ok);
    return ok && *value >= low && *value <= high;
}

void Accumulator::addText(QStringView text)
{
    ++summary.files;
    ++fileIndex;
    std::array<int, record::ColumnCount> at{};
    at.fill(-1);
    bool header = false;
    size_t width = 0;
    csv::Parse(text, [&](const std::vector<QString>& f, bool broken) {
        if (!header) {
            // The first row names the columns; a file without it is not a record.
            header = true;
            for (size_t i = 0; i < f.size(); ++i) {
                const qsizetype c = record::Header().indexOf(f[i]);
                if (c >= 0)
                    at[size_t(c)] = int(i);
            }
            width = f.size();
            if (broken || std::count(at.begin(), at.end(), -1) > 0) {
                at.fill(-1);
                ++summary.rows;
                ++summary.skipped;
            }
            return;
        }
        ++summary.rows;
        if (broken || at[0] < 0 || f.size() != width) {
            ++summary.skipped;
            return;
        }
        const auto field = [&](record::Column c) -> const QString& { return f[size_t(at[size_t(c)])]; };
        int level = 0, tryNo = 0, serial = 0;
        const QString& kind = field(record::Kind);
        const QString& outcome = field(record::Outcome);
        const bool check = kind == record::KindCheck || kind == record::KindButton;
        const bool hint = kind == record::KindHint;
        if (!ReadInt(field(record::Level), 1, 22, &level) || !ReadInt(field(record::Try), 1, 1000000, &tryNo)
            || !ReadInt(field(record::Serial), 1, 1 << 30, &serial) || !(check || hint || kind == record::KindMessage)
            || (check && outcome != record::Right && outcome != record::RightLater && outcome != record::Wrong)) {
            ++summary.skipped;
            return;
        }
        const QString group = field(record::Computer) + QStringLiteral(" / ") + field(record::Login);
        Counts& c = summary.byGroup[group][level];
        if (check || hint)
            problems[group][level].insert(quint64(fileIndex) << 32 | quint64(serial));
        if (check) {
            if (outcome == record::Right)
                ++c.right;
            else if (outcome == record::RightLater)
                ++c.later;
            else if (tryNo >= 3)
                ++c.wrong;
        }
        if (hint)
            ++c.hints;
        const QPair<QString, quint64> checkKey{
            group, quint64(fileIndex) << 44 | quint64(serial) << 12 | quint64(std::min(tryNo, 4095))};
        if ((hint || (check && outcome == record::Wrong)) && !wrongChecks.contains(checkKey)) {
            wrongChecks.insert(checkKey);
            ++wrong[level][{field(record::ProblemWords), field(record::Answer)}];
        }
    });
}

Summary Accumulator::finish()
{
    for (auto& [group, levels] : summary.byGroup)
        for (auto& [level, counts] : levels) {
            counts.problems = int(problems[group][level].size());
            summary.byLevel[level] += counts;
        }
    for (auto& [level, answers] : wrong) {
        std::vector<WrongAnswer>& list = summary.wrongAnswers[level];
        for (auto it = answers.cbegin(); it != answers.cend(); ++it)
            list.push_back({it.key().first, it.key().second, it.value()});
        std::sort(list.begin(), list.end(), [](const WrongAnswer& a, const WrongAnswer& b) {
            if (a.count != b.count)
                return a.count > b.count;
            return std::tie(a.problem, a.answer) < std::tie(b.problem, b.answer);
        });
    }
    return std::move(summary);
}

QString Esc(const QString& text)
{
    return text.toHtmlEscaped();
}

QString LevelLabel(int level)
{
    return QStringLiteral("%1年 %2").arg(level <= 10 ? 3 : 4).arg(texts::LevelNames.at(size_t(level - 1)).left(3));
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
.note { color: #555; } .skipped { color: #a00; font-weight: bold; }
)";

} // namespace

Summary SummarizeTexts(const QStringList& texts)
{
    Accumulator acc;
    for (const QString& t : texts)
        acc.addText(t);
    return acc.finish();
}

Summary Summarize(const QStringList& inputs)
{
    QStringList files;
    QStringList unreadable;
    for (const QString& input : inputs) {
        const QFileInfo info(input);
        if (info.isDir()) {
            QStringList found;
            QDirIterator it(input, {QStringLiteral("*.csv")}, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext())
                found << it.next();
            found.sort();
            files << found;
        } else {
            files << input;
        }
    }
    Accumulator acc;
    for (const QString& name : files) {
        QFile f(name);
        if (!f.open(QIODevice::ReadOnly)) {
            unreadable << name;
            continue;
        }
        acc.addText(QString::fromUtf8(f.readAll()));
    }
    Summary s = acc.finish();
    s.unreadable = unreadable;
    return s;
}

QString Html(const Summary& s, const QString& title)
{
    QString h;
    h += QStringLiteral("<!DOCTYPE html>\n<html lang=\"ja\"><head><meta charset=\"utf-8\"><title>%1</title>"
                        "<style>%2</style></head><body>\n")
             .arg(Esc(title), QLatin1String(kStyle));
    h += QStringLiteral("<h1>%1</h1>\n").arg(Esc(title));
    h += QStringLiteral("<p class=\"note\">記録ファイル %1 こ、行 %2 (record files, rows). "
                        "○ = 1回目で正解 (right at once), △ = 2回目からで正解 (right later), "
                        "× = 3回まちがえた問題 (wrong three times).</p>\n")
             .arg(s.files)
             .arg(s.rows);
    if (s.skipped > 0)
        h += QStringLiteral("<p class=\"skipped\">読めなかった行 (rows skipped as unreadable): %1</p>\n").arg(s.skipped);
    for (const QString& u : s.unreadable)
        h += QStringLiteral("<p class=\"skipped\">開けなかったファイル (could not open): %1</p>\n").arg(Esc(u));

    // Per level, the whole class
    h += QStringLiteral("<h2>レベルごと (per level)</h2>\n");
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

    // Per computer and login
    h += QStringLiteral("<h2>コンピューター・ログインごと (per computer and login)</h2>\n");
    std::vector<std::pair<QString, Counts>> groupRows;
    for (const auto& [group, levels] : s.byGroup) {
        h += QStringLiteral("<h3>%1</h3>\n<table><tr><th>レベル</th>%2</tr>\n").arg(Esc(group), kCountHeads);
        Counts total;
        for (const auto& [level, c] : levels) {
            h += QStringLiteral("<tr><td>%1</td>%2</tr>\n").arg(Esc(LevelLabel(level)), Cells(c));
            total += c;
        }
        h += QStringLiteral("<tr class=\"total\"><td>ぜんぶ (all)</td>%1</tr></table>\n").arg(Cells(total));
        groupRows.emplace_back(group, total);
    }
    if (!groupRows.empty())
        h += Chart(groupRows);

    // Wrong answers
    h += QStringLiteral("<h2>よくあるまちがい (most frequent wrong answers)</h2>\n");
    if (s.wrongAnswers.empty())
        h += QStringLiteral("<p class=\"note\">まちがいはありません (no wrong answers).</p>\n");
    for (const auto& [level, list] : s.wrongAnswers) {
        h += QStringLiteral("<h3>%1</h3>\n<table><tr><th>問題 problem</th><th>答え answer</th><th>回数 times</th></tr>\n")
                 .arg(Esc(LevelLabel(level)));
        for (size_t i = 0; i < list.size() && i < size_t(kWrongAnswersShown); ++i)
            h += QStringLiteral("<tr><td>%1</td><td>%2</td><td class=\"n\">%3</td></tr>\n")
                     .arg(Esc(list[i].problem), Esc(list[i].answer))
                     .arg(list[i].count);
        h += QStringLiteral("</table>\n");
    }
    h += QStringLiteral("</body></html>\n");
    return h;
}

int Run(const QStringList& inputs, const QString& output)
{
    const Summary s = Summarize(inputs);
    for (const QString& u : s.unreadable)
        std::fprintf(stderr, "porome: cannot read %s\n", qPrintable(u));
    QFile out(output);
    const QByteArray page = Html(s, QStringLiteral("ポロメ 学習の記録 (learning record)")).toUtf8();
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(page) != page.size() || !out.flush()) {
        std::fprintf(stderr, "porome: cannot write %s: %s\n", qPrintable(output), qPrintable(out.errorString()));
        return 1;
    }
    std::printf("porome: %d rows from %d files, %d skipped; report written to %s\n", s.rows, s.files, s.skipped,
                qPrintable(output));
    return s.files == 0 ? 1 : 0;
}

} // namespace report
