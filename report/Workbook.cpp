// SPDX-License-Identifier: GPL-3.0-or-later
// The report as a workbook, written with libxlsxwriter in its constant-memory mode: each
// sheet's rows go to a temporary file as they are written, so the 記録 sheet takes every row
// of the records while they are read, and the summary sheets follow when all are read.
#include "record/Row.h"
#include "report/Report.h"

#include <QByteArray>

#ifdef POROME_HAVE_XLSXWRITER
#include <xlsxwriter.h>
#endif

namespace report {

#ifdef POROME_HAVE_XLSXWRITER

namespace {

class Sheet
{
public:
    Sheet(lxw_workbook* book, const char* name) : ws_(workbook_add_worksheet(book, name)) {}
    lxw_worksheet* get() const { return ws_; }
    void Text(lxw_row_t r, lxw_col_t c, const QString& text, lxw_format* f = nullptr)
    {
        if (text.isEmpty() && !f)
            return;
        const QByteArray bytes = text.toUtf8();
        worksheet_write_string(ws_, r, c, bytes.constData(), f);
    }
    void Number(lxw_row_t r, lxw_col_t c, double n, lxw_format* f = nullptr)
    {
        worksheet_write_number(ws_, r, c, n, f);
    }
    void Head(const QStringList& names, lxw_format* bold)
    {
        for (int c = 0; c < names.size(); ++c)
            Text(0, lxw_col_t(c), names[c], bold);
        worksheet_freeze_panes(ws_, 1, 0);
    }

private:
    lxw_worksheet* ws_;
};

// The record's columns that hold whole numbers; every other one, the problem and the answer
// among them, stays text.
bool NumberColumn(int c)
{
    return c == record::Year || c == record::Level || c == record::Slot || c == record::Problem
           || c == record::Try || c == record::Serial;
}

void CountCells(Sheet& sh, lxw_row_t r, lxw_col_t c, const Counts& n)
{
    for (int v : {n.problems, n.right, n.later, n.wrong, n.hints})
        sh.Number(r, c++, v);
}

// The クラス sheet with a roster: クラス, 出席番号 and なまえ（かな） before the levels; gives the
// rows written.
lxw_row_t RosterSheet(Sheet& pupils, const Summary& s, const std::vector<ClassSection>& sections, lxw_format* bold,
                      lxw_format* percent)
{
    QStringList head{QStringLiteral("クラス"), QStringLiteral("出席番号"), QStringLiteral("なまえ（かな）")};
    for (const auto& [level, c] : s.byLevel)
        head << LevelLabel(level) + QStringLiteral(" ○") << LevelLabel(level) + QStringLiteral(" 問題");
    head << QStringLiteral("よくあるまちがい");
    pupils.Head(head, bold);
    lxw_row_t r = 1;
    for (const ClassSection& section : sections)
        for (const ClassRow& row : section.rows) {
            pupils.Text(r, 0, section.title);
            if (row.number > 0)
                pupils.Number(r, 1, row.number);
            pupils.Text(r, 2, row.name);
            lxw_col_t c = 3;
            if (!row.checked && section.listed) {
                pupils.Text(r, c, QStringLiteral("まだ　していません"));
                ++r;
                continue;
            }
            for (const auto& [level, total] : s.byLevel) {
                const auto here = row.levels.find(level);
                if (here != row.levels.end() && RightShare(here->second) >= 0) {
                    pupils.Number(r, c, RightShare(here->second), percent);
                    pupils.Number(r, c + 1, here->second.problems);
                }
                c += 2;
            }
            QStringList top;
            for (const MistakeCount& k : row.kinds)
                if (!k.kind.isEmpty() && top.size() < 2)
                    top << QStringLiteral("%1 %2").arg(k.kind).arg(k.count);
            pupils.Text(r, c, top.join(QStringLiteral("、")));
            ++r;
        }
    worksheet_set_column(pupils.get(), 0, 0, 12, nullptr);
    worksheet_set_column(pupils.get(), 1, 1, 8, nullptr);
    worksheet_set_column(pupils.get(), 2, 2, 28, nullptr);
    return r - 1;
}

} // namespace

bool WriteWorkbook(const QStringList& inputs, const QString& output, Summary* summary, QString* error,
                   const RunSource& more, const QDateTime& since, std::shared_ptr<const Roster> roster)
{
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    const QByteArray name = output.toLocal8Bit();
    lxw_workbook* book = workbook_new_opt(name.constData(), &options);
    if (!book) {
        *error = QStringLiteral("cannot create the workbook");
        return false;
    }
    lxw_format* bold = workbook_add_format(book);
    format_set_bold(bold);
    lxw_format* percent = workbook_add_format(book);
    format_set_num_format(percent, "0%");

    Sheet pupils(book, "クラス"), levels(book, "レベル"), kinds(book, "まちがい"), rows(book, "記録");

    rows.Head(record::Header(), bold);
    lxw_row_t r = 1;
    *summary = Summarize(inputs, [&](const QStringList& f) {
        for (int c = 0; c < f.size(); ++c) {
            bool ok = false;
            const int n = NumberColumn(c) ? f[c].toInt(&ok) : 0;
            if (ok)
                rows.Number(r, lxw_col_t(c), n);
            else
                rows.Text(r, lxw_col_t(c), f[c]);
        }
        ++r;
    }, more, since, std::move(roster));
    worksheet_set_column(rows.get(), record::When, record::When, 19, nullptr);
    worksheet_set_column(rows.get(), record::ProblemWords, record::Answer, 16, nullptr);
    worksheet_set_column(rows.get(), record::Mistake, record::Mistake, 22, nullptr);
    const Summary& s = *summary;

    // クラス: per pupil and level the share right at once and the problems.
    const std::vector<ClassSection> sections = RosterSections(s);
    const lxw_col_t first = sections.empty() ? 1 : 3;   // the first level's column
    QStringList head{QStringLiteral("ログイン")};
    for (const auto& [level, c] : s.byLevel)
        head << LevelLabel(level) + QStringLiteral(" ○") << LevelLabel(level) + QStringLiteral(" 問題");
    head << QStringLiteral("よくあるまちがい");
    const std::vector<Pupil> all = sections.empty() ? Pupils(s) : std::vector<Pupil>();
    lxw_row_t filled = lxw_row_t(all.size());
    if (sections.empty())
        pupils.Head(head, bold);
    else
        filled = RosterSheet(pupils, s, sections, bold, percent);
    r = 1;
    for (const Pupil& p : all) {
        pupils.Text(r, 0, p.name);
        const auto& byLevel = s.byGroup.at(p.group);
        lxw_col_t c = 1;
        for (const auto& [level, total] : s.byLevel) {
            const auto here = byLevel.find(level);
            if (here != byLevel.end() && RightShare(here->second) >= 0) {
                pupils.Number(r, c, RightShare(here->second), percent);
                pupils.Number(r, c + 1, here->second.problems);
            }
            c += 2;
        }
        QStringList top;
        if (const auto m = s.groupMistakes.find(p.group); m != s.groupMistakes.end())
            for (const MistakeCount& k : m->second)
                if (!k.kind.isEmpty() && top.size() < 2)
                    top << QStringLiteral("%1 %2").arg(k.kind).arg(k.count);
        pupils.Text(r, c, top.join(QStringLiteral("、")));
        ++r;
    }
    if (sections.empty())
        worksheet_set_column(pupils.get(), 0, 0, 16, nullptr);
    const lxw_col_t last = lxw_col_t(head.size() - 1) + first - 1;   // よくあるまちがい
    worksheet_set_column(pupils.get(), first, last - 1, 11, nullptr);
    // Printed like the page: landscape, every column on one page wide.
    worksheet_set_landscape(pupils.get());
    worksheet_set_paper(pupils.get(), 9);   // A4
    worksheet_fit_to_pages(pupils.get(), 1, 0);
    worksheet_set_column(pupils.get(), last, last, 40, nullptr);
    // Red through amber to green, as on the page.
    lxw_col_t c = first;
    for (size_t i = 0; i < s.byLevel.size() && filled > 0; ++i, c += 2) {
        lxw_conditional_format scale{};
        scale.type = LXW_CONDITIONAL_3_COLOR_SCALE;
        scale.min_rule_type = scale.mid_rule_type = scale.max_rule_type = LXW_CONDITIONAL_RULE_TYPE_NUMBER;
        scale.min_value = 0;
        scale.mid_value = 0.5;
        scale.max_value = 1;
        scale.min_color = 0xF8696B;
        scale.mid_color = 0xFFD966;
        scale.max_color = 0x63BE7B;
        worksheet_conditional_format_range(pupils.get(), 1, c, filled, c, &scale);
    }

    // レベル
    levels.Head({QStringLiteral("レベル"), QStringLiteral("問題"), QStringLiteral("○"), QStringLiteral("△"),
                 QStringLiteral("×"), QStringLiteral("ヒント")},
                bold);
    r = 1;
    for (const auto& [level, n] : s.byLevel) {
        levels.Text(r, 0, LevelLabel(level));
        CountCells(levels, r, 1, n);
        ++r;
    }
    worksheet_set_column(levels.get(), 0, 0, 12, nullptr);

    // まちがい
    kinds.Head({QStringLiteral("レベル"), QStringLiteral("まちがいのしゅるい"), QStringLiteral("回数"),
                QStringLiteral("割合"), QStringLiteral("問題 1"), QStringLiteral("答え 1"), QStringLiteral("問題 2"),
                QStringLiteral("答え 2")},
               bold);
    r = 1;
    for (const auto& [level, list] : s.mistakeKinds) {
        int total = 0;
        for (const MistakeCount& m : list)
            total += m.count;
        for (const MistakeCount& m : list) {
            kinds.Text(r, 0, LevelLabel(level));
            kinds.Text(r, 1, m.kind);
            kinds.Number(r, 2, m.count);
            kinds.Number(r, 3, double(m.count) / std::max(total, 1), percent);
            lxw_col_t e = 4;
            for (const WrongAnswer& w : m.examples) {
                kinds.Text(r, e++, w.problem);
                kinds.Text(r, e++, w.answer);
            }
            ++r;
        }
    }
    worksheet_set_column(kinds.get(), 0, 0, 12, nullptr);
    worksheet_set_column(kinds.get(), 1, 1, 22, nullptr);
    worksheet_set_column(kinds.get(), 3, 3, 8, nullptr);
    worksheet_set_column(kinds.get(), 4, 7, 16, nullptr);

    const lxw_error closed = workbook_close(book);
    if (closed != LXW_NO_ERROR) {
        *error = QString::fromUtf8(lxw_strerror(closed));
        return false;
    }
    return true;
}

#else

bool WriteWorkbook(const QStringList&, const QString&, Summary*, QString* error, const RunSource&, const QDateTime&,
                   std::shared_ptr<const Roster>)
{
    *error = QStringLiteral("this build of porome cannot write workbooks (no libxlsxwriter)");
    return false;
}

#endif

} // namespace report
