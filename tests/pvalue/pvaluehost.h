#pragma once
// The P-value suites' host: the scripted host over the fixture school with the worked example's
// exam (pvalueschool.h), the reference data's own column definitions of CJ_ZLPG_P, the exam-name
// catalogue's 期末考试, and the dialog driven in place of the user.

#include "framework/lumekoachieve.h"
#include "framework/modalrun.h"
#include "pvalue/ufrmcalepval.h"
#include "pvalueschool.h"
#include "server/seed/seed.h"
#include "server/storage/schema.h"
#include "signedinhost.h"

#include <QCheckBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <functional>

namespace lumeko::pvalue::testing {

class PValueHostTest : public pub::testing::SignedInHost {
protected:
    using SignedInHost::SignedInHost;

    void SetUp() override
    {
        SignedInHost::SetUp();
        if (IsSkipped()) return;
        host.appPathValue = m_appDir.path() + u'/';
        server::Database &db = fx.db();
        exam = seedFinalExam(db);
        seedPValueRights(db);
        copyFieldDefinitions(db);
        db.exec("INSERT INTO \"CJ_ExamInfo\" (\"sCode\", \"sName\", \"sType\", \"SchoolCode\", \"bState\") VALUES ('002', ?, ?, 'SYSTEM', ?)",
                {QStringLiteral("期末考试"), QStringLiteral("综合考试"), db.toDb(true, wire::FieldType::Boolean)});
    }
    void TearDown() override
    {
        achieve::setModalRunner({});
        SignedInHost::TearDown();
    }

    // The column definitions of the P-value page as the reference data has them.
    static void copyFieldDefinitions(server::Database &db)
    {
        server::testing::TestDatabase scratch(server::Backend::Sqlite);
        const std::unique_ptr<server::Database> reference = scratch.open();
        server::seedSystemData(*reference);
        const server::TableDef &t = server::schemaTable(u"XT_Fields");
        QStringList columns, marks;
        for (const server::ColumnDef &c : t.columns) {
            columns << server::Database::quoted(c.name);
            marks << QStringLiteral("?");
        }
        const wire::DataPacket rows =
            reference->select(QStringLiteral("SELECT %1 FROM \"XT_Fields\" WHERE \"sTable\" = 'CJ_ZLPG_P'").arg(columns.join(u", ")), {}, t.fieldDefs());
        for (qsizetype r = 0; r < rows.rowCount(); ++r) {
            QVariantList values;
            for (int c = 0; c < t.columns.size(); ++c)
                values << db.toDb(rows.value(r, c), t.columns[c].type);
            db.exec(QStringLiteral("INSERT INTO \"XT_Fields\" (%1) VALUES (%2)").arg(columns.join(u", "), marks.join(u", ")), values);
        }
    }

    // ShowPValForm with `drive` doing what the user does; answers the export's result. `driven`
    // tells whether the dialog was shown at all.
    int form(const char *params, const std::function<int(achieve::TfrmCalePVal &)> &drive, bool *driven = nullptr)
    {
        bool shown = false;
        achieve::setModalRunner([&](QDialog &d) {
            shown = true;
            auto *dialog = dynamic_cast<achieve::TfrmCalePVal *>(&d);
            EXPECT_TRUE(dialog);
            return dialog ? drive(*dialog) : int(QDialog::Rejected);
        });
        const int result = ShowPValForm(&app, params);
        achieve::setModalRunner({});
        if (driven) *driven = shown;
        return result;
    }

    // Steps through the dialog as the worked example's settings: six 语文, 数学, 物理; entries 语文,
    // 数学 and 物理 + 化学 merged; the range; the entered values 0.9, 0.8, 0.95, 2; then 开始计算.
    static int computeExample(achieve::TfrmCalePVal &d, const QStringList &types = {QStringLiteral("统招生")})
    {
        tickSix(d, QStringLiteral("化学"), false);
        select(d, {QStringLiteral("物理"), QStringLiteral("化学")});
        d.mergeSelected();
        for (QCheckBox *box : d.chkTypes)
            box->setChecked(types.contains(box->text()));
        if (!d.next()) return QDialog::Rejected;
        d.edDYValue->setValue(0.9);
        d.edTWYSJYValue->setValue(0.8);
        d.edGGPre3->setValue(0.95);
        d.edRangeValue->setValue(2);
        d.calculate();
        return d.result();
    }

    static void tickSix(achieve::TfrmCalePVal &d, const QString &name, bool on)
    {
        const auto found = d.clbSubjects6->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << name.toStdString();
        found.first()->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }
    static QTreeWidgetItem *node(achieve::TfrmCalePVal &d, const QString &name)
    {
        const auto found = d.tvSubjects10->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
        return found.size() == 1 ? found.first() : nullptr;
    }
    static void select(achieve::TfrmCalePVal &d, const QStringList &names)
    {
        d.tvSubjects10->clearSelection();
        for (const QString &n : names)
            if (QTreeWidgetItem *item = node(d, n)) item->setSelected(true);
    }
    // The all-subject tree as text: "语文+" ticked, "音乐-" not, "合并科目+(物理,化学)".
    static QString tree(const achieve::TfrmCalePVal &d)
    {
        QStringList out;
        for (int i = 0; i < d.tvSubjects10->topLevelItemCount(); ++i) {
            const QTreeWidgetItem *top = d.tvSubjects10->topLevelItem(i);
            QString text = top->text(0) + (top->checkState(0) == Qt::Checked ? u'+' : u'-');
            QStringList children;
            for (int c = 0; c < top->childCount(); ++c)
                children << top->child(c)->text(0);
            if (!children.isEmpty()) text += u'(' + children.join(u',') + u')';
            out << text;
        }
        return out.join(u' ');
    }
    static QStringList ticked(const QListWidget *list)
    {
        QStringList out;
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->checkState() == Qt::Checked) out << list->item(i)->text();
        return out;
    }

    QVariant stored(const char *field)
    {
        return fx.db().scalar(QStringLiteral("SELECT %1 FROM \"CJ_ZLPG_P\" WHERE \"nExamId\" = ?").arg(server::Database::quoted(QString::fromLatin1(field))),
                              {exam});
    }

    QWidget app;
    qint64 exam = 0;
    QTemporaryDir m_appDir;
};

} // namespace lumeko::pvalue::testing
