// Export of what the grid shows to a spreadsheet file (.xlsx): a bold header row, every data row
// with numbers and dates as such, group rows as label rows with their summaries (members outlined
// under them), and the footer last.

#include "toolkit/grid/bandedgrid.h"

#include <QDate>
#include <QDateTime>
#include <QFile>

#include <xlsxwriter.h>

namespace lumeko {

namespace {
struct Sheet {
    lxw_workbook *book = nullptr;
    lxw_worksheet *sheet = nullptr;
    lxw_format *header = nullptr;
    lxw_format *date = nullptr;
    lxw_format *dateTime = nullptr;
    lxw_format *group = nullptr;
    lxw_format *footer = nullptr;
    lxw_error firstError = LXW_NO_ERROR;

    void check(lxw_error e)
    {
        if (e != LXW_NO_ERROR && firstError == LXW_NO_ERROR) firstError = e;
    }
    void text(lxw_row_t row, lxw_col_t col, const QString &value, lxw_format *format = nullptr)
    {
        if (value.isEmpty() && !format) return;
        check(worksheet_write_string(sheet, row, col, value.toUtf8().constData(), format));
    }
};

// Sheet names: at most 31 characters, none of []:*?/\.
QByteArray sheetNameOf(const QString &name)
{
    QString n = name;
    for (QChar bad : {u'[', u']', u':', u'*', u'?', u'/', u'\\'}) n.remove(bad);
    n = n.left(31).trimmed();
    return n.toUtf8();
}
} // namespace

bool BandedGrid::exportToXlsx(const QString &path, QString *error, const QString &sheetName) const
{
    auto fail = [&](const QString &message) {
        if (error) *error = message;
        return false;
    };
    const QList<int> columns = visibleColumns();
    if (columns.isEmpty()) return fail(QStringLiteral("没有可导出的列"));

    Sheet s;
    const QByteArray file = QFile::encodeName(path);
    s.book = workbook_new(file.constData());
    if (!s.book) return fail(QStringLiteral("无法创建文件“%1”").arg(path));
    const QByteArray name = sheetNameOf(sheetName);
    s.sheet = workbook_add_worksheet(s.book, name.isEmpty() ? nullptr : name.constData());
    if (!s.sheet) s.sheet = workbook_add_worksheet(s.book, nullptr);

    s.header = workbook_add_format(s.book);
    format_set_bold(s.header);
    format_set_align(s.header, LXW_ALIGN_CENTER);
    format_set_bg_color(s.header, 0xE4E9F2);
    format_set_border(s.header, LXW_BORDER_THIN);
    s.date = workbook_add_format(s.book);
    format_set_num_format(s.date, "yyyy-mm-dd");
    s.dateTime = workbook_add_format(s.book);
    format_set_num_format(s.dateTime, "yyyy-mm-dd hh:mm:ss");
    s.group = workbook_add_format(s.book);
    format_set_bold(s.group);
    format_set_bg_color(s.group, 0xEEF3FA);
    s.footer = workbook_add_format(s.book);
    format_set_bold(s.footer);
    format_set_top(s.footer, LXW_BORDER_THIN);

    for (int i = 0; i < columns.size(); ++i) {
        s.text(0, lxw_col_t(i), columnCaption(columns[i]), s.header);
        s.check(worksheet_set_column(s.sheet, lxw_col_t(i), lxw_col_t(i), std::max(4.0, column(columns[i]).width / 7.0), nullptr));
    }
    int fixedShown = 0;
    for (int c : columns) fixedShown += c < fixedBandColumnCount() ? 1 : 0;
    worksheet_freeze_panes(s.sheet, 1, lxw_col_t(fixedShown));

    const GridModel *m = m_model;
    const int levels = m->groupLevelCount();
    lxw_row_t row = 1;
    auto writeData = [&](int ordinal) {
        const int src = m->sourceRowOfOrdinal(ordinal);
        for (int i = 0; i < columns.size(); ++i) {
            const int c = columns[i];
            const QVariant v = m->cellValue(src, c);
            if (wire::isNull(v)) continue;
            const lxw_col_t col = lxw_col_t(i);
            if (!column(c).lookup.isEmpty()) {
                s.text(row, col, m->cellText(src, c));
                continue;
            }
            switch (m->fieldType(c)) {
            case FieldType::Integer:
            case FieldType::Float: s.check(worksheet_write_number(s.sheet, row, col, v.toDouble(), nullptr)); break;
            case FieldType::Boolean: s.text(row, col, v.toBool() ? QStringLiteral("是") : QStringLiteral("否")); break;
            case FieldType::Date: {
                const QDate d = v.toDate();
                lxw_datetime dt = {d.year(), d.month(), d.day(), 0, 0, 0};
                s.check(worksheet_write_datetime(s.sheet, row, col, &dt, s.date));
                break;
            }
            case FieldType::DateTime: {
                const QDateTime d = v.toDateTime();
                lxw_datetime dt = {d.date().year(), d.date().month(), d.date().day(), d.time().hour(), d.time().minute(),
                                   d.time().second() + d.time().msec() / 1000.0};
                s.check(worksheet_write_datetime(s.sheet, row, col, &dt, s.dateTime));
                break;
            }
            default: s.text(row, col, m->cellText(src, c)); break;
            }
        }
        if (levels > 0) {
            lxw_row_col_options outline = {0, uint8_t(std::min(levels, 7)), 0};
            worksheet_set_row_opt(s.sheet, row, LXW_DEF_ROW_HEIGHT, nullptr, &outline);
        }
        ++row;
    };
    std::function<void(int)> writeGroup = [&](int group) {
        const GridModel::GroupInfo info = m->groupInfo(group);
        QString label = QString(info.level * 2, u' ') + info.label();
        for (int i = 0; i < columns.size(); ++i) {
            const QString summary = m->groupSummaryText(group, columns[i]);
            if (i == 0) {
                if (!summary.isEmpty()) label += QStringLiteral("  ") + summary;
                continue;
            }
            s.text(row, lxw_col_t(i), summary, s.group);
        }
        s.text(row, 0, label, s.group);
        if (info.level > 0) {
            lxw_row_col_options outline = {0, uint8_t(std::min(info.level, 7)), 0};
            worksheet_set_row_opt(s.sheet, row, LXW_DEF_ROW_HEIGHT, nullptr, &outline);
        }
        ++row;
        const QList<int> children = m->childGroups(group);
        if (!children.isEmpty()) {
            for (int child : children) writeGroup(child);
        } else {
            for (int o = info.firstOrdinal; o < info.firstOrdinal + info.rowCount; ++o) writeData(o);
        }
    };
    if (levels > 0) {
        for (int group : m->childGroups(-1)) writeGroup(group);
    } else {
        for (int o = 0; o < dataRowCount(); ++o) writeData(o);
    }
    bool anyFooter = false;
    for (int c : columns) anyFooter = anyFooter || !footerText(c).isEmpty();
    if (anyFooter && m_footerVisible)
        for (int i = 0; i < columns.size(); ++i) s.text(row, lxw_col_t(i), footerText(columns[i]), s.footer);

    const lxw_error closed = workbook_close(s.book);
    if (closed != LXW_NO_ERROR)
        return fail(QStringLiteral("无法写入文件“%1”：%2").arg(path, QString::fromUtf8(lxw_strerror(closed))));
    if (s.firstError != LXW_NO_ERROR)
        return fail(QStringLiteral("导出到“%1”时出错：%2").arg(path, QString::fromUtf8(lxw_strerror(s.firstError))));
    return true;
}

} // namespace lumeko
