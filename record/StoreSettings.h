// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <QString>
#include <QUrl>

class QSettings;

// The school's learning record store, from the settings' [lrs] group (per user, or for every
// account of the computer, beside record/folder).
struct StoreSettings
{
    QUrl endpoint;          // the store's xAPI base, ending in /
    QString key, secret;    // HTTP Basic
    QString homePage;       // the school's IRI
    QString activityBase;   // empty: the program's own
    bool sharedLogins = false;

    static StoreSettings Read(const QSettings& settings);
    // Empty when the store can be used; else one line that says why (never the secret).
    QString Problem() const;
    bool Configured() const { return !endpoint.isEmpty(); }
    // The Authorization header's value.
    QByteArray Authorization() const;
};

// The key a report reads the store with. The settings for every account of the computer
// (/etc/xdg/porome/porome.conf, HKLM) hold only a key that writes statements, since every
// pupil's account can read them; a key that reads every pupil's statements lives in the
// teacher's own settings (~/.config/porome/porome.conf, HKCU) as [lrs] readKey and readSecret.
struct ReadKey
{
    QString key, secret;
    // Empty when there is a key to read with; else one line that says why there is none
    // (never the secret).
    QString problem;

    // From the application's per-user settings alone, never from the machine-wide ones.
    static ReadKey FromSettings();
};
