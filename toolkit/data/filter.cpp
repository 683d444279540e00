#include "toolkit/data/filter.h"

#include <cmath>
#include <functional>

namespace lumeko {

using wire::Column;
using wire::FieldDef;
using wire::FieldType;

FilterError::FilterError(const QString &message, int position)
    : std::runtime_error(QStringLiteral("filter error at position %1: %2").arg(position + 1).arg(message).toStdString()),
      m_position(position)
{
}

bool likeMatch(QStringView text, QStringView pattern, Qt::CaseSensitivity cs)
{
    // Iterative wildcard match with backtracking to the last %, linear for typical patterns.
    qsizetype t = 0, p = 0, starP = -1, starT = 0;
    auto same = [cs](QChar a, QChar b) { return cs == Qt::CaseSensitive ? a == b : a.toCaseFolded() == b.toCaseFolded(); };
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == u'_' || (pattern[p] != u'%' && same(pattern[p], text[t])))) {
            ++t, ++p;
        } else if (p < pattern.size() && pattern[p] == u'%') {
            starP = p++;
            starT = t;
        } else if (starP >= 0) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'%') ++p;
    return p == pattern.size();
}

// ---- evaluation nodes -------------------------------------------------------------------------

struct FilterExpr::Node {
    virtual ~Node() = default;
    virtual bool eval(const QList<Column> &cols, qsizetype row) const = 0;
};

namespace {

using NodePtr = std::shared_ptr<const FilterExpr::Node>;

enum class Op { Eq, Ne, Lt, Le, Gt, Ge };

template <typename T>
bool compare(const T &a, const T &b, Op op)
{
    switch (op) {
    case Op::Eq: return a == b;
    case Op::Ne: return a != b;
    case Op::Lt: return a < b;
    case Op::Le: return a <= b;
    case Op::Gt: return a > b;
    case Op::Ge: return a >= b;
    }
    return false;
}

Op flip(Op op)
{
    switch (op) {
    case Op::Lt: return Op::Gt;
    case Op::Le: return Op::Ge;
    case Op::Gt: return Op::Lt;
    case Op::Ge: return Op::Le;
    default: return op;
    }
}

struct ConstNode : FilterExpr::Node {
    bool value;
    explicit ConstNode(bool v) : value(v) {}
    bool eval(const QList<Column> &, qsizetype) const override { return value; }
};

struct AndNode : FilterExpr::Node {
    NodePtr a, b;
    AndNode(NodePtr x, NodePtr y) : a(std::move(x)), b(std::move(y)) {}
    bool eval(const QList<Column> &c, qsizetype r) const override { return a->eval(c, r) && b->eval(c, r); }
};

struct OrNode : FilterExpr::Node {
    NodePtr a, b;
    OrNode(NodePtr x, NodePtr y) : a(std::move(x)), b(std::move(y)) {}
    bool eval(const QList<Column> &c, qsizetype r) const override { return a->eval(c, r) || b->eval(c, r); }
};

struct NotNode : FilterExpr::Node {
    NodePtr a;
    explicit NotNode(NodePtr x) : a(std::move(x)) {}
    bool eval(const QList<Column> &c, qsizetype r) const override { return !a->eval(c, r); }
};

struct IsNullNode : FilterExpr::Node {
    int field;
    bool negate;
    IsNullNode(int f, bool n) : field(f), negate(n) {}
    bool eval(const QList<Column> &c, qsizetype r) const override { return c[field].isNull(r) != negate; }
};

// Field against a literal held in the column's own storage type, so that the loop reads the
// column directly.
struct IntCompare : FilterExpr::Node {
    int field; Op op; qint64 value;
    IntCompare(int f, Op o, qint64 v) : field(f), op(o), value(v) {}
    bool eval(const QList<Column> &c, qsizetype r) const override
    {
        const Column &col = c[field];
        return !col.isNull(r) && compare(col.intAt(r), value, op);
    }
};

struct FloatCompare : FilterExpr::Node {
    int field; Op op; double value;
    FloatCompare(int f, Op o, double v) : field(f), op(o), value(v) {}
    bool eval(const QList<Column> &c, qsizetype r) const override
    {
        const Column &col = c[field];
        if (col.isNull(r)) return false;
        const double x = col.type() == FieldType::Float ? col.floatAt(r) : double(col.intAt(r));
        return compare(x, value, op);
    }
};

struct TextCompare : FilterExpr::Node {
    int field; Op op; QString value; Qt::CaseSensitivity cs;
    TextCompare(int f, Op o, QString v, Qt::CaseSensitivity s) : field(f), op(o), value(std::move(v)), cs(s) {}
    bool eval(const QList<Column> &c, qsizetype r) const override
    {
        const Column &col = c[field];
        return !col.isNull(r) && compare(QString::compare(col.textAt(r), value, cs), 0, op);
    }
};

struct LikeNode : FilterExpr::Node {
    int field; QString pattern; Qt::CaseSensitivity cs; bool negate;
    LikeNode(int f, QString p, Qt::CaseSensitivity s, bool n) : field(f), pattern(std::move(p)), cs(s), negate(n) {}
    bool eval(const QList<Column> &c, qsizetype r) const override
    {
        const Column &col = c[field];
        return !col.isNull(r) && likeMatch(col.textAt(r), pattern, cs) != negate;
    }
};

// Two fields of the row (rare): compared through their values.
struct FieldCompare : FilterExpr::Node {
    int a, b; Op op; Qt::CaseSensitivity cs;
    FieldCompare(int x, int y, Op o, Qt::CaseSensitivity s) : a(x), b(y), op(o), cs(s) {}
    bool eval(const QList<Column> &c, qsizetype r) const override
    {
        if (c[a].isNull(r) || c[b].isNull(r)) return false;
        const QVariant x = c[a].value(r), y = c[b].value(r);
        if (c[a].type() == FieldType::Text || c[b].type() == FieldType::Text)
            return compare(QString::compare(x.toString(), y.toString(), cs), 0, op);
        const QPartialOrdering ord = QVariant::compare(x, y);
        if (ord == QPartialOrdering::Unordered) return false;
        const int sign = ord == QPartialOrdering::Less ? -1 : ord == QPartialOrdering::Greater ? 1 : 0;
        return compare(sign, 0, op);
    }
};

struct InNode : FilterExpr::Node {
    std::vector<NodePtr> alternatives;
    bool negate;
    bool eval(const QList<Column> &c, qsizetype r) const override
    {
        for (const NodePtr &n : alternatives)
            if (n->eval(c, r)) return !negate;
        return negate;
    }
};

// ---- tokens and parser ------------------------------------------------------------------------

enum class Tok { End, Ident, Text, Number, LParen, RParen, Comma, Cmp };

struct Token {
    Tok kind = Tok::End;
    QString text; // identifier, literal text or number text
    Op op = Op::Eq;
    int pos = 0;
};

class Parser {
public:
    Parser(QStringView src, const QList<FieldDef> &fields, Qt::CaseSensitivity cs)
        : m_src(src), m_fields(fields), m_cs(cs)
    {
        advance();
    }

    NodePtr parseAll()
    {
        if (m_tok.kind == Tok::End) throw FilterError(QStringLiteral("the expression is empty"), 0);
        NodePtr n = parseOr();
        if (m_tok.kind != Tok::End) throw FilterError(QStringLiteral("unexpected '%1'").arg(tokenText()), m_tok.pos);
        return n;
    }

private:
    struct Operand {
        enum Kind { Field, Text, Number, Bool } kind;
        int field = -1;
        QString text;
        bool boolean = false;
        int pos = 0;
    };

    [[noreturn]] void error(const QString &what, int pos) const { throw FilterError(what, pos); }

    QString tokenText() const
    {
        return m_tok.kind == Tok::End ? QStringLiteral("end of expression") : m_src.mid(m_tok.pos, m_end - m_tok.pos).toString();
    }

    bool isKeyword(const char *kw) const
    {
        return m_tok.kind == Tok::Ident && !m_bracketed && m_tok.text.compare(QLatin1String(kw), Qt::CaseInsensitive) == 0;
    }

    void advance()
    {
        qsizetype i = m_end;
        while (i < m_src.size() && m_src[i].isSpace()) ++i;
        m_tok = Token{};
        m_tok.pos = int(i);
        m_bracketed = false;
        if (i >= m_src.size()) { m_end = i; return; }
        const QChar c = m_src[i];
        if (c == u'(' || c == u')' || c == u',') {
            m_tok.kind = c == u'(' ? Tok::LParen : c == u')' ? Tok::RParen : Tok::Comma;
            m_end = i + 1;
        } else if (c == u'\'') {
            QString text;
            qsizetype j = i + 1;
            for (;; ++j) {
                if (j >= m_src.size()) error(QStringLiteral("the text starting here has no closing quote"), int(i));
                if (m_src[j] == u'\'') {
                    if (j + 1 < m_src.size() && m_src[j + 1] == u'\'') { text += u'\''; ++j; continue; }
                    break;
                }
                text += m_src[j];
            }
            m_tok.kind = Tok::Text;
            m_tok.text = text;
            m_end = j + 1;
        } else if (c == u'[') {
            const qsizetype close = m_src.indexOf(u']', i + 1);
            if (close < 0) error(QStringLiteral("the field name starting here has no closing ]"), int(i));
            m_tok.kind = Tok::Ident;
            m_tok.text = m_src.mid(i + 1, close - i - 1).toString();
            m_bracketed = true;
            m_end = close + 1;
        } else if (c.isDigit() || ((c == u'-' || c == u'.') && i + 1 < m_src.size() && m_src[i + 1].isDigit())) {
            qsizetype j = i + 1;
            while (j < m_src.size() && (m_src[j].isDigit() || m_src[j] == u'.' || m_src[j] == u'e' || m_src[j] == u'E'
                                        || ((m_src[j] == u'-' || m_src[j] == u'+') && (m_src[j - 1] == u'e' || m_src[j - 1] == u'E'))))
                ++j;
            m_tok.kind = Tok::Number;
            m_tok.text = m_src.mid(i, j - i).toString();
            m_end = j;
        } else if (c.isLetter() || c == u'_') {
            qsizetype j = i + 1;
            while (j < m_src.size() && (m_src[j].isLetterOrNumber() || m_src[j] == u'_' || m_src[j] == u'.')) ++j;
            m_tok.kind = Tok::Ident;
            m_tok.text = m_src.mid(i, j - i).toString();
            m_end = j;
        } else {
            static const struct { const char16_t *text; Op op; } ops[] = {
                {u"<>", Op::Ne}, {u"!=", Op::Ne}, {u"<=", Op::Le}, {u">=", Op::Ge},
                {u"=", Op::Eq}, {u"<", Op::Lt}, {u">", Op::Gt}};
            for (const auto &o : ops) {
                const QStringView t(o.text);
                if (m_src.mid(i).startsWith(t)) {
                    m_tok.kind = Tok::Cmp;
                    m_tok.op = o.op;
                    m_end = i + t.size();
                    return;
                }
            }
            error(QStringLiteral("unexpected character '%1'").arg(c), int(i));
        }
    }

    NodePtr parseOr()
    {
        NodePtr left = parseAnd();
        while (isKeyword("or")) {
            advance();
            left = std::make_shared<OrNode>(left, parseAnd());
        }
        return left;
    }

    NodePtr parseAnd()
    {
        NodePtr left = parseUnary();
        while (isKeyword("and")) {
            advance();
            left = std::make_shared<AndNode>(left, parseUnary());
        }
        return left;
    }

    NodePtr parseUnary()
    {
        // Nesting and length are bounded: evaluation and clean-up recurse over the tree.
        struct Depth {
            int &d;
            explicit Depth(int &x) : d(++x) {}
            ~Depth() { --d; }
        } depth(m_depth);
        if (m_depth > kMaxDepth) error(QStringLiteral("the expression nests deeper than %1 levels").arg(kMaxDepth), m_tok.pos);
        if (++m_terms > kMaxTerms) error(QStringLiteral("the expression has more than %1 terms").arg(kMaxTerms), m_tok.pos);
        if (isKeyword("not")) {
            advance();
            return std::make_shared<NotNode>(parseUnary());
        }
        if (m_tok.kind == Tok::LParen) {
            const int open = m_tok.pos;
            advance();
            NodePtr inner = parseOr();
            if (m_tok.kind != Tok::RParen) error(QStringLiteral("the parenthesis opened at position %1 is not closed").arg(open + 1), m_tok.pos);
            advance();
            return inner;
        }
        return parsePredicate();
    }

    Operand parseOperand()
    {
        Operand o;
        o.pos = m_tok.pos;
        switch (m_tok.kind) {
        case Tok::Text: o.kind = Operand::Text; o.text = m_tok.text; break;
        case Tok::Number: {
            bool ok = false;
            m_tok.text.toDouble(&ok);
            if (!ok) error(QStringLiteral("'%1' is not a number").arg(m_tok.text), m_tok.pos);
            o.kind = Operand::Number;
            o.text = m_tok.text;
            break;
        }
        case Tok::Ident:
            if (!m_bracketed && (isKeyword("true") || isKeyword("false"))) {
                o.kind = Operand::Bool;
                o.boolean = isKeyword("true");
                break;
            }
            if (!m_bracketed)
                for (const char *kw : {"and", "or", "not", "like", "is", "null", "in"})
                    if (isKeyword(kw)) error(QStringLiteral("expected a field or a value, found '%1'").arg(m_tok.text), m_tok.pos);
            o.kind = Operand::Field;
            o.field = wire::indexOfField(m_fields, m_tok.text);
            if (o.field < 0) error(QStringLiteral("there is no field named '%1'").arg(m_tok.text), m_tok.pos);
            break;
        default:
            error(QStringLiteral("expected a field or a value, found '%1'").arg(tokenText()), m_tok.pos);
        }
        advance();
        return o;
    }

    NodePtr parsePredicate()
    {
        const Operand left = parseOperand();
        if (isKeyword("is")) {
            if (left.kind != Operand::Field) error(QStringLiteral("'is null' needs a field"), left.pos);
            advance();
            bool negate = false;
            if (isKeyword("not")) { negate = true; advance(); }
            if (!isKeyword("null")) error(QStringLiteral("expected 'null'"), m_tok.pos);
            advance();
            return std::make_shared<IsNullNode>(left.field, negate);
        }
        bool negate = false;
        if (isKeyword("not")) {
            negate = true;
            advance();
            if (!isKeyword("like") && !isKeyword("in")) error(QStringLiteral("expected 'like' or 'in' after 'not'"), m_tok.pos);
        }
        if (isKeyword("like")) {
            const int pos = m_tok.pos;
            advance();
            if (left.kind != Operand::Field || m_fields[left.field].type != FieldType::Text)
                error(QStringLiteral("'like' needs a text field on its left"), pos);
            if (m_tok.kind != Tok::Text) error(QStringLiteral("'like' needs a quoted pattern"), m_tok.pos);
            QString pattern = m_tok.text;
            advance();
            return std::make_shared<LikeNode>(left.field, pattern, m_cs, negate);
        }
        if (isKeyword("in")) {
            const int pos = m_tok.pos;
            advance();
            if (left.kind != Operand::Field) error(QStringLiteral("'in' needs a field on its left"), pos);
            if (m_tok.kind != Tok::LParen) error(QStringLiteral("expected '(' after 'in'"), m_tok.pos);
            auto node = std::make_shared<InNode>();
            node->negate = negate;
            do {
                advance();
                if (++m_terms > kMaxTerms) error(QStringLiteral("the expression has more than %1 terms").arg(kMaxTerms), m_tok.pos);
                const Operand value = parseOperand();
                node->alternatives.push_back(makeCompare(left, Op::Eq, value));
            } while (m_tok.kind == Tok::Comma);
            if (m_tok.kind != Tok::RParen) error(QStringLiteral("expected ')' to close the list"), m_tok.pos);
            advance();
            return node;
        }
        if (m_tok.kind != Tok::Cmp) {
            if (left.kind == Operand::Bool) return std::make_shared<ConstNode>(left.boolean);
            if (left.kind == Operand::Field && m_fields[left.field].type == FieldType::Boolean)
                return std::make_shared<IntCompare>(left.field, Op::Eq, 1); // "Selected" alone
            error(QStringLiteral("expected a comparison, found '%1'").arg(tokenText()), m_tok.pos);
        }
        const Op op = m_tok.op;
        advance();
        const Operand right = parseOperand();
        return makeCompare(left, op, right);
    }

    NodePtr makeCompare(const Operand &left, Op op, const Operand &right)
    {
        if (left.kind == Operand::Field && right.kind == Operand::Field)
            return std::make_shared<FieldCompare>(left.field, right.field, op, m_cs);
        if (left.kind != Operand::Field && right.kind == Operand::Field) return makeCompare(right, flip(op), left);
        if (left.kind != Operand::Field) return std::make_shared<ConstNode>(compareLiterals(left, op, right));

        const FieldDef &field = m_fields[left.field];
        const QVariant literal = right.kind == Operand::Bool ? QVariant(right.boolean) : QVariant(right.text);
        if (field.type == FieldType::Text) {
            if (right.kind == Operand::Bool) error(QStringLiteral("text field %1 compared with a boolean").arg(field.name), right.pos);
            return std::make_shared<TextCompare>(left.field, op, right.text, m_cs);
        }
        const bool fractional = right.kind == Operand::Number && !isWholeNumber(right.text);
        if (field.type == FieldType::Float || (field.type == FieldType::Integer && fractional)) {
            bool ok = false;
            const double v = right.text.trimmed().toDouble(&ok);
            if (!ok || right.kind == Operand::Bool) error(QStringLiteral("'%1' is not a number for field %2").arg(right.text, field.name), right.pos);
            return std::make_shared<FloatCompare>(left.field, op, v);
        }
        QVariant converted;
        if (field.type == FieldType::Blob || !wire::coerceValue(literal, field.type, &converted) || wire::isNull(converted))
            error(QStringLiteral("'%1' cannot be compared with %2 field %3")
                      .arg(literal.toString(), wire::fieldTypeName(field.type), field.name), right.pos);
        Column probe(field.type);
        probe.append(converted);
        return std::make_shared<IntCompare>(left.field, op, probe.intAt(0));
    }

    static bool isWholeNumber(const QString &text)
    {
        bool ok = false;
        text.toLongLong(&ok);
        return ok;
    }

    bool compareLiterals(const Operand &a, Op op, const Operand &b) const
    {
        if (a.kind == Operand::Number && b.kind == Operand::Number)
            return compare(a.text.toDouble(), b.text.toDouble(), op);
        if (a.kind == Operand::Bool && b.kind == Operand::Bool) return compare(a.boolean, b.boolean, op);
        if (a.kind == Operand::Bool || b.kind == Operand::Bool) error(QStringLiteral("a boolean compared with a value"), b.pos);
        return compare(QString::compare(a.text, b.text, m_cs), 0, op);
    }

    static constexpr int kMaxDepth = 64;
    static constexpr int kMaxTerms = 512;
    int m_depth = 0;
    int m_terms = 0;
    QStringView m_src;
    const QList<FieldDef> &m_fields;
    Qt::CaseSensitivity m_cs;
    Token m_tok;
    qsizetype m_end = 0;
    bool m_bracketed = false;
};

} // namespace

FilterExpr FilterExpr::parse(QStringView text, const QList<FieldDef> &fields, bool caseInsensitive)
{
    FilterExpr expr;
    Parser parser(text, fields, caseInsensitive ? Qt::CaseInsensitive : Qt::CaseSensitive);
    expr.m_root = parser.parseAll();
    return expr;
}

bool FilterExpr::matches(const QList<Column> &columns, qsizetype row) const
{
    return !m_root || m_root->eval(columns, row);
}

} // namespace lumeko
