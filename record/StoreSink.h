// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "record/Row.h"
#include "xapi/Statements.h"

#include <chrono>
#include <memory>

class StoreSender;
struct StoreSettings;

// The school's learning record store as a sink of the recorder's rows: each becomes an xAPI
// statement, handed to a sender that keeps it in the spool and sends it on its own thread.
// Never makes the window's thread wait, except Finish(), for a bounded time.
class StoreSink final : public RecordSink
{
public:
    // The sink of this run: null, with one line in `error` that says why (never the secret),
    // when the settings cannot be used or the spool folder cannot be made. What earlier runs
    // left in the spool is sent first.
    static std::unique_ptr<StoreSink> Open(const StoreSettings& settings, const QString& computer,
                                           const QString& login, const QString& platform, QString* error,
                                           const QString& spoolFolder = SpoolFolder());
    // The user's own folder for statements on their way to the store, beside the unsent rows.
    static QString SpoolFolder();

    StoreSink(xapi::Settings settings, std::unique_ptr<StoreSender> sender, QString computer, QString login);
    ~StoreSink() override;

    void ExerciseBegins(int level, const QDateTime& when) override;
    void Add(const record::Row& row) override;
    void ExerciseEnds(const QDateTime& when) override;
    // Ends an exercise still open, then sends what waits for at most `patience`; what the
    // store did not take by then is sent at the next start.
    void Finish() override;

    StoreSender& sender() { return *sender_; }
    std::chrono::milliseconds patience = std::chrono::seconds(2);

private:
    xapi::Statements statements_;
    std::unique_ptr<StoreSender> sender_;
    QString computer_, login_;
};
