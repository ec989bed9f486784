// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/Summary.h"

#include "record/Csv.h"
#include "record/Row.h"
#include "shell/Texts.h"

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

    // The computer and login of the rows being read, with their places in the tallies.
    const Who* current = nullptr;
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

Summary Summarize(const QStringList& inputs, const RowSink& rows, const RunSource& more, const QDateTime& since)
{
    QStringList files;
    SummaryBuilder b(rows);
    b.SetSince(since);
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
    return b.Finish();
}

} // namespace report
