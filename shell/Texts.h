// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <array>

// Every fixed text of the window and its message boxes, as the pupil reads it.
namespace texts {
inline const QString WindowCaption = QStringLiteral("ポロメ Ver1.0.1");
inline const std::array<QString, 3> GradeButtons{QStringLiteral("３年生"), QStringLiteral("４年生"),
                                                 QStringLiteral("５年生")};
inline const std::array<QString, 3> MenuHeadings{
    QStringLiteral("【ポロメ:３年生】　どれをれんしゅうしますか。えらんでください。"),
    QStringLiteral("【ポロメ:４年生】　どれをれんしゅうしますか。えらんでください。"),
    QStringLiteral("【ポロメ:５年生】　どれをれんしゅうしますか。えらんでください。")};
inline const QString Start = QStringLiteral("けってい");
inline const QString Quit = QStringLiteral("おわり");
inline const QString NextProblems = QStringLiteral("つぎの問だいをしましょう。");
inline const QString Finish = QStringLiteral("終わる");
inline const QString Check = QStringLiteral("ﾁｪｯｸ");
inline const QString Erase = QStringLiteral("けす");
inline const QString Proper = QStringLiteral("真分数");
inline const QString Improper = QStringLiteral("仮分数");
inline const QString Mixed = QStringLiteral("帯分数");
inline const QString ClickHere = QStringLiteral("ここをクリックしてください。");

inline const QString ChooseLevelFirst =
    QStringLiteral("レベルをきめてから、けっていボタンをおしてください。");
inline const QString ConfirmQuit = QStringLiteral("「ポロメ」を　終わります。");
inline const QString ConfirmFinish = QStringLiteral("みなさん　おわりましたか？");
inline const QString TypeAnswer = QStringLiteral("こたえをタイプしてください。");

inline const QString Right = QStringLiteral("○");
inline const QString Wrong = QStringLiteral("×");
inline const QString Retried = QStringLiteral("△");
inline const QString ScoreLevel = QStringLiteral("レベル");
inline const QString ScoreMarks = QStringLiteral(")  せいせき：");

// The menu's corner line for the teacher when the learning record cannot work: the prefix,
// then each problem, joined by the separator.
inline const QString RecordNoticePrefix = QStringLiteral("きろく：");
inline const QString RecordNoticeSeparator = QStringLiteral("　／　");
inline const QString RecordFolderUnwritable = QStringLiteral("フォルダに　かけません");
inline const QString StoreSettingsUnusable = QStringLiteral("LRS の　せっていが　つかえません");
inline const QString StoreRefusedKey = QStringLiteral("LRS が　キーを　ことわりました");
// %1: whole days the oldest statement has waited.
inline const QString StoreBehind = QStringLiteral("LRS に　おくれていません（%1 日）");

// The level menu: Level = index + 1; 0..9 third year, 10..21 fourth year.
inline const std::array<QString, 22> LevelNames{
    QStringLiteral("L01 三分の一　長さは、何ｍですか？　　　 (分母　６まで）"),
    QStringLiteral("L02 三分の一　水のかさは、いくらですか？（分母　６まで）"),
    QStringLiteral("L03 三分の一　長さは、何ｍですか？　　　（分母　１０まで）"),
    QStringLiteral("L04 三分の一　水のかさは、いくらですか？（分母　１０まで）"),
    QStringLiteral("L05 三分の一の長さをぬりましょう。　　　 (分母　８まで）"),
    QStringLiteral("L06 三分の一　数直線のあたいを読みましょう。"),
    QStringLiteral("L07 ？分の？＝１"),
    QStringLiteral("L08 どちらが　大きい？　（同分母分数）"),
    QStringLiteral("L09 分数のたし算　　　　（同分母分数）"),
    QStringLiteral("L10 分数の引き算　　　　（同分母分数）"),
    QStringLiteral("L01 水のかさは、何リットルですか？"),
    QStringLiteral("L02 数直線のあたいを読みましょう。"),
    QStringLiteral("L03 どちらが、大きいですか？"),
    QStringLiteral("L04 分数の名前を言いましょう。"),
    QStringLiteral("L05 帯分数を仮分数になおしましょう。"),
    QStringLiteral("L06 仮分数を帯分数になおしましょう。"),
    QStringLiteral("L07 足し算（真分数 ＋ 真分数）"),
    QStringLiteral("L08 足し算（帯分数 ＋ 真分数または帯分数）"),
    QStringLiteral("L09 引き算（真分数または仮分数 － 真分数または仮分数）"),
    QStringLiteral("L10 引き算（帯分数 － 帯分数）　その１"),
    QStringLiteral("L11 引き算（帯分数 － 真分数）"),
    QStringLiteral("L12 引き算（帯分数 － 帯分数）　その２"),
};
} // namespace texts
