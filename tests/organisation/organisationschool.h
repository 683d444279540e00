#pragma once
// The base of the organisation dialogs' suites: the fixture school of the server suites with what
// these dialogs read beside it (the registry's class types, subject types, full-mark schemes and
// duties; the organisation functions of the rights tree, whose Manager keys the subject teacher
// lacks), signed in through a link that notes every method the dialogs call.

#include "qstringprint.h"
#include "signedinhost.h"
#include "toolkit/grid/bandedgrid.h"
#include "toolkit/grid/gridmodel.h"

#include <QRegularExpression>
#include <QTest>
#include <QTreeView>

namespace lumeko::achieve::testing {

// Passes the dialogs' calls on to the embedded server and notes the methods called.
class RecordingLink : public wire::ServerLink {
public:
    explicit RecordingLink(wire::CallService &service) : m_inner(service) {}
    wire::Reply call(wire::Call &call) override
    {
        methods << call.method;
        return m_inner.call(call);
    }
    QStringList methods;

private:
    wire::LocalLink m_inner;
};

class OrganisationSchool : public pub::testing::SignedInHost {
protected:
    void SetUp() override
    {
        SignedInHost::SetUp();
        server::Database &db = fx.db();
        const QString reg = "INSERT INTO \"XT_RegList\" (\"sListName\", \"sKeyId\", \"sValue\", \"iOrder\") VALUES (?, ?, ?, ?)";
        int order = 0;
        for (const auto &[list, key, value] : std::initializer_list<std::tuple<const char *, const char *, const char *>>{{"ClassType", "1", "普通班"},
                                                                                                                          {"ClassType", "2", "实验班"},
                                                                                                                          {"SubjectType", "0", "基础学科"},
                                                                                                                          {"SubjectType", "1", "主科"},
                                                                                                                          {"SubjectType", "2", "辅助科"},
                                                                                                                          {"FullMarkType", "100", "100分制"},
                                                                                                                          {"FullMarkType", "150", "150分制"},
                                                                                                                          {"Duty", "1", "组长"},
                                                                                                                          {"Duty", "2", "副组长"},
                                                                                                                          {"Duty", "4", "主任"}})
            db.exec(reg, {list, key, QString::fromUtf8(value), ++order});
        const QString fn = "INSERT INTO \"XT_Function\" (\"sFunId\", \"sParFunId\", \"sFunKey\", \"sFunName\", \"iOrder\") VALUES (?, ?, ?, ?, ?)";
        order = 100;
        for (const auto &[id, name] : std::initializer_list<std::pair<const char *, const char *>>{
                 {"4001", "年级设置"}, {"4002", "班级设置"}, {"4003", "学科设置"}, {"4006", "年级班级"}, {"4007", "年级学科"}}) {
            db.exec(fn, {id, "40", QVariant(), QString::fromUtf8(name), ++order});
            db.exec(fn, {QString::fromLatin1(id) + QStringLiteral("01"), id, "Manager", QStringLiteral("维护"), ++order});
            db.exec("INSERT INTO \"XT_RoleRight\" (\"iRole\", \"sFunId\") VALUES (6, ?)", {id});
        }
    }

    void signIn(const char *login = "admin", const char *password = "lumeko")
    {
        QString error;
        ASSERT_TRUE(pub::signIn(recorder, QString::fromLatin1(login), QString::fromLatin1(password), &error)) << error.toStdString();
        recorder.methods.clear();
    }

    // One column of a query's rows, as texts.
    QStringList column(const QString &sql, const QVariantList &params = {})
    {
        const wire::DataPacket rows = fx.db().select(sql, params, {{"v", wire::FieldType::Text, 0, 0}});
        QStringList out;
        for (qsizetype r = 0; r < rows.rowCount(); ++r)
            out << rows.value(r, 0).toString();
        return out;
    }
    // The school's operation log, oldest first, a line sent in numbered pieces put together again.
    QStringList operationLog()
    {
        QStringList lines;
        for (const QString &piece : column("SELECT \"sText\" FROM \"XT_Log\" WHERE \"SchoolCode\" = 'S1' ORDER BY \"nId\"")) {
            const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("^\\((\\d+)\\)")).match(piece);
            if (!m.hasMatch())
                lines << piece;
            else if (m.captured(1) == u"1" || lines.isEmpty())
                lines << piece.mid(m.capturedLength());
            else
                lines.last() += piece.mid(m.capturedLength());
        }
        return lines;
    }

    // The grid row showing the table row whose field holds the value; -1 when none does.
    static int gridRow(BandedGrid &grid, const char *field, const QVariant &value)
    {
        DataSet *t = grid.gridModel()->table();
        const int f = t->fieldIndex(QString::fromLatin1(field));
        for (int ordinal = 0; ordinal < grid.dataRowCount(); ++ordinal) {
            const int source = grid.gridModel()->sourceRowOfOrdinal(ordinal);
            if (t->valueAt(source, f).toString() == value.toString()) return grid.gridModel()->rowOfOrdinal(ordinal);
        }
        return -1;
    }
    // A click with the mouse on a cell of the grid (the grid's window is shown).
    static void clickCell(BandedGrid &grid, int row, const char *field)
    {
        QTreeView *view = grid.bandView(1);
        const QRect box = view->visualRect(grid.gridModel()->index(row, grid.columnOfField(QString::fromLatin1(field))));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, box.center());
    }
    // The grid's texts of a column, top to bottom.
    static QStringList shown(BandedGrid &grid, const char *field)
    {
        QStringList out;
        const int c = grid.columnOfField(QString::fromLatin1(field));
        for (int row = 0; row < grid.dataRowCount(); ++row)
            out << grid.displayText(row, c);
        return out;
    }

    RecordingLink recorder{fx.service()};
};

} // namespace lumeko::achieve::testing
