#include "analysis/analysissettings.h"

#include "host/pub/pub.h"
#include "toolkit/data/commatext.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>

namespace lumeko::achieve {

namespace {

QStringList codesOf(const QString &text)
{
    QStringList out;
    for (QString c : QString(text).replace(u';', u',').split(u',')) {
        c = c.trimmed();
        if (!c.isEmpty() && !out.contains(c)) out << c;
    }
    return out;
}

int defaultCut(int layer)
{
    return layer * 30;
}

} // namespace

AnalysisParams readAnalysisParams(const QStringList &params)
{
    AnalysisParams p;
    p.inYear = params.value(0).trimmed().toInt();
    p.gradeCode = params.value(1).trimmed().left(4);
    p.entryFlag = params.value(3).left(1);
    p.examCode = params.value(6).trimmed().left(3);
    p.pageName = params.value(7);
    p.subjectCodes = codesOf(params.size() >= 10 ? params.last() : params.value(5));
    p.caption = params.size() > 8 ? params.value(8) : QString();
    return p;
}

QString analysisParamsProblem(const QStringList &params)
{
    bool ok = false;
    params.value(0).trimmed().toInt(&ok);
    if (!ok || params.value(1).trimmed().isEmpty() || params.value(6).trimmed().isEmpty() || params.value(7).isEmpty())
        return QStringLiteral("成绩分析需要知道是哪个年级的哪次考试。请在成绩录入中打开一次考试后再分析。");
    return {};
}

bool isTotalSubject(const QString &code)
{
    return code == u"FUL" || code == u"MAI" || code == u"BAS";
}

QString totalCaption(const QString &code)
{
    if (code == u"FUL") return QStringLiteral("全总分");
    if (code == u"MAI") return QStringLiteral("主总分");
    if (code == u"BAS") return QStringLiteral("基总分");
    return {};
}

QStringList withTotals(QStringList codes)
{
    for (const char *t : {"FUL", "MAI", "BAS"})
        if (!codes.contains(QLatin1String(t))) codes << QString::fromLatin1(t);
    return codes;
}

QStringList distItemCaptions()
{
    return {"平均分", "优秀率", "良好率", "及格率", "合格率", "最高分", "最低分", "总人数", "班主任", "满分人数", "AE等级"};
}

QStringList compareItemCaptions()
{
    return {"平均分",   "优秀率",          "良好率",   "及格率",       "合格率",     "全科及格率",      "B1(年级超均率)",
            "分数极差", "班主任/科任教师", "班级人数", "全科及格人数", "满分人数",   "均分排名",        "优秀人数",
            "良好人数", "及格人数",        "合格人数", "班级进退",     "分校超均率", "B2(县/区超均率)", "B3(市超均率)"};
}

QString stateText(const QList<bool> &states)
{
    QString text;
    for (bool s : states)
        text += s ? u'1' : u'0';
    return text;
}

QList<bool> statesOf(const QString &text, int count)
{
    QList<bool> states;
    for (int i = 0; i < count; ++i)
        states << (i < text.size() && text.at(i) == u'1');
    return states;
}

QStringList itemGroupCaptions()
{
    return {"百分率项目", "人数项目", "全部项目"};
}

QList<bool> applyItemGroup(int group, QList<bool> states, const QList<bool> &enabled)
{
    const auto inGroup = [group](int item) {
        switch (group) {
        case PercentItems:
            return (item >= 0 && item <= 6) || item == 8 || item == 12 || (item >= 18 && item <= 20);
        case CountItems:
            return (item >= 7 && item <= 11) || (item >= 13 && item <= 16);
        case AllItems:
            return true;
        default:
            return false;
        }
    };
    for (int i = 0; i < states.size(); ++i)
        if (enabled.value(i, true)) states[i] = inGroup(i);
    return states;
}

QString cutOffText(const QList<int> &cells)
{
    QStringList parts;
    for (int c : cells)
        if (c != 0) parts << QString::number(c);
    return parts.join(u'-');
}

QString distSettingsText(const DistSettings &s)
{
    QString text = stateText(s.items);
    if (s.rankLayers) text += u',' + cutOffText(s.topCuts) + u',' + cutOffText(s.bottomCuts);
    text += u';' + s.subject + u';';
    text += s.everyType ? QStringLiteral("ALL") : s.ticked.join(u',');
    return text;
}

QString compareSettingsText(const QList<bool> &items, const QStringList &range, const QStringList &codes)
{
    return stateText(items) + u';' + range.join(u',') + u';' + codes.join(u',');
}

QString filterArgument(const QString &filterText, bool pickedOnly)
{
    if (filterText.isEmpty()) return {};
    if (pickedOnly) return filterText;
    const qsizetype semicolon = filterText.indexOf(u';');
    return semicolon < 0 ? QString() : filterText.left(semicolon + 1);
}

QString rankLayersFile()
{
    return pub::appPath() + QStringLiteral("UserData/OrderDistConfig.ini");
}

RankLayers resizedLayers(RankLayers layers, int count)
{
    layers.count = std::clamp(count, 1, kMaxRankLayers);
    for (QList<int> *row : {&layers.top, &layers.bottom}) {
        while (row->size() < layers.count)
            row->append(defaultCut(int(row->size()) + 1));
        row->resize(layers.count);
    }
    return layers;
}

RankLayers readRankLayers(const QString &file)
{
    RankLayers layers;
    if (!QFileInfo::exists(file)) return resizedLayers(layers, 3);
    QSettings ini(file, QSettings::IniFormat);
    layers.count = std::clamp(ini.value(QStringLiteral("OrderConfig/Num"), 3).toInt(), 1, kMaxRankLayers);
    for (int n = 1; n <= layers.count; ++n) {
        const QString key = QStringLiteral("Col%1").arg(n);
        layers.top << std::clamp(ini.value(QStringLiteral("OrderFirst/") + key, defaultCut(n)).toInt(), 0, 500);
        layers.bottom << std::clamp(ini.value(QStringLiteral("OrderLast/") + key, defaultCut(n)).toInt(), 0, 500);
    }
    return layers;
}

bool writeRankLayers(const QString &file, const RankLayers &layers)
{
    QDir().mkpath(QFileInfo(file).absolutePath());
    QSettings ini(file, QSettings::IniFormat);
    ini.setValue(QStringLiteral("OrderConfig/Num"), layers.count);
    for (int n = 1; n <= layers.count; ++n) {
        const QString key = QStringLiteral("Col%1").arg(n);
        ini.setValue(QStringLiteral("OrderFirst/") + key, layers.top.value(n - 1));
        ini.setValue(QStringLiteral("OrderLast/") + key, layers.bottom.value(n - 1));
    }
    ini.sync();
    return ini.status() == QSettings::NoError;
}

QString userSettingsFile(const QString &name)
{
    return pub::appPath() + QStringLiteral("UserData/") + pub::userCode() + u'/' + name;
}

bool readCompareChoice(const QString &file, CompareChoice *choice)
{
    if (!QFileInfo::exists(file)) return false;
    QSettings ini(file, QSettings::IniFormat);
    ini.beginGroup(QStringLiteral("Compare"));
    choice->itemOption = ini.value(QStringLiteral("ItemOption"), -1).toInt();
    choice->items = ini.value(QStringLiteral("Items")).toString();
    // Written as one text: captions joined by ",".
    const QString range = ini.value(QStringLiteral("Range")).toString();
    choice->range = range.isEmpty() ? QStringList() : range.split(u',');
    choice->hasSubjects = ini.contains(QStringLiteral("Subjects"));
    const QString subjects = ini.value(QStringLiteral("Subjects")).toString();
    choice->subjects = subjects.isEmpty() ? QStringList() : subjects.split(u',');
    return true;
}

bool writeCompareChoice(const QString &file, const CompareChoice &choice)
{
    QDir().mkpath(QFileInfo(file).absolutePath());
    QSettings ini(file, QSettings::IniFormat);
    ini.beginGroup(QStringLiteral("Compare"));
    ini.setValue(QStringLiteral("ItemOption"), choice.itemOption);
    ini.setValue(QStringLiteral("Items"), choice.items);
    ini.setValue(QStringLiteral("Range"), choice.range.join(u','));
    if (choice.hasSubjects) ini.setValue(QStringLiteral("Subjects"), choice.subjects.join(u','));
    ini.endGroup();
    ini.sync();
    return ini.status() == QSettings::NoError;
}

} // namespace lumeko::achieve
