#include "host/app/desktab.h"

#include "host/app/functions.h"
#include "host/pub/pub.h"

#include <QDate>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace lumeko::host {

namespace {

QLabel *heading(const QString &text, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    QFont f = l->font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.15);
    l->setFont(f);
    return l;
}

QTreeWidget *table(const QStringList &headers, QWidget *parent)
{
    auto *t = new QTreeWidget(parent);
    t->setHeaderLabels(headers);
    t->setRootIsDecorated(false);
    t->setUniformRowHeights(true);
    t->setAlternatingRowColors(true);
    t->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    return t;
}

} // namespace

int schoolYearStart(const QDate &day)
{
    return day.month() >= 9 ? day.year() : day.year() - 1;
}

DeskTab::DeskTab(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("DeskTab"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 18, 24, 18);
    layout->setSpacing(10);
    m_who = new QLabel(this);
    m_who->setObjectName(QStringLiteral("DeskWho"));
    m_who->setTextFormat(Qt::RichText);
    m_who->setWordWrap(true);
    layout->addWidget(m_who);

    layout->addWidget(heading(QStringLiteral("年级"), this));
    m_grades = table({QStringLiteral("学段"), QStringLiteral("年级"), QStringLiteral("班级数"), QStringLiteral("学生数")}, this);
    m_grades->setObjectName(QStringLiteral("DeskGrades"));
    m_grades->setToolTip(QStringLiteral("双击一个年级打开它的学籍档案"));
    connect(m_grades, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *item) {
        const int i = m_grades->indexOfTopLevelItem(item);
        if (i >= 0 && i < m_gradePlaces.size()) Q_EMIT openRequested(m_gradePlaces[i]);
    });
    layout->addWidget(m_grades, 1);

    layout->addWidget(heading(QStringLiteral("最近的考试"), this));
    m_exams = table({QStringLiteral("考试"), QStringLiteral("年级"), QStringLiteral("考试日期"), QStringLiteral("考生"), QString()}, this);
    m_exams->setObjectName(QStringLiteral("DeskExams"));
    layout->addWidget(m_exams, 1);
    m_noExams = new QLabel(QStringLiteral("还没有您可查看的考试。考试由“考试管理”创建，创建后会列在这里。"), this);
    layout->addWidget(m_noExams);
}

QString DeskTab::roleNames() const
{
    QList<wire::Argument> args{{QStringLiteral("Roles"), false}, {wire::Null{}, true}};
    pub::ServerObject sys = pub::ServerObject::sysQry();
    const wire::Reply r = sys.call(wire::protocol::QRegByType, args);
    const auto *roles = std::get_if<wire::DataPacket>(&args[1].value);
    QStringList names;
    for (const QString &key : pub::userRole().split(u',', Qt::SkipEmptyParts)) {
        QString name = key.trimmed();
        if (r.ok() && roles)
            for (qsizetype i = 0; i < roles->rowCount(); ++i)
                if (roles->value(i, roles->fieldIndex(u"sKeyId")).toString() == name) name = roles->value(i, roles->fieldIndex(u"sValue")).toString();
        names << name;
    }
    if (pub::userType() == 1) names.prepend(QStringLiteral("系统管理员"));
    return names.isEmpty() ? QStringLiteral("（无）") : names.join(QStringLiteral("、"));
}

void DeskTab::reload(const QList<SectionNode> &sections, bool scoreSheets)
{
    const int year = schoolYearStart(QDate::currentDate());
    m_who->setText(QStringLiteral("<p style='font-size:large'><b>%1</b></p>"
                                  "<p>%2，您好！　角色：%3　　当前学年：%4~%5学年</p>"
                                  "<p style='color:#566573'>左侧按学段、年级和班级列出学校。先选中一个年级或班级，再点上方的功能按钮，"
                                  "功能就打开在所选的年级或班级上；双击年级或班级直接打开学籍档案。</p>")
                       .arg(pub::schoolName().toHtmlEscaped(), pub::userName().toHtmlEscaped(), roleNames().toHtmlEscaped())
                       .arg(year)
                       .arg(year + 1));

    m_grades->clear();
    m_gradePlaces.clear();
    QHash<QString, QString> gradeNames; // "InYear|GradeCode" → name, for the exams below
    for (const SectionNode &s : sections) {
        for (const GradeNode &g : s.current) {
            new QTreeWidgetItem(m_grades, {s.name, g.text(), QString::number(g.classes.size()), QString::number(g.students)});
            m_gradePlaces << gradePlace(g);
        }
        for (const QList<GradeNode> *list : {&s.current, &s.history})
            for (const GradeNode &g : *list)
                gradeNames.insert(QStringLiteral("%1|%2").arg(g.inYear).arg(g.code), g.name);
    }

    m_exams->clear();
    const wire::DataPacket exams = pub::recentExams(8);
    const auto field = [&exams](qsizetype r, const char *name) { return exams.value(r, exams.fieldIndex(QString::fromLatin1(name))); };
    for (qsizetype r = 0; r < exams.rowCount(); ++r) {
        const QString code = field(r, "GradeCode").toString();
        const QString gradeName = gradeNames.value(QStringLiteral("%1|%2").arg(field(r, "InYear").toLongLong()).arg(code), code);
        auto *item = new QTreeWidgetItem(m_exams, {field(r, "ExamName").toString(), field(r, "InYear").toString() + QStringLiteral("级") + gradeName,
                                                   field(r, "dDefDay").toDate().toString(QStringLiteral("yyyy-MM-dd")), field(r, "nStudents").toString()});
        auto *open = new QPushButton(pub::styleIcon(QStringLiteral("Achieve")), QStringLiteral("成绩录入"), m_exams);
        open->setFlat(true);
        open->setEnabled(scoreSheets);
        open->setToolTip(scoreSheets ? QStringLiteral("打开这次考试的成绩表") : QStringLiteral("成绩录入尚未提供"));
        const QString params = scoreSheetParameters(exams, r, gradeName);
        const QString caption = QStringLiteral("成绩录入 - %1级%2.%3").arg(field(r, "InYear").toString(), gradeName, field(r, "ExamName").toString());
        connect(open, &QPushButton::clicked, this, [this, params, caption] { Q_EMIT scoreSheetRequested(params, caption); });
        m_exams->setItemWidget(item, 4, open);
    }
    m_exams->setVisible(exams.rowCount() > 0);
    m_noExams->setVisible(exams.rowCount() == 0);
}

} // namespace lumeko::host
