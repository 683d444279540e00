#include "server/storage/schema.h"

#include <stdexcept>

namespace lumeko::server {

using wire::FieldType;

int TableDef::columnIndex(QStringView name) const
{
    for (int i = 0; i < columns.size(); ++i)
        if (columns[i].name.compare(name, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

const ColumnDef &TableDef::column(QStringView name) const
{
    const int i = columnIndex(name);
    if (i < 0) throw std::out_of_range(QStringLiteral("table %1 has no column %2").arg(this->name, name).toStdString());
    return columns[i];
}

bool TableDef::isKey(QStringView column) const
{
    for (const QString &k : key)
        if (k.compare(column, Qt::CaseInsensitive) == 0) return true;
    return false;
}

wire::FieldDef TableDef::fieldDef(const ColumnDef &c) const
{
    quint8 flags = 0;
    if (isKey(c.name)) flags |= wire::FieldDef::Key;
    if (c.notNull && c.name.compare(serial, Qt::CaseInsensitive) != 0) flags |= wire::FieldDef::Required;
    if (c.name.compare(serial, Qt::CaseInsensitive) == 0) flags |= wire::FieldDef::ReadOnly;
    return {c.name, c.type, c.size, flags};
}

QList<wire::FieldDef> TableDef::fieldDefs() const
{
    QList<wire::FieldDef> out;
    out.reserve(columns.size());
    for (const ColumnDef &c : columns) out.append(fieldDef(c));
    return out;
}

QList<wire::FieldDef> TableDef::fieldDefs(const QStringList &names) const
{
    QList<wire::FieldDef> out;
    out.reserve(names.size());
    for (const QString &n : names) out.append(fieldDef(column(n)));
    return out;
}

namespace {

// A compact way to declare a table: columns in order, then key, indexes and references.
class Table {
public:
    explicit Table(const char *name) { m_def.name = QString::fromLatin1(name); }

    Table &text(const char *name, int size, bool notNull = false) { return add(name, FieldType::Text, size, notNull); }
    Table &integer(const char *name, bool notNull = false) { return add(name, FieldType::Integer, 0, notNull); }
    Table &real(const char *name) { return add(name, FieldType::Float, 0, false); }
    Table &boolean(const char *name) { return add(name, FieldType::Boolean, 0, false); }
    Table &date(const char *name) { return add(name, FieldType::Date, 0, false); }
    Table &dateTime(const char *name, bool notNull = false) { return add(name, FieldType::DateTime, 0, notNull); }
    Table &blob(const char *name) { return add(name, FieldType::Blob, 0, false); }
    Table &serial(const char *name)
    {
        add(name, FieldType::Integer, 0, true);
        m_def.serial = QString::fromLatin1(name);
        m_def.key = {m_def.serial};
        return *this;
    }
    // Eight level marks with a prefix ("a" gives aFullMark, aHighMark, ...): the marks of one total.
    Table &levelMarks(const char *prefix)
    {
        for (const char *m : {"FullMark", "HighMark", "LowMark", "DistanceMark", "ExcelMark", "GoodMark", "PassMark", "BadMark"})
            add((QByteArray(prefix) + m).constData(), FieldType::Float, 0, false);
        return *this;
    }
    Table &key(QStringList columns)
    {
        for (const QString &c : columns) m_def.columns[m_def.columnIndex(c)].notNull = true;
        m_def.key = std::move(columns);
        return *this;
    }
    Table &index(QStringList columns) { m_def.indexes.append({std::move(columns), false}); return *this; }
    Table &unique(QStringList columns) { m_def.indexes.append({std::move(columns), true}); return *this; }
    Table &references(QStringList columns, const char *table, QStringList target, bool cascade = true)
    {
        m_def.references.append({std::move(columns), QString::fromLatin1(table), std::move(target), cascade});
        return *this;
    }
    TableDef done() const { return m_def; }

private:
    Table &add(const char *name, FieldType type, int size, bool notNull)
    {
        m_def.columns.append({QString::fromLatin1(name), type, size, notNull});
        return *this;
    }
    TableDef m_def;
};

constexpr int School = 20;  // school ids
constexpr int Guid = 38;    // "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}"
constexpr int Grade = 4;    // grade codes: stage digit + up to three more
constexpr int Code3 = 3;    // class, subject and department codes
constexpr int Name = 60;
constexpr int Hash = 160;   // an Argon2id hash string, or an enciphered password

// The exam identity shared by headers and their subject rows.
Table &examIdentity(Table &t)
{
    return t.text("SchoolCode", School, true).text("GradeCode", Grade, true).integer("InYear", true)
        .text("ExamCode", 10, true).text("PageName", 40, true);
}

QList<TableDef> declareTables()
{
    QList<TableDef> t;

    // --- the system: schema version, schools, registry, field definitions, log --------------------
    t << Table("XT_SchemaVersion").integer("nVersion").dateTime("dApplied", true).text("sDescription", 200)
             .key({"nVersion"}).done();
    t << Table("XT_School").text("SchoolCode", School).text("sFullName", 100, true).text("sName", 40)
             .text("sSchoolType", 20, true).boolean("bSubTree").boolean("bHasSub").boolean("bAutoPublishWX")
             .text("sMainCap", 20).text("sSubCap", 20).text("sAddress", 200)
             .key({"SchoolCode"}).done();
    // Registry lists ("StudState", "ExamType", ...): the list name is matched without regard to case.
    t << Table("XT_RegList").text("sListName", 40).text("sKeyId", 40).text("sValue", 100, true)
             .text("sDesc", 200).integer("iOrder")
             .key({"sListName", "sKeyId"}).done();
    t << Table("XT_Registry").text("sSection", 40).text("sKey", 60).text("sValue", 400).text("sExtra", 400)
             .key({"sSection", "sKey"}).done();
    t << Table("XT_Fields").text("sTable", 40).text("sFldName", 60).integer("iOrder", true)
             .text("sFldCaption", 60).boolean("bShowed").integer("nWidth").boolean("bSum").boolean("bGroup")
             .text("sFieldType", 1).text("sSumType", 1).text("sFormat", 40)
             .key({"sTable", "sFldName"}).done();
    t << Table("XT_Log").serial("nId").text("SchoolCode", School, true).text("sUserId", 40)
             .text("sUserName", 40).text("sComputer", 60).text("sText", 200).dateTime("dTime", true)
             .index({"SchoolCode", "dTime"}).done();
    // Grade names per school type, with what promotion needs: the next grade and the graduating flag.
    t << Table("XT_GradeName").text("sSchoolType", 20).text("sKeyId", Grade).text("sValue", 40, true)
             .text("sType", 20).text("sNextGrade", Grade).boolean("bGraduate").integer("iOrder")
             .key({"sSchoolType", "sKeyId"}).done();

    // --- organisation ------------------------------------------------------------------------------
    t << Table("XJ_Grade").text("SchoolCode", School).integer("InYear").text("GradeCode", Grade)
             .text("sYear", 20).text("TeacherCode", Guid).text("SubTeacherCode", Guid).text("bCurGrade", 1)
             .key({"SchoolCode", "InYear", "GradeCode"}).done();
    t << Table("XJ_Dept").text("SchoolCode", School).text("sCode", Code3).text("sName", 40, true).text("sMemo", 200)
             .key({"SchoolCode", "sCode"}).done();
    t << Table("XJ_Class").text("SchoolCode", School).text("ClassCode", Code3).text("ClassName", 40, true)
             .text("sType", 10).text("sArea", 20)
             .key({"SchoolCode", "ClassCode"}).done();
    t << Table("XJ_GradeClass").text("SchoolCode", School).integer("InYear").text("GradeCode", Grade)
             .text("ClassCode", Code3).text("sArea", 20).text("AliasName", 40).text("TeacherCode", Guid)
             .key({"SchoolCode", "InYear", "GradeCode", "ClassCode"}).index({"SchoolCode", "TeacherCode"}).done();
    t << Table("XJ_Subject").text("SchoolCode", School).text("SubjectCode", Code3).text("SubjectName", 40, true)
             .text("TeacherCode", Guid).text("SubTeacherCode", Guid)
             .key({"SchoolCode", "SubjectCode"}).done();
    t << Table("XJ_GradeSubject").text("SchoolCode", School).integer("InYear").text("GradeCode", Grade)
             .text("SubjectCode", Code3).integer("SubjectType").integer("FullMark").text("TeacherCode", Guid)
             .text("SubTeacherCode", Guid)
             .key({"SchoolCode", "InYear", "GradeCode", "SubjectCode"}).done();
    t << Table("XJ_CourseTable").text("SchoolCode", School).integer("InYear").text("GradeCode", Grade)
             .text("ClassCode", Code3).text("SubjectCode", Code3).text("TeacherCode", Guid)
             .key({"SchoolCode", "InYear", "GradeCode", "ClassCode", "SubjectCode"})
             .index({"SchoolCode", "TeacherCode"}).done();
    // Teachers are also the users who sign in: login name, mobile or e-mail, and a password hash.
    t << Table("JC_Teacher").text("sCode", Guid).text("SchoolCode", School, true).text("sName", 40, true)
             .text("sLoginName", Name).text("sMail", 100).text("sMobile", 20).text("sPass", Hash)
             .text("sRole", 40).integer("iState").text("sSex", 4).text("sType", 20).text("sResidenceType", 20)
             .text("sNation", 20).text("sBirthAddr", Name).date("dBirthday").text("sIDCard", 30)
             .text("sTel", 30).date("dWorkDate").text("sTitle", 40).text("sMemo", 400)
             .integer("iUserType").boolean("bViewAllGrade").boolean("bViewAllClass").boolean("Selected")
             .key({"sCode"}).unique({"sLoginName"}).unique({"sMobile"}).unique({"sMail"})
             .index({"SchoolCode", "sName"}).done();
    t << Table("JC_DeptTeacher").text("SchoolCode", School).text("TeacherCode", Guid).text("DepartCode", Code3)
             .text("sDuty", 40)
             .key({"SchoolCode", "TeacherCode", "DepartCode"})
             .references({"TeacherCode"}, "JC_Teacher", {"sCode"}).done();

    // --- the student register ------------------------------------------------------------------------
    t << Table("XJ_Student").text("sCode", Guid).text("SchoolCode", School, true).text("GradeCode", Grade)
             .integer("InYear").text("ClassCode", Code3).integer("iClassNo").text("iState", 4).text("sType", 20)
             .text("sSex", 4).text("sResidenceType", 20).text("sBirthAddr", Name).text("sName", 40, true)
             .text("sNO", 30).text("sICNo", 30).text("sPNO", 30).text("sPass", Hash).date("dbirthday")
             .text("sOldSchool", Name).text("sNation", 20).text("sAddress", 200).text("sTel", 30)
             .date("dEnterDate").text("sMemo", 400).boolean("Selected")
             .key({"sCode"}).index({"SchoolCode", "InYear", "GradeCode", "ClassCode"}).index({"SchoolCode", "sNO"})
             .done();
    t << Table("XJ_Family").text("scode", Guid).text("sTitle", 20).text("sName", 40).date("dBirthDay")
             .text("sPolice", 20).text("sHealthState", 20).text("sCompany", 100).text("sDuty", 40).text("sTel", 30)
             .text("Memo", 200).text("SchoolCode", School, true)
             .key({"scode", "sTitle"}).references({"scode"}, "XJ_Student", {"sCode"}).done();
    // Photo index: the picture itself lives in the file store under imgfile.
    t << Table("XJ_StudentPic").text("scode", Guid).text("imgtype", 1).text("imgfile", 200)
             .text("SchoolCode", School, true)
             .key({"scode", "imgtype"}).references({"scode"}, "XJ_Student", {"sCode"}).done();

    // --- exams -------------------------------------------------------------------------------------------
    // The exam-name catalogue: rows of the school and shared "SYSTEM" rows; codes are unique over both.
    t << Table("CJ_ExamInfo").text("sCode", 10).text("sName", Name, true).text("sType", 20)
             .text("SchoolCode", School, true).boolean("bState")
             .key({"sCode"}).done();
    {
        Table h("CJ_ExamTotal");
        h.serial("Id");
        examIdentity(h).text("ExamName", Name).levelMarks("a").levelMarks("m").levelMarks("b")
            .boolean("hasMain").boolean("hasBase").integer("ModifyRight").date("dDefDay").date("dLimitDay")
            .integer("nInway").boolean("Freeze").boolean("WXshowed").text("Classes", 1000).text("markShowType", 10)
            .unique({"SchoolCode", "GradeCode", "InYear", "ExamCode", "PageName"});
        t << h.done();
    }
    {
        Table s("CJ_ExamSubject");
        examIdentity(s).text("SubjectCode", Code3).text("ExamName", Name).text("ModuleCode", 10).real("Per")
            .integer("ModifyRight").real("FullMark").real("HighMark").real("LowMark").real("ExcelMark")
            .real("GoodMark").real("DistanceMark").real("PassMark").real("BadMark").real("B2").real("B3")
            .key({"SchoolCode", "GradeCode", "InYear", "ExamCode", "PageName", "SubjectCode"});
        t << s.done();
    }
    // Candidates of an exam with their totals and total ranks; scores are stored narrow below, one row
    // per candidate and subject, and the score sheet is assembled from them. iAllPass is the
    // candidate's standing over every subject (0 no score, 1 sat, 2 passed every subject) as
    // UpExamOrder last found it; NULL once a score or a pass mark it depends on has changed.
    t << Table("CJ_ExamStudent")
             .integer("examId")
             .text("StudentCode", Guid)
             .text("ClassCode", Code3)
             .text("AuthNo", 30)
             .real("FullTotal")
             .real("MainTotal")
             .real("BaseTotal")
             .integer("FullOrder")
             .integer("MainOrder")
             .integer("BaseOrder")
             .integer("iAllPass")
             .key({"examId", "StudentCode"})
             .index({"StudentCode"})
             .references({"examId"}, "CJ_ExamTotal", {"Id"})
             .done();
    t << Table("CJ_Mark").integer("examId").text("StudentCode", Guid).text("SubjectCode", Code3).real("score")
             .integer("gradeOrder")
             .key({"examId", "StudentCode", "SubjectCode"}).index({"examId", "SubjectCode", "score"})
             .references({"examId", "StudentCode"}, "CJ_ExamStudent", {"examId", "StudentCode"}).done();
    // The questions of an exam's subject (number, full mark, objective or not, knowledge point) and
    // each candidate's score on them, imported from an online marking system's sheet; a student's
    // question scores add up to his subject score.
    t << Table("CJ_ExamQuestion")
             .integer("examId")
             .text("SubjectCode", Code3)
             .text("QuestionNo", 10)
             .integer("iOrder", true)
             .real("FullMark")
             .boolean("bObjective")
             .text("sKnowledge", 100)
             .key({"examId", "SubjectCode", "QuestionNo"})
             .references({"examId"}, "CJ_ExamTotal", {"Id"})
             .done();
    t << Table("CJ_QuestionMark")
             .integer("examId")
             .text("StudentCode", Guid)
             .text("SubjectCode", Code3)
             .text("QuestionNo", 10)
             .real("score")
             .key({"examId", "StudentCode", "SubjectCode", "QuestionNo"})
             .index({"examId", "SubjectCode"})
             .references({"examId", "SubjectCode", "QuestionNo"}, "CJ_ExamQuestion", {"examId", "SubjectCode", "QuestionNo"})
             .references({"examId", "StudentCode"}, "CJ_ExamStudent", {"examId", "StudentCode"})
             .done();
    t << Table("CJ_SubjectItem").serial("Id").integer("examId", true).text("SubjectCode", Code3, true)
             .text("StudentCode", Guid, true).integer("InYear").real("score").integer("gradeOrder")
             .integer("classOrder").integer("areaOrder").text("scoreLevel", 20).integer("gradePercent")
             .integer("areaPercent")
             .unique({"examId", "StudentCode", "SubjectCode"}).index({"examId", "SubjectCode", "score"})
             .references({"examId"}, "CJ_ExamTotal", {"Id"}).done();
    // The history of stored scores: one row per save (who, when, from which computer, which exam)
    // and one line per score it changed (null: no score). The rows outlive the exam's candidates on
    // purpose; a school's disputes about marks are settled here.
    t << Table("CJ_MarkSave")
             .serial("Id")
             .integer("examId", true)
             .text("SchoolCode", School, true)
             .text("TeacherCode", 40)
             .text("UserName", 40)
             .text("sComputer", 60)
             .dateTime("dChanged", true)
             .index({"examId"})
             .done();
    t << Table("CJ_MarkLog")
             .integer("saveId")
             .text("StudentCode", Guid)
             .text("SubjectCode", Code3)
             .real("OldScore")
             .real("NewScore")
             .key({"saveId", "StudentCode", "SubjectCode"})
             .index({"StudentCode"})
             .references({"saveId"}, "CJ_MarkSave", {"Id"})
             .done();
    t << Table("CJ_ExamGradePer").serial("Id").integer("examId", true).text("sArea", 20).real("APer")
             .real("BPer").real("CPer").real("DPer").real("EPer")
             .unique({"examId", "sArea"}).references({"examId"}, "CJ_ExamTotal", {"Id"}).done();
    t << Table("CJ_ZLPG_P").serial("NID").text("SchoolCode", School, true).integer("InYear").text("GradeCode", Grade)
             .text("ExamCode", 10).integer("nExamId").text("SchoolType", 20).dateTime("DCreate").text("SCreater", 40)
             .text("sSubjects6", 200).text("sSubjects10", 400).text("sTypes", 400).text("sSumGS", 400)
             .text("sSumGSP", 400).real("nDYValue").real("nTWYSJYValue").real("nGGPre3").real("nRangeValue")
             .real("NP1").real("NP").integer("nMastNums").integer("nLeaveNums").real("nTotals").real("nFullTotal6")
             .integer("nPass6Nums").integer("nPass10Nums").integer("nPass10TotalNums").integer("nExcel6Nums")
             .text("sArea", 20)
             .index({"SchoolCode", "InYear", "GradeCode", "ExamCode"}).done();
    t << Table("CJ_ZLPG_PDetail").integer("NID").integer("nRow").text("sArea", 20).text("SubjectCode", 40)
             .text("sItem", Name).real("nValue").real("nPercent")
             .key({"NID", "nRow"}).references({"NID"}, "CJ_ZLPG_P", {"NID"}).done();

    // --- messages to families ----------------------------------------------------------------------------
    t << Table("XT_SendMsg").serial("nId").text("SMSID", 20).text("SPID", Name).text("dest_mobile", 20)
             .text("source_mobile", 20).text("Msg", 1000).integer("FeeType").integer("FeeValue").text("Sectid", 10)
             .integer("smFlag").dateTime("sDate").text("GDDBID", School, true).text("Classid", 10)
             .text("TeacherId", Guid).dateTime("dQueued")
             .index({"GDDBID", "smFlag"}).done();
    t << Table("XT_SMSOrder").text("SchoolCode", School).text("code", Guid).integer("smsState")
             .text("mobile", 20).text("mobile2", 20)
             .key({"SchoolCode", "code"}).done();

    // --- users, rights and sessions ------------------------------------------------------------------------
    // The function tree of the rights packet: pages (parent "40") and their function keys.
    t << Table("XT_Function").text("sFunId", 10).text("sParFunId", 10).text("sFunKey", 40).text("sFunName", 40)
             .text("sImg", 40).text("sDeskImg", 40).integer("iOrder")
             .key({"sFunId"}).done();
    // What each role (1..6) may use; a user holds the union over the roles of JC_Teacher.sRole.
    t << Table("XT_RoleRight").integer("iRole").text("sFunId", 10)
             .key({"iRole", "sFunId"}).references({"sFunId"}, "XT_Function", {"sFunId"}).done();
    t << Table("XT_UserRight").text("TeacherCode", Guid).text("sFunId", 10)
             .key({"TeacherCode", "sFunId"}).references({"TeacherCode"}, "JC_Teacher", {"sCode"})
             .references({"sFunId"}, "XT_Function", {"sFunId"}).done();
    // Sessions are found by a hash of their token; the token itself is never stored.
    t << Table("XT_Session").text("sTokenHash", 64).text("TeacherCode", Guid, true).text("SchoolCode", School, true)
             .text("sComputer", 60).text("sPeer", 60).dateTime("dCreated", true).dateTime("dSeen", true)
             .dateTime("dExpires", true)
             .key({"sTokenHash"}).index({"TeacherCode"})
             .references({"TeacherCode"}, "JC_Teacher", {"sCode"}).done();
    // Sessions of students and parents on the score query page, found by a hash of their token like
    // the teachers'. sPassTag is taken from the student's password hash at sign-in: a password set
    // anew (or removed) no longer matches it, which ends the session.
    t << Table("XT_StudentSession")
             .text("sTokenHash", 64)
             .text("StudentCode", Guid, true)
             .text("SchoolCode", School, true)
             .text("sPassTag", 16, true)
             .text("sPeer", 60)
             .dateTime("dCreated", true)
             .dateTime("dSeen", true)
             .dateTime("dExpires", true)
             .key({"sTokenHash"})
             .index({"StudentCode"})
             .references({"StudentCode"}, "XJ_Student", {"sCode"})
             .done();
    // --- the school year ----------------------------------------------------------------------------------
    // What each promotion or graduation of a grade changed, so that it can be undone exactly: one
    // row per grade and run (sKind "P" promoted into NextGrade, "G" graduated), and below it the
    // rows it touched (sOp "I" inserted: sAfter the whole row; "U" updated: sBefore and sAfter the
    // columns it set) and, for the grade it left behind, the keys of each table's rows (sOp "S",
    // sAfter a list) that an undo finds again unchanged or refuses. Values are JSON texts.
    t << Table("XT_GradeJournal")
             .serial("nId")
             .text("SchoolCode", School, true)
             .integer("InYear", true)
             .text("GradeCode", Grade, true)
             .text("NextGrade", Grade)
             .text("sKind", 1, true)
             .text("sYearFrom", 20)
             .text("sYearTo", 20)
             .text("TeacherCode", Guid)
             .dateTime("dDone", true)
             .dateTime("dUndone")
             .text("UndoneBy", Guid)
             .index({"SchoolCode", "InYear"})
             .done();
    t << Table("XT_GradeJournalRow")
             .integer("nJournal")
             .integer("nRow")
             .text("sTable", 40, true)
             .text("sOp", 1, true)
             .text("sKey", 400)
             .text("sBefore", 0)
             .text("sAfter", 0)
             .key({"nJournal", "nRow"})
             .references({"nJournal"}, "XT_GradeJournal", {"nId"})
             .done();
    // Failed sign-ins per login and per client address, shared by every server process.
    t << Table("XT_SignInFailure").text("sSubject", 120).integer("nCount", true).dateTime("dFirst", true)
             .dateTime("dBlockedUntil")
             .key({"sSubject"}).done();
    return t;
}

} // namespace

const QList<TableDef> &schemaTables()
{
    static const QList<TableDef> tables = declareTables();
    return tables;
}

const TableDef *findSchemaTable(QStringView name)
{
    for (const TableDef &t : schemaTables())
        if (t.name.compare(name, Qt::CaseInsensitive) == 0) return &t;
    return nullptr;
}

const TableDef &schemaTable(QStringView name)
{
    if (const TableDef *t = findSchemaTable(name)) return *t;
    throw std::out_of_range(QStringLiteral("no table %1").arg(name).toStdString());
}

} // namespace lumeko::server
