#include "uitesting.h"

#include <QDir>
#include <QPixmap>
#include <QProcess>
#include <QWidget>

namespace lumeko::report::testing {

ScriptedDialogs::ScriptedDialogs() : m_saved(reportDialogs())
{
    ReportDialogs &d = reportDialogs();
    d.ask = [this](QWidget *, const QString &text, QMessageBox::StandardButtons) {
        questions << text;
        return answer;
    };
    d.error = [this](QWidget *, const QString &text) {
        questions << text;
        errors << text;
    };
    d.openFileName = [this](QWidget *, const QString &caption, const QString &, const QString &) {
        fileCaptions << caption;
        return fileName;
    };
    d.saveFileName = d.openFileName;
    d.askText = [this](QWidget *, const QString &, const QString &label, QString *text) {
        questions << label;
        if (texts.isEmpty()) return false;
        *text = texts.takeFirst();
        return true;
    };
    d.choosePrinter = [this](QWidget *, QPrinter *p, int) { return printer && printer(p); };
}

ScriptedDialogs::~ScriptedDialogs()
{
    reportDialogs() = m_saved;
}

QString pdfText(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"), path, QStringLiteral("-")});
    if (!p.waitForFinished(30000)) return {};
    QString text = QString::fromUtf8(p.readAllStandardOutput());
    text.remove(u' ');
    return text;
}

ReportTemplate recordCard()
{
    auto memo = [](const QString &name, QRectF rect, const QString &text, bool framed = true) {
        ReportObject o;
        o.kind = ObjectKind::Memo;
        o.name = name;
        o.rect = rect;
        o.text = text;
        o.fontSize = 10.5;
        o.alignment = Qt::AlignCenter;
        if (framed) o.frame = Frame::all();
        return o;
    };
    ReportTemplate t;
    t.title = QStringLiteral("学籍卡片");
    Band title;
    title.kind = BandKind::ReportTitle;
    title.name = QStringLiteral("Title");
    title.height = 60;
    ReportObject heading = memo(QStringLiteral("mmTitle"), {0, 4, 686, 30}, QStringLiteral("[SchoolFullName]学生学籍卡片"), false);
    heading.fontSize = 18;
    heading.bold = true;
    title.objects << heading;
    title.objects << memo(QStringLiteral("mmGrade"), {0, 36, 686, 20}, QStringLiteral("[GradeName] [ClassName]  班主任：[ClassTeacher]"), false);

    Band card;
    card.kind = BandKind::MasterData;
    card.name = QStringLiteral("Card");
    card.table = QStringLiteral("cdsData");
    card.height = 150;
    card.newPageAfter = true;
    const QStringList labels = {QStringLiteral("姓名"), QStringLiteral("性别"), QStringLiteral("出生日期"), QStringLiteral("学籍号"),
                                QStringLiteral("民族"), QStringLiteral("籍贯")};
    const QStringList fields = {QStringLiteral("[sName]"), QStringLiteral("[sSex]"), QStringLiteral("[dBirthday]"),
                                QStringLiteral("[cdsData.\"sNO\"]"), QStringLiteral("[sNation]"), QStringLiteral("[sNativePlace]")};
    for (int i = 0; i < labels.size(); ++i) {
        const double x = (i % 2) * 270, y = (i / 2) * 30;
        card.objects << memo(QStringLiteral("mmLabel%1").arg(i + 1), {x, y, 90, 30}, labels[i]);
        card.objects << memo(QStringLiteral("mmValue%1").arg(i + 1), {x + 90, y, 180, 30}, fields[i]);
    }
    card.objects << memo(QStringLiteral("mmAddrLabel"), {0, 90, 90, 30}, QStringLiteral("家庭住址"));
    card.objects << memo(QStringLiteral("mmAddr"), {90, 90, 450, 30}, QStringLiteral("[sAddress]"));
    ReportObject photo;
    photo.kind = ObjectKind::Picture;
    photo.name = QStringLiteral("InPicture");
    photo.rect = {560, 0, 126, 150};
    photo.frame = Frame::all();
    card.objects << photo;

    Band family;
    family.kind = BandKind::DetailData;
    family.name = QStringLiteral("Family");
    family.table = QStringLiteral("cdsFamily");
    family.height = 26;
    family.objects << memo(QStringLiteral("mmRelation"), {0, 0, 90, 26}, QStringLiteral("[sRelation]"));
    family.objects << memo(QStringLiteral("mmParent"), {90, 0, 180, 26}, QStringLiteral("[sParentName]"));
    family.objects << memo(QStringLiteral("mmWork"), {270, 0, 416, 26}, QStringLiteral("[sWorkUnit]"));

    Band footer;
    footer.kind = BandKind::PageFooter;
    footer.name = QStringLiteral("Footer");
    footer.height = 24;
    footer.objects << memo(QStringLiteral("mmPage"), {0, 0, 686, 24}, QStringLiteral("第 [PAGE#] 页  打印日期：[DATE]"), false);
    t.bands = {title, card, family, footer};
    return t;
}

void keepScreenshot(QWidget *widget, const QString &name)
{
    const QString folder = qEnvironmentVariable("LUMEKO_SHOTS");
    if (folder.isEmpty()) return;
    QDir().mkpath(folder);
    widget->grab().save(folder + QLatin1Char('/') + name);
}

} // namespace lumeko::report::testing
