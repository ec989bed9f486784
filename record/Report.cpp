// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/Report.h"

#include "record/Csv.h"
#include "record/Recorder.h"
#include "shell/Texts.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryFile>

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

struct WrongCount
{
    int count = 0;
    QString kind;
};

struct Accumulator
{
    Summary summary;
    RowSink sink;
    // The problems of the file being read, per group and level, counted when it ends: a
    // record's serials are its own, so no file needs the problems of another.
    std::map<QString, std::map<int, QSet<int>>> problems;
    std::map<int, QHash<WrongKey, WrongCount>> wrong;
    std::map<QString, QHash<QString, int>> groupKinds;
    // The checks of the file already counted among the wrong answers, by group number,
    // serial and try: a notice before the × of the same check must not count its answer twice.
    QSet<quint64> wrongChecks;
    QHash<QString, quint64> groupNumbers;

    void addText(QStringView text);
    void endFile();
    Summary finish();
};

bool ReadInt(const QString& text, int low, int high, int* value)
{
    bool ok = false;
    *value = text.toInt(&ok);
    return ok && *value >= low && *value <= high;
}

// Columns a record may lack: those added after the first version of the file.
bool Optional(int column)
{
    return column == record::Mistake;
}

void Accumulator::addText(QStringView text)
{
    ++summary.files;
    std::array<int, record::ColumnCount> at{};
    at.fill(-1);
    bool header = false, usable = false;
    size_t width = 0;
    const QString none;
    QStringList out;
    // The computer and login of the rows being read, with their places in the tallies.
    const Who* current = nullptr;
    std::map<int, Counts>* counts = nullptr;
    std::map<int, QSet<int>>* fileProblems = nullptr;
    QHash<QString, int>* kinds = nullptr;
    quint64 groupNumber = 0;
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
            usable = !broken;
            for (int c = 0; c < record::ColumnCount; ++c)
                usable = usable && (at[size_t(c)] >= 0 || Optional(c));
            if (!usable) {
                ++summary.rows;
                ++summary.skipped;
            }
            return;
        }
        ++summary.rows;
        if (broken || !usable || f.size() != width) {
            ++summary.skipped;
            return;
        }
        const auto field = [&](record::Column c) -> const QString& {
            const int i = at[size_t(c)];
            return i >= 0 ? f[size_t(i)] : none;
        };
        if (sink) {
            out.clear();
            for (int c = 0; c < record::ColumnCount; ++c)
                out << field(record::Column(c));
            sink(out);
        }
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
        // A file's rows are mostly of one computer and login: its group is looked up once.
        if (!current || field(record::Computer) != current->computer || field(record::Login) != current->login) {
            const Who who{field(record::Computer), field(record::Login)};
            const QString group = who.computer + QStringLiteral(" / ") + who.login;
            current = &summary.who.try_emplace(group, who).first->second;
            counts = &summary.byGroup[group];
            fileProblems = &problems[group];
            kinds = &groupKinds[group];
            groupNumber = groupNumbers.value(group, quint64(groupNumbers.size()));
            groupNumbers.insert(group, groupNumber);
        }
        Counts& c = (*counts)[level];
        if (check || hint)
            (*fileProblems)[level].insert(serial);
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
        const quint64 checkKey = groupNumber << 44 | quint64(serial) << 12 | quint64(std::min(tryNo, 4095));
        if ((hint || (check && outcome == record::Wrong)) && !wrongChecks.contains(checkKey)) {
            wrongChecks.insert(checkKey);
            const QString& mistake = field(record::Mistake);
            WrongCount& w = wrong[level][{field(record::ProblemWords), field(record::Answer)}];
            ++w.count;
            if (w.kind.isEmpty())
                w.kind = mistake;
            ++(*kinds)[mistake];
        }
    });
    endFile();
}

void Accumulator::endFile()
{
    for (auto& [group, levels] : problems)
        for (auto& [level, serials] : levels)
            summary.byGroup[group][level].problems += int(serials.size());
    problems.clear();
    wrongChecks.clear();
}

bool MoreFrequent(const MistakeCount& a, const MistakeCount& b)
{
    if (a.count != b.count)
        return a.count > b.count;
    return a.kind < b.kind;
}

Summary Accumulator::finish()
{
    for (auto& [group, levels] : summary.byGroup)
        for (auto& [level, counts] : levels)
            summary.byLevel[level] += counts;
    for (auto& [level, answers] : wrong) {
        std::vector<WrongAnswer>& list = summary.wrongAnswers[level];
        for (auto it = answers.cbegin(); it != answers.cend(); ++it)
            list.push_back({it.key().first, it.key().second, it.value().count, it.value().kind});
        std::sort(list.begin(), list.end(), [](const WrongAnswer& a, const WrongAnswer& b) {
            if (a.count != b.count)
                return a.count > b.count;
            return std::tie(a.problem, a.answer) < std::tie(b.problem, b.answer);
        });
        // Grouped by kind; the list is most frequent first, so the first two of a kind are
        // its examples.
        std::vector<MistakeCount>& kinds = summary.mistakeKinds[level];
        for (const WrongAnswer& w : list) {
            auto k = std::find_if(kinds.begin(), kinds.end(), [&](const MistakeCount& m) { return m.kind == w.kind; });
            if (k == kinds.end())
                k = kinds.insert(kinds.end(), MistakeCount{w.kind, 0, {}});
            k->count += w.count;
            if (k->examples.size() < 2)
                k->examples.push_back(w);
        }
        std::sort(kinds.begin(), kinds.end(), MoreFrequent);
    }
    for (auto& [group, kinds] : groupKinds) {
        std::vector<MistakeCount>& list = summary.groupMistakes[group];
        for (auto it = kinds.cbegin(); it != kinds.cend(); ++it)
            list.push_back({it.key(), it.value(), {}});
        std::sort(list.begin(), list.end(), MoreFrequent);
    }
    return std::move(summary);
}

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
.note { color: #555; } .skipped { color: #a00; font-weight: bold; }
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
  table.class td.kinds { min-width: 0; }
  * { -webkit-print-color-adjust: exact; print-color-adjust: exact; }
  svg { max-width: 100%; height: auto; }
}
)";

// Red through amber to green for a share of 0..1.
QString ShareColour(double share)
{
    return QStringLiteral("hsl(%1, 75%, 78%)").arg(int(share * 120 + 0.5));
}

// "分母どうしもたした 5" for the kinds of a pupil, at most two.
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
            const double share = c == levels.end() ? -1 : RightShare(c->second);
            if (share < 0)
                h += QStringLiteral("<td class=\"c\"></td>");
            else
                h += QStringLiteral("<td class=\"c\" style=\"background:%1\">%2% <small>%3問</small></td>")
                         .arg(ShareColour(share))
                         .arg(int(share * 100 + 0.5))
                         .arg(c->second.problems);
        }
        const auto kinds = s.groupMistakes.find(p.group);
        h += QStringLiteral("<td class=\"kinds\">%1</td></tr>\n")
                 .arg(TopKinds(kinds == s.groupMistakes.end() ? nullptr : &kinds->second));
    }
    h += QStringLiteral("</table></section>\n");
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

QString LevelLabel(int level)
{
    return QStringLiteral("%1年 %2").arg(level <= 10 ? 3 : 4).arg(texts::LevelNames.at(size_t(level - 1)).left(3));
}

double RightShare(const Counts& c)
{
    return c.problems > 0 ? double(c.right) / c.problems : -1;
}

std::vector<Pupil> Pupils(const Summary& s)
{
    QHash<QString, int> computers;   // login -> computers it was used on
    for (const auto& [group, who] : s.who)
        ++computers[who.login];
    std::vector<Pupil> pupils;
    for (const auto& [group, who] : s.who)
        if (s.byGroup.count(group))
            pupils.push_back({computers.value(who.login) > 1 ? QStringLiteral("%1 (%2)").arg(who.login, who.computer)
                                                             : who.login,
                              group});
    std::sort(pupils.begin(), pupils.end(), [](const Pupil& a, const Pupil& b) { return a.name < b.name; });
    return pupils;
}

Summary SummarizeTexts(const QStringList& texts)
{
    Accumulator acc;
    for (const QString& t : texts)
        acc.addText(t);
    return acc.finish();
}

Summary Summarize(const QStringList& inputs, const RowSink& rows)
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
    acc.sink = rows;
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

    h += ClassTable(s);

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

int Run(const QStringList& inputs, const QString& output)
{
    Summary s;
    QString error;
    bool written = false;
    if (output.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive)) {
        written = WriteWorkbook(inputs, output, &s, &error);
    } else {
        s = Summarize(inputs);
        QFile out(output);
        const QByteArray page = Html(s, QStringLiteral("ポロメ 学習の記録 (learning record)")).toUtf8();
        written = out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(page) == page.size() && out.flush();
        if (!written)
            error = out.errorString();
    }
    for (const QString& u : s.unreadable)
        std::fprintf(stderr, "porome: cannot read %s\n", qPrintable(u));
    if (!written) {
        std::fprintf(stderr, "porome: cannot write %s: %s\n", qPrintable(output), qPrintable(error));
        return 1;
    }
    std::printf("porome: %d rows from %d files, %d skipped; report written to %s\n", s.rows, s.files, s.skipped,
                qPrintable(output));
    return s.files == 0 ? 1 : 0;
}

QString DroppedReportFolder(const QStringList& inputs)
{
    const QFileInfo first(inputs.value(0));
    const QString folder = first.isDir() ? first.absoluteFilePath() : first.absolutePath();
    // Whether a file can be made there, tried rather than read from the permissions, which
    // do not tell on every system.
    QTemporaryFile probe(folder + QStringLiteral("/porome-XXXXXX.tmp"));
    if (probe.open())
        return folder;
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

QString RunDropped(const QStringList& inputs)
{
    const QString folder = DroppedReportFolder(inputs);
    QDir().mkpath(folder);
    const QString page = QDir(folder).filePath(QStringLiteral("porome-report.html"));
    QFile::remove(page);
    // A page without records still says so, and is shown.
    Run(inputs, page);
    if (!QFile::exists(page))
        return {};
    Run(inputs, QDir(folder).filePath(QStringLiteral("porome-report.xlsx")));
    return page;
}

} // namespace report
