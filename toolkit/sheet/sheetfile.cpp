#include "toolkit/sheet/sheetfile.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QXmlStreamReader>

#include <freexl.h>
#include <zip.h>

#include <cmath>
#include <memory>

namespace lumeko {

namespace {

// Bounds that keep a hostile or broken file from exhausting memory: the largest sheet Excel can
// write, and a cap on what one zip member may inflate to.
constexpr qsizetype kMaxRows = 1048576;
constexpr qsizetype kMaxColumns = 16384;
constexpr zip_uint64_t kMaxMemberBytes = 512ull * 1024 * 1024;

QString numberText(double v)
{
    if (std::isfinite(v) && v == std::floor(v) && std::fabs(v) < 1e15) return QString::number(qint64(v));
    return QString::number(v, 'g', 15);
}

// Excel's serial day number (1900 system, with its phantom 29 February 1900) as a date and time.
QString serialDateText(double serial)
{
    if (!std::isfinite(serial) || serial < 0 || serial > 2958465) return numberText(serial);
    const qint64 days = qint64(std::floor(serial));
    const QDate date = QDate(1899, 12, 30).addDays(days < 61 ? days + 1 : days);
    const qint64 seconds = qint64(std::llround((serial - double(days)) * 86400.0));
    if (seconds == 0) return date.toString(QStringLiteral("yyyy-MM-dd"));
    return date.toString(QStringLiteral("yyyy-MM-dd ")) + QTime(0, 0).addSecs(int(seconds % 86400)).toString(QStringLiteral("HH:mm:ss"));
}

void putCell(QList<QStringList> &rows, qsizetype row, qsizetype column, const QString &text)
{
    if (row < 0 || row >= kMaxRows || column < 0 || column >= kMaxColumns)
        throw SheetError(QStringLiteral("工作表的单元格超出范围（第%1行第%2列）").arg(row + 1).arg(column + 1));
    if (text.isEmpty()) return;
    while (rows.size() <= row) rows.append(QStringList());
    QStringList &cells = rows[row];
    while (cells.size() <= column) cells.append(QString());
    cells[column] = text;
}

// ---- .xlsx

class ZipArchive {
public:
    explicit ZipArchive(const QByteArray &bytes) : m_bytes(bytes)
    {
        zip_error_t error;
        zip_error_init(&error);
        zip_source_t *source = zip_source_buffer_create(m_bytes.constData(), zip_uint64_t(m_bytes.size()), 0, &error);
        if (source) {
            m_zip = zip_open_from_source(source, ZIP_RDONLY, &error);
            if (!m_zip) zip_source_free(source);
        }
        zip_error_fini(&error);
        if (!m_zip) throw SheetError(QStringLiteral("不是有效的 Excel 文件（.xlsx 文件应是 zip 压缩包）"));
    }
    ~ZipArchive() { zip_discard(m_zip); }
    ZipArchive(const ZipArchive &) = delete;
    ZipArchive &operator=(const ZipArchive &) = delete;

    bool contains(const QString &name) const { return zip_name_locate(m_zip, name.toUtf8().constData(), 0) >= 0; }

    QByteArray read(const QString &name) const
    {
        const QByteArray utf8 = name.toUtf8();
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat(m_zip, utf8.constData(), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE))
            throw SheetError(QStringLiteral("Excel 文件缺少部件 %1").arg(name));
        if (st.size > kMaxMemberBytes) throw SheetError(QStringLiteral("Excel 文件的部件 %1 太大").arg(name));
        std::unique_ptr<zip_file_t, int (*)(zip_file_t *)> file(zip_fopen(m_zip, utf8.constData(), 0), zip_fclose);
        if (!file) throw SheetError(QStringLiteral("Excel 文件的部件 %1 无法解压").arg(name));
        QByteArray out(qsizetype(st.size), Qt::Uninitialized);
        const zip_int64_t got = zip_fread(file.get(), out.data(), st.size);
        if (got < 0 || zip_uint64_t(got) != st.size) throw SheetError(QStringLiteral("Excel 文件的部件 %1 已损坏").arg(name));
        return out;
    }

private:
    QByteArray m_bytes; // libzip reads from it for the archive's life
    zip_t *m_zip = nullptr;
};

void checkXml(const QXmlStreamReader &xml, const QString &part)
{
    if (xml.hasError()) throw SheetError(QStringLiteral("Excel 文件的部件 %1 不是有效的 XML：%2").arg(part, xml.errorString()));
}

// The text of the element the reader stands on, its runs' <t> joined; phonetic runs are left out.
QString richText(QXmlStreamReader &xml)
{
    QString text;
    int phonetic = 0;
    const QString endName = xml.name().toString();
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            if (xml.name() == u"rPh") ++phonetic;
            else if (xml.name() == u"t" && phonetic == 0) text += xml.readElementText(QXmlStreamReader::IncludeChildElements);
        } else if (xml.isEndElement()) {
            if (xml.name() == u"rPh") --phonetic;
            else if (xml.name() == endName) break;
        }
    }
    return text;
}

QStringList sharedStrings(const ZipArchive &zip)
{
    QStringList strings;
    const QString part = QStringLiteral("xl/sharedStrings.xml");
    if (!zip.contains(part)) return strings;
    QXmlStreamReader xml(zip.read(part));
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == u"si") strings << richText(xml);
    }
    checkXml(xml, part);
    return strings;
}

bool isDateFormatCode(const QString &code)
{
    // Quoted literals and bracketed parts ([Red], [$-804]) say nothing about dates.
    QString bare;
    bool quoted = false;
    int bracket = 0;
    for (QChar c : code) {
        if (c == u'"') quoted = !quoted;
        else if (!quoted && c == u'[') ++bracket;
        else if (!quoted && c == u']') bracket = qMax(0, bracket - 1);
        else if (!quoted && bracket == 0) bare += c.toLower();
    }
    return bare.contains(u'y') || bare.contains(u'd') || bare.contains(u'm') || bare.contains(u'h') || bare.contains(u's');
}

// The cell styles (by index) whose number format shows a date or a time.
QSet<int> dateStyles(const ZipArchive &zip)
{
    QSet<int> styles;
    const QString part = QStringLiteral("xl/styles.xml");
    if (!zip.contains(part)) return styles;
    QSet<int> dateFormats = {14, 15, 16, 17, 18, 19, 20, 21, 22, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 45, 46, 47, 50, 51, 52, 53, 54, 55, 56, 57, 58};
    QXmlStreamReader xml(zip.read(part));
    bool inCellXfs = false;
    int xfIndex = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            if (xml.name() == u"numFmt") {
                const int id = xml.attributes().value(QLatin1StringView("numFmtId")).toInt();
                if (isDateFormatCode(xml.attributes().value(QLatin1StringView("formatCode")).toString())) dateFormats.insert(id);
                else dateFormats.remove(id);
            } else if (xml.name() == u"cellXfs") {
                inCellXfs = true;
            } else if (inCellXfs && xml.name() == u"xf") {
                if (dateFormats.contains(xml.attributes().value(QLatin1StringView("numFmtId")).toInt())) styles.insert(xfIndex);
                ++xfIndex;
            }
        } else if (xml.isEndElement() && xml.name() == u"cellXfs") {
            inCellXfs = false;
        }
    }
    checkXml(xml, part);
    return styles;
}

struct SheetRef {
    QString name;
    QString part; // the worksheet's member in the archive
};

// The worksheets in the workbook's order, with their parts in the archive.
QList<SheetRef> workbookSheets(const ZipArchive &zip)
{
    const QString workbook = QStringLiteral("xl/workbook.xml");
    QXmlStreamReader xml(zip.read(workbook));
    QList<std::pair<QString, QString>> named; // name, relationship id
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == u"sheet") {
            QString relId;
            for (const QXmlStreamAttribute &a : xml.attributes())
                if (a.name() == u"id") relId = a.value().toString();
            named.append({xml.attributes().value(QLatin1StringView("name")).toString(), relId});
        }
    }
    checkXml(xml, workbook);
    if (named.isEmpty()) throw SheetError(QStringLiteral("Excel 文件中没有工作表"));

    const QString rels = QStringLiteral("xl/_rels/workbook.xml.rels");
    QHash<QString, QString> targets;
    QXmlStreamReader r(zip.read(rels));
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement() && r.name() == u"Relationship") {
            QString target = r.attributes().value(QLatin1StringView("Target")).toString();
            target = target.startsWith(u'/') ? target.mid(1) : QStringLiteral("xl/") + target;
            targets.insert(r.attributes().value(QLatin1StringView("Id")).toString(), target);
        }
    }
    checkXml(r, rels);
    QList<SheetRef> sheets;
    for (const auto &[name, relId] : named) {
        if (!targets.contains(relId)) throw SheetError(QStringLiteral("Excel 文件中找不到工作表“%1”").arg(name));
        sheets.append({name, targets.value(relId)});
    }
    return sheets;
}

// "BC12" → column 54 (0-based) and row 11; false when the reference is malformed.
bool parseCellRef(QStringView ref, qsizetype *row, qsizetype *column)
{
    qsizetype i = 0, col = 0, r = 0;
    while (i < ref.size() && ref[i].isLetter() && ref[i].unicode() < 128) {
        col = col * 26 + (ref[i].toUpper().unicode() - 'A' + 1);
        if (col > kMaxColumns) return false;
        ++i;
    }
    if (i == 0 || i == ref.size()) return false;
    for (; i < ref.size(); ++i) {
        if (!ref[i].isDigit() || ref[i].unicode() >= 128) return false;
        r = r * 10 + (ref[i].unicode() - '0');
        if (r > kMaxRows) return false;
    }
    if (r == 0) return false;
    *row = r - 1;
    *column = col - 1;
    return true;
}

void readWorksheet(const QByteArray &bytes, const QString &part, const QStringList &strings, const QSet<int> &dates, QList<QStringList> &rows)
{
    QXmlStreamReader xml(bytes);
    qsizetype row = -1, column = -1;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement()) continue;
        if (xml.name() == u"row") {
            const qsizetype r = xml.attributes().value(QLatin1StringView("r")).toLongLong();
            row = r > 0 ? r - 1 : row + 1;
            column = -1;
        } else if (xml.name() == u"c") {
            const QXmlStreamAttributes a = xml.attributes();
            const QString ref = a.value(QLatin1StringView("r")).toString();
            qsizetype r = row, c = column + 1;
            if (!ref.isEmpty() && !parseCellRef(ref, &r, &c))
                throw SheetError(QStringLiteral("Excel 文件的部件 %1 有无效的单元格引用“%2”").arg(part, ref));
            row = qMax<qsizetype>(r, 0);
            column = c;
            const QString type = a.value(QLatin1StringView("t")).toString();
            const int style = a.value(QLatin1StringView("s")).toInt();
            QString value, inlineText;
            bool hasInline = false;
            while (!xml.atEnd()) {
                xml.readNext();
                if (xml.isStartElement() && xml.name() == u"v") value = xml.readElementText();
                else if (xml.isStartElement() && xml.name() == u"is") { inlineText = richText(xml); hasInline = true; }
                else if (xml.isEndElement() && xml.name() == u"c") break;
            }
            QString text;
            if (type == u"s") {
                bool ok = false;
                const qsizetype i = value.toLongLong(&ok);
                if (!ok || i < 0 || i >= strings.size())
                    throw SheetError(QStringLiteral("Excel 文件的单元格 %1 引用了不存在的共享文本").arg(ref));
                text = strings[i];
            } else if (type == u"inlineStr" || hasInline) {
                text = inlineText;
            } else if (type == u"b") {
                text = value == u"1" ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
            } else if (type == u"str" || type == u"e" || type == u"d") {
                text = value;
            } else if (!value.isEmpty()) {
                bool ok = false;
                const double v = value.toDouble(&ok);
                text = !ok ? value : dates.contains(style) ? serialDateText(v) : numberText(v);
            }
            putCell(rows, row, column, text);
        }
    }
    checkXml(xml, part);
}

// ---- .xls

struct XlsHandle {
    explicit XlsHandle(const QString &path)
    {
        const int opened = freexl_open(QFile::encodeName(path).constData(), &handle);
        if (opened != FREEXL_OK || !handle) {
            if (handle) freexl_close(handle);
            throw SheetError(QStringLiteral("不是有效的 Excel 97-2003 文件（.xls），错误码 %1").arg(opened));
        }
    }
    ~XlsHandle() { freexl_close(handle); }
    XlsHandle(const XlsHandle &) = delete;
    XlsHandle &operator=(const XlsHandle &) = delete;

    QStringList sheetNames() const
    {
        unsigned int count = 0;
        if (freexl_get_info(handle, FREEXL_BIFF_SHEET_COUNT, &count) != FREEXL_OK || count == 0)
            throw SheetError(QStringLiteral("Excel 文件中没有工作表"));
        QStringList names;
        for (unsigned short i = 0; i < count; ++i) {
            const char *name = nullptr;
            names << (freexl_get_worksheet_name(handle, i, &name) == FREEXL_OK && name ? QString::fromUtf8(name) : QString());
        }
        return names;
    }

    const void *handle = nullptr;
};

SheetTable readXls(const QString &path, int sheet)
{
    const XlsHandle xls(path);
    const void *handle = xls.handle;
    const QStringList names = xls.sheetNames();
    if (sheet < 0 || sheet >= names.size()) throw SheetError(QStringLiteral("Excel 文件中没有第%1个工作表").arg(sheet + 1));
    SheetTable table;
    table.sheetName = names[sheet];
    unsigned int rowCount = 0;
    unsigned short columnCount = 0;
    if (freexl_select_active_worksheet(handle, (unsigned short)sheet) != FREEXL_OK || freexl_worksheet_dimensions(handle, &rowCount, &columnCount) != FREEXL_OK)
        throw SheetError(QStringLiteral("Excel 文件的工作表无法读取"));
    for (unsigned int r = 0; r < rowCount; ++r) {
        for (unsigned short c = 0; c < columnCount; ++c) {
            FreeXL_CellValue cell;
            if (freexl_get_cell_value(handle, r, c, &cell) != FREEXL_OK)
                throw SheetError(QStringLiteral("Excel 文件的单元格（第%1行第%2列）无法读取").arg(r + 1).arg(c + 1));
            QString text;
            switch (cell.type) {
            case FREEXL_CELL_INT: text = QString::number(cell.value.int_value); break;
            case FREEXL_CELL_DOUBLE: text = numberText(cell.value.double_value); break;
            case FREEXL_CELL_TEXT:
            case FREEXL_CELL_SST_TEXT:
            case FREEXL_CELL_DATE:
            case FREEXL_CELL_DATETIME:
            case FREEXL_CELL_TIME: text = QString::fromUtf8(cell.value.text_value); break;
            default: break;
            }
            putCell(table.rows, r, c, text);
        }
    }
    return table;
}

} // namespace

SheetTable readXlsx(const QByteArray &zipBytes, int sheet)
{
    const ZipArchive zip(zipBytes);
    const QList<SheetRef> sheets = workbookSheets(zip);
    if (sheet < 0 || sheet >= sheets.size()) throw SheetError(QStringLiteral("Excel 文件中没有第%1个工作表").arg(sheet + 1));
    const QStringList strings = sharedStrings(zip);
    const QSet<int> dates = dateStyles(zip);
    SheetTable table;
    table.sheetName = sheets[sheet].name;
    readWorksheet(zip.read(sheets[sheet].part), sheets[sheet].part, strings, dates, table.rows);
    return table;
}

namespace {

QByteArray readWhole(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) throw SheetError(QStringLiteral("无法打开文件 %1：%2").arg(path, file.errorString()));
    return file.readAll();
}

bool isXls(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != u"xls" && suffix != u"xlsx") throw SheetError(QStringLiteral("只能读取 Excel 文件（.xls 或 .xlsx）：%1").arg(path));
    return suffix == u"xls";
}

} // namespace

SheetTable readSheetFile(const QString &path, int sheet)
{
    return isXls(path) ? readXls(path, sheet) : readXlsx(readWhole(path), sheet);
}

QStringList sheetNames(const QString &path)
{
    if (isXls(path)) return XlsHandle(path).sheetNames();
    const ZipArchive zip(readWhole(path));
    QStringList names;
    for (const SheetRef &s : workbookSheets(zip)) names << s.name;
    return names;
}

} // namespace lumeko
