// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/Recorder.h"

#include "drawing/Exercise.h"
#include "levels/LevelTable.h"
#include "record/Csv.h"
#include "record/RecordWriter.h"
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

const QStringList& Header()
{
    static const QStringList header{
        QStringLiteral("日時"),     QStringLiteral("コンピューター"), QStringLiteral("ログイン"),
        QStringLiteral("学年"),     QStringLiteral("レベル"),         QStringLiteral("レベル番号"),
        QStringLiteral("枠"),       QStringLiteral("問題番号"),       QStringLiteral("問題"),
        QStringLiteral("答え"),     QStringLiteral("結果"),           QStringLiteral("回目"),
        QStringLiteral("種類"),     QStringLiteral("通し番号"),       QStringLiteral("まちがいのしゅるい")};
    return header;
}

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
    if (!QDir(folder).mkpath(QStringLiteral("."))) {
        *error = QStringLiteral("cannot create the folder");
        return nullptr;
    }
    // The byte-order mark tells spreadsheets that the file is UTF-8.
    const QByteArray head = QByteArray("\xEF\xBB\xBF") + csv::Row(record::Header()).toUtf8();
    RecordWriter::Settings settings;
    settings.unsentFolder = unsentFolder;
    auto writer = std::make_unique<RecordWriter>(
        DiskFolder(folder), QStringLiteral("porome-") + started.toString(QStringLiteral("yyyyMMdd-HHmmss")), head,
        settings);
    if (!writer->OpenFirst(error))
        return nullptr;
    writer->Start();
    RecordWriter& w = *writer;
    auto recorder = std::make_unique<Recorder>([&w](const QByteArray& row) { w.Add(row); }, ThisComputer());
    recorder->fileName_ = writer->FileName();
    recorder->writer_ = std::move(writer);
    return recorder;
}

Recorder::Recorder(std::function<void(const QByteArray&)> out, Who who, std::function<QDateTime()> clock)
    : out_(std::move(out)), who_(std::move(who)), clock_(std::move(clock))
{
}

Recorder::~Recorder() = default;

void Recorder::Finish()
{
    if (writer_)
        writer_->Finish();
}

void Recorder::CheckBegins(int s, int k, int t, const TypedAnswer& answer, bool kindButton)
{
    if (!ex_)
        return;
    LevelRules& rules = RulesFor(ex_->st.Level);
    pending_ = Pending{true, kindButton, false, s, k, t, serialFor(s, k, true, t), rules.ProblemInWords(*ex_, s, k),
                       rules.AnswerInWords(*ex_, s, k, answer), rules.MistakeInWords(*ex_, s, k, answer)};
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
    QStringList row(record::ColumnCount);
    row[record::When] = clock_().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    row[record::Computer] = who_.computer;
    row[record::Login] = who_.login;
    row[record::Year] = QString::number(level <= 10 ? 3 : 4);
    row[record::LevelName] = texts::LevelNames.at(size_t(level - 1)).left(3);
    row[record::Level] = QString::number(level);
    row[record::Slot] = QString::number(p.s);
    row[record::Problem] = QString::number(p.k);
    row[record::ProblemWords] = p.problem;
    row[record::Answer] = csv::Inert(p.answer);
    row[record::Outcome] = outcome;
    row[record::Try] = QString::number(p.t);
    row[record::Kind] = kind;
    row[record::Serial] = QString::number(p.serial);
    // Only a try the check did not take is a mistake: a × or a hint.
    if (outcome == record::Wrong || kind == record::KindHint)
        row[record::Mistake] = p.mistake;
    out_(csv::Row(row).toUtf8());
}
