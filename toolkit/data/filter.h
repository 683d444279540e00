#pragma once
// Filter expressions of the in-memory table, e.g. "Selected=True", "GradeCode like '1%' and
// bCurGrade='Y'", "sParFunId='40' or sParFunId='00'".
//
// Grammar (keywords without regard to letter case):
//   expr    := and { "or" and }
//   and     := unary { "and" unary }
//   unary   := "not" unary | primary
//   primary := "(" expr ")" | operand [ cmp operand | "like" text | "is" ["not"] "null"
//                                      | ["not"] "in" "(" literal { "," literal } ")" ]
//   operand := field | [field name] | 'text' ('' inside stands for ') | number | True | False
//   cmp     := "=" | "<>" | "!=" | "<" | "<=" | ">" | ">="
// A comparison with a null value is false, so "not (x = 1)" holds for a row where x is null.
// `like` takes % for any run of characters and _ for one character. Literals are converted to the
// field's type when the expression is compiled; a literal that cannot be is an error.

#include "toolkit/data/data_export.h"
#include "wire/column.h"

#include <memory>
#include <stdexcept>

namespace lumeko {

class LUMEKO_DATA_EXPORT FilterError : public std::runtime_error {
public:
    FilterError(const QString &message, int position);
    int position() const { return m_position; } // 0-based character offset in the expression
    QString message() const { return QString::fromUtf8(what()); }

private:
    int m_position;
};

class LUMEKO_DATA_EXPORT FilterExpr {
public:
    struct Node;

    FilterExpr() = default; // matches every row
    // Throws FilterError naming the position of the fault.
    static FilterExpr parse(QStringView text, const QList<wire::FieldDef> &fields, bool caseInsensitive = false);

    bool isEmpty() const { return !m_root; }
    bool matches(const QList<wire::Column> &columns, qsizetype row) const;

private:
    std::shared_ptr<const Node> m_root;
};

// `like` pattern match: % any run, _ one character.
LUMEKO_DATA_EXPORT bool likeMatch(QStringView text, QStringView pattern, Qt::CaseSensitivity cs = Qt::CaseSensitive);

} // namespace lumeko
