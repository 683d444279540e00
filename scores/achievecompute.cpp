// The score page's arithmetic: checking a typed score, the row totals, weights, levels, the three
// kinds of rank with the letters, standard scores and clearing. The rules themselves are the
// scoring engine's (domain/); this unit moves the sheet's columns in and out of it.

#include "domain/sheetranker.h"
#include "framework/remotetable.h"
#include "host/pub/pub.h"
#include "scores/ufrmachievepage.h"
#include "toolkit/grid/bandedgrid.h"

#include <QCheckBox>
#include <QItemSelectionModel>
#include <QTreeView>

namespace lumeko::achieve {

namespace {

const QString kNoPage = QStringLiteral("⊥");

// The sheet's rows in one pass: the bookmarks in the table's order with every row shown.
QList<Bookmark> allRows(DataSet &table)
{
    QList<Bookmark> rows;
    rows.reserve(table.recordCount());
    for (table.first(); !table.eof(); table.next())
        rows << table.bookmark();
    return rows;
}

std::vector<double> columnOf(DataSet &table, const QList<Bookmark> &rows, int field)
{
    std::vector<double> v(std::size_t(rows.size()), domain::kNoScore);
    if (field < 0) return v;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const QVariant x = table.slotValue(rows[i], field);
        if (!x.isNull()) v[std::size_t(i)] = x.toDouble();
    }
    return v;
}

// Writes one value into a row of the table unless it holds it already.
void put(DataSet &table, Bookmark row, int field, const QVariant &value)
{
    const QVariant now = table.slotValue(row, field);
    if (now.isNull() == value.isNull() && (value.isNull() || now == value)) return;
    table.gotoBookmark(row);
    table.edit();
    table.field(field).setValue(value);
    table.post();
}

QVariant scoreValue(double v)
{
    return domain::isScored(v) ? QVariant(v) : QVariant();
}

} // namespace

// ---- typed scores and totals ------------------------------------------------------------------------------

std::optional<double> TfrmAchievePage::gradedKeyValue(const QString &field, int key) const
{
    if (!field.startsWith(u"C_", Qt::CaseInsensitive) || key < Qt::Key_2 || key > Qt::Key_9 || !isGraded(field.mid(2))) return std::nullopt;
    const int digit = key - Qt::Key_0;
    return digit <= 5 ? double(digit) : digit - 3.5;
}

bool TfrmAchievePage::checkScore(const QString &field)
{
    const QVariant v = cdsData->value(field);
    if (v.isNull()) return true;
    const QString code = field.mid(2);
    const int row = subjectRow(code);
    if (row < 0 && subjectFullMark(code) <= 0) return true; // a subject the exam does not know is not checked
    const double full = subjectFullMark(code);
    const double score = v.toDouble();
    if (score < 0 || (full > 0 && score > full)) {
        pub::msgError(QStringLiteral("值<%1>无效，有效值为零到科目满分之间！").arg(cdsData->field(cdsData->fieldIndex(field)).asString()), this);
        if (cdsData->state() == DataSetState::Browse) cdsData->edit();
        cdsData->setValue(field, QVariant());
        cdsData->post();
        return false;
    }
    return true;
}

void TfrmAchievePage::computeRowTotals(const QString &field, const QString &text)
{
    if (!cdsData->isActive() || cdsData->isEmpty() || PageName != kNoPage) return;
    QList<domain::Score> scores;
    QList<int> types;
    for (const QString &code : SubjectCodes) {
        const QString name = QStringLiteral("C_") + code;
        QVariant v = cdsData->value(name);
        if (!field.isEmpty() && name.compare(field, Qt::CaseInsensitive) == 0 && !text.isEmpty()) v = text.toDouble();
        scores << (v.isNull() ? domain::Score() : domain::Score(v.toDouble()));
        int type = 2;
        for (qsizetype r = 0; r < cdsSubjects->recordCount(); ++r)
            if (cdsSubjects->valueAt(r, 0).toString() == code) type = cdsSubjects->valueAt(r, cdsSubjects->fieldIndex(u"SubjectType")).toInt();
        types << type;
    }
    const domain::Totals t = domain::totalsOf(scores, types);
    const auto value = [](const domain::Score &s) { return s ? QVariant(*s) : QVariant(); };
    const bool browsing = cdsData->state() == DataSetState::Browse;
    if (browsing) cdsData->edit();
    cdsData->setValue(u"FullTotal", value(t.full));
    cdsData->setValue(u"MainTotal", value(t.main));
    cdsData->setValue(u"BaseTotal", value(t.base));
    if (browsing) cdsData->post();
}

void TfrmAchievePage::computeAllTotals()
{
    if (!cdsData->isActive() || PageName != kNoPage) return;
    FrozenControls frozen(*cdsData);
    const Bookmark at = cdsData->bookmark();
    std::vector<std::vector<double>> columns;
    std::vector<int> types;
    const QList<Bookmark> rows = allRows(*cdsData);
    for (const QString &code : SubjectCodes) {
        columns.push_back(columnOf(*cdsData, rows, cdsData->fieldIndex(QStringLiteral("C_") + code)));
        int type = 2;
        for (qsizetype r = 0; r < cdsSubjects->recordCount(); ++r)
            if (cdsSubjects->valueAt(r, 0).toString() == code) type = cdsSubjects->valueAt(r, cdsSubjects->fieldIndex(u"SubjectType")).toInt();
        types.push_back(type);
    }
    const std::vector<std::span<const double>> spans(columns.begin(), columns.end());
    const domain::TotalColumns t = domain::totalColumns(spans, types);
    const int full = cdsData->fieldIndex(u"FullTotal"), main = cdsData->fieldIndex(u"MainTotal"), base = cdsData->fieldIndex(u"BaseTotal");
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (t.full.empty()) break;
        put(*cdsData, rows[i], full, scoreValue(t.full[std::size_t(i)]));
        put(*cdsData, rows[i], main, scoreValue(t.main[std::size_t(i)]));
        put(*cdsData, rows[i], base, scoreValue(t.base[std::size_t(i)]));
    }
    if (at >= 0) cdsData->gotoBookmark(at);
}

// ---- weights and levels -------------------------------------------------------------------------------------

// The user's weights show each weighted subject as its stored score × weight; they start from the
// stored score every time (the upload image keeps it), so loading twice never weights twice.
// While editing, the sheet shows the stored scores: what a teacher types is a score.
void TfrmAchievePage::applyWeights()
{
    if (!cdsData->isActive() || cdsData->isEmpty() || isEditing()) return;
    FrozenControls frozen(*cdsData);
    const QList<Bookmark> rows = allRows(*cdsData);
    bool weighted = false, rankBase = false, rankMain = false;
    for (qsizetype r = 0; r < cdsSubjectPt->recordCount(); ++r) {
        const QString code = cdsSubjectPt->valueAt(r, cdsSubjectPt->fieldIndex(u"SubjectCode")).toString();
        const double per = cdsSubjectPt->valueAt(r, cdsSubjectPt->fieldIndex(u"Per")).toDouble();
        const int field = cdsData->fieldIndex(QStringLiteral("C_") + code);
        if (!domain::weightApplies(per) || field < 0) continue;
        weighted = true;
        const int style = cdsSubjectPt->valueAt(r, cdsSubjectPt->fieldIndex(u"ordStyle")).toInt();
        rankBase = rankBase || style == 0;
        rankMain = rankMain || style == 0 || style == 1;
        const int upField = cdsDataUp->fieldIndex(QStringLiteral("C_") + code);
        for (const Bookmark row : rows) {
            const QString student = cdsData->slotValue(row, cdsData->fieldIndex(u"sCode")).toString();
            QVariant stored = cdsData->slotValue(row, field);
            if (upField >= 0 && cdsDataUp->findKey({student})) stored = cdsDataUp->value(cdsDataUp->fieldInfo(upField).def.name);
            put(*cdsData, row, field, stored.isNull() ? QVariant() : QVariant(domain::weightedScore(stored.toDouble(), per)));
        }
    }
    if (!weighted) return;
    computeAllTotals();
    for (Scope scope : {GradeScope, ClassScope, BranchScope}) {
        if (scope == BranchScope && !HasBranches) continue;
        RankSubject(QStringLiteral("FUL"), scope);
        if (rankBase && cdsExamInfo->value(u"hasBase").toBool()) RankSubject(QStringLiteral("BAS"), scope);
        if (rankMain && cdsExamInfo->value(u"hasMain").toBool()) RankSubject(QStringLiteral("MAI"), scope);
    }
    acceptDisplayChanges();
}

void TfrmAchievePage::computeLevels()
{
    if (!cdsData->isActive()) return;
    FrozenControls frozen(*cdsData);
    const QList<Bookmark> rows = allRows(*cdsData);
    for (qsizetype r = 0; r < cdsSubjectPt->recordCount(); ++r) {
        const QString code = cdsSubjectPt->valueAt(r, cdsSubjectPt->fieldIndex(u"SubjectCode")).toString();
        const int level = cdsData->fieldIndex(QStringLiteral("G_") + code);
        if (level < 0) continue;
        const std::vector<double> scores = columnOf(*cdsData, rows, cdsData->fieldIndex(scoreField(code)));
        std::vector<std::int8_t> levels(scores.size());
        domain::levelsOf(scores, levelMarks(int(r)), levels);
        for (qsizetype i = 0; i < rows.size(); ++i)
            put(*cdsData, rows[i], level, levels[std::size_t(i)] < 0 ? QVariant() : QVariant(int(levels[std::size_t(i)])));
    }
    acceptDisplayChanges();
}

void TfrmAchievePage::acceptDisplayChanges()
{
    if (!isEditing() && cdsData->isActive() && cdsData->changeCount() > 0) cdsData->mergeChangeLog();
}

// ---- ranks and letters ----------------------------------------------------------------------------------------

void TfrmAchievePage::RankSubject(const QString &code, Scope scope)
{
    if (!cdsData->isActive() || cdsData->isEmpty()) return;
    const int scoreIndex = cdsData->fieldIndex(scoreField(code));
    if (scoreIndex < 0) return;
    FilterScope everyRow(*cdsData, QString());
    FrozenControls frozenData(*cdsData);
    FrozenControls frozenItems(*cdsOrders);
    const QList<Bookmark> rows = allRows(*cdsData);
    const std::vector<double> scores = columnOf(*cdsData, rows, scoreIndex);

    // Classes and branches as small numbers for the engine.
    std::vector<int> classOf(scores.size(), -1), branchOf(scores.size(), -1);
    QHash<QString, int> classes, branches;
    QStringList branchNames;
    const int classField = cdsData->fieldIndex(u"ClassName"), areaField = cdsData->fieldIndex(u"sArea");
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const QString klass = cdsData->slotValue(rows[i], classField).toString();
        classOf[std::size_t(i)] = int(classes.contains(klass) ? classes.value(klass) : *classes.insert(klass, int(classes.size())));
        const QString area = cdsData->slotValue(rows[i], areaField).toString();
        if (!branches.contains(area)) {
            branches.insert(area, int(branches.size()));
            branchNames << area;
        }
        branchOf[std::size_t(i)] = branches.value(area);
    }
    // The letter shares: the first row for the grade, each branch's own row for its branch.
    const auto sharesOf = [this](qsizetype r) {
        const auto v = [&](const char *f) { return cdsGradePer->valueAt(r, cdsGradePer->fieldIndex(QString::fromLatin1(f))).toDouble(); };
        return domain::LetterShares{v("APer"), v("BPer"), v("CPer"), v("DPer"), v("EPer")};
    };
    domain::LetterRules letters;
    if (cdsGradePer->isActive() && !cdsGradePer->isEmpty()) letters.grade = sharesOf(0);
    for (const QString &area : branchNames) {
        std::optional<domain::LetterShares> shares;
        for (qsizetype r = 0; cdsGradePer->isActive() && r < cdsGradePer->recordCount(); ++r)
            if (cdsGradePer->valueAt(r, cdsGradePer->fieldIndex(u"sArea")).toString() == area && !area.isEmpty()) shares = sharesOf(r);
        letters.perBranch.push_back(shares);
    }
    domain::ColumnRanks ranks;
    domain::SheetRanker(classOf, branchOf).rank(scores, letters, ranks);

    // The subject items of the subject, by student.
    QHash<QString, Bookmark> items;
    const int itemStudent = cdsOrders->fieldIndex(u"StudentCode"), itemSubject = cdsOrders->fieldIndex(u"SubjectCode");
    if (cdsOrders->isActive()) {
        FilterScope allItems(*cdsOrders, QString());
        for (cdsOrders->first(); !cdsOrders->eof(); cdsOrders->next())
            if (cdsOrders->field(itemSubject).asString() == code) items.insert(cdsOrders->field(itemStudent).asString(), cdsOrders->bookmark());
    }
    const int rankIndex = cdsData->fieldIndex(rankField(code)), letterIndex = cdsData->fieldIndex(QStringLiteral("P_") + code);
    const int ptRow = subjectRow(code);
    const QString examId = cdsExamInfo->value(u"Id").toString();
    const auto item = [&](const QString &student) -> Bookmark {
        if (const auto it = items.constFind(student); it != items.cend()) return *it;
        cdsOrders->append();
        cdsOrders->setValue(u"examId", examId.toLongLong());
        cdsOrders->setValue(u"SubjectCode", code);
        cdsOrders->setValue(u"StudentCode", student);
        cdsOrders->setValue(u"InYear", InYear);
        cdsOrders->post();
        return *items.insert(student, cdsOrders->bookmark());
    };
    const auto set = [&](Bookmark b, const char *field, const QVariant &v) { put(*cdsOrders, b, cdsOrders->fieldIndex(QString::fromLatin1(field)), v); };
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const std::size_t k = std::size_t(i);
        if (!domain::isScored(scores[k]) || !cdsOrders->isActive()) {
            if (scope == GradeScope && !domain::isScored(scores[k]) && rankIndex >= 0) put(*cdsData, rows[i], rankIndex, QVariant());
            continue;
        }
        const QString student = cdsData->slotValue(rows[i], cdsData->fieldIndex(u"sCode")).toString();
        const Bookmark b = item(student);
        switch (scope) {
        case GradeScope: {
            if (rankIndex >= 0) put(*cdsData, rows[i], rankIndex, ranks.grade[k]);
            set(b, "score", scores[k]);
            set(b, "gradeOrder", ranks.grade[k]);
            if (ptRow >= 0) {
                const std::optional<int> level = domain::levelOf(scores[k], levelMarks(ptRow));
                set(b, "scoreLevel",
                    level && *level < cdsGradeList->recordCount() ? cdsGradeList->valueAt(*level, cdsGradeList->fieldIndex(u"sValue")) : QVariant());
            }
            if (ranks.gradeLetter[k] > 0) {
                set(b, "gradePercent", int(ranks.gradeLetter[k]));
                if (letterIndex >= 0) put(*cdsData, rows[i], letterIndex, int(ranks.gradeLetter[k]));
            }
            break;
        }
        case ClassScope:
            set(b, "classOrder", ranks.inClass[k]);
            break;
        case BranchScope:
            set(b, "areaOrder", ranks.inBranch[k]);
            if (ranks.branchLetter[k] > 0) set(b, "areaPercent", int(ranks.branchLetter[k]));
            break;
        }
    }
}

void TfrmAchievePage::rankAll(Scope scope)
{
    for (qsizetype r = 0; r < cdsSubjectPt->recordCount(); ++r)
        RankSubject(cdsSubjectPt->valueAt(r, cdsSubjectPt->fieldIndex(u"SubjectCode")).toString(), scope);
}

void TfrmAchievePage::rankEverything()
{
    rankAll(ClassScope);
    if (HasBranches) rankAll(BranchScope);
    rankAll(GradeScope);
}

void TfrmAchievePage::showClassAndBranchRanks()
{
    if (!cdsData->isActive() || !cdsOrders->isActive()) return;
    const bool classes = subjectItems() & ItemClassRank, branchRanks = (subjectItems() & ItemBranchRank) && HasBranches;
    if (!classes && !branchRanks) return;
    FrozenControls frozen(*cdsData);
    QHash<QString, Bookmark> items;
    {
        FilterScope allItems(*cdsOrders, QString());
        for (cdsOrders->first(); !cdsOrders->eof(); cdsOrders->next())
            items.insert(cdsOrders->value(u"StudentCode").toString() + u'|' + cdsOrders->value(u"SubjectCode").toString(), cdsOrders->bookmark());
    }
    const QList<Bookmark> rows = allRows(*cdsData);
    for (qsizetype r = 0; r < cdsSubjectPt->recordCount(); ++r) {
        const QString code = cdsSubjectPt->valueAt(r, cdsSubjectPt->fieldIndex(u"SubjectCode")).toString();
        const int b = cdsData->fieldIndex(QStringLiteral("B_") + code), a = cdsData->fieldIndex(QStringLiteral("A_") + code);
        for (const Bookmark row : rows) {
            const auto it = items.constFind(cdsData->slotValue(row, cdsData->fieldIndex(u"sCode")).toString() + u'|' + code);
            const auto itemValue = [&](const char *f) {
                return it == items.cend() ? QVariant() : cdsOrders->slotValue(*it, cdsOrders->fieldIndex(QString::fromLatin1(f)));
            };
            if (classes && b >= 0) put(*cdsData, row, b, itemValue("classOrder"));
            if (branchRanks && a >= 0) put(*cdsData, row, a, itemValue("areaOrder"));
        }
    }
    acceptDisplayChanges();
}

void TfrmAchievePage::showLetters()
{
    if (!cdsData->isActive() || !cdsOrders->isActive()) return;
    FrozenControls frozen(*cdsData);
    const char *source = HasBranches && chkBranches->isChecked() ? "areaPercent" : "gradePercent";
    QHash<QString, QVariant> letters;
    {
        FilterScope allItems(*cdsOrders, QString());
        for (cdsOrders->first(); !cdsOrders->eof(); cdsOrders->next())
            letters.insert(cdsOrders->value(u"StudentCode").toString() + u'|' + cdsOrders->value(u"SubjectCode").toString(),
                           cdsOrders->value(QString::fromLatin1(source)));
    }
    const QList<Bookmark> rows = allRows(*cdsData);
    for (qsizetype r = 0; r < cdsSubjectPt->recordCount(); ++r) {
        const QString code = cdsSubjectPt->valueAt(r, cdsSubjectPt->fieldIndex(u"SubjectCode")).toString();
        const int p = cdsData->fieldIndex(QStringLiteral("P_") + code), score = cdsData->fieldIndex(scoreField(code));
        if (p < 0) continue;
        for (const Bookmark row : rows) {
            const bool scored = score >= 0 && !cdsData->slotValue(row, score).isNull();
            put(*cdsData, row, p, scored ? letters.value(cdsData->slotValue(row, cdsData->fieldIndex(u"sCode")).toString() + u'|' + code) : QVariant());
        }
    }
    acceptDisplayChanges();
}

// ---- standard scores and clearing ------------------------------------------------------------------------------

bool TfrmAchievePage::standardize()
{
    if (!cdsData->isActive() || cdsData->isEmpty()) return pub::msgHint(QStringLiteral("无考试成绩数据！"), this), false;
    if (SubjectCodes.isEmpty() || cdsSubjectPt->isEmpty()) return pub::msgHint(QStringLiteral("未定义考试科目！"), this), false;
    FrozenControls frozen(*cdsData);
    const QList<Bookmark> rows = allRows(*cdsData);
    const auto transform = [&](const QString &field) {
        const int index = cdsData->fieldIndex(field);
        if (index < 0) return;
        std::vector<double> scores = columnOf(*cdsData, rows, index);
        domain::standardize(scores);
        for (qsizetype i = 0; i < rows.size(); ++i)
            put(*cdsData, rows[i], index, scoreValue(scores[std::size_t(i)]));
    };
    for (const QString &code : SubjectCodes)
        transform(QStringLiteral("C_") + code);
    if (PageName == kNoPage)
        for (const char *total : {"FullTotal", "MainTotal", "BaseTotal"})
            transform(QString::fromLatin1(total));
    acceptDisplayChanges();
    return true;
}

void TfrmAchievePage::clearSelectedCells()
{
    pub::WaitIndicator wait(this, QStringLiteral("正在清空已选科目成绩，请稍后..."));
    QSet<QPair<int, int>> cells; // data row, grid column
    for (int band = 0; band < 2; ++band) {
        QTreeView *view = GridData->bandView(band);
        if (!view || !view->selectionModel()) continue;
        for (const QModelIndex &index : view->selectionModel()->selectedIndexes()) {
            const int row = GridData->gridModel()->ordinalOfRow(index.row());
            if (row >= 0) cells.insert({row, index.column()});
        }
    }
    if (cells.isEmpty() && GridData->currentRow() >= 0) cells.insert({GridData->currentRow(), GridData->currentColumn()});
    QSet<int> touched;
    for (const auto &[row, column] : cells) {
        if (column < 0 || column >= GridData->columnCount()) continue;
        const GridColumn &c = GridData->column(column);
        if (c.tag == 1 || c.readOnly || !c.field.startsWith(u"C_", Qt::CaseInsensitive)) continue;
        GridData->setCurrentCell(row, column);
        if (cdsData->value(c.field).isNull()) continue;
        cdsData->edit();
        cdsData->setValue(c.field, QVariant());
        cdsData->post();
        touched.insert(row);
    }
    for (int row : touched) {
        GridData->setCurrentCell(row, GridData->currentColumn());
        computeRowTotals();
    }
}

} // namespace lumeko::achieve
