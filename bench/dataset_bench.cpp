// The in-memory table measured against the plainest thing that could do its job: a std::vector of
// a struct with one member per field, worked on by hand-written loops.
//
// The table is a register of 100,000 students with 20 fields (key, names, class codes, entry year,
// six subject scores, a selection mark, a birthday), generated from a fixed seed so that every run
// sees the same rows. Each benchmark runs our operation and the hand-written one alternately in
// the same iterations and reports
//   ours_ns  the table's time per iteration
//   base_ns  the plain vector's time per iteration
//   ratio    ours_ns / base_ns
// The reported iteration time (manual time) is ours. Every benchmark also checks, outside the
// timed part, that both sides produced the same answer, and fails the run when they did not.

#include "toolkit/data/dataset.h"
#include "wire/codec.h"

#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QString>

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <iterator>
#include <memory>
#include <numeric>
#include <random>
#include <utility>
#include <vector>

namespace {

using namespace lumeko;
using wire::Column;
using wire::FieldDef;
using Clock = std::chrono::steady_clock;

constexpr qsizetype kRows = 100'000;
constexpr qsizetype kChanges = 10'000; // every tenth row is edited in the change-log benchmark

// ---- the rows ------------------------------------------------------------------------------------

// Field positions, the same in the packet and in the struct.
enum FieldNo : int {
    fCode, fStudNo, fName, fSex, fGrade, fClass, fCurGrade, fNation, fHomeTown,
    fClassNo, fInYear, fSeatNo,
    fChinese, fMath, fEnglish, fPhysics, fChemistry, fBiology,
    fSelected, fBirthday,
    kFieldCount
};

// One student as a hand-written program would hold it.
struct StudentRow {
    QString sCode;     // {GUID}, 38 characters
    QString sStudNo;   // entry year, class code, seat, check digits
    QString sName;     // two or three hanzi
    QString sSex;      // 男 or 女
    QString GradeCode; // "07"
    QString ClassCode; // "0701"
    QString bCurGrade; // "Y" or "N"
    QString sNation;   // 汉族, ...
    QString sHomeTown;
    qint64 iClassNo = 0;
    qint64 InYear = 0;
    qint64 iSeatNo = 0;
    double ChineseScore = 0;
    double MathScore = 0;
    double EnglishScore = 0;
    double PhysicsScore = 0;
    double ChemistryScore = 0;
    double BiologyScore = 0;
    bool Selected = false;
    QDate dBirthday;
};

QList<FieldDef> studentFields()
{
    QList<FieldDef> f(kFieldCount);
    auto def = [&f](int no, const QString &name, FieldType type, int size, quint8 flags) {
        f[no].name = name;
        f[no].type = type;
        f[no].size = size;
        f[no].flags = flags;
    };
    def(fCode, QStringLiteral("sCode"), FieldType::Text, 38, FieldDef::Key);
    def(fStudNo, QStringLiteral("sStudNo"), FieldType::Text, 14, 0);
    def(fName, QStringLiteral("sName"), FieldType::Text, 20, FieldDef::Required);
    def(fSex, QStringLiteral("sSex"), FieldType::Text, 1, 0);
    def(fGrade, QStringLiteral("GradeCode"), FieldType::Text, 2, 0);
    def(fClass, QStringLiteral("ClassCode"), FieldType::Text, 4, 0);
    def(fCurGrade, QStringLiteral("bCurGrade"), FieldType::Text, 1, 0);
    def(fNation, QStringLiteral("sNation"), FieldType::Text, 10, 0);
    def(fHomeTown, QStringLiteral("sHomeTown"), FieldType::Text, 20, 0);
    def(fClassNo, QStringLiteral("iClassNo"), FieldType::Integer, 0, 0);
    def(fInYear, QStringLiteral("InYear"), FieldType::Integer, 0, 0);
    def(fSeatNo, QStringLiteral("iSeatNo"), FieldType::Integer, 0, 0);
    def(fChinese, QStringLiteral("ChineseScore"), FieldType::Float, 0, 0);
    def(fMath, QStringLiteral("MathScore"), FieldType::Float, 0, 0);
    def(fEnglish, QStringLiteral("EnglishScore"), FieldType::Float, 0, 0);
    def(fPhysics, QStringLiteral("PhysicsScore"), FieldType::Float, 0, 0);
    def(fChemistry, QStringLiteral("ChemistryScore"), FieldType::Float, 0, 0);
    def(fBiology, QStringLiteral("BiologyScore"), FieldType::Float, 0, 0);
    def(fSelected, QStringLiteral("Selected"), FieldType::Boolean, 0, 0);
    def(fBirthday, QStringLiteral("dBirthday"), FieldType::Date, 0, 0);
    return f;
}

// Deterministic rows: only the raw output of std::mt19937 is used (its sequence is fixed by the
// standard; the library's distributions are not).
class StudentGenerator {
public:
    explicit StudentGenerator(std::uint32_t seed) : m_rng(seed) {}

    StudentRow next()
    {
        static constexpr char16_t kSurnames[] =
            u"王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗郑梁谢宋唐许韩冯邓曹彭曾肖田董袁潘于蒋蔡余杜叶程苏魏吕丁任沈"
            u"姚卢姜崔钟谭陆汪范金石廖贾夏韦付方白邹孟熊秦邱江尹薛闫段雷侯龙史陶黎贺顾毛郝龚邵万钱严覃武戴莫孔向汤";
        static constexpr char16_t kGiven[] =
            u"伟芳娜秀英敏静丽强磊军洋勇艳杰娟涛明超霞平刚桂华玉萍红建文辉力兰俊鹏飞云峰琳晨宇浩然子轩欣怡梓涵雨萱"
            u"思博嘉诗佳雪婷慧颖晓东海波亮鑫琪瑶梦彤宁志国庆春燕凤丹晶阳光瑞祥德福安康乐";
        static const QString kNations[] = {QStringLiteral("回族"), QStringLiteral("壮族"), QStringLiteral("满族"),
                                           QStringLiteral("苗族"), QStringLiteral("土家族")};
        static const QString kTowns[] = {
            QStringLiteral("湖南长沙"), QStringLiteral("湖南湘潭"), QStringLiteral("湖北武汉"), QStringLiteral("江西南昌"),
            QStringLiteral("广东广州"), QStringLiteral("广西桂林"), QStringLiteral("四川成都"), QStringLiteral("河南郑州"),
            QStringLiteral("山东济南"), QStringLiteral("江苏南京"), QStringLiteral("浙江杭州"), QStringLiteral("安徽合肥"),
            QStringLiteral("福建福州"), QStringLiteral("贵州遵义"), QStringLiteral("云南昆明"), QStringLiteral("陕西西安")};

        StudentRow r;
        r.sCode = guid();
        const int grade = 7 + int(below(3)); // junior middle school: grades 07, 08, 09
        const int cls = 1 + int(below(12));
        r.GradeCode = QString::number(grade).rightJustified(2, u'0');
        r.ClassCode = r.GradeCode + QString::number(cls).rightJustified(2, u'0');
        r.iClassNo = cls;
        r.InYear = 2012 - (grade - 7);
        r.iSeatNo = 1 + below(55);
        r.sStudNo = QString::number(r.InYear) + r.ClassCode + QString::number(r.iSeatNo).rightJustified(2, u'0')
                    + QString::number(below(100)).rightJustified(2, u'0');

        QString name;
        name += QChar(kSurnames[below(std::size(kSurnames) - 1)]);
        const int given = below(3) == 0 ? 1 : 2; // a third of the names are two hanzi, the rest three
        for (int i = 0; i < given; ++i) name += QChar(kGiven[below(std::size(kGiven) - 1)]);
        r.sName = name;

        r.sSex = below(2) == 0 ? QStringLiteral("男") : QStringLiteral("女");
        r.bCurGrade = below(20) == 0 ? QStringLiteral("N") : QStringLiteral("Y");
        r.sNation = below(10) != 0 ? QStringLiteral("汉族") : kNations[below(std::size(kNations))];
        r.sHomeTown = kTowns[below(std::size(kTowns))];

        r.ChineseScore = score(1500);
        r.MathScore = score(1500);
        r.EnglishScore = score(1500);
        r.PhysicsScore = score(1000);
        r.ChemistryScore = score(1000);
        r.BiologyScore = score(1000);
        r.Selected = below(10) < 3;
        r.dBirthday = QDate(int(r.InYear) - 13, 1, 1).addDays(below(365));
        return r;
    }

private:
    std::uint32_t below(std::size_t n) { return std::uint32_t(m_rng() % std::uint32_t(n)); }

    // Tenths of a point, the sum of two uniform halves so that middling scores are the common ones.
    double score(std::uint32_t maxTenths)
    {
        const std::uint32_t half = maxTenths / 2 + 1;
        return double(below(half) + below(half)) / 10.0;
    }

    QString guid()
    {
        static constexpr char kHex[] = "0123456789ABCDEF";
        QString s;
        s.reserve(38);
        s += u'{';
        for (int i = 0; i < 32; ++i) {
            if (i == 8 || i == 12 || i == 16 || i == 20) s += u'-';
            s += QLatin1Char(kHex[below(16)]);
        }
        s += u'}';
        return s;
    }

    std::mt19937 m_rng;
};

void appendToColumns(QList<Column> &c, const StudentRow &s)
{
    c[fCode].appendText(s.sCode);
    c[fStudNo].appendText(s.sStudNo);
    c[fName].appendText(s.sName);
    c[fSex].appendText(s.sSex);
    c[fGrade].appendText(s.GradeCode);
    c[fClass].appendText(s.ClassCode);
    c[fCurGrade].appendText(s.bCurGrade);
    c[fNation].appendText(s.sNation);
    c[fHomeTown].appendText(s.sHomeTown);
    c[fClassNo].appendInt(s.iClassNo);
    c[fInYear].appendInt(s.InYear);
    c[fSeatNo].appendInt(s.iSeatNo);
    c[fChinese].appendFloat(s.ChineseScore);
    c[fMath].appendFloat(s.MathScore);
    c[fEnglish].appendFloat(s.EnglishScore);
    c[fPhysics].appendFloat(s.PhysicsScore);
    c[fChemistry].appendFloat(s.ChemistryScore);
    c[fBiology].appendFloat(s.BiologyScore);
    c[fSelected].appendInt(s.Selected ? 1 : 0);
    c[fBirthday].appendInt(Column::dateToDays(s.dBirthday));
}

// A text with a buffer of its own, exactly as long as the text.
QString ownCopy(const QString &s) { return QString(s.constData(), s.size()); }

// What a hand-written loader would make of a decoded packet: one struct per row, every text in a
// buffer of its own.
std::vector<StudentRow> rowsFromPacket(const wire::DataPacket &p)
{
    const QList<Column> &c = p.columns();
    std::vector<StudentRow> rows;
    rows.reserve(std::size_t(p.rowCount()));
    for (qsizetype r = 0; r < p.rowCount(); ++r) {
        StudentRow s;
        s.sCode = ownCopy(c[fCode].textAt(r));
        s.sStudNo = ownCopy(c[fStudNo].textAt(r));
        s.sName = ownCopy(c[fName].textAt(r));
        s.sSex = ownCopy(c[fSex].textAt(r));
        s.GradeCode = ownCopy(c[fGrade].textAt(r));
        s.ClassCode = ownCopy(c[fClass].textAt(r));
        s.bCurGrade = ownCopy(c[fCurGrade].textAt(r));
        s.sNation = ownCopy(c[fNation].textAt(r));
        s.sHomeTown = ownCopy(c[fHomeTown].textAt(r));
        s.iClassNo = c[fClassNo].intAt(r);
        s.InYear = c[fInYear].intAt(r);
        s.iSeatNo = c[fSeatNo].intAt(r);
        s.ChineseScore = c[fChinese].floatAt(r);
        s.MathScore = c[fMath].floatAt(r);
        s.EnglishScore = c[fEnglish].floatAt(r);
        s.PhysicsScore = c[fPhysics].floatAt(r);
        s.ChemistryScore = c[fChemistry].floatAt(r);
        s.BiologyScore = c[fBiology].floatAt(r);
        s.Selected = c[fSelected].intAt(r) != 0;
        s.dBirthday = Column::daysToDate(c[fBirthday].intAt(r));
        rows.push_back(std::move(s));
    }
    return rows;
}

struct Fixture {
    std::vector<StudentRow> rows; // what the hand-written loops work on
    wire::DataPacket packet;      // the same rows as a data packet
    QByteArray bytes;             // and as they arrive from the server
    qsizetype locateTarget = -1;  // a row near the end whose class and name occur there first
};

Fixture makeFixture()
{
    Fixture fx;
    StudentGenerator gen(20120901u);
    fx.rows.reserve(std::size_t(kRows));
    for (qsizetype i = 0; i < kRows; ++i) fx.rows.push_back(gen.next());

    const QList<FieldDef> fields = studentFields();
    QList<Column> columns;
    for (const FieldDef &f : fields) {
        Column c(f.type);
        c.reserve(kRows);
        columns.append(std::move(c));
    }
    for (const StudentRow &s : fx.rows) appendToColumns(columns, s);
    fx.packet = wire::DataPacket::fromColumns(fields, std::move(columns));
    fx.bytes = wire::encodeDataPacket(fx.packet);

    // The (class, name) pair whose first occurrence comes last: locating it walks nearly every row.
    QHash<QString, qsizetype> first;
    first.reserve(kRows);
    for (qsizetype i = 0; i < kRows; ++i) {
        QString key = fx.rows[std::size_t(i)].ClassCode;
        key += u'|';
        key += fx.rows[std::size_t(i)].sName;
        if (!first.contains(key)) first.insert(key, i);
    }
    for (auto it = first.cbegin(); it != first.cend(); ++it) fx.locateTarget = std::max(fx.locateTarget, it.value());
    return fx;
}

const Fixture &fixture()
{
    static const Fixture fx = makeFixture();
    return fx;
}

// ---- timing ----------------------------------------------------------------------------------------

template <typename Work>
double elapsedNs(Work &&work)
{
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count();
}

// Times our operation and the baseline in the same iteration, alternating which goes first so
// that neither always runs on caches the other warmed.
class PairClock {
public:
    template <typename Ours, typename Base>
    void run(benchmark::State &state, Ours &&ours, Base &&base)
    {
        double o = 0, b = 0;
        if (m_runs % 2 == 0) {
            o = elapsedNs(ours);
            b = elapsedNs(base);
        } else {
            b = elapsedNs(base);
            o = elapsedNs(ours);
        }
        ++m_runs;
        m_ours += o;
        m_base += b;
        state.SetIterationTime(o * 1e-9);
    }

    double oursNs() const { return m_runs ? m_ours / double(m_runs) : 0; }
    double baseNs() const { return m_runs ? m_base / double(m_runs) : 0; }
    std::int64_t runs() const { return m_runs; }

    void report(benchmark::State &state) const
    {
        state.counters["ours_ns"] = oursNs();
        state.counters["base_ns"] = baseNs();
        state.counters["ratio"] = baseNs() > 0 ? oursNs() / baseNs() : 0.0;
    }

private:
    std::int64_t m_runs = 0;
    double m_ours = 0;
    double m_base = 0;
};

std::unique_ptr<DataSet> loadedTable()
{
    auto t = std::make_unique<DataSet>();
    t->setData(wire::decodeDataPacket(fixture().bytes));
    return t;
}

// ---- 1. load -----------------------------------------------------------------------------------------

// Bare decoding of the wire bytes into a data packet; the rate shows as bytes_per_second and, in
// decimal megabytes, as MB_per_s.
void BM_Decode(benchmark::State &state)
{
    const Fixture &fx = fixture();
    qsizetype rows = 0;
    for (auto _ : state) {
        wire::DataPacket p;
        const double ns = elapsedNs([&] { p = wire::decodeDataPacket(fx.bytes); });
        rows = p.rowCount();
        state.SetIterationTime(ns * 1e-9);
    }
    if (rows != kRows) state.SkipWithError("the decoded packet does not hold every row");
    const auto bytes = std::int64_t(state.iterations()) * std::int64_t(fx.bytes.size());
    state.SetBytesProcessed(bytes);
    state.counters["MB_per_s"] = benchmark::Counter(double(bytes) / 1e6, benchmark::Counter::kIsRate);
    state.counters["packet_bytes"] = double(fx.bytes.size());
}

// setData alone: the packet is decoded outside the timed part.
void BM_SetData(benchmark::State &state)
{
    const Fixture &fx = fixture();
    qsizetype loaded = 0;
    for (auto _ : state) {
        wire::DataPacket p = wire::decodeDataPacket(fx.bytes);
        auto table = std::make_unique<DataSet>();
        const double ns = elapsedNs([&] { table->setData(std::move(p)); });
        loaded = table->recordCount();
        state.SetIterationTime(ns * 1e-9);
        table.reset();
    }
    if (loaded != kRows) state.SkipWithError("setData did not load every row");
    state.SetItemsProcessed(std::int64_t(state.iterations()) * kRows);
}

// Decoding and loading into a table, against decoding alone: what the table adds to the wire.
void BM_Load(benchmark::State &state)
{
    const Fixture &fx = fixture();
    PairClock clock;
    qsizetype loaded = 0, decoded = 0;
    for (auto _ : state) {
        auto table = std::make_unique<DataSet>();
        wire::DataPacket p;
        clock.run(state,
                  [&] { table->setData(wire::decodeDataPacket(fx.bytes)); },
                  [&] { p = wire::decodeDataPacket(fx.bytes); });
        loaded = table->recordCount();
        decoded = p.rowCount();
        table.reset();
    }
    if (loaded != kRows || decoded != kRows) state.SkipWithError("a load lost rows");
    clock.report(state);
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(fx.bytes.size()));
}

// ---- 2. memory -----------------------------------------------------------------------------------------

// Heap in use: small blocks from the arenas plus large blocks glibc maps on their own (a column of
// 100,000 values is one of those, so uordblks alone would miss it).
qint64 heapInUse()
{
    const struct mallinfo2 mi = mallinfo2();
    return qint64(mi.uordblks) + qint64(mi.hblkhd);
}

// The heap a loaded table holds against the heap of the vector of structs holding the same rows,
// both made from the same wire bytes. Reported as table_bytes, raw_bytes and ratio; columns_est is
// the columns' own memoryUsage() estimate, for comparison with what malloc says.
void BM_Memory(benchmark::State &state)
{
    const Fixture &fx = fixture();
    {
        // Once through both paths first, so that one-time allocations are not counted.
        auto warm = loadedTable();
        const std::vector<StudentRow> rows = rowsFromPacket(wire::decodeDataPacket(fx.bytes));
        benchmark::DoNotOptimize(rows.data());
    }
    qint64 tableBytes = 0, rawBytes = 0;
    double columnsEst = 0;
    bool same = true;
    for (auto _ : state) {
        const auto start = Clock::now();

        qint64 before = heapInUse();
        auto table = std::make_unique<DataSet>();
        {
            wire::DataPacket p = wire::decodeDataPacket(fx.bytes);
            columnsEst = 0;
            for (const Column &c : p.columns()) columnsEst += double(c.memoryUsage());
            table->setData(std::move(p));
        }
        tableBytes = heapInUse() - before;

        before = heapInUse();
        std::vector<StudentRow> raw = rowsFromPacket(wire::decodeDataPacket(fx.bytes));
        rawBytes = heapInUse() - before;

        benchmark::DoNotOptimize(raw.data());
        same = qsizetype(raw.size()) == table->recordCount() && raw.size() == fx.rows.size()
               && raw.back().sCode == table->valueAt(kRows - 1, fCode).toString();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
    if (!same) state.SkipWithError("the table and the vector do not hold the same rows");
    if (rawBytes <= 0) state.SkipWithError("the heap measurement of the vector is not positive");
    state.counters["table_bytes"] = double(tableBytes);
    state.counters["raw_bytes"] = double(rawBytes);
    state.counters["ratio"] = rawBytes > 0 ? double(tableBytes) / double(rawBytes) : 0.0;
    state.counters["columns_est"] = columnsEst;
}

// ---- 3. filter -----------------------------------------------------------------------------------------

// Girls of class 3 in every grade: the filter compiled and the view rebuilt, against a loop that
// collects the matching row numbers.
void BM_Filter(benchmark::State &state)
{
    const Fixture &fx = fixture();
    auto table = loadedTable();
    const QString expression = QStringLiteral("iClassNo=3 and sSex='女'");
    const QString female = QStringLiteral("女");
    PairClock clock;
    std::vector<qsizetype> hits;
    for (auto _ : state) {
        table->setFiltered(false); // back to every row, outside the timed part
        table->setFilter(QString());
        clock.run(state,
                  [&] {
                      table->setFilter(expression);
                      table->setFiltered(true);
                  },
                  [&] {
                      std::vector<qsizetype> found;
                      for (std::size_t i = 0; i < fx.rows.size(); ++i) {
                          const StudentRow &r = fx.rows[i];
                          if (r.iClassNo == 3 && r.sSex == female) found.push_back(qsizetype(i));
                      }
                      hits = std::move(found);
                  });
    }

    bool same = table->recordCount() == qsizetype(hits.size()) && !hits.empty();
    for (qsizetype r = 0; same && r < table->recordCount(); ++r)
        same = table->valueAt(r, fCode).toString() == fx.rows[std::size_t(hits[std::size_t(r)])].sCode;
    if (!same) state.SkipWithError("the filtered view differs from the hand loop");
    clock.report(state);
    state.counters["rows_found"] = double(hits.size());
}

// ---- 4. locate ----------------------------------------------------------------------------------------

// locate on class code and name of a row near the end, against a loop comparing the same two texts.
void BM_Locate(benchmark::State &state)
{
    const Fixture &fx = fixture();
    auto table = loadedTable();
    const StudentRow &target = fx.rows[std::size_t(fx.locateTarget)];
    const QString fields = QStringLiteral("ClassCode;sName");
    const QVariantList values{target.ClassCode, target.sName};
    PairClock clock;
    bool found = false;
    qsizetype baseAt = -1;
    for (auto _ : state) {
        table->first(); // outside the timed part; locate searches from the top anyway
        clock.run(state,
                  [&] { found = table->locate(fields, values); },
                  [&] {
                      qsizetype at = -1;
                      for (std::size_t i = 0; i < fx.rows.size(); ++i) {
                          const StudentRow &r = fx.rows[i];
                          if (r.ClassCode == target.ClassCode && r.sName == target.sName) {
                              at = qsizetype(i);
                              break;
                          }
                      }
                      baseAt = at;
                  });
    }
    if (!found || table->recNo() != baseAt || baseAt != fx.locateTarget)
        state.SkipWithError("locate found another row than the hand loop");
    clock.report(state);
    state.counters["row"] = double(fx.locateTarget);
}

// ---- 5. sort ------------------------------------------------------------------------------------------

// An index on class code and name (ties keep the loaded order), against std::stable_sort of row
// numbers with the same comparison.
void BM_Sort(benchmark::State &state)
{
    const Fixture &fx = fixture();
    auto table = loadedTable();
    const QString fields = QStringLiteral("ClassCode;sName");
    PairClock clock;
    std::vector<qsizetype> order;
    for (auto _ : state) {
        table->setIndexFieldNames(QString()); // natural order again, outside the timed part
        clock.run(state,
                  [&] { table->setIndexFieldNames(fields); },
                  [&] {
                      std::vector<qsizetype> idx(fx.rows.size());
                      std::iota(idx.begin(), idx.end(), qsizetype(0));
                      std::stable_sort(idx.begin(), idx.end(), [&fx](qsizetype a, qsizetype b) {
                          const StudentRow &x = fx.rows[std::size_t(a)];
                          const StudentRow &y = fx.rows[std::size_t(b)];
                          const int c = QString::compare(x.ClassCode, y.ClassCode);
                          if (c != 0) return c < 0;
                          return QString::compare(x.sName, y.sName) < 0;
                      });
                      order = std::move(idx);
                  });
    }
    // The keys are unique, so equal key sequences mean the same order, ties included.
    bool same = table->recordCount() == qsizetype(order.size());
    for (qsizetype r = 0; same && r < table->recordCount(); ++r)
        same = table->valueAt(r, fCode).toString() == fx.rows[std::size_t(order[std::size_t(r)])].sCode;
    if (!same) state.SkipWithError("the index order differs from std::stable_sort");
    clock.report(state);
}

// ---- 6. change log ----------------------------------------------------------------------------------

// 10,000 rows edited (a new mathematics score, the selection mark flipped); then the change packet
// built by delta(), against copying the old and new structs of the changed rows, found by a scan of
// a per-row changed mark. encode_ns is encodeChangePacket of the delta, reported beside it.
void BM_Delta(benchmark::State &state)
{
    const Fixture &fx = fixture();
    auto table = loadedTable();

    std::vector<StudentRow> edited = fx.rows;
    std::vector<std::uint8_t> changedMark(fx.rows.size(), 0);
    std::vector<qsizetype> changed;
    for (qsizetype k = 0; k < kChanges; ++k) {
        const qsizetype row = k * (kRows / kChanges);
        StudentRow &s = edited[std::size_t(row)];
        s.MathScore = s.MathScore >= 100 ? s.MathScore - 10.5 : s.MathScore + 10.5;
        s.Selected = !s.Selected;
        changedMark[std::size_t(row)] = 1;
        changed.push_back(row);

        // No filter and no index: the view is in loaded order, so the row number is the position.
        if (!table->moveTo(row)) {
            state.SkipWithError("cannot move to a row to edit");
            return;
        }
        table->edit();
        table->field(fMath).setValue(s.MathScore);
        table->field(fSelected).setValue(s.Selected);
        table->post();
    }

    PairClock clock;
    double encodeNs = 0;
    wire::ChangePacket delta;
    QByteArray encoded;
    std::vector<std::pair<StudentRow, StudentRow>> copies;
    for (auto _ : state) {
        delta = wire::ChangePacket(); // the previous results are freed outside the timed part
        copies = decltype(copies)();
        encoded = QByteArray();
        clock.run(state,
                  [&] { delta = table->delta(); },
                  [&] {
                      for (std::size_t i = 0; i < changedMark.size(); ++i)
                          if (changedMark[i]) copies.emplace_back(fx.rows[i], edited[i]);
                  });
        encodeNs += elapsedNs([&] { encoded = wire::encodeChangePacket(delta); });
    }

    bool same = delta.rows.size() == kChanges && copies.size() == std::size_t(kChanges);
    for (qsizetype k = 0; same && k < kChanges; ++k) {
        const wire::RowChange &c = delta.rows[k];
        const std::size_t row = std::size_t(changed[std::size_t(k)]);
        same = c.status == RowStatus::Modified && c.oldValues.size() == kFieldCount && c.newValues.size() == kFieldCount
               && c.oldValues[fCode].toString() == fx.rows[row].sCode
               && c.oldValues[fMath].toDouble() == fx.rows[row].MathScore
               && c.newValues[fMath].toDouble() == edited[row].MathScore
               && c.newValues[fSelected].toBool() == edited[row].Selected
               && copies[std::size_t(k)].second.MathScore == edited[row].MathScore;
    }
    if (same) same = wire::decodeChangePacket(encoded) == delta;
    if (!same) state.SkipWithError("the change packet does not hold the edited rows");

    clock.report(state);
    const double perRunEncode = clock.runs() ? encodeNs / double(clock.runs()) : 0;
    state.counters["encode_ns"] = perRunEncode;
    state.counters["ratio_with_encode"] = clock.baseNs() > 0 ? (clock.oursNs() + perRunEncode) / clock.baseNs() : 0.0;
    state.counters["changes"] = double(delta.rows.size());
}

// Iteration counts keep the whole program to well under a minute on two cores.
BENCHMARK(BM_Decode)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SetData)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load)->UseManualTime()->Iterations(6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memory)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Filter)->UseManualTime()->Iterations(40)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Locate)->UseManualTime()->Iterations(200)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Sort)->UseManualTime()->Iterations(8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Delta)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
