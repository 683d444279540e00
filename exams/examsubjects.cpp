#include "exams/examsubjects.h"

#include "framework/remotetable.h"
#include "framework/servercall.h"
#include "host/pub/pub.h"

#include <QWidget>

namespace lumeko::achieve {

const char *const ExamSubjects::kMarkFields[8] = {"FullMark", "ExcelMark", "GoodMark", "PassMark", "BadMark", "DistanceMark", "HighMark", "LowMark"};
const domain::Mark ExamSubjects::kMarkOrder[8] = {domain::FullMark, domain::ExcelMark,    domain::GoodMark, domain::PassMark,
                                                  domain::BadMark,  domain::DistanceMark, domain::HighMark, domain::LowMark};

ExamSubjects::ExamSubjects(DataSet &subjects, QWidget *owner, std::function<ExamIdentity()> identity)
    : QObject(owner), m_subjects(subjects), m_owner(owner), m_identity(std::move(identity))
{
    connect(&m_subjects, &DataSet::rowChanged, this, &ExamSubjects::rowChanged);
}

void ExamSubjects::remember()
{
    m_seen.clear();
    if (!m_subjects.isActive()) return;
    const Bookmark here = m_subjects.bookmark();
    for (m_subjects.first(); !m_subjects.eof(); m_subjects.next())
        m_seen.insert(m_subjects.value(u"SubjectCode").toString(), snapshot());
    if (here >= 0) m_subjects.gotoBookmark(here);
}

void ExamSubjects::quietly(const std::function<void()> &change)
{
    m_adjusting = true;
    change();
    m_adjusting = false;
    remember();
}

void ExamSubjects::rowChanged()
{
    if (m_adjusting || !m_active || !m_subjects.isActive() || m_subjects.isEmpty() || m_subjects.state() != DataSetState::Browse) return;
    const QString subject = m_subjects.value(u"SubjectCode").toString();
    const bool selected = m_subjects.value(u"Freeze").toBool();
    const QVariant full = m_subjects.value(u"FullMark");
    const Snapshot was = m_seen.value(subject);
    const bool wasSelected = was.selected;
    const QVariant wasFull = was.marks.value(0);
    m_adjusting = true;
    // A mark out of its range is refused, and the row shows again what it held.
    if (const QString wrong = outOfRange(); !wrong.isEmpty()) {
        m_subjects.edit();
        for (int m = 0; m < 8; ++m)
            m_subjects.setValue(QString::fromLatin1(kMarkFields[m]), was.marks.value(m));
        m_subjects.setValue(u"Per", was.per);
        m_subjects.post();
        pub::msgError(wrong, m_owner);
        m_adjusting = false;
        return;
    }
    const auto setMarks = [this](const domain::SubjectDefaults &d) {
        m_subjects.edit();
        for (int m = 0; m < 8; ++m)
            m_subjects.setValue(QString::fromLatin1(kMarkFields[m]), d.marks[kMarkOrder[m]]);
        m_subjects.setValue(u"Per", d.per);
        m_subjects.setValue(u"ModifyRight", d.modifyRight);
        m_subjects.post();
    };
    if (selected && !wasSelected) {
        if (wire::isNull(full) || full.toDouble() <= 0) setMarks(*domain::marksForFullMark(100));
    } else if (!selected && wasSelected) {
        const ExamIdentity e = m_identity();
        QList<wire::Argument> args{in(e.school), in(e.grade), in(e.code), in(e.page), in(subject), var(qint64(e.inYear))};
        const CallResult r = callServer(protocol::QCheckSubjectMark, args);
        const qint64 scores = std::get_if<qint64>(&r.result) ? std::get<qint64>(r.result) : 0;
        m_subjects.edit();
        if (!r.ok()) {
            m_subjects.setValue(u"Freeze", true);
            pub::msgError(QStringLiteral("数据读取失败，可能网络不稳定，请稍后再试！"), m_owner);
        } else if (scores > 0) {
            m_subjects.setValue(u"Freeze", true);
            pub::msgHint(QStringLiteral("此科目已经有成绩了，不能删除！"), m_owner);
        } else {
            for (const char *f : kMarkFields)
                m_subjects.setValue(QString::fromLatin1(f), QVariant());
            m_subjects.setValue(u"Per", QVariant());
            m_subjects.setValue(u"ModifyRight", QVariant());
        }
        m_subjects.post();
    } else if (selected && full != wasFull) {
        if (const std::optional<domain::SubjectDefaults> d = domain::marksForFullMark(full.toDouble())) setMarks(*d);
    }
    m_seen.insert(subject, snapshot());
    m_adjusting = false;
}

ExamSubjects::Snapshot ExamSubjects::snapshot() const
{
    Snapshot s;
    s.selected = m_subjects.value(u"Freeze").toBool();
    for (const char *f : kMarkFields)
        s.marks << m_subjects.value(QString::fromLatin1(f));
    s.per = m_subjects.value(u"Per");
    return s;
}

// The ranges the marks keep: a full mark from 5 to 900 (0 changes nothing), the other marks from 1
// to 2000, the weight at most 1 (100%).
QString ExamSubjects::outOfRange() const
{
    const QString invalid = QStringLiteral("输入的值无效！\n\r请按ESC键取消输入。");
    for (const char *f : kMarkFields) {
        const QVariant v = m_subjects.value(QString::fromLatin1(f));
        if (wire::isNull(v)) continue;
        const double x = v.toDouble();
        const bool full = qstrcmp(f, "FullMark") == 0;
        if (full ? (x != 0 && (x < 5 || x > 900)) : (x < 1 || x > 2000)) return invalid;
    }
    const QVariant per = m_subjects.value(u"Per");
    if (!wire::isNull(per) && (per.toDouble() > 1.001 || per.toDouble() < 0)) return QStringLiteral("权重最大比重不能超过1即100%！\n\r请按ESC键取消输入。");
    return {};
}

void ExamSubjects::selectAll(bool on)
{
    if (!m_subjects.isActive()) return;
    const Bookmark here = m_subjects.bookmark();
    for (m_subjects.first(); !m_subjects.eof(); m_subjects.next()) {
        if (m_subjects.value(u"Freeze").toBool() == on) continue;
        m_subjects.edit();
        m_subjects.setValue(u"Freeze", on);
        m_subjects.post();
    }
    if (here >= 0) m_subjects.gotoBookmark(here);
}

bool ExamSubjects::anySelected()
{
    bool any = false;
    for (m_subjects.first(); m_subjects.isActive() && !m_subjects.eof(); m_subjects.next())
        any = any || m_subjects.value(u"Freeze").toBool();
    return any;
}

void ExamSubjects::mergeInto(DataSet &stored, const ExamIdentity &exam)
{
    QStringList offered;
    for (m_subjects.first(); !m_subjects.eof(); m_subjects.next()) {
        const QString subject = m_subjects.value(u"SubjectCode").toString();
        offered << subject;
        const bool found = stored.locate(QStringLiteral("SubjectCode"), {subject});
        if (!m_subjects.value(u"Freeze").toBool()) {
            if (found) stored.deleteRecord();
            continue;
        }
        found ? stored.edit() : stored.append();
        const auto set = [&stored](QStringView field, const QVariant &v) {
            if (stored.value(field) != v) stored.setValue(field, v);
        };
        set(u"SchoolCode", exam.school);
        set(u"GradeCode", exam.grade);
        set(u"InYear", exam.inYear);
        set(u"ExamCode", exam.code);
        set(u"PageName", exam.page);
        set(u"ExamName", exam.name);
        set(u"SubjectCode", subject);
        for (const char16_t *f :
             {u"ModuleCode", u"Per", u"ModifyRight", u"FullMark", u"ExcelMark", u"GoodMark", u"PassMark", u"BadMark", u"HighMark", u"LowMark", u"DistanceMark"})
            set(QStringView(f), m_subjects.value(QStringView(f)));
        stored.post();
    }
    for (stored.first(); !stored.eof();)
        if (!offered.contains(stored.value(u"SubjectCode").toString()))
            stored.deleteRecord();
        else
            stored.next();
}

domain::ExamTotals ExamSubjects::totals()
{
    QList<domain::ExamSubject> chosen;
    for (m_subjects.first(); !m_subjects.eof(); m_subjects.next()) {
        if (!m_subjects.value(u"Freeze").toBool()) continue;
        domain::ExamSubject s;
        s.subjectType = int(m_subjects.value(u"SubjectType").toLongLong());
        for (int m = 0; m < 8; ++m)
            s.marks[kMarkOrder[m]] = m_subjects.value(QString::fromLatin1(kMarkFields[m])).toDouble();
        chosen << s;
    }
    return domain::examTotals(chosen);
}

} // namespace lumeko::achieve
