#include "scores/achievesettings.h"

#include "toolkit/data/commatext.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace lumeko::achieve {

namespace {

struct NamedColor {
    const char *name;
    QRgb rgb;
};
// The colour names older settings files carry, as the school's desktop systems spelt them.
const NamedColor kNamedColors[] = {
    {"clLime", 0x00FF00},   {"clFuchsia", 0xFF00FF}, {"clRed", 0xFF0000},     {"clBtnFace", 0xF0F0F0},    {"clYellow", 0xFFFF00},
    {"clAqua", 0x00FFFF},   {"clBlue", 0x0000FF},    {"clGreen", 0x008000},   {"clWhite", 0xFFFFFF},      {"clBlack", 0x000000},
    {"clSilver", 0xC0C0C0}, {"clGray", 0x808080},    {"clMaroon", 0x800000},  {"clNavy", 0x000080},       {"clPurple", 0x800080},
    {"clTeal", 0x008080},   {"clOlive", 0x808000},   {"clSkyBlue", 0xA6CAF0}, {"clMoneyGreen", 0xC0DCC0}, {"clCream", 0xFFFBF0},
};
const char *const kColorKeys[] = {"ExcelColor", "NoPassColor", "BadColor", "OrderColor"};
const char *const kShowKeys[] = {"ShowExcelColor", "ShowNoPassColor", "ShowBadColor", "ShowOrderColor"};
const char *const kDefaultColors[] = {"clLime", "clFuchsia", "clRed", "clBtnFace"};

} // namespace

void AchieveSettings::open(const QString &iniPath, int inYear, const QString &gradeCode, const QString &examCode)
{
    m_path = iniPath;
    m_section = QStringLiteral("%1_%2_%3").arg(inYear).arg(gradeCode, examCode);
    QDir().mkpath(QFileInfo(iniPath).absolutePath());
}

QVariant AchieveSettings::read(const char *key, const QVariant &fallback) const
{
    if (m_path.isEmpty()) return fallback;
    QSettings ini(m_path, QSettings::IniFormat);
    return ini.value(m_section + u'/' + QLatin1String(key), fallback);
}

void AchieveSettings::write(const char *key, const QVariant &value)
{
    if (m_path.isEmpty()) return;
    QSettings ini(m_path, QSettings::IniFormat);
    ini.setValue(m_section + u'/' + QLatin1String(key), value);
}

static int bounded(const QVariant &v, int fallback, int low, int high)
{
    bool ok = false;
    const int n = v.toInt(&ok);
    return ok && n >= low && n <= high ? n : fallback;
}

int AchieveSettings::compValue() const
{
    return bounded(read("CompValue", 30), 30, 0, 1000);
}
int AchieveSettings::compSubjects() const
{
    return bounded(read("CompSubjects", 3), 3, 1, 10);
}
int AchieveSettings::compSubjectStyle() const
{
    return bounded(read("CompSubjectStyle", 4), 4, 0, 4);
}
bool AchieveSettings::showColor() const
{
    return read("ShowColor", false).toBool();
}
bool AchieveSettings::showColorOf(ColorKind kind) const
{
    return read(kShowKeys[kind], true).toBool();
}
QColor AchieveSettings::color(ColorKind kind) const
{
    const QColor c = colorFromName(read(kColorKeys[kind], QString::fromLatin1(kDefaultColors[kind])).toString());
    return c.isValid() ? c : colorFromName(QString::fromLatin1(kDefaultColors[kind]));
}
QStringList AchieveSettings::hideInfoFields() const
{
    return splitCommaText(read("HideInfoFields", QString()).toString());
}
QStringList AchieveSettings::hideSubjects() const
{
    return splitCommaText(read("HideSubjects", QString()).toString());
}
QStringList AchieveSettings::filterClass() const
{
    return splitCommaText(read("FilterClass", QString()).toString());
}
int AchieveSettings::showSubjectItems() const
{
    return bounded(read("ShowSubjectItems", 3), 3, 0, 31);
}

QHash<QString, double> AchieveSettings::subjectsPer() const
{
    QHash<QString, double> weights;
    for (const QString &item : splitCommaText(read("SubjectsPer", QString()).toString())) {
        const QString code = item.section(u';', 0, 0);
        bool ok = false;
        const double per = item.section(u';', 1, 1).toDouble(&ok);
        if (!code.isEmpty() && ok && per > 0 && per <= 1) weights.insert(code, per);
    }
    return weights;
}

void AchieveSettings::setCompValue(int v)
{
    write("CompValue", v);
}
void AchieveSettings::setCompSubjects(int v)
{
    write("CompSubjects", v);
}
void AchieveSettings::setCompSubjectStyle(int v)
{
    write("CompSubjectStyle", v);
}
void AchieveSettings::setShowColor(bool on)
{
    write("ShowColor", on);
}
void AchieveSettings::setShowColorOf(ColorKind kind, bool on)
{
    write(kShowKeys[kind], on);
}
void AchieveSettings::setColor(ColorKind kind, const QColor &c)
{
    write(kColorKeys[kind], nameOfColor(c));
}
void AchieveSettings::setFilterClass(const QStringList &classes)
{
    write("FilterClass", joinCommaText(classes));
}
void AchieveSettings::setShowSubjectItems(int bits)
{
    write("ShowSubjectItems", bits);
}

void AchieveSettings::setSubjectsPer(const QHash<QString, double> &weights)
{
    QStringList items;
    for (auto it = weights.cbegin(); it != weights.cend(); ++it)
        items << it.key() + u';' + QString::number(it.value());
    items.sort();
    write("SubjectsPer", joinCommaText(items));
}

void AchieveSettings::restoreDefaultColors()
{
    for (int k = 0; k < 4; ++k)
        write(kColorKeys[k], QString::fromLatin1(kDefaultColors[k]));
    write("ShowColor", false);
}

QColor AchieveSettings::colorFromName(const QString &name)
{
    for (const NamedColor &c : kNamedColors)
        if (name.compare(QLatin1String(c.name), Qt::CaseInsensitive) == 0) return QColor(c.rgb);
    return QColor::fromString(name);
}

QString AchieveSettings::nameOfColor(const QColor &c)
{
    for (const NamedColor &n : kNamedColors)
        if (QColor(n.rgb) == c) return QString::fromLatin1(n.name);
    return c.name();
}

} // namespace lumeko::achieve
