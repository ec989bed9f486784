// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

// Who drills on the page and where the record goes: from the parameters of the address a
// portal opened the page with, and from porome-config.json beside index.html. Plain data,
// read before the program's window appears.
namespace page {

// The names of the launch parameters; the page takes them out of its address once read.
const QStringList& LaunchParameters();

enum class Record {
    None,       // nothing is kept and nothing is sent
    Store,      // statements go to the store at `endpoint`
    Download,   // rows are kept for a record file the pupil saves
};

struct LaunchInput
{
    // The launch parameters the address carried (or those the page kept for this tab).
    QHash<QString, QString> params;
    // The text of porome-config.json, where the page has one.
    std::optional<QByteArray> config;
    // Whether the browser gave the page its storage (IndexedDB); a private window may not.
    bool storage = true;
};

struct Launch
{
    Record record = Record::None;
    QUrl endpoint;            // the store's xAPI base, ending in /
    QString auth;             // the Authorization header's value; empty with `fetch`
    QUrl fetch;               // a one-time address that gives the credential
    QJsonObject actor;        // the pupil as an xAPI Agent; empty where none was given
    QString registration;     // a UUID, or empty
    QString homePage;         // the school's IRI
    QString activityBase;     // empty: the program's own
    int level = 0;            // a level to open at once, 1..22, or 0
    // Why less than was asked for is done, one line each, for the page's console. Never a
    // credential.
    QStringList problems;
};

Launch ReadLaunch(const LaunchInput& input);

// True for an address the page may send to: https://, or http:// on this machine only.
bool UsableAddress(const QUrl& url, QString* why);

} // namespace page
