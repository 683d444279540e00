#include "framework/import/upubimportset.h"

#include "framework/sharedroutines.h"
#include "host/pub/pub.h"
#include "toolkit/sheet/pastedtable.h"
#include "toolkit/sheet/sheetfile.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

namespace lumeko::achieve {

namespace {

const QStringList kStepNames{QStringLiteral("参数设置"), QStringLiteral("栏位设置"), QStringLiteral("导入日志")};
const QStringList kStepPrefix{QStringLiteral("第一步 "), QStringLiteral("第二步 "), QStringLiteral("第三步 ")};
const QString kDuplicatesHeading = QStringLiteral("以下数据重复(未导入)：");

} // namespace

// The pasted table as the step-2 grid shows it: row 0 the mapped caption of every column, column 0
// the row numbers ("序").
class ImportGridModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setTable(QStringList titles, QList<QStringList> rows)
    {
        beginResetModel();
        m_rows = std::move(rows);
        qsizetype width = titles.size();
        for (const QStringList &r : m_rows) width = qMax(width, r.size());
        while (titles.size() < width) titles << QString();
        m_titles = std::move(titles);
        endResetModel();
    }
    const QStringList &titles() const { return m_titles; }
    const QList<QStringList> &rows() const { return m_rows; }
    void setTitle(int column, const QString &caption)
    {
        if (column < 0 || column >= m_titles.size()) return;
        m_titles[column] = caption;
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    }

    int rowCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : int(m_rows.size()) + 1; }
    int columnCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : int(m_titles.size()) + 1; }
    QVariant data(const QModelIndex &index, int role) const override
    {
        const int r = index.row(), c = index.column();
        if (role == Qt::DisplayRole || role == Qt::EditRole) {
            if (c == 0) return r == 0 ? QStringLiteral("序") : QString::number(r);
            if (r == 0) return m_titles[c - 1].isEmpty() ? kNoField : m_titles[c - 1];
            const QStringList &cells = m_rows[r - 1];
            return c - 1 < cells.size() ? cells[c - 1] : QString();
        }
        if (role == Qt::BackgroundRole && c > 0 && (m_titles[c - 1].isEmpty() || m_titles[c - 1] == kNoField)) return pub::frameColor();
        if (role == Qt::FontRole && (r == 0 || c == 0)) {
            QFont f;
            f.setBold(true);
            return f;
        }
        return {};
    }
    bool setData(const QModelIndex &index, const QVariant &value, int role) override
    {
        if (role != Qt::EditRole || index.row() != 0 || index.column() == 0) return false;
        setTitle(index.column() - 1, value.toString());
        return true;
    }
    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (index.row() == 0 && index.column() > 0) f |= Qt::ItemIsEditable;
        return f;
    }

private:
    QStringList m_titles;
    QList<QStringList> m_rows;
};

namespace {

// The drop-down of field captions over a title cell.
class CaptionDelegate : public QStyledItemDelegate {
public:
    CaptionDelegate(const QStringList *captions, QObject *parent) : QStyledItemDelegate(parent), m_captions(captions) {}
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &) const override
    {
        auto *box = new QComboBox(parent);
        box->addItems(*m_captions);
        return box;
    }
    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        auto *box = static_cast<QComboBox *>(editor);
        box->setCurrentIndex(qMax(0, box->findText(index.data().toString())));
    }
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override
    {
        model->setData(index, static_cast<QComboBox *>(editor)->currentText());
    }

private:
    const QStringList *m_captions;
};

QLabel *note(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setStyleSheet(QStringLiteral("color: #8a4b08;"));
    return label;
}

} // namespace

TPubImportSet::TPubImportSet(QWidget *parent) : QDialog(parent)
{
    setModal(true);
    applyHostLook(this, true);
    resize(820, 560);
    auto *layout = new QVBoxLayout(this);
    lblStep = new QLabel(this);
    QFont big = lblStep->font();
    big.setPointSize(big.pointSize() + 2);
    big.setBold(true);
    lblStep->setFont(big);
    layout->addWidget(lblStep);

    m_steps = new QStackedWidget(this);
    for (int i = 0; i < 3; ++i) m_steps->addWidget(new QWidget(m_steps));
    m_model = new ImportGridModel(this);
    buildStep1(m_steps->widget(0));
    buildStep2(m_steps->widget(1));
    buildStep3(m_steps->widget(2));
    layout->addWidget(m_steps, 1);

    auto *buttons = new QHBoxLayout;
    btnPrior = new QPushButton(QStringLiteral("上一步"), this);
    btnNext = new QPushButton(QStringLiteral("下一步"), this);
    btnPreview = new QPushButton(QStringLiteral("预览"), this);
    btnPreview->setToolTip(QStringLiteral("先试算一遍，查看将增加、覆盖和不导入的数据，不修改任何数据"));
    btnImport = new QPushButton(QStringLiteral("导    入"), this);
    btnCancel = new QPushButton(QStringLiteral("取    消"), this);
    buttons->addStretch();
    for (QPushButton *b : {btnPrior, btnNext, btnPreview, btnImport, btnCancel}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);
    connect(btnPrior, &QPushButton::clicked, this, &TPubImportSet::priorStep);
    connect(btnNext, &QPushButton::clicked, this, &TPubImportSet::nextStep);
    connect(btnPreview, &QPushButton::clicked, this, &TPubImportSet::previewData);
    connect(btnImport, &QPushButton::clicked, this, &TPubImportSet::importData);
    connect(btnCancel, &QPushButton::clicked, this, [this] { m_finished ? accept() : reject(); });
}

TPubImportSet::~TPubImportSet() = default;

void TPubImportSet::buildStep1(QWidget *page)
{
    auto *form = new QVBoxLayout(page);

    auto *source = new QGroupBox(QStringLiteral("数据来源"), page);
    auto *sourceLayout = new QGridLayout(source);
    rbClipboard = new QRadioButton(QStringLiteral("粘贴板"), source);
    rbExcel = new QRadioButton(QStringLiteral("EXCEL文件(.xls;.xlsx)"), source);
    rbClipboard->setChecked(true);
    edFile = new QLineEdit(source);
    edFile->setPlaceholderText(QStringLiteral("选择要导入的 Excel 文件"));
    btnFile = new QPushButton(QStringLiteral("浏览..."), source);
    cbSheet = new QComboBox(source);
    cbSheet->setToolTip(QStringLiteral("工作表"));
    cbSheet->setMinimumContentsLength(8);
    sourceLayout->addWidget(rbClipboard, 0, 0);
    sourceLayout->addWidget(rbExcel, 1, 0);
    sourceLayout->addWidget(edFile, 1, 1);
    sourceLayout->addWidget(cbSheet, 1, 2);
    sourceLayout->addWidget(btnFile, 1, 3);
    sourceLayout->addWidget(note(QStringLiteral("注：在Excel中复制数据到粘贴板(建议包含标题行)，如果数据中含有日期列，注意选择相符的日期格式。"), source), 2, 0, 1, 4);
    const auto fileEnabled = [this] {
        for (QWidget *w : {static_cast<QWidget *>(edFile), static_cast<QWidget *>(btnFile), static_cast<QWidget *>(cbSheet)}) w->setEnabled(rbExcel->isChecked());
        cbSplit->setEnabled(rbClipboard->isChecked());
    };
    connect(edFile, &QLineEdit::editingFinished, this, &TPubImportSet::listSheets);
    connect(rbExcel, &QRadioButton::toggled, this, fileEnabled);
    connect(btnFile, &QPushButton::clicked, this, &TPubImportSet::chooseFile);
    form->addWidget(source);

    auto *middle = new QHBoxLayout;
    auto *format = new QGroupBox(QStringLiteral("数据格式"), page);
    auto *formatLayout = new QFormLayout(format);
    cbSplit = new QComboBox(format);
    cbSplit->addItems({QStringLiteral("制表符(TAB)"), QStringLiteral("逗号(,)")});
    formatLayout->addRow(QStringLiteral("分隔符："), cbSplit);
    cbFirstRow = new QCheckBox(QStringLiteral("首行标题"), format);
    cbFirstRow->setChecked(true);
    formatLayout->addRow(cbFirstRow);
    cbDateSep = new QComboBox(format);
    // The first entry is "no separator" (dates written 20120305); its text says so.
    cbDateSep->addItem(QStringLiteral("无"), QString());
    for (const char *sep : {"-", "/", "."}) cbDateSep->addItem(QString::fromLatin1(sep), QString::fromLatin1(sep));
    cbDateFormat = new QComboBox(format);
    formatLayout->addRow(QStringLiteral("日期分隔符："), cbDateSep);
    formatLayout->addRow(QStringLiteral("日期格式："), cbDateFormat);
    connect(cbDateSep, &QComboBox::currentIndexChanged, this, &TPubImportSet::rebuildDateFormats);
    middle->addWidget(format);
    fileEnabled();

    auto *keys = new QGroupBox(QStringLiteral("唯一栏"), page);
    auto *keysLayout = new QVBoxLayout(keys);
    clbKeys = new QListWidget(keys);
    keysLayout->addWidget(clbKeys);
    connect(clbKeys, &QListWidget::itemChanged, this, &TPubImportSet::keyToggled);
    middle->addWidget(keys);

    auto *merge = new QGroupBox(QStringLiteral("导入方式"), page);
    auto *mergeLayout = new QVBoxLayout(merge);
    cbOverride = new QCheckBox(QStringLiteral("匹配，则覆盖数据"), merge);
    cbAddData = new QCheckBox(QStringLiteral("无匹配数据，则新增数据"), merge);
    cbAddData->setChecked(true);
    cbNameUnique = new QCheckBox(QStringLiteral("姓名唯一，重复则自增序号"), merge);
    cbNameUnique->setVisible(false);
    cbWLFBImp = new QCheckBox(QStringLiteral("文理分班数据导入"), merge);
    cbImpLoginName = new QCheckBox(QStringLiteral("自动生成登录名，生成方式"), merge);
    cbPinyin = new QComboBox(merge);
    cbPinyin->addItems({QStringLiteral("姓名全拼"), QStringLiteral("姓名首字母"), QStringLiteral("姓名")});
    for (QWidget *w : {static_cast<QWidget *>(cbOverride), static_cast<QWidget *>(cbAddData), static_cast<QWidget *>(cbNameUnique),
                       static_cast<QWidget *>(cbWLFBImp), static_cast<QWidget *>(cbImpLoginName), static_cast<QWidget *>(cbPinyin)})
        mergeLayout->addWidget(w);
    mergeLayout->addStretch();
    // Overwriting and numbering repeated names exclude each other.
    connect(cbOverride, &QCheckBox::toggled, this, [this](bool on) { if (on) cbNameUnique->setChecked(false); });
    connect(cbNameUnique, &QCheckBox::toggled, this, [this](bool on) { if (on) cbOverride->setChecked(false); });
    middle->addWidget(merge);
    form->addLayout(middle, 1);

    lblStreamNote = note(QStringLiteral("注：在文理分班分好的数据中增加\"年级\"列，标注\"理科\"或\"文科\"，导入数据选择更新导入。"), page);
    lblTeacherNote = note(QStringLiteral("建议导入教师移动电话栏，默认移动电话可作为登录名。"), page);
    form->addWidget(lblStreamNote);
    form->addWidget(lblTeacherNote);
}

void TPubImportSet::buildStep2(QWidget *page)
{
    auto *layout = new QVBoxLayout(page);
    sgData = new QTableView(page);
    sgData->setModel(m_model);
    sgData->setItemDelegateForRow(0, new CaptionDelegate(&m_captions, this));
    sgData->setEditTriggers(QAbstractItemView::AllEditTriggers);
    sgData->horizontalHeader()->setVisible(false);
    sgData->verticalHeader()->setVisible(false);
    sgData->verticalHeader()->setDefaultSectionSize(sgData->fontMetrics().height() + 8);
    layout->addWidget(note(QStringLiteral("点击第一行的标题选择对应的栏位；标为“<无>”的列不导入。"), page));
    layout->addWidget(sgData);
}

void TPubImportSet::buildStep3(QWidget *page)
{
    auto *layout = new QHBoxLayout(page);
    mmLog = new QPlainTextEdit(page);
    mmDuplicates = new QPlainTextEdit(page);
    for (QPlainTextEdit *e : {mmLog, mmDuplicates}) {
        e->setReadOnly(true);
        layout->addWidget(e, 1);
    }
    mmDuplicates->setVisible(false);
}

void TPubImportSet::prepare()
{
    setWindowTitle(Caption);
    m_teacherData = Caption.contains(QStringLiteral("教师数据"));
    clbKeys->blockSignals(true);
    clbKeys->clear();
    for (const QString &caption : target.keyCaptions) {
        auto *item = new QListWidgetItem(caption, clbKeys);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(clbKeys->count() == 1 ? Qt::Checked : Qt::Unchecked);
    }
    clbKeys->blockSignals(false);
    cbImpLoginName->setVisible(m_teacherData);
    cbPinyin->setVisible(m_teacherData);
    lblTeacherNote->setVisible(m_teacherData);
    // The arts/science option and its note are the register's; teachers get the login-name note.
    cbWLFBImp->setVisible(!m_teacherData);
    lblStreamNote->setVisible(!m_teacherData);
    cbDateSep->setCurrentIndex(0);
    rebuildDateFormats();
    updateNameUnique();
    showStep(0);
}

int TPubImportSet::step() const { return m_steps->currentIndex(); }
QStringList TPubImportSet::titles() const { return m_model->titles(); }
const QList<QStringList> &TPubImportSet::rows() const { return m_model->rows(); }
void TPubImportSet::setTitle(int column, const QString &caption) { m_model->setTitle(column, caption); }

ImportOptions TPubImportSet::options() const
{
    ImportOptions o;
    for (int i = 0; i < clbKeys->count(); ++i)
        if (clbKeys->item(i)->checkState() == Qt::Checked) o.keys << clbKeys->item(i)->text();
    o.overwrite = cbOverride->isChecked();
    o.addData = cbAddData->isChecked();
    o.nameUnique = cbNameUnique->isVisible() && cbNameUnique->isChecked();
    o.streamGrades = !m_teacherData && cbWLFBImp->isChecked();
    if (m_teacherData && cbImpLoginName->isChecked()) o.loginNames = LoginNames(cbPinyin->currentIndex() + 1);
    o.datesWithoutSeparator = cbDateSep->currentData().toString().isEmpty();
    o.datePattern = cbDateFormat->currentText();
    return o;
}

void TPubImportSet::showStep(int step)
{
    m_steps->setCurrentIndex(step);
    QString text = kStepPrefix[step] + kStepNames[step];
    if (step == 1) text += QStringLiteral("（未自动匹配标题栏用户可以自行设置匹配）");
    lblStep->setText(text);
    btnPrior->setVisible(step > 0 && !m_finished);
    btnNext->setVisible(step < 2);
    btnImport->setVisible(step == 2 && !m_finished);
    btnPreview->setVisible(step == 2 && !m_finished);
}

void TPubImportSet::keyToggled(QListWidgetItem *item)
{
    if (item->checkState() == Qt::Unchecked && options().keys.isEmpty()) {
        pub::msgHint(QStringLiteral("至少选择一项唯一栏！"), this);
        clbKeys->blockSignals(true);
        item->setCheckState(Qt::Checked);
        clbKeys->blockSignals(false);
    }
    updateNameUnique();
}

// Numbering repeated names only makes sense when the name alone is the key.
void TPubImportSet::updateNameUnique()
{
    const bool nameOnly = options().keys == QStringList{QStringLiteral("姓名")};
    cbNameUnique->setVisible(nameOnly);
    if (!nameOnly) cbNameUnique->setChecked(false);
}

void TPubImportSet::rebuildDateFormats()
{
    cbDateFormat->clear();
    cbDateFormat->addItems(datePatterns(cbDateSep->currentData().toString()));
    cbDateFormat->setCurrentIndex(0);
}

void TPubImportSet::chooseFile()
{
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("选择 Excel 文件"), edFile->text(), QStringLiteral("EXCEL文件(*.xls *.xlsx)"));
    if (!path.isEmpty()) {
        edFile->setText(path);
        rbExcel->setChecked(true);
        listSheets();
    }
}

// The chosen file's worksheets; a file that cannot be read is reported when the user goes on.
void TPubImportSet::listSheets()
{
    cbSheet->clear();
    try {
        cbSheet->addItems(sheetNames(edFile->text().trimmed()));
    } catch (const SheetError &) {
    }
}

bool TPubImportSet::readSource()
{
    QList<QStringList> lines;
    if (rbClipboard->isChecked()) {
        const QString text = QApplication::clipboard()->text();
        if (text.isEmpty()) {
            pub::msgHint(QStringLiteral("没有可粘帖的文本!"), this);
            return false;
        }
        {
            pub::WaitIndicator wait(this, QStringLiteral("正在读取粘帖板数据..."));
            lines = splitPastedTable(text, cbSplit->currentIndex() == 1 ? QChar(u',') : QChar(u'\t'));
        }
        if (lines.isEmpty()) {
            pub::msgError(QStringLiteral("粘帖板无数据！"), this);
            return false;
        }
    } else {
        if (edFile->text().trimmed().isEmpty()) {
            pub::msgHint(QStringLiteral("请选择要导入的Excel文件！"), this);
            return false;
        }
        try {
            pub::WaitIndicator wait(this, QStringLiteral("正在读取Excel文件..."));
            lines = readSheetFile(edFile->text().trimmed(), qMax(0, cbSheet->currentIndex())).rows;
        } catch (const SheetError &e) {
            pub::msgError(e.message(), this);
            return false;
        }
        if (lines.isEmpty()) {
            pub::msgError(QStringLiteral("Excel文件的第一个工作表中没有数据！"), this);
            return false;
        }
    }
    pub::WaitIndicator wait(this, QStringLiteral("自动匹配栏位..."));
    QStringList titles;
    if (cbFirstRow->isChecked()) {
        for (const QString &t : lines.takeFirst()) titles << QString(t).remove(u' ');
    }
    m_captions = importCaptions(target, options());
    for (QString &t : titles)
        if (!m_captions.contains(t)) t = kNoField;
    m_model->setTable(titles, std::move(lines));
    for (int c = 0; c < m_model->titles().size(); ++c)
        if (m_model->titles()[c].isEmpty()) m_model->setTitle(c, kNoField);
    sgData->resizeColumnsToContents();
    return true;
}

bool TPubImportSet::checkMapping()
{
    const QStringList t = titles();
    const auto mapped = [](const QString &c) { return !c.isEmpty() && c != kNoField; };
    if (std::none_of(t.cbegin(), t.cend(), mapped)) {
        pub::msgError(QStringLiteral("设置错误，未设置任何匹配列，没有数据可导入！"), this);
        return false;
    }
    for (int i = 0; i < t.size(); ++i)
        for (int j = i + 1; j < t.size(); ++j)
            if (mapped(t[i]) && t[i] == t[j]) {
                pub::msgError(QStringLiteral("列匹配错误，数据列[%1](%2--%3)重复设置！").arg(t[i]).arg(i + 1).arg(j + 1), this);
                sgData->scrollTo(m_model->index(0, i + 1));
                return false;
            }
    return true;
}

void TPubImportSet::enterLog()
{
    mmLog->clear();
    mmDuplicates->setPlainText(kDuplicatesHeading);
    mmDuplicates->setVisible(false);
    if (cbOverride->isChecked()) mmLog->appendPlainText(QStringLiteral("以 [%1] 为唯一栏覆盖更新相同数据！").arg(options().keys.join(u',')));
    QString source = QStringLiteral("粘贴板");
    if (rbExcel->isChecked()) {
        source = edFile->text().trimmed();
        if (cbSheet->count() > 1) source += QStringLiteral("（工作表：%1）").arg(cbSheet->currentText());
    }
    mmLog->appendPlainText(QStringLiteral("数据来源:") + source);
}

void TPubImportSet::nextStep()
{
    if (step() == 0) {
        if (readSource()) showStep(1);
    } else if (step() == 1) {
        if (checkMapping()) {
            enterLog();
            showStep(2);
        }
    }
}

void TPubImportSet::priorStep()
{
    if (step() > 0) showStep(step() - 1);
}

void TPubImportSet::appendLog(const QStringList &lines)
{
    if (!lines.isEmpty()) mmLog->appendPlainText(lines.join(u'\n'));
}

ImportOutcome TPubImportSet::merge(const ImportTarget &where)
{
    ImportMerge merge(where, options());
    const LoginNames rule = options().loginNames;
    if (rule == LoginNames::FullPinyin || rule == LoginNames::Initials) merge.pinyin = PinyinTable::load(pub::appPath() + QStringLiteral("Chinese.dll"));
    return merge.run(titles(), rows());
}

void TPubImportSet::importData()
{
    if (m_finished) return;
    ImportOutcome outcome;
    {
        pub::WaitIndicator wait(this, QStringLiteral("正在导入数据..."));
        outcome = merge(target);
    }
    if (m_previewed) mmLog->appendPlainText(QStringLiteral("—— 导入 ——"));
    appendLog(outcome.log);
    if (!outcome.complete()) {
        // Rows merged before the bad cell stay; the user can fix the source and import again.
        mmLog->appendPlainText(outcome.error);
        pub::msgError(outcome.error, this);
        return;
    }
    mmLog->appendPlainText(QStringLiteral("导入完成，共覆盖 %1笔记录，增加 %2笔记录！").arg(outcome.overwritten).arg(outcome.added));
    if (!outcome.duplicates.isEmpty()) {
        mmDuplicates->appendPlainText(outcome.duplicates.join(u'\n'));
        mmDuplicates->setVisible(true);
    }
    m_finished = true;
    btnCancel->setText(QStringLiteral("完    成"));
    showStep(2);
}

// The same merge on copies of the page's tables: what would happen, with nothing changed.
void TPubImportSet::previewData()
{
    DataSet data, detail;
    ImportTarget copy = target;
    data.cloneFrom(*target.data);
    copy.data = &data;
    if (target.detail && target.detail->isActive()) {
        detail.cloneFrom(*target.detail);
        copy.detail = &detail;
    }
    ImportOutcome outcome;
    {
        pub::WaitIndicator wait(this, QStringLiteral("正在预览导入结果..."));
        outcome = merge(copy);
    }
    m_previewed = true;
    mmLog->appendPlainText(QStringLiteral("—— 预览（数据尚未导入）——"));
    appendLog(outcome.log);
    if (!outcome.duplicates.isEmpty()) mmLog->appendPlainText(kDuplicatesHeading + u'\n' + outcome.duplicates.join(u'\n'));
    if (!outcome.complete()) mmLog->appendPlainText(QStringLiteral("预览发现错误：") + outcome.error);
    mmLog->appendPlainText(QStringLiteral("预览：将覆盖 %1笔记录，增加 %2笔记录，%3行重复不导入。").arg(outcome.overwritten).arg(outcome.added).arg(outcome.duplicates.size()));
}

} // namespace lumeko::achieve
