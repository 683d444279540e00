// The score page's side panel: the subject properties ("属性设置": weights and marks) and the
// filters and display options ("筛选过滤": class tree, rank and count filters, shown sub-columns,
// letters, colours, the subjects handed to the analyses), with the user's settings behind them.

#include "domain/scoring.h"
#include "framework/remotetable.h"
#include "framework/servercall.h"
#include "framework/sharedroutines.h"
#include "host/pub/pub.h"
#include "scores/ufrmachievepage.h"
#include "toolkit/data/commatext.h"
#include "toolkit/grid/bandedgrid.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QScrollArea>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace lumeko::achieve {

namespace {

const QString kNoPage = QStringLiteral("⊥");
const char *const kItemCaptions[] = {"显示成绩", "显示年段排名", "显示班级排名", "显示分校排名", "显示等级"};
const char *const kLevelCaptions[] = {"优秀", "良好", "及格", "合格", "不及格"};
const QString kTotals[] = {QStringLiteral("FUL"), QStringLiteral("MAI"), QStringLiteral("BAS")};

QCheckBox *check(const char *caption, QWidget *parent)
{
    return new QCheckBox(QString::fromUtf8(caption), parent);
}

void paintSwatch(QToolButton *button, const QColor &color)
{
    QPixmap swatch(28, 14);
    swatch.fill(color);
    button->setIcon(QIcon(swatch));
}

bool isTotalCode(const QString &code)
{
    return code == u"FUL" || code == u"MAI" || code == u"BAS";
}

} // namespace

void TfrmAchievePage::buildSidePanel()
{
    pcSide = new QTabWidget(this);
    pcSide->setFixedWidth(300);
    layout()->addWidget(pcSide);

    // "属性设置"
    auto *properties = new QWidget(pcSide);
    auto *pl = new QVBoxLayout(properties);
    grdProperty = new BandedGrid(properties);
    grdProperty->setDataSet(cdsSubjectPt);
    grdProperty->setGroupByBoxVisible(false);
    grdProperty->setBandCaptionsVisible(false);
    grdProperty->setFooterVisible(false);
    pl->addWidget(grdProperty, 1);
    auto *totals = new QFormLayout;
    lbBaseSubjects = new QLabel(properties);
    lbMainSubjects = new QLabel(properties);
    lbBaseSubjects->setWordWrap(true);
    lbMainSubjects->setWordWrap(true);
    totals->addRow(QStringLiteral("基总分"), lbBaseSubjects);
    totals->addRow(QStringLiteral("主总分"), lbMainSubjects);
    pl->addLayout(totals);
    pcSide->addTab(properties, QStringLiteral("属性设置"));

    // "筛选过滤"
    // The filters and options are taller than a laptop's page: they scroll.
    auto *scroller = new QScrollArea(pcSide);
    scroller->setWidgetResizable(true);
    scroller->setFrameShape(QFrame::NoFrame);
    auto *filters = new QWidget;
    scroller->setWidget(filters);
    auto *fl = new QVBoxLayout(filters);
    tvClasses = new QTreeWidget(filters);
    tvClasses->setHeaderHidden(true);
    tvClasses->setMinimumHeight(140);
    fl->addWidget(tvClasses);
    auto *rows = new QGroupBox(QStringLiteral("学生筛选"), filters);
    auto *rl = new QFormLayout(rows);
    cbFilter = new QComboBox(rows);
    cbFilter->addItems({QStringLiteral("全部学生"), QStringLiteral("前："), QStringLiteral("倒数："), QStringLiteral("科目数：")});
    seCompValue = new QSpinBox(rows);
    seCompValue->setRange(0, 1000);
    seCompSubjects = new QSpinBox(rows);
    seCompSubjects->setRange(1, 10);
    cbCompStyle = new QComboBox(rows);
    for (const char *c : kLevelCaptions)
        cbCompStyle->addItem(QString::fromUtf8(c));
    rl->addRow(QStringLiteral("筛选"), cbFilter);
    rl->addRow(QStringLiteral("名次"), seCompValue);
    rl->addRow(QStringLiteral("科数"), seCompSubjects);
    rl->addRow(QStringLiteral("等级"), cbCompStyle);
    fl->addWidget(rows);
    auto *shown = new QGroupBox(QStringLiteral("显示科目子项"), filters);
    auto *sl = new QVBoxLayout(shown);
    lbSubjectItems = new QListWidget(shown);
    for (const char *c : kItemCaptions) {
        auto *item = new QListWidgetItem(QString::fromUtf8(c), lbSubjectItems);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    lbSubjectItems->setFixedHeight(lbSubjectItems->sizeHintForRow(0) * 5 + 2 * lbSubjectItems->frameWidth() + 4);
    sl->addWidget(lbSubjectItems);
    chkLetters = check("显示英文等级", shown);
    chkBranches = check("区分校区", shown);
    sl->addWidget(chkLetters);
    sl->addWidget(chkBranches);
    fl->addWidget(shown);
    auto *colours = new QGroupBox(QStringLiteral("颜色"), filters);
    auto *cl = new QGridLayout(colours);
    chkColor = check("显示颜色", colours);
    chkExcel = check("优秀", colours);
    chkNoPass = check("不及格", colours);
    chkBad = check("不合格", colours);
    chkOrder = check("排名", colours);
    btnExcelColor = new QToolButton(colours);
    btnNoPassColor = new QToolButton(colours);
    btnBadColor = new QToolButton(colours);
    btnOrderColor = new QToolButton(colours);
    btnDefaultColors = new QToolButton(colours);
    btnDefaultColors->setText(QStringLiteral("恢复默认"));
    cl->addWidget(chkColor, 0, 0);
    cl->addWidget(btnDefaultColors, 0, 1);
    int row = 1;
    for (auto [box, button] : {std::pair{chkExcel, btnExcelColor}, {chkNoPass, btnNoPassColor}, {chkBad, btnBadColor}, {chkOrder, btnOrderColor}}) {
        cl->addWidget(box, row, 0);
        cl->addWidget(button, row++, 1);
    }
    fl->addWidget(colours);
    auto *subjects = new QGroupBox(QStringLiteral("显示科目及数据项"), filters);
    auto *jl = new QVBoxLayout(subjects);
    lbSubjects = new QListWidget(subjects);
    lbSubjects->setMinimumHeight(150);
    jl->addWidget(lbSubjects);
    fl->addWidget(subjects);
    fl->addStretch();
    pcSide->addTab(scroller, QStringLiteral("筛选过滤"));

    // Each control writes its setting at once.
    connect(seCompValue, &QSpinBox::valueChanged, this, [this](int v) {
        Settings.setCompValue(v);
        applyRowFilter();
    });
    connect(seCompSubjects, &QSpinBox::valueChanged, this, [this](int v) {
        Settings.setCompSubjects(v);
        applyRowFilter();
    });
    connect(cbCompStyle, &QComboBox::currentIndexChanged, this, [this](int v) {
        Settings.setCompSubjectStyle(v);
        applyRowFilter();
    });
    connect(cbFilter, &QComboBox::currentIndexChanged, this, [this] { applyRowFilter(); });
    connect(lbSubjectItems, &QListWidget::itemChanged, this, [this](QListWidgetItem *item) {
        if (Loading) return;
        Settings.setShowSubjectItems(subjectItems());
        applySubjectItems();
        const int bit = 1 << lbSubjectItems->row(item);
        if (item->checkState() == Qt::Checked && bit == ItemLevel) computeLevels();
        if (item->checkState() == Qt::Checked && (bit == ItemClassRank || bit == ItemBranchRank)) showClassAndBranchRanks();
    });
    connect(chkLetters, &QCheckBox::toggled, this, [this](bool on) {
        applySubjectItems();
        if (on) showLetters();
    });
    connect(chkBranches, &QCheckBox::toggled, this, [this](bool on) {
        branchSharesToggled(on);
        if (chkLetters->isChecked()) showLetters();
    });
    connect(chkColor, &QCheckBox::toggled, this, [this](bool on) {
        Settings.setShowColor(on);
        GridData->refreshCells();
    });
    const std::pair<QCheckBox *, AchieveSettings::ColorKind> switches[] = {
        {chkExcel, AchieveSettings::Excel}, {chkNoPass, AchieveSettings::NoPass}, {chkBad, AchieveSettings::Bad}, {chkOrder, AchieveSettings::Order}};
    // Each binding copied into its lambda by name: clang 14, which builds the fuzz targets, cannot
    // capture a structured binding.
    for (const auto &[box, switchKind] : switches)
        connect(box, &QCheckBox::toggled, this, [this, kind = switchKind](bool on) {
            Settings.setShowColorOf(kind, on);
            GridData->refreshCells();
        });
    const std::pair<QToolButton *, AchieveSettings::ColorKind> buttons[] = {{btnExcelColor, AchieveSettings::Excel},
                                                                            {btnNoPassColor, AchieveSettings::NoPass},
                                                                            {btnBadColor, AchieveSettings::Bad},
                                                                            {btnOrderColor, AchieveSettings::Order}};
    for (const auto &[colorButton, colorKind] : buttons)
        connect(colorButton, &QToolButton::clicked, this, [this, button = colorButton, kind = colorKind] {
            const QColor c = QColorDialog::getColor(Settings.color(kind), this);
            if (!c.isValid()) return;
            Settings.setColor(kind, c);
            paintSwatch(button, c);
            GridData->refreshCells();
        });
    connect(btnDefaultColors, &QToolButton::clicked, this, [this] {
        Settings.restoreDefaultColors();
        readSettings();
        GridData->refreshCells();
    });
    connect(tvClasses, &QTreeWidget::itemChanged, this, [this] {
        if (Loading) return;
        QStringList ticked;
        for (int i = 0; tvClasses->topLevelItemCount() > 0 && i < tvClasses->topLevelItem(0)->childCount(); ++i) {
            const QTreeWidgetItem *c = tvClasses->topLevelItem(0)->child(i);
            if (c->checkState(0) == Qt::Checked) ticked << c->data(0, Qt::UserRole).toString();
        }
        Settings.setFilterClass(ticked);
        if (!isEditing()) LoadData();
    });
    // The properties are checked cell by cell and stored when the user leaves the panel.
    connect(grdProperty, &BandedGrid::cellEdited, this, [this](int, int column) {
        const QString field = grdProperty->column(column).field;
        const QString code = cdsSubjectPt->value(u"SubjectCode").toString();
        const QVariant v = cdsSubjectPt->value(field);
        const auto refuse = [&](const QString &text) {
            pub::msgError(text, this);
            cdsSubjectPt->edit();
            cdsSubjectPt->setValue(field, cdsSubjectPt->oldValue(cdsSubjectPt->fieldIndex(field)));
            cdsSubjectPt->post();
        };
        if (isTotalCode(code) && field != u"B2" && field != u"B3") return refuse(QStringLiteral("全总、主总、基总只能修改县均和市均。"));
        const double x = v.toDouble();
        if (field == u"Per") {
            if (!(x > 0 && x <= 1 && std::abs(x * 100 - std::round(x * 100)) < 1e-9))
                refuse(QStringLiteral("权重有效值为(0<权重<=1)的两位小数！\n\r请按ESC键取消输入。"));
            return;
        }
        double low = 1, high = 2000;
        if (field == u"FullMark")
            low = 3, high = 200;
        else if (field != u"B2" && field != u"B3")
            high = cdsSubjectPt->value(u"FullMark").toDouble();
        if (!v.isNull() && (x < low || x > high))
            refuse(QStringLiteral("输入的值 %1 无效，有效范围[%2-%3]\n\r请按ESC键取消输入。")
                       .arg(QString::number(x), QString::number(low), QString::number(high)));
    });
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *old, QWidget *now) {
        if (old && grdProperty->isAncestorOf(old) && !(now && grdProperty->isAncestorOf(now)) && cdsSubjectPt->changeCount() > 0) storeProperties();
    });

    // The property grid's columns.
    const auto column = [](const char *field, const char *caption, int width, bool readOnly = false) {
        GridColumn c = GridColumn::of(field, caption, width, readOnly);
        c.editor = EditorKind::Float;
        return c;
    };
    QList<GridColumn> columns{column("SubjectCode", "科目", 52, true), column("Per", "权重", 44),      column("FullMark", "满分", 44),
                              column("ExcelMark", "优秀", 44),         column("GoodMark", "良好", 44), column("PassMark", "及格", 44),
                              column("BadMark", "合格", 44),           column("HighMark", "上限", 44), column("LowMark", "下限", 44),
                              column("DistanceMark", "间距", 44),      column("B2", "县均", 44),       column("B3", "市均", 44)};
    columns[0].editor = EditorKind::Lookup;
    columns[1].displayFormat = QStringLiteral("0.00");
    for (int hidden : {7, 8, 9})
        columns[hidden].visible = false;
    grdProperty->setColumns(columns);
    grdProperty->setFixedColumnCount(1);
    grdProperty->setReadOnly(false);
}

void TfrmAchievePage::readSettings()
{
    Settings.open(pub::appPath() + QStringLiteral("UserData/") + pub::userCode() + QStringLiteral("/AchieveConfig.ini"), InYear, GradeCode, ExamCode);
    const bool loading = Loading;
    Loading = true;
    const QSignalBlocker b1(seCompValue), b2(seCompSubjects), b3(cbCompStyle), b4(chkColor), b5(chkExcel), b6(chkNoPass), b7(chkBad), b8(chkOrder),
        b9(tvClasses);
    seCompValue->setValue(Settings.compValue());
    seCompSubjects->setValue(Settings.compSubjects());
    cbCompStyle->setCurrentIndex(Settings.compSubjectStyle());
    chkColor->setChecked(Settings.showColor());
    chkExcel->setChecked(Settings.showColorOf(AchieveSettings::Excel));
    chkNoPass->setChecked(Settings.showColorOf(AchieveSettings::NoPass));
    chkBad->setChecked(Settings.showColorOf(AchieveSettings::Bad));
    chkOrder->setChecked(Settings.showColorOf(AchieveSettings::Order));
    paintSwatch(btnExcelColor, Settings.color(AchieveSettings::Excel));
    paintSwatch(btnNoPassColor, Settings.color(AchieveSettings::NoPass));
    paintSwatch(btnBadColor, Settings.color(AchieveSettings::Bad));
    paintSwatch(btnOrderColor, Settings.color(AchieveSettings::Order));

    // The user's weights.
    const QHash<QString, double> weights = Settings.subjectsPer();
    for (qsizetype r = 0; r < cdsSubjectPt->recordCount(); ++r) {
        const QString code = cdsSubjectPt->valueAt(r, cdsSubjectPt->fieldIndex(u"SubjectCode")).toString();
        if (!weights.contains(code)) continue;
        cdsSubjectPt->moveTo(r);
        cdsSubjectPt->edit();
        cdsSubjectPt->setValue(u"Per", weights.value(code));
        cdsSubjectPt->post();
    }
    if (cdsSubjectPt->isActive()) cdsSubjectPt->mergeChangeLog();
    // The subject names in the property grid.
    GridColumn subject = grdProperty->column(0);
    subject.lookup = {
        {QStringLiteral("FUL"), QStringLiteral("全总")}, {QStringLiteral("MAI"), QStringLiteral("主总")}, {QStringLiteral("BAS"), QStringLiteral("基总")}};
    for (qsizetype r = 0; r < cdsSubjects->recordCount(); ++r)
        subject.lookup.append({cdsSubjects->valueAt(r, 0), cdsSubjects->valueAt(r, cdsSubjects->fieldIndex(u"SubjectName")).toString()});
    grdProperty->updateColumn(0, subject);

    // The class tree: the classes the user may see, ticked as he left them.
    tvClasses->clear();
    auto *all = new QTreeWidgetItem(tvClasses, {QStringLiteral("全部班级")});
    all->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsAutoTristate);
    const QStringList ticked = Settings.filterClass();
    for (qsizetype r = 0; r < cdsClassList->recordCount(); ++r) {
        const QString code = cdsClassList->valueAt(r, cdsClassList->fieldIndex(u"ClassCode")).toString();
        QString name = cdsClassList->valueAt(r, cdsClassList->fieldIndex(u"AliasName")).toString();
        if (cdsClassName->isActive() && name.isEmpty() && cdsClassName->locate(QStringLiteral("ClassCode"), {code}))
            name = cdsClassName->value(u"ClassName").toString();
        auto *item = new QTreeWidgetItem(all, {name.isEmpty() ? code : name});
        item->setData(0, Qt::UserRole, code);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(0, ticked.isEmpty() || ticked.contains(code) ? Qt::Checked : Qt::Unchecked);
    }
    tvClasses->expandAll();

    // The subjects handed to the analyses.
    lbSubjects->clear();
    for (const QString &code : SubjectCodes) {
        auto *item = new QListWidgetItem(GridData->columnCaption(GridData->columnOfField(QStringLiteral("C_") + code)), lbSubjects);
        item->setData(Qt::UserRole, code);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    if (PageName == kNoPage) {
        const std::pair<const char *, bool> totals[] = {
            {"全总", true}, {"主总", cdsExamInfo->value(u"hasMain").toBool()}, {"基总", cdsExamInfo->value(u"hasBase").toBool()}};
        for (int t = 0; t < 3; ++t) {
            if (!totals[t].second) continue;
            auto *item = new QListWidgetItem(QString::fromUtf8(totals[t].first), lbSubjects);
            item->setData(Qt::UserRole, kTotals[t]);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
            item->setCheckState(Qt::Unchecked);
        }
    }
    // The display items and what the rights allow of them.
    const bool admin = pub::userType() == 1;
    for (int i = 0; i < 5; ++i) {
        QListWidgetItem *item = lbSubjectItems->item(i);
        const int bit = 1 << i;
        bool enabled = true;
        if (!admin && (bit == ItemGradeRank || bit == ItemClassRank || bit == ItemBranchRank)) enabled = m_viewOrder;
        if (bit == ItemBranchRank) enabled = enabled && HasBranches;
        if (!admin && bit == ItemLevel) enabled = m_viewLevel;
        item->setFlags(enabled ? Qt::ItemIsEnabled | Qt::ItemIsUserCheckable : Qt::ItemIsUserCheckable);
    }
    int items = Settings.showSubjectItems();
    if (!admin && !m_viewOrder) items &= ~(ItemGradeRank | ItemClassRank | ItemBranchRank);
    if (!admin && !m_viewLevel) items &= ~ItemLevel;
    if (!HasBranches) items &= ~ItemBranchRank;
    setSubjectItems(items);
    Loading = loading;
    applySubjectItems();
}

int TfrmAchievePage::subjectItems() const
{
    int bits = 0;
    for (int i = 0; i < lbSubjectItems->count(); ++i)
        if (lbSubjectItems->item(i)->checkState() == Qt::Checked) bits |= 1 << i;
    return bits;
}

void TfrmAchievePage::setSubjectItems(int bits)
{
    const QSignalBlocker block(lbSubjectItems);
    for (int i = 0; i < lbSubjectItems->count(); ++i)
        lbSubjectItems->item(i)->setCheckState(bits & (1 << i) ? Qt::Checked : Qt::Unchecked);
    applySubjectItems();
}

void TfrmAchievePage::applySubjectItems()
{
    const int bits = subjectItems();
    const QStringList hiddenSubjects = Settings.hideSubjects(), hiddenInfo = Settings.hideInfoFields();
    for (int c = 0; c < GridData->columnCount(); ++c) {
        const QString field = GridData->column(c).field;
        const QString prefix = field.left(2).toUpper();
        QString code = field.mid(2);
        bool visible = GridData->column(c).visible;
        const bool total = field.endsWith(u"Total", Qt::CaseInsensitive) || field.endsWith(u"Order", Qt::CaseInsensitive) ||
                           ((prefix == u"B_" || prefix == u"A_" || prefix == u"G_" || prefix == u"P_") && isTotalCode(code));
        if (prefix == u"C_")
            visible = bits & ItemScore;
        else if (prefix == u"O_" || field.endsWith(u"Order", Qt::CaseInsensitive))
            visible = (bits & ItemGradeRank) != 0;
        else if (prefix == u"B_")
            visible = bits & ItemClassRank;
        else if (prefix == u"A_")
            visible = (bits & ItemBranchRank) && HasBranches;
        else if (prefix == u"G_")
            visible = bits & ItemLevel;
        else if (prefix == u"P_")
            visible = chkLetters->isChecked();
        else if (field.endsWith(u"Total", Qt::CaseInsensitive))
            visible = true;
        else {
            visible = !hiddenInfo.contains(field, Qt::CaseInsensitive) && GridData->column(c).visible;
            GridData->setColumnVisible(c, visible);
            continue;
        }
        if (!total && hiddenSubjects.contains(code)) visible = false;
        if (total && !m_viewTotal) visible = false;
        GridData->setColumnVisible(c, visible);
    }
}

QString TfrmAchievePage::classSelectionText() const
{
    if (tvClasses->topLevelItemCount() == 0) return {};
    const QTreeWidgetItem *all = tvClasses->topLevelItem(0);
    QStringList ticked;
    for (int i = 0; i < all->childCount(); ++i)
        if (all->child(i)->checkState(0) == Qt::Checked) ticked << all->child(i)->data(0, Qt::UserRole).toString();
    if (ticked.size() == all->childCount()) return {};
    return u'@' + ticked.join(u',');
}

// The rows shown: everybody, the first or the last N of the focused subject's (else the total's)
// grade ranks, or those with at least N subjects at the chosen level.
void TfrmAchievePage::applyRowFilter()
{
    if (!cdsData->isActive() || Loading) return;
    const int mode = cbFilter->currentIndex();
    if (mode <= 0) {
        if (cdsData->filtered()) cdsData->setFiltered(false);
        return;
    }
    int shown = cdsData->fieldIndex(u"Shown");
    if (shown < 0) shown = cdsData->addField({QStringLiteral("Shown"), wire::FieldType::Boolean, 0, 0}, FieldKind::Internal);
    QString code = FocusedFieldName.size() > 2 && FocusedFieldName[1] == u'_' ? FocusedFieldName.mid(2) : QString();
    if (code.isEmpty() || (subjectRow(code) < 0 && !SubjectCodes.contains(code))) code = QStringLiteral("FUL");
    const int rank = cdsData->fieldIndex(rankField(code));
    const int n = seCompValue->value(), subjects = seCompSubjects->value(), style = cbCompStyle->currentIndex();
    cdsData->setFiltered(false);
    FrozenControls frozen(*cdsData);
    int lastRank = 0;
    for (qsizetype r = 0; r < cdsData->recordCount() && rank >= 0; ++r)
        lastRank = std::max(lastRank, int(cdsData->valueAt(r, rank).toInt()));
    for (cdsData->first(); !cdsData->eof(); cdsData->next()) {
        bool keep = false;
        const QVariant position = rank >= 0 ? cdsData->field(rank).value() : QVariant();
        if (mode == 1)
            keep = !position.isNull() && position.toInt() <= n;
        else if (mode == 2)
            keep = !position.isNull() && position.toInt() > lastRank - n;
        else {
            int count = 0;
            for (const QString &subject : SubjectCodes) {
                const int row = subjectRow(subject);
                const QVariant v = cdsData->value(QStringLiteral("C_") + subject);
                if (row < 0 || v.isNull()) continue;
                count += domain::levelOf(v.toDouble(), levelMarks(row)) == style;
            }
            keep = count >= subjects;
        }
        cdsData->edit();
        cdsData->field(shown).setValue(keep);
        cdsData->post();
    }
    cdsData->setFilter(QStringLiteral("Shown=True"));
    cdsData->setFiltered(true);
}

QString TfrmAchievePage::analysisParameterText() const
{
    QString text = joinCommaText(Params);
    QString ticked;
    for (int i = 0; i < lbSubjects->count(); ++i)
        if (lbSubjects->item(i)->checkState() == Qt::Checked) ticked += lbSubjects->item(i)->data(Qt::UserRole).toString() + u';';
    if (!ticked.isEmpty()) text += u',' + ticked;
    return text;
}

QString TfrmAchievePage::studentFilterText() const
{
    QStringList unticked;
    qsizetype ticked = 0;
    const int selected = cdsData->fieldIndex(u"Selected"), code = cdsData->fieldIndex(u"sCode");
    for (qsizetype r = 0; selected >= 0 && r < cdsData->recordCount(); ++r) {
        if (cdsData->valueAt(r, selected).toBool())
            ++ticked;
        else
            unticked << cdsData->valueAt(r, code).toString().trimmed();
    }
    const QString students = ticked == 0 || unticked.isEmpty() ? QString() : joinCommaText(unticked);
    const QString classes = joinCommaText(Settings.filterClass());
    return classes.isEmpty() ? students : classes + u';' + students;
}

// The side panel's changes: the weights stay the user's own; the marks go to the exam's subject
// rows and the totals' marks to the header.
void TfrmAchievePage::storeProperties()
{
    pub::WaitIndicator wait(this, QStringLiteral("正在保存配置......"));
    QString log;
    QHash<QString, double> weights = Settings.subjectsPer();
    QHash<QString, QHash<QString, QVariant>> marks; // code → field → value
    for (const Bookmark row : cdsSubjectPt->changedSlots()) {
        if (cdsSubjectPt->slotStatus(row) != wire::RowStatus::Modified) continue;
        cdsSubjectPt->gotoBookmark(row);
        const QString code = cdsSubjectPt->value(u"SubjectCode").toString();
        for (int c = 1; c < grdProperty->columnCount(); ++c) {
            const QString field = grdProperty->column(c).field;
            const int f = cdsSubjectPt->fieldIndex(field);
            const QVariant before = cdsSubjectPt->oldValue(f), now = cdsSubjectPt->value(field);
            if (wire::sameValue(before, now)) continue;
            if (field == u"Per") {
                weights.insert(code, now.toDouble());
                continue;
            }
            log += QStringLiteral("<%1>值%2改为%3;").arg(grdProperty->columnCaption(c), before.toString(), now.toString());
            marks[code].insert(field, now);
        }
    }
    Settings.setSubjectsPer(weights);
    if (!marks.isEmpty()) {
        DataSet stored, header;
        const CallResult r =
            loadTable(stored, protocol::QExamSubjectForUp, {in(pub::schoolId()), in(GradeCode), in(ExamCode), in(PageName), var(qint64(InYear)), var()});
        if (!r.ok()) return reportFailure(this, windowTitle(), r, Failure::Read);
        header.setData(cdsExamInfo->data());
        for (auto it = marks.cbegin(); it != marks.cend(); ++it) {
            if (isTotalCode(it.key())) {
                // B2 and B3 of the totals have no place in the header.
                const QString prefix = it.key() == u"FUL" ? QStringLiteral("a") : it.key() == u"MAI" ? QStringLiteral("m") : QStringLiteral("b");
                if ((prefix == u"m" && !header.value(u"hasMain").toBool()) || (prefix == u"b" && !header.value(u"hasBase").toBool())) continue;
                header.first();
                header.edit();
                for (auto m = it->cbegin(); m != it->cend(); ++m)
                    if (header.fieldIndex(prefix + m.key()) >= 0) header.setValue(prefix + m.key(), m.value());
                header.post();
                continue;
            }
            if (!stored.locate(QStringLiteral("SubjectCode"), {it.key()})) continue;
            stored.edit();
            for (auto m = it->cbegin(); m != it->cend(); ++m)
                stored.setValue(m.key(), m.value());
            stored.post();
        }
        QList<wire::Argument> args{in(header.changeCount() > 0 ? wire::Value(header.delta()) : wire::Value(wire::Null{})),
                                   in(stored.changeCount() > 0 ? wire::Value(stored.delta()) : wire::Value(wire::Null{})), in(qint64(-1)), var(qint64(0))};
        const CallResult saved = callServer(protocol::UpExamTotal, args);
        if (!saved.ok()) {
            cdsSubjectPt->cancelUpdates();
            return reportFailure(this, windowTitle(), saved, Failure::Save);
        }
        cdsExamInfo->setData(header.data());
        WriteOperationLog(QStringLiteral("修改") + log);
    }
    cdsSubjectPt->mergeChangeLog();
    if (subjectItems() & ItemLevel) computeLevels();
    applyWeights();
    RankSubject(QStringLiteral("FUL"), GradeScope);
    if (cdsExamInfo->value(u"hasBase").toBool()) RankSubject(QStringLiteral("BAS"), GradeScope);
    if (cdsExamInfo->value(u"hasMain").toBool()) RankSubject(QStringLiteral("MAI"), GradeScope);
    acceptDisplayChanges();
}

void TfrmAchievePage::acPropertyExecute()
{
    pcSide->setVisible(acProperty->isChecked());
}

} // namespace lumeko::achieve
