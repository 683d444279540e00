#pragma once
// The P-value formulas (sSumGS for P′, sSumGSP for P) as the client stores them, and their
// evaluation on the server:
//   E := T { ("+"|"-") T }    T := U { ("*"|"/") U }    U := NUMBER | "[" FIELD "]" | "(" E ")"
// NUMBER is digits with an optional decimal part ("0.2"); FIELD one of the thirteen counts and
// entered values of the P-value record. Blanks may stand between the tokens. There is no unary
// minus. The client stores the count of all-subject entries as a plain number.

#include "server/grammar/grammar_export.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringView>

#include <optional>
#include <stdexcept>

namespace lumeko::server::grammar {

enum class PValueField : quint8 {
    nMastNums,        // 应参加人数
    nTotals,          // 总分之和
    nFullTotal6,      // 六科满分
    nPass6Nums,       // 六科达毕业分数线总人数
    nPass10Nums,      // 十科全及格总人数
    nPass10TotalNums, // 十科每科及格人数之和
    nExcel6Nums,      // 六科总分优秀的总人数
    NP1,              // 学业质量评估值 (P′)
    nDYValue,         // 德育评估值
    nTWYSJYValue,     // 体卫艺术教育评估值
    nGGPre3,          // 三年巩固率
    nRangeValue,      // 规模值
    nLeaveNums,       // 辍学生数
};
LUMEKO_GRAMMAR_EXPORT QString pValueFieldName(PValueField field);
// The field of this name, compared without regard to case for ASCII letters.
LUMEKO_GRAMMAR_EXPORT std::optional<PValueField> pValueFieldFromName(QStringView name);

// Longest formula and deepest nesting of parentheses the parser takes.
inline constexpr qsizetype MaxFormulaLength = 4096;
inline constexpr int MaxFormulaDepth = 32;

struct FormulaNode {
    enum class Kind : quint8 { Number, Field, Add, Subtract, Multiply, Divide };
    Kind kind = Kind::Number;
    double number = 0;                          // Number
    PValueField field = PValueField::nMastNums; // Field
    qsizetype position = 0;                     // character position in the formula text
    bool operator==(const FormulaNode &) const = default;
};

// A parsed formula: its tree kept in post-order, every operator after its two operands, so that
// evaluating it needs no recursion however long the formula is.
class LUMEKO_GRAMMAR_EXPORT Formula {
public:
    const QList<FormulaNode> &nodes() const { return m_nodes; }
    // The fields the formula reads, each once, in the order of their first use.
    QList<PValueField> fields() const;

private:
    friend class FormulaParser;
    QList<FormulaNode> m_nodes;
};

// Throws ClientTextError ("formula: ...") for text that does not fit the grammar.
LUMEKO_GRAMMAR_EXPORT Formula parseFormula(QStringView text);

// Why an evaluation failed; the server answers CalPVal with its formula-error result for each.
class LUMEKO_GRAMMAR_EXPORT FormulaError : public std::runtime_error {
public:
    enum class Reason {
        DivisionByZero,
        MissingValue, // a field without a value or with an infinite or NaN one; an empty formula
        NotFinite,    // an intermediate result overflowed
    };
    FormulaError(Reason reason, const QString &problem, qsizetype position);
    Reason reason() const { return m_reason; }
    qsizetype position() const { return m_position; }

private:
    Reason m_reason;
    qsizetype m_position;
};

using PValueValues = QMap<PValueField, double>;
LUMEKO_GRAMMAR_EXPORT double evaluate(const Formula &formula, const PValueValues &values);

} // namespace lumeko::server::grammar
