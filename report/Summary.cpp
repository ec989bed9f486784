// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/Summary.h"

#include "record/Csv.h"
#include "record/Row.h"
#include "report/Roster.h"
#include "shell/Texts.h"

#include <QCollator>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <array>

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

} // namespace

struct SummaryBuilder::Accumulator
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
    // Rows older than this (its local time as the record writes it) are left out; empty: none.
    QString since;
    // The checks read from record files, so that the same checks read back from a store, where
    // the program sent them too, count once.
    QSet<size_t> fileChecks;
    bool readingFile = false;
    // With a usable roster, the rows' pupils and classes; a row's class is of its day.
    std::shared_ptr<const Roster> roster;
    QString currentDay;

    // The computer and login of the rows being read, with their places in the tallies.
    Who* current = nullptr;
    std::map<int, Counts>* counts = nullptr;
    std::map<int, QSet<int>>* fileProblems = nullptr;
    QHash<QString, int>* kinds = nullptr;
    quint64 groupNumber = 0;

    void addText(QStringView text, const QString& pupil);
    // False for a row to leave out: older than `since`, or a store's row of a check the
    // record files had.
    template<class Field> bool wanted(const Field& field);
    // One row of the run being read; `field` gives a column's text.
    template<class Field> void addRow(const Field& field);
    void endFile();
    Summary finish();
};

namespace {

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

} // namespace

template<class Field> bool SummaryBuilder::Accumulator::wanted(const Field& field)
{
    // The record's moments ("yyyy-MM-dd HH:mm:ss") sort as text.
    if (!since.isEmpty() && field(record::When) < since)
        return false;
    const size_t key = qHashMulti(0, field(record::When), field(record::Computer), field(record::Login),
                                  field(record::Level), field(record::Serial), field(record::Try),
                                  field(record::Kind), field(record::Outcome));
    if (readingFile) {
        fileChecks.insert(key);
        return true;
    }
    return !fileChecks.contains(key);
}

void SummaryBuilder::Accumulator::addText(QStringView text, const QString& pupil)
{
    ++summary.files;
    readingFile = true;
    std::array<int, record::ColumnCount> at{};
    at.fill(-1);
    bool header = false, usable = false;
    size_t width = 0;
    const QString none;
    QStringList out;
    current = nullptr;
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
            const QString& value = i >= 0 ? f[size_t(i)] : none;
            return c == record::Login && value.isEmpty() && !pupil.isEmpty() ? pupil : value;
        };
        if (!wanted(field)) {
            --summary.rows;
            return;
        }
        if (sink) {
            out.clear();
            for (int c = 0; c < record::ColumnCount; ++c)
                out << field(record::Column(c));
            sink(out);
        }
        addRow(field);
    });
    readingFile = false;
    endFile();
}

template<class Field> void SummaryBuilder::Accumulator::addRow(const Field& field)
{
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
    // With a roster, a login's class may change with the school year, so with the day too.
    const QStringView day = QStringView(field(record::When)).left(10);
    if (!current || field(record::Computer) != current->computer || field(record::Login) != current->login
        || (roster && day != currentDay)) {
        Who who{field(record::Computer), field(record::Login)};
        QString group = who.computer + QStringLiteral(" / ") + who.login;
        if (roster) {
            currentDay = day.toString();
            const Roster::Place p = roster->Find(who.login, day);
            who.user = p.user;
            who.klass = p.klass;
            if (p.klass >= 0)
                group += QStringLiteral("\x1f") + QString::number(p.klass);
        }
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
        current->checked = true;
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
}

void SummaryBuilder::Accumulator::endFile()
{
    for (auto& [group, levels] : problems)
        for (auto& [level, serials] : levels)
            summary.byGroup[group][level].problems += int(serials.size());
    problems.clear();
    wrongChecks.clear();
}

namespace {

bool MoreFrequent(const MistakeCount& a, const MistakeCount& b)
{
    if (a.count != b.count)
        return a.count > b.count;
    return a.kind < b.kind;
}

} // namespace

Summary SummaryBuilder::Accumulator::finish()
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
    summary.roster = roster;
    return std::move(summary);
}

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

QString GroupLabel(const Summary& s, const QString& group)
{
    const auto w = s.who.find(group);
    if (w == s.who.end())
        return group;
    const Who& who = w->second;
    QString label = who.computer + QStringLiteral(" / ") + who.login;
    if (s.roster && who.klass >= 0)
        label += QStringLiteral(" (%1)").arg(s.roster->Classes().at(size_t(who.klass)).title);
    return label;
}

std::vector<ClassSection> RosterSections(const Summary& s, int* idle)
{
    std::vector<ClassSection> sections;
    if (idle)
        *idle = 0;
    if (!s.roster || !s.roster->Usable())
        return sections;
    const Roster& roster = *s.roster;
    // Per class and user, the groups of their rows (a pupil may use several computers).
    std::map<std::pair<int, int>, std::vector<QString>> enrolled;
    std::vector<Pupil> unlisted;
    QSet<QString> inClass;
    for (const auto& [group, who] : s.who)
        if (s.byGroup.count(group) && who.klass >= 0) {
            enrolled[{who.klass, who.user}].push_back(group);
            inClass.insert(group);
        }
    for (const Pupil& p : Pupils(s))
        if (!inClass.contains(p.group))
            unlisted.push_back(p);
    const auto rowOf = [&](const std::vector<QString>& groups, ClassRow& row) {
        QHash<QString, int> kinds;
        for (const QString& g : groups) {
            row.checked = row.checked || s.who.at(g).checked;
            for (const auto& [level, c] : s.byGroup.at(g))
                row.levels[level] += c;
            if (const auto m = s.groupMistakes.find(g); m != s.groupMistakes.end())
                for (const MistakeCount& k : m->second)
                    kinds[k.kind] += k.count;
        }
        for (auto it = kinds.cbegin(); it != kinds.cend(); ++it)
            row.kinds.push_back({it.key(), it.value(), {}});
        std::sort(row.kinds.begin(), row.kinds.end(), MoreFrequent);
    };
    std::vector<int> classes;
    for (size_t k = 0; k < roster.Classes().size(); ++k) {
        const Roster::Class& c = roster.Classes()[k];
        if (!c.homeroom)
            continue;
        const auto first = enrolled.lower_bound({int(k), -1});
        if (first != enrolled.end() && first->first.first == int(k))
            classes.push_back(int(k));
        else if (idle && !c.pupils.empty())
            ++*idle;
    }
    QCollator titles(QLocale(QLocale::Japanese));
    titles.setNumericMode(true);
    std::stable_sort(classes.begin(), classes.end(), [&](int a, int b) {
        return titles.compare(roster.Classes()[size_t(a)].title, roster.Classes()[size_t(b)].title) < 0;
    });
    for (int k : classes) {
        const Roster::Class& c = roster.Classes()[size_t(k)];
        ClassSection section{c.title, true, {}};
        std::vector<ClassRow> done;
        for (const Roster::Member& m : c.pupils) {
            ClassRow row{m.number, roster.DisplayName(m.user), false, {}, {}};
            if (const auto g = enrolled.find({k, m.user}); g != enrolled.end())
                rowOf(g->second, row);
            (row.checked ? done : section.rows).push_back(std::move(row));
        }
        for (ClassRow& row : done)
            section.rows.push_back(std::move(row));
        sections.push_back(std::move(section));
    }
    if (!unlisted.empty()) {
        ClassSection section{QStringLiteral("めいぼに　ない　人"), false, {}};
        for (const Pupil& p : unlisted) {
            ClassRow row{0, p.name, false, {}, {}};
            rowOf({p.group}, row);
            section.rows.push_back(std::move(row));
        }
        sections.push_back(std::move(section));
    }
    return sections;
}

SummaryBuilder::SummaryBuilder(RowSink rows) : acc_(std::make_unique<Accumulator>())
{
    acc_->sink = std::move(rows);
}

SummaryBuilder::~SummaryBuilder() = default;

void SummaryBuilder::AddText(QStringView text, const QString& pupil)
{
    acc_->addText(text, pupil);
}

void SummaryBuilder::AddRun(const std::vector<QStringList>& rows)
{
    Accumulator& a = *acc_;
    a.current = nullptr;
    const QString none;
    for (const QStringList& f : rows) {
        if (f.size() != record::ColumnCount) {
            ++a.summary.rows;
            ++a.summary.skipped;
            continue;
        }
        const auto field = [&](record::Column c) -> const QString& { return f[c]; };
        if (!a.wanted(field))
            continue;
        ++a.summary.rows;
        if (a.sink)
            a.sink(f);
        a.addRow(field);
    }
    a.endFile();
}

void SummaryBuilder::SetSince(const QDateTime& since)
{
    acc_->since = since.isValid() ? since.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString();
}

void SummaryBuilder::SetRoster(std::shared_ptr<const Roster> roster)
{
    acc_->current = nullptr;
    acc_->roster = roster && roster->Usable() ? std::move(roster) : nullptr;
}

void SummaryBuilder::AddUnreadable(const QString& input)
{
    acc_->summary.unreadable << input;
}

Summary SummaryBuilder::Finish()
{
    return acc_->finish();
}

Summary SummarizeTexts(const QStringList& texts)
{
    SummaryBuilder b;
    for (const QString& t : texts)
        b.AddText(t);
    return b.Finish();
}

Summary Summarize(const QStringList& inputs, const RowSink& rows, const RunSource& more, const QDateTime& since,
                  std::shared_ptr<const Roster> roster)
{
    QStringList files;
    SummaryBuilder b(rows);
    b.SetSince(since);
    b.SetRoster(roster);
    // The page tells of an unusable roster's problems all the same.
    const std::shared_ptr<const Roster> given = roster;
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
    for (const QString& name : files) {
        QFile f(name);
        if (!f.open(QIODevice::ReadOnly)) {
            b.AddUnreadable(name);
            continue;
        }
        b.AddText(QString::fromUtf8(f.readAll()), QFileInfo(name).completeBaseName());
    }
    if (more)
        more(b);
    Summary s = b.Finish();
    s.roster = given;
    return s;
}

} // namespace report
