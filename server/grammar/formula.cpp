#include "server/grammar/formula.h"

#include "server/grammar/scanner.h"

#include <QVarLengthArray>

#include <cmath>

namespace lumeko::server::grammar {

using namespace Qt::StringLiterals;

namespace {

constexpr QLatin1StringView FieldNames[] = {
    "nMastNums"_L1,        "nTotals"_L1,     "nFullTotal6"_L1, "nPass6Nums"_L1, "nPass10Nums"_L1,
    "nPass10TotalNums"_L1, "nExcel6Nums"_L1, "NP1"_L1,         "nDYValue"_L1,   "nTWYSJYValue"_L1,
    "nGGPre3"_L1,          "nRangeValue"_L1, "nLeaveNums"_L1,
};
constexpr int MaxNumberLength = 30;

} // namespace

QString pValueFieldName(PValueField field)
{
    return FieldNames[int(field)];
}

std::optional<PValueField> pValueFieldFromName(QStringView name)
{
    for (int i = 0; i < int(std::size(FieldNames)); ++i)
        if (equalsAsciiNoCase(name, FieldNames[i])) return PValueField(i);
    return std::nullopt;
}

QList<PValueField> Formula::fields() const
{
    QList<PValueField> fields;
    for (const FormulaNode &node : m_nodes)
        if (node.kind == FormulaNode::Kind::Field && !fields.contains(node.field)) fields.append(node.field);
    return fields;
}

// Recursive descent; the recursion is bounded by MaxFormulaDepth parentheses.
class FormulaParser {
public:
    explicit FormulaParser(QStringView text) : m_s(text, u"formula"_s, MaxFormulaLength) {}

    Formula parse()
    {
        m_s.skipBlanks();
        expression(0);
        m_s.expectEnd(u"an operator or the end"_s);
        // Node positions were read as UTF-16 indexes; errors count characters.
        QList<qsizetype> characters(m_s.text().size() + 1);
        for (qsizetype i = 0, count = 0; i <= m_s.text().size(); ++i) {
            characters[i] = count;
            if (i < m_s.text().size() &&
                !(m_s.text()[i].isHighSurrogate() && i + 1 < m_s.text().size() && m_s.text()[i + 1].isLowSurrogate()))
                ++count;
        }
        for (FormulaNode &node : m_formula.m_nodes)
            node.position = characters[node.position];
        return std::move(m_formula);
    }

private:
    void push(FormulaNode::Kind kind, qsizetype at, double number = 0, PValueField field = {})
    {
        m_formula.m_nodes.append({kind, number, field, at});
    }

    void expression(int depth)
    {
        term(depth);
        for (;;) {
            const qsizetype at = m_s.pos();
            FormulaNode::Kind kind;
            if (m_s.acceptChar(u'+'))
                kind = FormulaNode::Kind::Add;
            else if (m_s.acceptChar(u'-'))
                kind = FormulaNode::Kind::Subtract;
            else
                return;
            m_s.skipBlanks();
            term(depth);
            push(kind, at);
        }
    }

    void term(int depth)
    {
        unit(depth);
        for (;;) {
            const qsizetype at = m_s.pos();
            FormulaNode::Kind kind;
            if (m_s.acceptChar(u'*'))
                kind = FormulaNode::Kind::Multiply;
            else if (m_s.acceptChar(u'/'))
                kind = FormulaNode::Kind::Divide;
            else
                return;
            m_s.skipBlanks();
            unit(depth);
            push(kind, at);
        }
    }

    void unit(int depth)
    {
        const qsizetype at = m_s.pos();
        if (m_s.acceptChar(u'(')) {
            if (depth == MaxFormulaDepth) m_s.failAt(at, u"parentheses nested deeper than %1"_s.arg(MaxFormulaDepth));
            m_s.skipBlanks();
            expression(depth + 1);
            m_s.expectChar(u')', u"an operator or \")\""_s);
        } else if (m_s.acceptChar(u'[')) {
            const qsizetype nameAt = m_s.pos();
            const qsizetype close = m_s.text().indexOf(u']', nameAt);
            if (close < 0) m_s.failAt(at, u"\"[\" without \"]\""_s);
            const auto field = pValueFieldFromName(m_s.text().mid(nameAt, close - nameAt));
            if (!field) m_s.failAt(nameAt, u"expected the name of a P-value field in brackets"_s);
            m_s.setPos(close + 1);
            push(FormulaNode::Kind::Field, at, 0, *field);
        } else if (isAsciiDigit(QChar(m_s.peek()))) {
            while (isAsciiDigit(QChar(m_s.peek())))
                m_s.setPos(m_s.pos() + 1);
            if (m_s.acceptChar(u'.')) {
                if (!isAsciiDigit(QChar(m_s.peek()))) m_s.fail(u"expected digits after the decimal point"_s);
                while (isAsciiDigit(QChar(m_s.peek())))
                    m_s.setPos(m_s.pos() + 1);
            }
            if (m_s.pos() - at > MaxNumberLength)
                m_s.failAt(at, u"expected a number of at most %1 characters"_s.arg(MaxNumberLength));
            push(FormulaNode::Kind::Number, at, m_s.text().mid(at, m_s.pos() - at).toDouble());
        } else {
            m_s.fail(u"expected a number, a [field] or \"(\""_s);
        }
        m_s.skipBlanks();
    }

    Scanner m_s;
    Formula m_formula;
};

Formula parseFormula(QStringView text)
{
    return FormulaParser(text).parse();
}

FormulaError::FormulaError(Reason reason, const QString &problem, qsizetype position)
    : std::runtime_error((u"formula: "_s + problem + u" at "_s + QString::number(position)).toStdString()),
      m_reason(reason), m_position(position)
{
}

double evaluate(const Formula &formula, const PValueValues &values)
{
    if (formula.nodes().isEmpty()) throw FormulaError(FormulaError::Reason::MissingValue, u"empty formula"_s, 0);
    QVarLengthArray<double, 64> stack;
    for (const FormulaNode &node : formula.nodes()) {
        switch (node.kind) {
        case FormulaNode::Kind::Number:
            stack.append(node.number);
            continue;
        case FormulaNode::Kind::Field: {
            const auto found = values.constFind(node.field);
            if (found == values.cend() || !std::isfinite(*found))
                throw FormulaError(FormulaError::Reason::MissingValue,
                                   u"no value for ["_s + pValueFieldName(node.field) + u']', node.position);
            stack.append(*found);
            continue;
        }
        default:
            break;
        }
        // The parser writes every operator after its two operands.
        Q_ASSERT(stack.size() >= 2);
        const double right = stack.last();
        stack.removeLast();
        double &left = stack.last();
        switch (node.kind) {
        case FormulaNode::Kind::Add:
            left += right;
            break;
        case FormulaNode::Kind::Subtract:
            left -= right;
            break;
        case FormulaNode::Kind::Multiply:
            left *= right;
            break;
        default:
            if (right == 0)
                throw FormulaError(FormulaError::Reason::DivisionByZero, u"division by zero"_s, node.position);
            left /= right;
        }
        if (!std::isfinite(left))
            throw FormulaError(FormulaError::Reason::NotFinite, u"result out of range"_s, node.position);
    }
    Q_ASSERT(stack.size() == 1);
    return stack.value(0);
}

} // namespace lumeko::server::grammar
