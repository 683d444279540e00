#pragma once
// What the analysis dialogs send and remember: the parameter list they are opened with, the
// settings texts of QExamSum, the student filter they pass on, the item groups of the comparison
// items, and the settings files (the rank layers of the distribution, the comparison and
// multi-exam choices of each user). No widgets: the dialogs fill these from their controls.

#include "framework/achieve_export.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace lumeko::achieve {

// ---- the parameter list of the analysis exports (the score page's, with its ticked subjects)

struct AnalysisParams {
    int inYear = 0;
    QString gradeCode;        // at most 4 characters
    QString entryFlag;        // 1 character
    QString examCode;         // at most 3 characters
    QString pageName;         // "⊥" for a school-wide exam
    QStringList subjectCodes; // offered: the last item of 10 or more, else item 5, split at ";" and ","
    QString caption;          // the last item ("2026级七年级.期中考试")
};
LUMEKO_ACHIEVE_EXPORT AnalysisParams readAnalysisParams(const QStringList &params);
// What an analysis cannot work with in its parameters, as a hint for the teacher; empty when
// they will do.
LUMEKO_ACHIEVE_EXPORT QString analysisParamsProblem(const QStringList &params);

// The codes and captions of the three totals: FUL 全总分, MAI 主总分, BAS 基总分.
LUMEKO_ACHIEVE_EXPORT bool isTotalSubject(const QString &code);
LUMEKO_ACHIEVE_EXPORT QString totalCaption(const QString &code);
// `codes` with the three totals after them, each once.
LUMEKO_ACHIEVE_EXPORT QStringList withTotals(QStringList codes);

// ---- statistics items

// The distribution's eleven items, in order; the comparisons' twenty-one.
LUMEKO_ACHIEVE_EXPORT QStringList distItemCaptions();
LUMEKO_ACHIEVE_EXPORT QStringList compareItemCaptions();
inline constexpr char kDistItemsDefault[] = "11111111110";
inline constexpr char kCompareItemsDefault[] = "111111001111100000000";
inline constexpr char kMutiItemsDefault[] = "111111001111000001000";

// "1"/"0" per item.
LUMEKO_ACHIEVE_EXPORT QString stateText(const QList<bool> &states);
// The states of `count` items from a state text: a missing or unreadable character is "0".
LUMEKO_ACHIEVE_EXPORT QList<bool> statesOf(const QString &text, int count);

// The item groups of "统计项目": 0 百分率项目, 1 人数项目, 2 全部项目. Choosing one unticks every
// enabled item and ticks the group's enabled items; disabled items keep their state.
enum ItemGroup { PercentItems = 0, CountItems = 1, AllItems = 2 };
LUMEKO_ACHIEVE_EXPORT QStringList itemGroupCaptions();
LUMEKO_ACHIEVE_EXPORT QList<bool> applyItemGroup(int group, QList<bool> states, const QList<bool> &enabled);

// ---- QExamSum settings texts

// Rank cut-offs of one row of the layer table: the cells other than 0, joined by "-" (30, 0, 90
// gives "30-90").
LUMEKO_ACHIEVE_EXPORT QString cutOffText(const QList<int> &cells);

struct DistSettings {
    QList<bool> items; // 11
    bool rankLayers = false;
    QList<int> topCuts, bottomCuts; // the layer table's cells
    QString subject;                // a subject code or FUL, MAI, BAS
    QStringList ticked;             // the ticked student types' values
    bool everyType = false;         // every student type is ticked
};
// ITEMS11 [ "," TOP "," BOTTOM ] ";" SUBJECT ";" ( "ALL" | types )
LUMEKO_ACHIEVE_EXPORT QString distSettingsText(const DistSettings &s);
// ITEMS21 ";" range captions ";" subject codes
LUMEKO_ACHIEVE_EXPORT QString compareSettingsText(const QList<bool> &items, const QStringList &range, const QStringList &codes);

// The filter argument of QExamSum from the score page's student filter text: nothing for none,
// the whole text when only the picked students count ("已选名单"), else its class part up to and
// including the first ";" (nothing when it has none).
LUMEKO_ACHIEVE_EXPORT QString filterArgument(const QString &filterText, bool pickedOnly);

// ---- settings files

// The rank layers of the distribution, shared by every user of the computer:
// "UserData/OrderDistConfig.ini" under the application folder. A missing file or key gives
// layer n the cut-off n × 30.
struct RankLayers {
    int count = 3;          // 1 … 5
    QList<int> top, bottom; // `count` cells each
};
LUMEKO_ACHIEVE_EXPORT QString rankLayersFile();
LUMEKO_ACHIEVE_EXPORT RankLayers readRankLayers(const QString &file);
LUMEKO_ACHIEVE_EXPORT bool writeRankLayers(const QString &file, const RankLayers &layers);
// The layers with `count` cells per row: new cells take their default, surplus ones go.
LUMEKO_ACHIEVE_EXPORT RankLayers resizedLayers(RankLayers layers, int count);
inline constexpr int kMaxRankLayers = 5;

// A user's choices in a comparison dialog: "UserData/<user>/AchAnalysis.ini" for the
// comparisons, "AchMutiAnalysis.ini" for the multi-exam progress, section "Compare".
struct CompareChoice {
    int itemOption = -1;  // the item group last chosen; -1: none
    QString items;        // one "1"/"0" per item
    QStringList range;    // the ticked range captions
    QStringList subjects; // the multi-exam dialog's ticked subject codes
    bool hasSubjects = false;
};
LUMEKO_ACHIEVE_EXPORT QString userSettingsFile(const QString &name);
// Nothing when the file does not exist.
LUMEKO_ACHIEVE_EXPORT bool readCompareChoice(const QString &file, CompareChoice *choice);
// Creates the folder when it is missing.
LUMEKO_ACHIEVE_EXPORT bool writeCompareChoice(const QString &file, const CompareChoice &choice);

} // namespace lumeko::achieve
