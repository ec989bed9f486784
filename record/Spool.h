// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <memory>
#include <vector>

class QFile;
class QLockFile;

// The statements for the school's store, kept on disk until the store has them. Each run of
// the program writes its own file in the spool folder, one statement a line
// (run-<start>-<tag>.jsonl), and the ids of those that left it to a twin (….done); a lock
// (….lock) marks the files of a running program. Files without a live lock are an earlier
// run's, left by a crash or by a store that was away: the next run takes them over, so two
// programs of one user never send the same file. Statements the store refuses go, with its
// reason, to rejected.jsonl beside them. Used by one thread at a time.
class Spool
{
public:
    struct Statement
    {
        QString id;
        QByteArray json;   // compact, without the line end
        int run = -1;      // whose file holds it; -1 for none (the spool could not be written)
    };

    Spool();
    // Removes this run's files when nothing in them waits; else leaves them to the next run.
    ~Spool();
    Spool(const Spool&) = delete;
    Spool& operator=(const Spool&) = delete;

    // Makes the folder and takes this run's lock; false with the cause in `error`.
    bool Open(const QString& folder, QString* error);
    // Takes over the files of earlier runs that no running program holds, and gives their
    // statements that did not leave, oldest first. A torn last line (a crash while it was
    // written) is cut off; a damaged line goes to the rejected file.
    std::vector<Statement> Adopt();
    // Writes one statement whole or not at all, into this run's file.
    bool Append(Statement& s, QString* error);
    // The store took the statement.
    void Done(const Statement& s);
    // The store refused it for `reason`: it moves to the rejected file.
    void Reject(const Statement& s, const QString& reason);

    // What waits in a spool folder, read without taking anything over or changing a file:
    // the statements no run has stored yet, their bytes and the oldest one's time, and how
    // many were rejected. With `oldestOnly`, it stops at the first waiting statement of the
    // oldest run's file, which no statement of a later run predates.
    struct Contents
    {
        int waiting = 0;
        qint64 bytes = 0;
        QDateTime oldest;   // invalid when nothing waits
        int rejected = 0;
    };
    static Contents Look(const QString& folder, bool oldestOnly = false);

    QString Folder() const { return folder_; }
    QString RejectedPath() const;

private:
    struct Run;
    bool Write(QFile& file, const QByteArray& line, QString* error);
    void WriteRejected(const QByteArray& json, const QString& reason);
    void Close(Run& run);

    QString folder_;
    std::vector<std::unique_ptr<Run>> runs_;   // runs_[0] is this run's
};
