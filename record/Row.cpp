// SPDX-License-Identifier: GPL-3.0-or-later
#include "record/Row.h"

namespace record {

const QStringList& Header()
{
    static const QStringList header{
        QStringLiteral("日時"),     QStringLiteral("コンピューター"), QStringLiteral("ログイン"),
        QStringLiteral("学年"),     QStringLiteral("レベル"),         QStringLiteral("レベル番号"),
        QStringLiteral("枠"),       QStringLiteral("問題番号"),       QStringLiteral("問題"),
        QStringLiteral("答え"),     QStringLiteral("結果"),           QStringLiteral("回目"),
        QStringLiteral("種類"),     QStringLiteral("通し番号"),       QStringLiteral("まちがいのしゅるい")};
    return header;
}

} // namespace record
