#pragma once
// The score page's settings of one user for one exam, in "UserData/<user>/AchieveConfig.ini" below
// the application folder, section "<intake year>_<grade>_<exam>" (2012_0701_003): the filters,
// the colours, the hidden columns, the ticked classes of the class tree, the user's own weights
// and the shown sub-columns of the subjects. Each setter writes its key at once.

#include "framework/achieve_export.h"

#include <QColor>
#include <QHash>
#include <QString>
#include <QStringList>

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT AchieveSettings {
public:
    // Opens the section of an exam; nothing is read before.
    void open(const QString &iniPath, int inYear, const QString &gradeCode, const QString &examCode);
    QString path() const { return m_path; }
    QString section() const { return m_section; }

    int compValue() const;        // 0 … 1000, default 30
    int compSubjects() const;     // 1 … 10, default 3
    int compSubjectStyle() const; // 0 … 4, default 4
    bool showColor() const;       // default false
    enum ColorKind { Excel, NoPass, Bad, Order };
    bool showColorOf(ColorKind kind) const; // default true
    QColor color(ColorKind kind) const;
    QStringList hideInfoFields() const;
    QStringList hideSubjects() const;
    QStringList filterClass() const;
    QHash<QString, double> subjectsPer() const; // subject code → weight
    int showSubjectItems() const;               // default 3

    void setCompValue(int v);
    void setCompSubjects(int v);
    void setCompSubjectStyle(int v);
    void setShowColor(bool on);
    void setShowColorOf(ColorKind kind, bool on);
    void setColor(ColorKind kind, const QColor &c);
    void setFilterClass(const QStringList &classes);
    void setSubjectsPer(const QHash<QString, double> &weights);
    void setShowSubjectItems(int bits);
    // "恢复默认": the four colours and the master switch.
    void restoreDefaultColors();

    // Colour names as the settings file keeps them: "clLime", "clFuchsia", "clRed", "clBtnFace" and
    // the other named colours, or "#rrggbb".
    static QColor colorFromName(const QString &name);
    static QString nameOfColor(const QColor &c);

private:
    QVariant read(const char *key, const QVariant &fallback) const;
    void write(const char *key, const QVariant &value);
    QString m_path, m_section;
};

} // namespace lumeko::achieve
