// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/Recorder.h"

#include "drawing/Exercise.h"
#include "levels/LevelTable.h"
#include "record/CsvSink.h"
#include "shell/Texts.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QSysInfo>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

namespace record {

QString Folder(const QString& commandLine, const QSettings& settings)
{
    if (!commandLine.isEmpty())
        return commandLine;
    return settings.value(QStringLiteral("record/folder")).toString();
}

} // namespace record

Recorder::Who Recorder::ThisComputer()
{
    QString login = qEnvironmentVariable("USER");
    if (login.isEmpty())
        login = qEnvironmentVariable("USERNAME");
    if (login.isEmpty())
        login = qEnvironmentVariable("LOGNAME");
#ifdef Q_OS_UNIX
    // A session started without a login shell may have none of them.
    if (login.isEmpty())
        if (const passwd* pw = getpwuid(geteuid()))
            login = QString::fromLocal8Bit(pw->pw_name);
#endif
    return {QSysInfo::machineHostName(), login};
}

QString Recorder::UnsentFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/unsent");
}

std::unique_ptr<Recorder> Recorder::Open(const QString& folder, const QDateTime& started, QString* error,
                                         const QString& unsentFolder)
{
    auto file = CsvFileSink::Open(folder, started, error, unsentFolder);
    if (!file)
        return nullptr;
    auto recorder = std::make_unique<Recorder>(ThisComputer());
    recorder->fileName_ = file->FileName();
    recorder->AddSink(std::move(file));
    return recorder;
}

Recorder::Recorder(Who who, std::function<QDateTime()> clock) : who_(std::move(who)), clock_(std::move(clock)) {}

Recorder::Recorder(std::function<void(const QByteArray&)> out, Who who, std::function<QDateTime()> clock)
    : Recorder(std::move(who), std::move(clock))
{
    AddSink(std::make_unique<CsvLinesSink>(std::move(out)));
}

Recorder::~Recorder() = default;

void Recorder::AddSink(std::unique_ptr<RecordSink> sink)
{
    sinks_.push_back(std::move(sink));
}

void Recorder::Finish()
{
    ExerciseEnds();
    for (auto& sink : sinks_)
        sink->Finish();
}

void Recorder::ExerciseBegins(int level)
{
    ExerciseEnds();
    exerciseOpen_ = true;
    const QDateTime now = clock_();
    for (auto& sink : sinks_)
        sink->ExerciseBegins(level, now);
}

void Recorder::ExerciseEnds()
{
    if (!exerciseOpen_)
        return;
    exerciseOpen_ = false;
    const QDateTime now = clock_();
    for (auto& sink : sinks_)
        sink->ExerciseEnds(now);
}

void Recorder::CheckBegins(int s, int k, int t, const TypedAnswer& answer, bool kindButton)
{
    if (!ex_)
        return;
    LevelRules& rules = RulesFor(ex_->st.Level);
    pending_ = Pending{true,
                       kindButton,
                       false,
                       s,
                       k,
                       t,
                       serialFor(s, k, true, t),
                       rules.ProblemInWords(*ex_, s, k),
                       rules.AnswerInWords(*ex_, s, k, answer),
                       rules.MistakeInWords(*ex_, s, k, answer),
                       rules.RightAnswersInWords(*ex_, s, k)};
}

void Recorder::CheckEnds(Verdict v)
{
    if (!pending_.active)
        return;
    pending_.active = false;
    if (v == Verdict::Hint) {
        if (!pending_.hintWritten)
            write(pending_, QString(), record::KindHint);
        return;
    }
    const QString outcome = v == Verdict::Wrong ? record::Wrong : pending_.t == 1 ? record::Right : record::RightLater;
    write(pending_, outcome, pending_.kindButton ? record::KindButton : record::KindCheck);
}

void Recorder::Message(const QString& text)
{
    if (pending_.active) {
        pending_.hintWritten = true;
        write(pending_, text, record::KindHint);
        return;
    }
    if (!ex_)
        return;
    const AppState& st = ex_->st;
    const int s = st.CurrentSlot;
    if (st.Level < 1 || st.Level > 22 || s < 1 || s > 3 || st.Item(s, 0) == 0)
        return;
    // A message refused the check, so the try it speaks of is the one not yet counted.
    Pending p;
    p.s = s;
    p.k = st.Item(s, 1);
    p.t = st.Item(s, p.k * 10 + 10) + 1;
    p.serial = serialFor(s, p.k, false, p.t);
    LevelRules& rules = RulesFor(st.Level);
    p.problem = rules.ProblemInWords(*ex_, s, p.k);
    if (InfoFor(st.Level).panel == 0) {
        TypedAnswer a;
        a.text1 = ex_->Text1(s).text();
        a.text2 = ex_->Text2(s).text();
        a.text3 = ex_->Text3(s).text();
        p.answer = rules.AnswerInWords(*ex_, s, p.k, a);
    }
    write(p, text, record::KindMessage);
}

int Recorder::serialFor(int s, int k, bool check, int t)
{
    // Problem numbers start again in a new exercise and stay at the last one in a very long
    // one, so a first check also starts a new problem once the slot's last one was checked.
    const size_t i = size_t(s);
    if (lastK_[i] != k || serial_[i] == 0 || (check && t == 1 && checked_[i])) {
        lastK_[i] = k;
        serial_[i] = ++lastSerial_;
        checked_[i] = false;
    }
    if (check)
        checked_[i] = true;
    return serial_[i];
}

void Recorder::write(const Pending& p, const QString& outcome, const QString& kind)
{
    const int level = ex_->st.Level;
    record::Row r;
    r.when = clock_();
    QStringList& row = r.fields;
    row.resize(record::ColumnCount);
    row[record::When] = r.when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    row[record::Computer] = who_.computer;
    row[record::Login] = who_.login;
    row[record::Year] = QString::number(level <= 10 ? 3 : 4);
    row[record::LevelName] = texts::LevelNames.at(size_t(level - 1)).left(3);
    row[record::Level] = QString::number(level);
    row[record::Slot] = QString::number(p.s);
    row[record::Problem] = QString::number(p.k);
    row[record::ProblemWords] = p.problem;
    row[record::Answer] = p.answer;
    row[record::Outcome] = outcome;
    row[record::Try] = QString::number(p.t);
    row[record::Kind] = kind;
    row[record::Serial] = QString::number(p.serial);
    // Only a try the check did not take is a mistake: a × or a hint.
    if (outcome == record::Wrong || kind == record::KindHint)
        row[record::Mistake] = p.mistake;
    if (kind == record::KindCheck || kind == record::KindButton) {
        r.input = p.kindButton ? record::Input::Button
                  : InfoFor(level).panel == 0 ? record::Input::Typed
                                              : record::Input::Picture;
        r.correct = p.correct;
    }
    for (auto& sink : sinks_)
        sink->Add(r);
}
