// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

// One file of the learning record, as the writer uses it. The real one is a file in the
// record folder; tests use one that fails on command.
class RecordFile
{
public:
    virtual ~RecordFile() = default;
    // Appends all of `bytes`; false when they did not all go, with the cause in `error`.
    virtual bool Append(const QByteArray& bytes, QString* error) = 0;
    // Cuts the file back to its first `size` bytes; the next append goes on from there.
    virtual bool CutBack(qint64 size, QString* error) = 0;
    // False once the file is no longer at its path: its folder was removed or a share unmounted.
    virtual bool StillThere() = 0;
    virtual QString Path() const = 0;
};

// A folder that record files are made in.
class RecordFolder
{
public:
    virtual ~RecordFolder() = default;
    // A new, empty file named `stem`.csv, or `stem`-2.csv … when that is taken; null, with the
    // cause in `error`, when the folder is missing or refuses it. Never creates the folder.
    virtual std::unique_ptr<RecordFile> NewFile(const QString& stem, QString* error) = 0;
    virtual QString Path() const = 0;
};

std::unique_ptr<RecordFolder> DiskFolder(const QString& path);

// Writes the rows of one run's record, each whole or not at all, on a thread of its own, so
// the drill never waits on a slow or hanging folder. Rows the folder refuses (full, gone, an
// error) wait in memory, in order, and are written as soon as it takes writes again: at the
// next row and on a timer. A folder that went away gets a new file once it is back. What
// still waits at the end goes to a file in the user's own data folder.
class RecordWriter
{
public:
    struct Settings
    {
        // Past this many waiting rows the oldest are dropped and counted as lost.
        size_t maxWaiting = 100000;
        std::chrono::milliseconds retry = std::chrono::seconds(10);
        // Where rows still waiting at the end are written.
        QString unsentFolder;
        // One line for the teacher, on standard error unless a test listens.
        std::function<void(const QString&)> say;
    };

    // `head` starts every file (the byte-order mark and the header row); files are named `stem`.
    RecordWriter(std::unique_ptr<RecordFolder> folder, const QString& stem, const QByteArray& head,
                 Settings settings);
    // Finishes: nothing is left only in memory.
    ~RecordWriter();
    RecordWriter(const RecordWriter&) = delete;
    RecordWriter& operator=(const RecordWriter&) = delete;

    // Makes the first file and writes its head now, so that a folder that cannot be written
    // at all is known at start.
    bool OpenFirst(QString* error);
    QString FileName() const;

    // Hands over one whole row; never waits on the folder.
    void Add(const QByteArray& row);
    // Starts the thread that writes what is added. Without it, tests drive WriteWaiting().
    void Start();
    // One round of writing what waits, on the caller's thread; true when nothing waits.
    bool WriteWaiting();
    // Writes what waits; what the folder still refuses goes to the unsent folder. A write that
    // hangs is given `patience`: the rows behind it go to the unsent folder meanwhile.
    // The writer takes further rows afterwards, so this may be called more than once.
    void Finish(std::chrono::milliseconds patience = std::chrono::seconds(5));

    size_t Waiting() const;
    long long Lost() const;

    struct State;

private:
    std::shared_ptr<State> state_;
    QString unsentFolder_;
};
