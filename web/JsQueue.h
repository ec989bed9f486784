// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "web/PageRecord.h"

// The page's record as its JavaScript (record.js, window.poromePage) keeps and sends it.
// Only the page's own build has it: everything behind page::Queue runs without a browser.
namespace page {

class JsQueue final : public Queue
{
public:
    void Open(const Launch& launch, const QString& header) override;
    void Keep(const QJsonObject& statement) override;
    void KeepRow(const QString& line) override;
    int Waiting() override;
    int Unsaved() override;
    void Save() override;
    void Say(const QString& line) override;
};

// What the page read before the program started: the launch parameters it took out of its
// address (or kept for its tab), porome-config.json and whether it has its storage.
LaunchInput ReadLaunchInput();

// Hands the program to the page, so that the page going away can end the open exercise
// through porome_page_hidden.
void AttachToPage();

} // namespace page
