#include "toolkit/report/ui/propertypanel.h"

#include "toolkit/report/ui/designscene.h"
#include "toolkit/report/ui/reportdesigner.h"
#include "toolkit/report/ui/reportdialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace lumeko::report {

namespace {

// Editors show the template without echoing the change back into it.
void display(QLineEdit *e, const QString &v)
{
    if (e->text() != v) e->setText(v);
}
void display(QPlainTextEdit *e, const QString &v)
{
    if (e->toPlainText() != v) e->setPlainText(v);
}
void display(QDoubleSpinBox *e, double v)
{
    if (std::abs(e->value() - v) > 1e-9) e->setValue(v);
}
void display(QCheckBox *e, bool v)
{
    e->setChecked(v);
}
void display(QComboBox *e, int data)
{
    e->setCurrentIndex(std::max(0, e->findData(data)));
}

QDoubleSpinBox *numberBox(const char *name, double min, double max, int decimals = 1)
{
    auto *box = new QDoubleSpinBox;
    box->setObjectName(QString::fromLatin1(name));
    box->setRange(min, max);
    box->setDecimals(decimals);
    box->setAccelerated(true);
    return box;
}

QCheckBox *checkBox(const char *name, const QString &text)
{
    auto *box = new QCheckBox(text);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

QWidget *row(std::initializer_list<QWidget *> widgets)
{
    auto *w = new QWidget;
    auto *l = new QHBoxLayout(w);
    l->setContentsMargins(0, 0, 0, 0);
    for (QWidget *child : widgets) l->addWidget(child);
    l->addStretch(1);
    return w;
}

QString objectKindText(ObjectKind kind)
{
    switch (kind) {
    case ObjectKind::Memo: return QStringLiteral("文本");
    case ObjectKind::Picture: return QStringLiteral("图片");
    case ObjectKind::Line: return QStringLiteral("直线");
    case ObjectKind::Rectangle: return QStringLiteral("矩形");
    }
    return {};
}

constexpr Qt::Alignment kHorizontal[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight, Qt::AlignJustify};
constexpr Qt::Alignment kVertical[] = {Qt::AlignTop, Qt::AlignVCenter, Qt::AlignBottom};

} // namespace

PropertyPanel::PropertyPanel(ReportDesigner *designer) : m_designer(designer)
{
    setObjectName(QStringLiteral("propertyPanel"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    m_pages = new QStackedWidget(this);
    m_nothing = new QLabel;
    m_nothing->setObjectName(QStringLiteral("propNothing"));
    m_nothing->setAlignment(Qt::AlignCenter);
    m_nothing->setWordWrap(true);
    m_pages->addWidget(m_nothing);
    m_pages->addWidget(buildObjectPage());
    m_pages->addWidget(buildBandPage());
    layout->addWidget(m_pages);
    layout->addStretch(1);
    setMinimumWidth(280);
}

QWidget *PropertyPanel::buildObjectPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("objectProperties"));
    m_objectForm = new QFormLayout(page);
    m_objectForm->setContentsMargins(0, 0, 0, 0);
    auto edit = [this](const QString &key, auto change) { m_designer->changeObject(key, change); };

    m_kind = new QLabel;
    m_objectForm->addRow(QStringLiteral("类型"), m_kind);

    m_name = new QLineEdit;
    m_name->setObjectName(QStringLiteral("propName"));
    m_name->setToolTip(QStringLiteral("打印时按名称找到此对象，例如照片“InPicture”、成绩“mm_1”"));
    connect(m_name, &QLineEdit::textEdited, this, [edit](const QString &v) { edit(QStringLiteral("name"), [&](ReportObject &o) { o.name = v; }); });
    m_objectForm->addRow(QStringLiteral("名称"), m_name);

    m_text = new QPlainTextEdit;
    m_text->setObjectName(QStringLiteral("propText"));
    m_text->setTabChangesFocus(true);
    m_text->setFixedHeight(90);
    m_text->setToolTip(QStringLiteral("方括号中为表达式：变量 [SchoolName]，字段 [sName] 或 [cdsData.\"sName\"]，\n"
                                      "[DATE] 日期，[TIME] 时间，[PAGE#] 页码，[TOTALPAGES] 总页数，[LINE#] 行号，\n"
                                      "[SUM(cdsData.\"score\")] 合计，[COUNT()] 记录数"));
    connect(m_text, &QPlainTextEdit::textChanged, this, [this, edit] {
        const QString v = m_text->toPlainText();
        edit(QStringLiteral("text"), [&](ReportObject &o) { o.text = v; });
    });
    m_objectForm->addRow(QStringLiteral("文本"), m_text);

    m_font = new QComboBox;
    m_font->setObjectName(QStringLiteral("propFont"));
    m_font->setEditable(true);
    m_font->addItems({QStringLiteral("宋体"), QStringLiteral("黑体"), QStringLiteral("楷体"), QStringLiteral("仿宋"), QStringLiteral("微软雅黑")});
    m_font->insertSeparator(m_font->count());
    m_font->addItems(QFontDatabase::families());
    connect(m_font, &QComboBox::currentTextChanged, this, [edit](const QString &v) {
        if (!v.trimmed().isEmpty()) edit(QStringLiteral("font"), [&](ReportObject &o) { o.fontFamily = v.trimmed(); });
    });
    m_objectForm->addRow(QStringLiteral("字体"), m_font);

    m_fontSize = numberBox("propFontSize", 1, 400);
    m_fontSize->setSuffix(QStringLiteral(" 磅"));
    connect(m_fontSize, &QDoubleSpinBox::valueChanged, this, [edit](double v) { edit(QStringLiteral("size"), [&](ReportObject &o) { o.fontSize = v; }); });
    m_bold = checkBox("propBold", QStringLiteral("粗体"));
    connect(m_bold, &QCheckBox::toggled, this, [edit](bool v) { edit({}, [&](ReportObject &o) { o.bold = v; }); });
    m_italic = checkBox("propItalic", QStringLiteral("斜体"));
    connect(m_italic, &QCheckBox::toggled, this, [edit](bool v) { edit({}, [&](ReportObject &o) { o.italic = v; }); });
    m_fontStyle = row({m_fontSize, m_bold, m_italic});
    m_objectForm->addRow(QStringLiteral("字号"), m_fontStyle);

    m_hAlign = new QComboBox;
    m_hAlign->setObjectName(QStringLiteral("propHAlign"));
    const QStringList hNames = {QStringLiteral("左对齐"), QStringLiteral("居中"), QStringLiteral("右对齐"), QStringLiteral("两端对齐")};
    for (int i = 0; i < 4; ++i) m_hAlign->addItem(hNames[i], int(kHorizontal[i]));
    connect(m_hAlign, &QComboBox::currentIndexChanged, this, [this, edit] {
        const auto h = Qt::Alignment(m_hAlign->currentData().toInt());
        edit({}, [&](ReportObject &o) { o.alignment = (o.alignment & ~Qt::AlignHorizontal_Mask) | h; });
    });
    m_objectForm->addRow(QStringLiteral("水平对齐"), m_hAlign);

    m_vAlign = new QComboBox;
    m_vAlign->setObjectName(QStringLiteral("propVAlign"));
    const QStringList vNames = {QStringLiteral("顶端"), QStringLiteral("居中"), QStringLiteral("底端")};
    for (int i = 0; i < 3; ++i) m_vAlign->addItem(vNames[i], int(kVertical[i]));
    connect(m_vAlign, &QComboBox::currentIndexChanged, this, [this, edit] {
        const auto v = Qt::Alignment(m_vAlign->currentData().toInt());
        edit({}, [&](ReportObject &o) { o.alignment = (o.alignment & ~Qt::AlignVertical_Mask) | v; });
    });
    m_objectForm->addRow(QStringLiteral("垂直对齐"), m_vAlign);

    m_wordWrap = checkBox("propWordWrap", QStringLiteral("自动换行"));
    connect(m_wordWrap, &QCheckBox::toggled, this, [edit](bool v) { edit({}, [&](ReportObject &o) { o.wordWrap = v; }); });
    m_autoHeight = checkBox("propAutoHeight", QStringLiteral("自动高度"));
    m_autoHeight->setToolTip(QStringLiteral("文字多时加高此对象和所在栏目"));
    connect(m_autoHeight, &QCheckBox::toggled, this, [edit](bool v) { edit({}, [&](ReportObject &o) { o.autoHeight = v; }); });
    m_textFlags = row({m_wordWrap, m_autoHeight});
    m_objectForm->addRow(QStringLiteral("排版"), m_textFlags);

    m_frameLeft = checkBox("propFrameLeft", QStringLiteral("左"));
    m_frameTop = checkBox("propFrameTop", QStringLiteral("上"));
    m_frameRight = checkBox("propFrameRight", QStringLiteral("右"));
    m_frameBottom = checkBox("propFrameBottom", QStringLiteral("下"));
    connect(m_frameLeft, &QCheckBox::toggled, this, [edit](bool v) { edit({}, [&](ReportObject &o) { o.frame.left = v; }); });
    connect(m_frameTop, &QCheckBox::toggled, this, [edit](bool v) { edit({}, [&](ReportObject &o) { o.frame.top = v; }); });
    connect(m_frameRight, &QCheckBox::toggled, this, [edit](bool v) { edit({}, [&](ReportObject &o) { o.frame.right = v; }); });
    connect(m_frameBottom, &QCheckBox::toggled, this, [edit](bool v) { edit({}, [&](ReportObject &o) { o.frame.bottom = v; }); });
    m_frameSides = row({m_frameLeft, m_frameTop, m_frameRight, m_frameBottom});
    m_objectForm->addRow(QStringLiteral("边框"), m_frameSides);
    m_frameWidth = numberBox("propFrameWidth", 0, 100);
    connect(m_frameWidth, &QDoubleSpinBox::valueChanged, this, [edit](double v) { edit(QStringLiteral("frame-width"), [&](ReportObject &o) { o.frame.width = v; }); });
    m_objectForm->addRow(QStringLiteral("线宽"), m_frameWidth);

    m_keepAspect = checkBox("propKeepAspect", QStringLiteral("保持比例"));
    connect(m_keepAspect, &QCheckBox::toggled, this, [edit](bool v) { edit({}, [&](ReportObject &o) { o.keepAspect = v; }); });
    auto *load = new QPushButton(QStringLiteral("载入图片…"));
    load->setObjectName(QStringLiteral("propLoadPicture"));
    connect(load, &QPushButton::clicked, this, &PropertyPanel::loadPicture);
    auto *clear = new QPushButton(QStringLiteral("清除"));
    clear->setObjectName(QStringLiteral("propClearPicture"));
    connect(clear, &QPushButton::clicked, this, [edit] { edit({}, [](ReportObject &o) { o.picture = QImage(); }); });
    m_pictureRow = row({m_keepAspect, load, clear});
    m_objectForm->addRow(QStringLiteral("图片"), m_pictureRow);

    m_x = numberBox("propX", -10000, 10000);
    m_y = numberBox("propY", -10000, 10000);
    m_width = numberBox("propWidth", 0, 10000);
    m_height = numberBox("propHeight", 0, 10000);
    connect(m_x, &QDoubleSpinBox::valueChanged, this, [edit](double v) { edit(QStringLiteral("x"), [&](ReportObject &o) { o.rect.moveLeft(v); }); });
    connect(m_y, &QDoubleSpinBox::valueChanged, this, [edit](double v) { edit(QStringLiteral("y"), [&](ReportObject &o) { o.rect.moveTop(v); }); });
    connect(m_width, &QDoubleSpinBox::valueChanged, this, [edit](double v) { edit(QStringLiteral("width"), [&](ReportObject &o) { o.rect.setWidth(v); }); });
    connect(m_height, &QDoubleSpinBox::valueChanged, this, [edit](double v) { edit(QStringLiteral("height"), [&](ReportObject &o) { o.rect.setHeight(v); }); });
    m_objectForm->addRow(QStringLiteral("左 / 上"), row({m_x, m_y}));
    m_objectForm->addRow(QStringLiteral("宽 / 高"), row({m_width, m_height}));
    auto *unitHint = new QLabel(QStringLiteral("位置和大小以报表单位计，1 毫米约 3.6 单位"));
    unitHint->setWordWrap(true);
    unitHint->setStyleSheet(QStringLiteral("color: gray"));
    m_objectForm->addRow(unitHint);
    return page;
}

QWidget *PropertyPanel::buildBandPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("bandProperties"));
    m_bandForm = new QFormLayout(page);
    m_bandForm->setContentsMargins(0, 0, 0, 0);
    auto edit = [this](const QString &key, auto change) { m_designer->changeBand(key, change); };

    m_bandKind = new QComboBox;
    m_bandKind->setObjectName(QStringLiteral("propBandKind"));
    for (BandKind k : {BandKind::ReportTitle, BandKind::PageHeader, BandKind::MasterData, BandKind::DetailData, BandKind::GroupHeader,
                       BandKind::GroupFooter, BandKind::PageFooter, BandKind::ReportSummary})
        m_bandKind->addItem(bandKindText(k), int(k));
    connect(m_bandKind, &QComboBox::currentIndexChanged, this, [this, edit] {
        const auto kind = BandKind(m_bandKind->currentData().toInt());
        edit({}, [&](Band &b) {
            b.kind = kind;
            if (kind == BandKind::MasterData && b.table.isEmpty()) b.table = QStringLiteral("cdsData");
        });
        load();
    });
    m_bandForm->addRow(QStringLiteral("类型"), m_bandKind);

    m_bandName = new QLineEdit;
    m_bandName->setObjectName(QStringLiteral("propBandName"));
    connect(m_bandName, &QLineEdit::textEdited, this, [edit](const QString &v) { edit(QStringLiteral("name"), [&](Band &b) { b.name = v; }); });
    m_bandForm->addRow(QStringLiteral("名称"), m_bandName);

    m_bandHeight = numberBox("propBandHeight", 0, 10000);
    connect(m_bandHeight, &QDoubleSpinBox::valueChanged, this, [edit](double v) { edit(QStringLiteral("height"), [&](Band &b) { b.height = v; }); });
    m_bandForm->addRow(QStringLiteral("高度"), m_bandHeight);

    m_bandTable = new QLineEdit;
    m_bandTable->setObjectName(QStringLiteral("propBandTable"));
    m_bandTable->setToolTip(QStringLiteral("打印时逐条记录输出此数据表，例如 cdsData、cdsFamily"));
    connect(m_bandTable, &QLineEdit::textEdited, this, [edit](const QString &v) { edit(QStringLiteral("table"), [&](Band &b) { b.table = v.trimmed(); }); });
    m_bandForm->addRow(QStringLiteral("数据表"), m_bandTable);

    m_bandGroupField = new QLineEdit;
    m_bandGroupField->setObjectName(QStringLiteral("propBandGroupField"));
    m_bandGroupField->setToolTip(QStringLiteral("此字段的值改变时开始新的一组"));
    connect(m_bandGroupField, &QLineEdit::textEdited, this,
            [edit](const QString &v) { edit(QStringLiteral("group"), [&](Band &b) { b.groupField = v.trimmed(); }); });
    m_bandForm->addRow(QStringLiteral("分组字段"), m_bandGroupField);

    m_bandNewPage = checkBox("propBandNewPage", QStringLiteral("每条记录打印后换页"));
    m_bandNewPage->setToolTip(QStringLiteral("例如学籍卡片：每个学生一页"));
    connect(m_bandNewPage, &QCheckBox::toggled, this, [edit](bool v) { edit({}, [&](Band &b) { b.newPageAfter = v; }); });
    m_bandForm->addRow(QString(), m_bandNewPage);
    return page;
}

void PropertyPanel::load()
{
    const QList<QPair<int, int>> objects = m_designer->selectedObjects();
    const ReportTemplate &t = m_designer->currentTemplate();
    if (objects.size() == 1) {
        loadObject(t.bands[objects[0].first].objects[objects[0].second]);
        m_pages->setCurrentIndex(1);
    } else if (objects.size() > 1) {
        m_nothing->setText(QStringLiteral("已选择 %1 个对象\n可用方向键一起移动，Delete 键删除").arg(objects.size()));
        m_pages->setCurrentIndex(0);
    } else if (const int band = m_designer->selectedBand(); band >= 0) {
        loadBand(t.bands[band]);
        m_pages->setCurrentIndex(2);
    } else {
        m_nothing->setText(QStringLiteral("请选择栏目或对象"));
        m_pages->setCurrentIndex(0);
    }
}

void PropertyPanel::loadObject(const ReportObject &o)
{
    const QSignalBlocker blockers[] = {QSignalBlocker(m_name), QSignalBlocker(m_text), QSignalBlocker(m_font), QSignalBlocker(m_fontSize),
                                       QSignalBlocker(m_bold), QSignalBlocker(m_italic), QSignalBlocker(m_hAlign), QSignalBlocker(m_vAlign),
                                       QSignalBlocker(m_wordWrap), QSignalBlocker(m_autoHeight), QSignalBlocker(m_frameLeft),
                                       QSignalBlocker(m_frameTop), QSignalBlocker(m_frameRight), QSignalBlocker(m_frameBottom),
                                       QSignalBlocker(m_frameWidth), QSignalBlocker(m_keepAspect), QSignalBlocker(m_x),
                                       QSignalBlocker(m_y), QSignalBlocker(m_width), QSignalBlocker(m_height)};
    const bool memo = o.kind == ObjectKind::Memo;
    const bool picture = o.kind == ObjectKind::Picture;
    const bool line = o.kind == ObjectKind::Line;
    m_kind->setText(objectKindText(o.kind));
    display(m_name, o.name);
    display(m_text, o.text);
    if (m_font->currentText() != o.fontFamily) m_font->setCurrentText(o.fontFamily);
    display(m_fontSize, o.fontSize);
    display(m_bold, o.bold);
    display(m_italic, o.italic);
    Qt::Alignment h = o.alignment & Qt::AlignHorizontal_Mask;
    Qt::Alignment v = o.alignment & Qt::AlignVertical_Mask;
    display(m_hAlign, int(h ? h : Qt::AlignLeft));
    display(m_vAlign, int(v ? v : Qt::AlignTop));
    display(m_wordWrap, o.wordWrap);
    display(m_autoHeight, o.autoHeight);
    display(m_frameLeft, o.frame.left);
    display(m_frameTop, o.frame.top);
    display(m_frameRight, o.frame.right);
    display(m_frameBottom, o.frame.bottom);
    display(m_frameWidth, o.frame.width);
    display(m_keepAspect, o.keepAspect);
    display(m_x, o.rect.x());
    display(m_y, o.rect.y());
    display(m_width, o.rect.width());
    display(m_height, o.rect.height());
    for (QWidget *w : std::initializer_list<QWidget *>{m_text, m_font, m_fontStyle, m_hAlign, m_vAlign, m_textFlags})
        m_objectForm->setRowVisible(w, memo);
    m_objectForm->setRowVisible(m_frameSides, !line);
    m_objectForm->setRowVisible(m_pictureRow, picture);
}

void PropertyPanel::loadBand(const Band &b)
{
    const QSignalBlocker blockers[] = {QSignalBlocker(m_bandKind), QSignalBlocker(m_bandName), QSignalBlocker(m_bandHeight),
                                       QSignalBlocker(m_bandTable), QSignalBlocker(m_bandGroupField), QSignalBlocker(m_bandNewPage)};
    display(m_bandKind, int(b.kind));
    display(m_bandName, b.name);
    display(m_bandHeight, b.height);
    display(m_bandTable, b.table);
    display(m_bandGroupField, b.groupField);
    display(m_bandNewPage, b.newPageAfter);
    const bool data = b.kind == BandKind::MasterData || b.kind == BandKind::DetailData;
    m_bandForm->setRowVisible(m_bandTable, data);
    m_bandForm->setRowVisible(m_bandGroupField, b.kind == BandKind::GroupHeader);
    m_bandForm->setRowVisible(m_bandNewPage, b.kind == BandKind::MasterData);
}

void PropertyPanel::loadPicture()
{
    const QString file = dialogs::openFileName(this, QStringLiteral("载入图片"), QString(),
                                               QStringLiteral("图片 (*.png *.jpg *.jpeg *.bmp *.gif)"));
    if (file.isEmpty()) return;
    const QImage image(file);
    if (image.isNull()) return dialogs::error(this, QStringLiteral("无法读取图片：%1").arg(file));
    m_designer->changeObject({}, [&](ReportObject &o) { o.picture = image; });
}

void PropertyPanel::focusText()
{
    if (m_pages->currentIndex() == 1 && m_text->isVisible()) m_text->setFocus();
}

// ---- PageSetupDialog

namespace {

struct Paper {
    const char *name;
    QSizeF mm; // portrait
};
// The papers school offices print on; 16K is the Chinese sixteenmo.
const Paper kPapers[] = {{"A4", {210, 297}}, {"A3", {297, 420}}, {"B5", {182, 257}}, {"16K", {184, 260}}};

} // namespace

PageSetupDialog::PageSetupDialog(const PageSetup &page, const QString &title, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("PageSetupDialog"));
    setWindowTitle(QStringLiteral("页面设置"));
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    m_title = new QLineEdit(title);
    m_title->setObjectName(QStringLiteral("pageTitle"));
    form->addRow(QStringLiteral("报表名称"), m_title);
    layout->addLayout(form);

    auto *paperBox = new QGroupBox(QStringLiteral("纸张"));
    auto *paperForm = new QFormLayout(paperBox);
    m_paper = new QComboBox;
    m_paper->setObjectName(QStringLiteral("pagePaper"));
    for (const Paper &p : kPapers)
        m_paper->addItem(QStringLiteral("%1 (%2×%3 毫米)").arg(QString::fromLatin1(p.name)).arg(p.mm.width()).arg(p.mm.height()), p.mm);
    m_paper->addItem(QStringLiteral("自定义"), QSizeF());
    paperForm->addRow(QStringLiteral("纸张大小"), m_paper);
    m_paperWidth = numberBox("pageWidth", 10, 5000);
    m_paperHeight = numberBox("pageHeight", 10, 5000);
    m_paperWidth->setSuffix(QStringLiteral(" 毫米"));
    m_paperHeight->setSuffix(QStringLiteral(" 毫米"));
    paperForm->addRow(QStringLiteral("宽 / 高"), row({m_paperWidth, m_paperHeight}));
    m_portrait = new QRadioButton(QStringLiteral("纵向"));
    m_portrait->setObjectName(QStringLiteral("pagePortrait"));
    m_landscape = new QRadioButton(QStringLiteral("横向"));
    m_landscape->setObjectName(QStringLiteral("pageLandscape"));
    paperForm->addRow(QStringLiteral("方向"), row({m_portrait, m_landscape}));
    layout->addWidget(paperBox);

    auto *marginBox = new QGroupBox(QStringLiteral("页边距（毫米）"));
    auto *marginForm = new QFormLayout(marginBox);
    const char *names[] = {"marginLeft", "marginTop", "marginRight", "marginBottom"};
    for (int i = 0; i < 4; ++i) m_margins[i] = numberBox(names[i], 0, 1000);
    marginForm->addRow(QStringLiteral("左 / 右"), row({m_margins[0], m_margins[2]}));
    marginForm->addRow(QStringLiteral("上 / 下"), row({m_margins[1], m_margins[3]}));
    layout->addWidget(marginBox);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        const PageSetup p = this->page();
        if (p.printableUnits().width() <= 0 || p.printableUnits().height() <= 0)
            return dialogs::error(this, QStringLiteral("页边距设置错误！"));
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    const QSizeF portrait(std::min(page.paperMm.width(), page.paperMm.height()), std::max(page.paperMm.width(), page.paperMm.height()));
    int chosen = m_paper->count() - 1;
    for (int i = 0; i < int(std::size(kPapers)); ++i)
        if (std::abs(kPapers[i].mm.width() - portrait.width()) < 0.5 && std::abs(kPapers[i].mm.height() - portrait.height()) < 0.5) chosen = i;
    m_paper->setCurrentIndex(chosen);
    m_paperWidth->setValue(portrait.width());
    m_paperHeight->setValue(portrait.height());
    (page.orientation == QPageLayout::Landscape ? m_landscape : m_portrait)->setChecked(true);
    m_margins[0]->setValue(page.marginsMm.left());
    m_margins[1]->setValue(page.marginsMm.top());
    m_margins[2]->setValue(page.marginsMm.right());
    m_margins[3]->setValue(page.marginsMm.bottom());
    connect(m_paper, &QComboBox::currentIndexChanged, this, &PageSetupDialog::paperChosen);
    paperChosen();
}

void PageSetupDialog::paperChosen()
{
    const QSizeF mm = m_paper->currentData().toSizeF();
    const bool custom = mm.isEmpty();
    if (!custom) {
        m_paperWidth->setValue(mm.width());
        m_paperHeight->setValue(mm.height());
    }
    m_paperWidth->setEnabled(custom);
    m_paperHeight->setEnabled(custom);
}

PageSetup PageSetupDialog::page() const
{
    PageSetup p;
    p.paperMm = QSizeF(m_paperWidth->value(), m_paperHeight->value());
    p.orientation = m_landscape->isChecked() ? QPageLayout::Landscape : QPageLayout::Portrait;
    p.marginsMm = QMarginsF(m_margins[0]->value(), m_margins[1]->value(), m_margins[2]->value(), m_margins[3]->value());
    return p;
}

QString PageSetupDialog::title() const
{
    return m_title->text().trimmed();
}

} // namespace lumeko::report
