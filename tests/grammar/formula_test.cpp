#include "server/grammar/formula.h"

#include "refusal.h"

using namespace lumeko::server::grammar;
using lumeko::server::grammar::testing::expectInjectionsRefused;
using lumeko::server::grammar::testing::refused;

namespace {

using F = PValueField;

double eval(const QString &text, const PValueValues &values = {})
{
    return evaluate(parseFormula(text), values);
}

// Runs the evaluation and answers the reason it failed with; fails the test when it succeeds.
std::optional<FormulaError::Reason> failure(const QString &text, const PValueValues &values, qsizetype position)
{
    try {
        eval(text, values);
    } catch (const FormulaError &e) {
        EXPECT_EQ(e.position(), position) << e.what();
        return e.reason();
    }
    ADD_FAILURE() << "evaluated " << text.toStdString();
    return std::nullopt;
}

} // namespace

TEST(Formula, EvaluatesWithPrecedenceAndParentheses)
{
    EXPECT_EQ(eval("1+2*3"), 7);
    EXPECT_EQ(eval("(1+2)*3"), 9);
    EXPECT_EQ(eval("10-4-3"), 3); // left to right
    EXPECT_EQ(eval("8/4/2"), 1);
    EXPECT_EQ(eval("2*3/4"), 1.5);
    EXPECT_EQ(eval("1-(2-3)"), 2);
    EXPECT_EQ(eval(" ( 0.25 + 0.5 ) * 4 "), 3);

    // The default P′ formula as the client stores it: field names, ten all-subject entries.
    const QString pPrime = QStringLiteral(
        "(([nTotals]/([nMastNums]+[nLeaveNums]))/[nFullTotal6]*0.2+[nPass6Nums]/([nMastNums]+[nLeaveNums])*0.2"
        "+[nPass10Nums]/([nMastNums]+[nLeaveNums])*0.1+[nPass10TotalNums]/(10*([nMastNums]+[nLeaveNums]))*0.2"
        "+[nExcel6Nums]/([nMastNums]+[nLeaveNums])*0.1)");
    const PValueValues counts{{F::nMastNums, 95},         {F::nLeaveNums, 5},  {F::nTotals, 60000},
                              {F::nFullTotal6, 720},      {F::nPass6Nums, 80}, {F::nPass10Nums, 50},
                              {F::nPass10TotalNums, 800}, {F::nExcel6Nums, 30}};
    // 600/720*0.2 + 0.8*0.2 + 0.5*0.1 + 0.8*0.2 + 0.3*0.1
    EXPECT_NEAR(eval(pPrime, counts), 17.0 / 30, 1e-12);
    EXPECT_EQ(parseFormula(pPrime).fields(),
              (QList<F>{F::nTotals, F::nMastNums, F::nLeaveNums, F::nFullTotal6, F::nPass6Nums, F::nPass10Nums,
                        F::nPass10TotalNums, F::nExcel6Nums}));

    const QString p = QStringLiteral("([NP1]+[nDYValue]*0.1+[nTWYSJYValue]*0.1)*[nGGPre3]*100+[nRangeValue]");
    EXPECT_NEAR(
        eval(p, {{F::NP1, 0.5}, {F::nDYValue, 1}, {F::nTWYSJYValue, 1}, {F::nGGPre3, 0.9}, {F::nRangeValue, 2}}), 65,
        1e-9);
    EXPECT_EQ(eval("[NTOTALS]*2", {{F::nTotals, 4}}), 8); // names without regard to case
    EXPECT_EQ(pValueFieldName(F::nPass10TotalNums), "nPass10TotalNums");

    // A long flat formula needs no deep recursion.
    QString sum = QStringLiteral("1");
    for (int i = 1; i < 2000; ++i)
        sum += QStringLiteral("+1");
    EXPECT_EQ(eval(sum), 2000);
    // Thirty-two levels of parentheses are allowed.
    EXPECT_EQ(eval(QString(32, u'(') + u'7' + QString(32, u')')), 7);
}

TEST(Formula, EvaluationErrorsAreDistinct)
{
    using R = FormulaError::Reason;
    EXPECT_EQ(failure("[nTotals]/([nMastNums]-[nMastNums])", {{F::nTotals, 1}, {F::nMastNums, 3}}, 9),
              R::DivisionByZero);
    EXPECT_EQ(failure("1/0", {}, 1), R::DivisionByZero);
    EXPECT_EQ(failure("[nTotals]+[nDYValue]", {{F::nTotals, 1}}, 10), R::MissingValue);
    EXPECT_EQ(failure("[nTotals]", {{F::nTotals, std::nan("")}}, 0), R::MissingValue);
    EXPECT_EQ(failure("[nTotals]*[nTotals]", {{F::nTotals, 1e200}}, 9), R::NotFinite);
    EXPECT_THROW(evaluate(Formula{}, {}), FormulaError);
    try {
        eval("[nTotals]+[nDYValue]", {{F::nTotals, 1}});
    } catch (const FormulaError &e) {
        EXPECT_STREQ(e.what(), "formula: no value for [nDYValue] at 10");
    }
}

TEST(Formula, RefusesTextOutsideTheGrammar)
{
    const auto parse = [](const QString &text) { return [text] { parseFormula(text); }; };
    EXPECT_TRUE(refused(parse(""), 0, "formula: expected a number, a [field] or \"(\""));
    EXPECT_TRUE(refused(parse("[总分之和]*2"), 1, "P-value field")); // the shown form is not the stored one
    EXPECT_TRUE(refused(parse("[sPass]"), 1, "P-value field"));
    EXPECT_TRUE(refused(parse("[ nTotals ]"), 1));
    EXPECT_TRUE(refused(parse("[nTotals"), 0, "without"));
    EXPECT_TRUE(refused(parse("1+"), 2, "expected a number"));
    EXPECT_TRUE(refused(parse("(1+2"), 4, "\")\""));
    EXPECT_TRUE(refused(parse("1+2)"), 3, "operator or the end"));
    EXPECT_TRUE(refused(parse("1 2"), 2, "operator"));
    EXPECT_TRUE(refused(parse("-1"), 0)); // no unary minus
    EXPECT_TRUE(refused(parse("1."), 2, "after the decimal point"));
    EXPECT_TRUE(refused(parse(".5"), 0));
    EXPECT_TRUE(refused(parse("1e5"), 1));
    EXPECT_TRUE(refused(parse("2**3"), 2));
    EXPECT_TRUE(refused(parse("1,5"), 1));
    EXPECT_TRUE(refused(parse("１+1"), 0)); // full-width digit
    EXPECT_TRUE(refused(parse(QString(31, u'9')), 0, "at most 30"));
    EXPECT_TRUE(refused(parse("[nTotals]; select sPass from JC_Teacher"), 9));
    EXPECT_TRUE(refused(parse("eval(1)"), 0));
    // Depth bombs stop at the nesting bound or the length bound, before the stack does.
    EXPECT_TRUE(refused(parse(QString(33, u'(') + u'1' + QString(33, u')')), 32, "nested deeper than 32"));
    EXPECT_TRUE(refused(parse(QString(100000, u'(')), 4096, "longer than 4096"));
    expectInjectionsRefused("([nTotals]+1)/2", [](const QString &t) { parseFormula(t); });
}
