// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "answer/CheckObserver.h"
#include "levels/LevelRules.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>

struct Exercise;
class QSettings;
class RecordWriter;

// The columns of a learning record, in the order of the file.
namespace record {
enum Column {
    When, Computer, Login, Year, LevelName, Level, Slot, Problem, ProblemWords, Answer, Outcome, Try, Kind, Serial, Mistake,
    ColumnCount
};
// The header row, one name per column.
const QStringList& Header();
// The values of the Kind column.
inline const QString KindCheck = QStringLiteral("チェック");
inline const QString KindButton = QStringLiteral("ボタン");
inline const QString KindHint = QStringLiteral("ヒント");
inline const QString KindMessage = QStringLiteral("メッセージ");
// The marks of the Outcome column for checks and kind buttons.
inline const QString Right = QStringLiteral("○");
inline const QString RightLater = QStringLiteral("△");
inline const QString Wrong = QStringLiteral("×");

// The folder the record goes to: the command line's, else the settings key
// "record/folder" (per user, or for every account of the computer); empty for none.
QString Folder(const QString& commandLine, const QSettings& settings);
} // namespace record

// The learning record of one run of the program: a CSV file with one row for every check,
// kind-button press, hint and message of an exercise. The window calls it only when the
// teacher turned the record on. Each row goes whole to a writer that puts it into the file
// on a thread of its own, so the drill never waits on the folder.
class Recorder final : public CheckObserver
{
public:
    struct Who
    {
        QString computer, login;
    };
    static Who ThisComputer();

    // Creates the folder when it is missing and in it a new file named by the start of the
    // run, with its header. On failure gives nothing and says why in `error`. Rows that the
    // folder refuses until the end go to `unsentFolder`.
    static std::unique_ptr<Recorder> Open(const QString& folder, const QDateTime& started, QString* error,
                                          const QString& unsentFolder = UnsentFolder());
    // The user's own folder for rows the record folder refused.
    static QString UnsentFolder();

    // Rows go to `out`, each whole, with its line end.
    Recorder(std::function<void(const QByteArray&)> out, Who who,
             std::function<QDateTime()> clock = &QDateTime::currentDateTime);
    ~Recorder();
    // Writes every row that waits, into the folder or else the unsent folder: at the end of the
    // program, or when the session ends. Later rows are recorded as before.
    void Finish();

    // The exercise whose slots the rows are about.
    void Attach(Exercise& ex) { ex_ = &ex; }
    QString fileName() const { return fileName_; }

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
    };
    void write(const Pending& p, const QString& outcome, const QString& kind);
    // The serial of the problem a row is about; a check's rows all share the one it began with.
    int serialFor(int s, int k, bool check, int t);

    std::unique_ptr<RecordWriter> writer_;
    std::function<void(const QByteArray&)> out_;
    Who who_;
    std::function<QDateTime()> clock_;
    Exercise* ex_ = nullptr;
    QString fileName_;
    Pending pending_;
    // Per slot: the problem number and serial of the problem rows were last written about.
    std::array<int, 4> lastK_{}, serial_{};
    std::array<bool, 4> checked_{};
    int lastSerial_ = 0;
};
