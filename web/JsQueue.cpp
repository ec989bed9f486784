// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/JsQueue.h"

#include <QJsonDocument>

#include <emscripten.h>

namespace page {

namespace {

void Call(const char* what, const QByteArray& text)
{
    EM_ASM({
        const page = window.poromePage;
        if (page)
            page[UTF8ToString($0)](UTF8ToString($1));
    }, what, text.constData());
}

} // namespace

void JsQueue::Open(const Launch& launch, const QString& header)
{
    const QJsonObject how{
        {QStringLiteral("record"), launch.record == Record::Store ? QStringLiteral("store") : QStringLiteral("download")},
        {QStringLiteral("endpoint"), launch.endpoint.toString(QUrl::FullyEncoded)},
        {QStringLiteral("auth"), launch.auth},
        {QStringLiteral("fetch"), launch.fetch.toString(QUrl::FullyEncoded)},
        {QStringLiteral("header"), header}};
    const QByteArray text = QJsonDocument(how).toJson(QJsonDocument::Compact);
    EM_ASM({
        if (window.poromePage)
            window.poromePage.open(JSON.parse(UTF8ToString($0)));
    }, text.constData());
}

void JsQueue::Keep(const QJsonObject& statement)
{
    Call("keep", QJsonDocument(statement).toJson(QJsonDocument::Compact));
}

void JsQueue::KeepRow(const QString& line)
{
    Call("keepRow", line.toUtf8());
}

int JsQueue::Waiting()
{
    return EM_ASM_INT({ return window.poromePage ? window.poromePage.waiting() : 0; });
}

int JsQueue::Unsaved()
{
    return EM_ASM_INT({ return window.poromePage ? window.poromePage.unsaved() : 0; });
}

void JsQueue::Save()
{
    EM_ASM({
        if (window.poromePage)
            window.poromePage.save();
    });
}

void JsQueue::Say(const QString& line)
{
    Call("say", line.toUtf8());
}

LaunchInput ReadLaunchInput()
{
    const int n = EM_ASM_INT({ return lengthBytesUTF8(window.poromePage ? window.poromePage.input() : "{}"); });
    QByteArray text(n + 1, '\0');
    EM_ASM({ stringToUTF8(window.poromePage ? window.poromePage.input() : "{}", $0, $1); }, text.data(), n + 1);
    text.resize(n);
    const QJsonObject read = QJsonDocument::fromJson(text).object();
    LaunchInput input;
    const QJsonObject params = read.value(QStringLiteral("params")).toObject();
    for (auto it = params.constBegin(); it != params.constEnd(); ++it)
        input.params.insert(it.key(), it->toString());
    const QJsonValue config = read.value(QStringLiteral("config"));
    if (config.isString())
        input.config = config.toString().toUtf8();
    input.storage = read.value(QStringLiteral("storage")).toBool();
    return input;
}

void AttachToPage()
{
    EM_ASM({
        if (window.poromePage)
            window.poromePage.attach(Module);
    });
}

} // namespace page
