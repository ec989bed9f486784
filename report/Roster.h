// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QHash>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <memory>
#include <vector>

// The school's class lists, read from a roster in OneRoster 1.2 CSV with the Japan profile's
// columns: the zip a portal or the school's roster system exports (RO_YYYYMMDD_<code>.zip)
// or the folder it unpacks to. Read by header, never by position; rows marked tobedeleted
// are left out. The roster is only read: nothing of it is kept elsewhere, and what it says
// of a problem names the file, the line and the column, never a value (names are personal).
namespace report {

// Bounds on what is read, so that a damaged or hostile roster cannot take the machine.
struct RosterLimits
{
    qint64 fileBytes = qint64(256) << 20;    // one file, uncompressed
    qint64 totalBytes = qint64(1) << 30;     // every file read, uncompressed
    qint64 ratioFrom = qint64(1) << 20;      // files above this size must not expand more than
    int ratio = 200;                         // this many times their compressed size
    int problemsPerFile = 10;                // lines about one file's rows; the rest are counted
};

class Roster
{
public:
    // Which of a user's identifiers a record's login is: any of them, or one only.
    enum class Match { Any, SourcedId, UserMasterIdentifier, Username };

    struct User
    {
        QString sourcedId, username, master;   // master: userMasterIdentifier
        QString name, kana;                    // family and given name, each with a full-width blank
    };
    struct Member
    {
        int user = 0;
        int number = 0;   // 出席番号; 0 when the enrollment gives none
    };
    struct Class
    {
        QString sourcedId, title;
        bool homeroom = false;
        QString from, to;               // its school year, "yyyy-MM-dd"; empty: open
        std::vector<Member> pupils;     // students enrolled, in 出席番号 order
    };

    // Reads a roster zip or folder. Never fails: a roster that cannot be used says so in
    // Problems() and is not Usable().
    static std::shared_ptr<Roster> Read(const QString& path, const RosterLimits& limits = {});

    // users, classes and enrollments were read.
    bool Usable() const { return usable_; }
    // One line for each problem met, in English, without a value of the roster.
    const QStringList& Problems() const { return problems_; }
    void Note(const QString& problem) { problems_ << problem; }
    // What was taken and left out, in one line.
    QString Account() const;
    int users() const { return int(users_.size()); }
    int classes() const { return int(classes_.size()); }
    int enrollments() const { return enrollments_; }
    int leftOut() const { return leftOut_; }
    int deleted() const { return deleted_; }

    void SetMatch(Match m) { match_ = m; }
    // "sourcedId", "userMasterIdentifier", "username" or empty (any); false for another text.
    static bool ParseMatch(const QString& text, Match* match);

    // The user a record's login names (-1: none, or more than one by the same identifier)
    // and the homeroom class it was enrolled in on `day` ("yyyy-MM-dd"; -1: none).
    struct Place
    {
        int user = -1, klass = -1;
    };
    Place Find(const QString& login, QStringView day) const;

    const std::vector<User>& Users() const { return users_; }
    const std::vector<Class>& Classes() const { return classes_; }
    // "山田　太郎（やまだ　たろう）", the name alone without a kana, else the username.
    QString DisplayName(int user) const;

private:
    friend class RosterReader;
    struct Membership
    {
        int klass = 0;
        QString from, to;
    };
    std::vector<User> users_;
    std::vector<Class> classes_;
    std::vector<std::vector<Membership>> homerooms_;   // per user
    QHash<QString, int> bySourcedId_, byMaster_, byUsername_;   // -2: more than one user
    QStringList problems_;
    int enrollments_ = 0, leftOut_ = 0, deleted_ = 0;
    bool usable_ = false;
    Match match_ = Match::Any;
};

// The roster of --roster or the settings' roster key, read for a report: each of its
// problems and what it took are printed on standard error.
std::shared_ptr<const Roster> LoadRoster(const QString& path, const QString& match = {});

} // namespace report
