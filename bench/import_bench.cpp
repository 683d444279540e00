// The import wizard's merge measured against the plainest reading of the same data.
//
// A register of 2,500 students is the page's table; the import brings 5,000 rows (half of them
// students already there, to be overwritten, half new ones, to be appended) with ten columns:
// register number, name, sex, class, seat, birthday, father, father's telephone, mother, address.
// The parents' columns go to a family table, as on the register page.
//
//   BM_ClipboardImport  cutting the pasted text into cells and merging the rows
//   BM_XlsxImport       reading the same rows from an .xlsx file and merging them
// Each runs ours and the baseline alternately in the same iterations and reports
//   ours_ms  our time per iteration: reading plus merging
//   merge_ms the merge alone
//   base_ms  the baseline: splitting the same text at line ends and TABs with QString::split
//   ratio    ours_ms / base_ms
// Outside the timed part each iteration checks that 2,500 rows were overwritten and 2,500 added.

#include "framework/import/importmerge.h"
#include "toolkit/sheet/pastedtable.h"
#include "toolkit/sheet/sheetfile.h"

#include <benchmark/benchmark.h>
#include <xlsxwriter.h>

#include <QTemporaryDir>

#include <chrono>
#include <random>

namespace {

using namespace lumeko;
using namespace lumeko::achieve;
using Clock = std::chrono::steady_clock;

constexpr int kExisting = 2500;
constexpr int kImported = 5000;

const QStringList kTitles{QStringLiteral("学籍辅号"), QStringLiteral("姓名"), QStringLiteral("性别"), QStringLiteral("班级"), QStringLiteral("座号"),
                          QStringLiteral("出生日期"), QStringLiteral("父亲"), QStringLiteral("父亲电话"), QStringLiteral("母亲"), QStringLiteral("家庭住址")};

QString nameOf(std::mt19937 &rng)
{
    static const QString family = QStringLiteral("王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗");
    static const QString given = QStringLiteral("伟芳娜敏静丽强磊军洋勇艳杰娟涛明超秀霞平刚桂英华");
    QString n = family[rng() % family.size()];
    for (unsigned i = 0, len = 1 + rng() % 2; i < len; ++i) n += given[rng() % given.size()];
    return n;
}

struct Fixture {
    DataSet defs, data, classes, family;
    QList<QStringList> rows; // the imported rows, titles first
    QString text;            // as a spreadsheet puts them on the clipboard
    QTemporaryDir dir;
    QString xlsx;

    Fixture()
    {
        std::mt19937 rng(20261206);
        defs.createTable({{"sFldName", FieldType::Text, 30}, {"sFldCaption", FieldType::Text, 30}, {"sFieldType", FieldType::Text, 1}});
        const char *fields[][3] = {{"sNO", "学籍辅号", "S"}, {"sName", "姓名", "S"}, {"sSex", "性别", "S"}, {"ClassCode", "班级", "S"},
                                   {"iClassNo", "座号", "N"}, {"dbirthday", "出生日期", "D"}, {"MYFQ", "父亲", "S"}, {"MYFQTel", "父亲电话", "S"},
                                   {"MYMQ", "母亲", "S"}, {"sAddress", "家庭住址", "S"}};
        for (const auto &f : fields) defs.appendRecord({QString::fromLatin1(f[0]), QString::fromUtf8(f[1]), QString::fromLatin1(f[2])});
        data.createTable({{"sCode", FieldType::Text, 38}, {"sNO", FieldType::Text, 20}, {"sName", FieldType::Text, 20}, {"sSex", FieldType::Text, 2},
                          {"ClassCode", FieldType::Text, 3}, {"iClassNo", FieldType::Integer}, {"dbirthday", FieldType::DateTime},
                          {"sAddress", FieldType::Text, 60}, {"sType", FieldType::Text, 10}});
        for (int i = 0; i < kExisting; ++i)
            data.appendRecord({QStringLiteral("{%1}").arg(i, 36, 10, QChar(u'0')), QStringLiteral("2026%1").arg(i * 2, 5, 10, QChar(u'0')), nameOf(rng), QStringLiteral("男"),
                               QStringLiteral("%1").arg(1 + i % 12, 3, 10, QChar(u'0')), 1 + i % 50});
        data.mergeChangeLog();
        classes.createTable({{"classcode", FieldType::Text, 3}, {"classname", FieldType::Text, 20}});
        for (int c = 1; c <= 12; ++c) classes.appendRecord({QStringLiteral("%1").arg(c, 3, 10, QChar(u'0')), QStringLiteral("%1班").arg(c)});
        family.createTable({{"sCode", FieldType::Text, 38}, {"sTitle", FieldType::Text, 10}, {"sName", FieldType::Text, 20},
                            {"sTel", FieldType::Text, 20}, {"sCompany", FieldType::Text, 40}, {"SchoolCode", FieldType::Text, 10}});

        rows << kTitles;
        for (int i = 0; i < kImported; ++i) {
            // Even numbers up to 2 × 2,500 are already registered; odd ones are new.
            rows << QStringList{QStringLiteral("2026%1").arg(i, 5, 10, QChar(u'0')), nameOf(rng), i % 2 ? QStringLiteral("女") : QStringLiteral("男"),
                                QString::number(1 + i % 12), QString::number(1 + i % 50),
                                QStringLiteral("2012%1%2").arg(1 + i % 12, 2, 10, QChar(u'0')).arg(1 + i % 28, 2, 10, QChar(u'0')),
                                nameOf(rng), QStringLiteral("139%1").arg(i, 8, 10, QChar(u'0')), nameOf(rng),
                                QStringLiteral("示范市学府路%1号").arg(i)};
        }
        for (const QStringList &r : rows) text += r.join(u'\t') + QStringLiteral("\r\n");

        xlsx = dir.filePath(QStringLiteral("register.xlsx"));
        const QByteArray path = xlsx.toUtf8();
        lxw_workbook *wb = workbook_new(path.constData());
        lxw_worksheet *ws = workbook_add_worksheet(wb, nullptr);
        for (int r = 0; r < rows.size(); ++r)
            for (int c = 0; c < rows[r].size(); ++c) worksheet_write_string(ws, r, c, rows[r][c].toUtf8().constData(), nullptr);
        if (workbook_close(wb) != LXW_NO_ERROR) throw std::runtime_error("cannot write the .xlsx sample");
    }
};

Fixture &fixture()
{
    static Fixture f;
    return f;
}

// What a plain program would do with the text: cut it at line ends and TABs.
qsizetype plainSplit(const QString &text)
{
    qsizetype cells = 0;
    for (const QString &line : text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) cells += line.split(u'\t').size();
    return cells;
}

double msSince(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

void runImport(benchmark::State &state, const std::function<QList<QStringList>()> &read)
{
    Fixture &fx = fixture();
    double ours = 0, merge = 0, base = 0;
    for (auto _ : state) {
        DataSet data, family;
        data.cloneFrom(fx.data);
        family.cloneFrom(fx.family);
        ImportTarget target;
        target.fields = &fx.defs;
        target.data = &data;
        target.classes = &fx.classes;
        target.detail = &family;
        target.masterKeyField = target.detailKeyField = QStringLiteral("sCode");
        target.keyCaptions = {QStringLiteral("学籍辅号")};
        target.keyFields = {QStringLiteral("sNO")};
        target.initRow = [](DataSet &row) { row.setValue(u"sType", QStringLiteral("统招生")); };
        ImportOptions options;
        options.keys = target.keyCaptions;
        options.overwrite = true;

        const auto start = Clock::now();
        QList<QStringList> rows = read();
        const QStringList titles = rows.takeFirst();
        const auto merged = Clock::now();
        ImportMerge m(target, options);
        const ImportOutcome out = m.run(titles, rows);
        const double mergeMs = msSince(merged);
        const double oursMs = msSince(start);

        const auto baseStart = Clock::now();
        benchmark::DoNotOptimize(plainSplit(fx.text));
        const double baseMs = msSince(baseStart);

        if (!out.complete() || out.overwritten != kExisting || out.added != kImported - kExisting) {
            state.SkipWithError("the merge did not overwrite and add what it should");
            return;
        }
        state.SetIterationTime(oursMs / 1000);
        ours += oursMs;
        merge += mergeMs;
        base += baseMs;
    }
    const double n = double(state.iterations());
    state.counters["ours_ms"] = ours / n;
    state.counters["merge_ms"] = merge / n;
    state.counters["base_ms"] = base / n;
    state.counters["ratio"] = base > 0 ? ours / base : 0;
}

void BM_ClipboardImport(benchmark::State &state)
{
    runImport(state, [] { return splitPastedTable(fixture().text, u'\t'); });
}

void BM_XlsxImport(benchmark::State &state)
{
    runImport(state, [] { return readSheetFile(fixture().xlsx).rows; });
}

} // namespace

BENCHMARK(BM_ClipboardImport)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XlsxImport)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
