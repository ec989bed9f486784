// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "answer/CheckObserver.h"
#include "levels/LevelRules.h"
#include "record/Row.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <vector>

struct Exercise;
class QSettings;

namespace record {

// The folder the record goes to: the command line's, else the settings key
// "record/folder" (per user, or for every account of the computer); empty for none.
QString Folder(const QString& commandLine, const QSettings& settings);
} // namespace record

// The learning record of one run of the program: one row for every check, kind-button press,
// hint and message of an exercise, handed whole to its sinks (a CSV file, the school's
// store), which never make the drill wait. The window calls it only when the teacher turned
// a record on.
class Recorder final : public CheckObserver
{
public:
    struct Who
    {
        QString computer, login;
    };
    static Who ThisComputer();

    // A recorder whose rows go to a CSV file (CsvFileSink::Open) in `folder`; null, with the
    // cause in `error`, when the folder cannot be written.
    static std::unique_ptr<Recorder> Open(const QString& folder, const QDateTime& started, QString* error,
                                          const QString& unsentFolder = UnsentFolder());
    // The user's own folder for rows the record folder refused.
    static QString UnsentFolder();

    explicit Recorder(Who who, std::function<QDateTime()> clock = &QDateTime::currentDateTime);
    // Rows go to `out` as CSV lines, each whole, with its line end.
    Recorder(std::function<void(const QByteArray&)> out, Who who,
             std::function<QDateTime()> clock = &QDateTime::currentDateTime);
    ~Recorder();
    void AddSink(std::unique_ptr<RecordSink> sink);
    bool HasSinks() const { return !sinks_.empty(); }
    const Who& who() const { return who_; }
    // Ends the open exercise and has every sink put what waits where it lasts: at the end of
    // the program, or when the session ends. Later rows are recorded as before.
    void Finish();

    // The exercise whose slots the rows are about.
    void Attach(Exercise& ex) { ex_ = &ex; }
    // The CSV file of the record folder, when there is one.
    QString fileName() const { return fileName_; }

    void ExerciseBegins(int level) override;
    void ExerciseEnds() override;

    // A check of problem k in slot s (try t) is about to be judged; a kind button of
    // level 14 is a check whose answer's t1 is the kind. Reads the problem and the answer
    // in words before judging and the next problem change them.
    void CheckBegins(int s, int k, int t, const TypedAnswer& answer, bool kindButton) override;
    // The check's verdict: a row with ○, △ or ×. A hint was written as the message it showed.
    void CheckEnds(Verdict v) override;
    // A message box of the exercise: during a check a hint, otherwise a message about the
    // slot in use. Messages outside an exercise (no level, an idle slot) are not recorded.
    void Message(const QString& text);

private:
    struct Pending
    {
        bool active = false, kindButton = false, hintWritten = false;
        int s = 0, k = 0, t = 0, serial = 0;
        QString problem, answer, mistake;
        QStringList correct;
    };
    void write(const Pending& p, const QString& outcome, const QString& kind);
    // The serial of the problem a row is about; a check's rows all share the one it began with.
    int serialFor(int s, int k, bool check, int t);

    std::vector<std::unique_ptr<RecordSink>> sinks_;
    Who who_;
    std::function<QDateTime()> clock_;
    Exercise* ex_ = nullptr;
    QString fileName_;
    Pending pending_;
    bool exerciseOpen_ = false;
    // Per slot: the problem number and serial of the problem rows were last written about.
    std::array<int, 4> lastK_{}, serial_{};
    std::array<bool, 4> checked_{};
    int lastSerial_ = 0;
};
