// Filter expressions: the text a dataset's Filter property holds, parsed into
// a tree that is evaluated against one record at a time.
//
// The language is the one users of record-oriented datasets write:
//   Country = 'Brasil' AND (Total >= 100.5 OR [Last Name] LIKE 'Sil%')
//   NOT Blocked AND Issued < '2024-01-31' AND Notes IS NOT NULL
// Operands are field names (bare identifiers, or any text in square
// brackets), texts in single or double quotes (a doubled quote stands for
// one), numbers, TRUE, FALSE and NULL. Operators, loosest first: OR, AND,
// NOT, then the comparisons = <> != < > <= >=, IS [NOT] NULL and [NOT] LIKE.
// Keywords are case-insensitive. "x = NULL" means "x IS NULL" and
// "x <> NULL" means "x IS NOT NULL". LIKE patterns use "%" for any run of
// characters and "?" for exactly one. A quoted text ending in "*" compared
// with "=" or "<>" against a text value is a prefix match ('Jo*' matches
// "Joana"), unless the options hold foNoPartialCompare. With
// foCaseInsensitive, text comparisons and LIKE ignore case (Windows-1252
// letters included).
//
// Values are compared by type: texts as texts; numbers, currency and
// date-times by value; a quoted text against a date-time value is read as a
// date ("yyyy-mm-dd" with an optional "hh:nn[:ss]", or the short date format
// of the process-wide settings), against a number as a number. A comparison
// with a null value is unknown, NOT of unknown is unknown, AND/OR follow the
// usual three-valued rules, and a record passes only when the whole
// expression is true. A comparison that cannot be made (a text that is not a
// date against a date, a field the record does not have) is unknown too, so
// such records are rejected.
//
// A TFilterExpr is immutable once built; copies share the tree, so copies may
// be evaluated on different threads at the same time.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/DBError.h"
#include "db/FieldTypes.h"
#include "rtl/Variant.h"

namespace db {

// A filter text that does not parse. Position is the 1-based character
// position where the fault was found (one past the end for a text that ends
// too early).
class EFilterError : public EDatabaseError {
 public:
  EFilterError(std::string message, int position)
      : EDatabaseError(std::move(message)), position_(position) {}
  int Position() const { return position_; }

 private:
  int position_;
};

// What the evaluator needs from a record: the value of a field. `ref` is the
// index of the name in TFilterExpr::FieldNames(), so an implementation can
// map names to its columns once and answer by index afterwards. Returns false
// when the record has no such field; a null value is answered with a null
// Variant (true is returned).
class TFilterRecord {
 public:
  virtual ~TFilterRecord() = default;
  virtual bool GetFieldValue(int ref, std::string_view name, rtl::Variant& value) const = 0;
};

enum class TFilterCompare { Equal, NotEqual, Less, Greater, LessOrEqual, GreaterOrEqual };

// One node of the tree. Leaves are fields and constants; the other kinds have
// operands in `args`.
struct TFilterNode {
  enum class Kind {
    Field,     // `name`, `ref`
    Constant,  // `value`; `prefix` when it is a quoted text that ended in "*"
    Compare,   // args[0] `op` args[1]
    IsNull,    // args[0] IS [NOT] NULL (`negate`)
    Like,      // args[0] [NOT] LIKE args[1] (`negate`)
    Not,       // NOT args[0]
    And,       // args[0] AND args[1] AND ...
    Or,        // args[0] OR args[1] OR ...
    Truth,     // args[0] is a field used as a condition: true when it holds true
  };
  Kind kind = Kind::Constant;
  TFilterCompare op = TFilterCompare::Equal;
  bool negate = false;
  bool prefix = false;
  std::string name;
  int ref = -1;
  rtl::Variant value;
  int position = 0;  // 1-based position of the node's first character
  std::vector<std::shared_ptr<const TFilterNode>> args;
};

class TFilterExpr {
 public:
  // An empty expression: accepts every record.
  TFilterExpr() = default;

  // Parses `text`; raises EFilterError with the position of the fault. A text
  // of blanks only gives the empty expression.
  static TFilterExpr Parse(std::string_view text, TFilterOptions options = {});

  // The filter a key search uses: each field equal to its value, joined by
  // AND; a null value asks for IS NULL. With `partial`, text values match as
  // prefixes; with `case_insensitive`, texts ignore case.
  static TFilterExpr KeyFilter(const std::vector<std::string>& fields,
                               const std::vector<rtl::Variant>& values, bool case_insensitive,
                               bool partial);

  bool IsEmpty() const { return root_ == nullptr; }
  TFilterOptions Options() const { return options_; }
  const TFilterNode* Root() const { return root_.get(); }
  // The distinct field names the expression reads, in order of first use; a
  // field node's `ref` indexes this list. Names differing only in case are
  // one field.
  const std::vector<std::string>& FieldNames() const { return fields_; }

  // True when the record passes (the empty expression passes everything).
  bool Evaluate(const TFilterRecord& record) const;

  // The expression written back as text in a canonical form (every field in
  // brackets, every operation parenthesised); parsing it gives the same tree.
  std::string ToText() const;

 private:
  std::shared_ptr<const TFilterNode> root_;
  std::vector<std::string> fields_;
  TFilterOptions options_;
};

}  // namespace db
