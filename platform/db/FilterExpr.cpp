// Filter expressions: tokenizer, recursive-descent parser, evaluator and
// printer. The grammar, loosest binding first:
//
//   expr      := and_expr { OR and_expr }
//   and_expr  := not_expr { AND not_expr }
//   not_expr  := NOT not_expr | predicate
//   predicate := '(' expr ')'
//              | operand [ cmp operand | IS [NOT] NULL | [NOT] LIKE operand ]
//   operand   := field | [field] | 'text' | "text" | number | -number
//              | TRUE | FALSE | NULL
#include "db/FilterExpr.h"

#include <charconv>
#include <cmath>
#include <optional>

#include "rtl/DateTime.h"
#include "rtl/SysUtils.h"

namespace db {

namespace {

using Node = TFilterNode;
using NodePtr = std::shared_ptr<Node>;

// Parentheses and NOTs nest at most this deep, so that parsing, evaluating
// and printing never recurse without bound on hostile input.
constexpr int kMaxDepth = 200;

enum class Tok {
  End,
  Ident,    // bare name or keyword
  Bracket,  // [name]
  Text,     // quoted text
  Number,
  LParen,
  RParen,
  Compare,  // = <> != < > <= >=
  Minus,
};

struct Token {
  Tok kind = Tok::End;
  std::string text;  // name, unquoted text, number spelling or operator
  int position = 0;  // 1-based
};

[[noreturn]] void Fail(const std::string& what, int position) {
  throw EFilterError(
      "Invalid filter expression: " + what + " at position " + std::to_string(position), position);
}

bool IsNameStart(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0xC0 || c == 0x8A ||
         c == 0x8C || c == 0x8E || c == 0x9A || c == 0x9C || c == 0x9E || c == 0x9F;
}

bool IsNameChar(unsigned char c) {
  return IsNameStart(c) || (c >= '0' && c <= '9') || c == '$' || c == '#';
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  Token Next() {
    while (pos_ < text_.size() && static_cast<unsigned char>(text_[pos_]) <= ' ') ++pos_;
    Token t;
    t.position = static_cast<int>(pos_) + 1;
    if (pos_ >= text_.size()) return t;
    const char c = text_[pos_];
    if (IsNameStart(static_cast<unsigned char>(c))) {
      const size_t start = pos_;
      while (pos_ < text_.size() && IsNameChar(static_cast<unsigned char>(text_[pos_]))) ++pos_;
      t.kind = Tok::Ident;
      t.text = std::string(text_.substr(start, pos_ - start));
      return t;
    }
    if (c == '[') return BracketName(t);
    if (c == '\'' || c == '"') return QuotedText(t, c);
    if (IsDigit(c) || (c == '.' && pos_ + 1 < text_.size() && IsDigit(text_[pos_ + 1])))
      return NumberToken(t);
    return Punctuation(t, c);
  }

 private:
  // [field name]
  Token BracketName(Token t) {
    const size_t end = text_.find(']', pos_ + 1);
    if (end == std::string_view::npos) Fail("unterminated field name", t.position);
    t.kind = Tok::Bracket;
    t.text = std::string(text_.substr(pos_ + 1, end - pos_ - 1));
    if (rtl::IsBlank(t.text)) Fail("empty field name", t.position);
    pos_ = end + 1;
    return t;
  }

  // 'text' or "text", the quote doubled inside.
  Token QuotedText(Token t, char quote) {
    ++pos_;
    for (;;) {
      if (pos_ >= text_.size()) Fail("unterminated text", t.position);
      if (text_[pos_] == quote) {
        if (pos_ + 1 < text_.size() && text_[pos_ + 1] == quote) {
          t.text += quote;
          pos_ += 2;
          continue;
        }
        ++pos_;
        break;
      }
      t.text += text_[pos_++];
    }
    t.kind = Tok::Text;
    return t;
  }

  // Digits, a fraction and an exponent.
  Token NumberToken(Token t) {
    const size_t start = pos_;
    while (pos_ < text_.size() && IsDigit(text_[pos_])) ++pos_;
    if (pos_ < text_.size() && text_[pos_] == '.') {
      ++pos_;
      while (pos_ < text_.size() && IsDigit(text_[pos_])) ++pos_;
    }
    if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
      size_t p = pos_ + 1;
      if (p < text_.size() && (text_[p] == '+' || text_[p] == '-')) ++p;
      if (p < text_.size() && IsDigit(text_[p])) {
        pos_ = p;
        while (pos_ < text_.size() && IsDigit(text_[pos_])) ++pos_;
      }
    }
    // A number runs straight into a name ("12abc"): not a number.
    if (pos_ < text_.size() && IsNameChar(static_cast<unsigned char>(text_[pos_])))
      Fail("invalid number", t.position);
    t.kind = Tok::Number;
    t.text = std::string(text_.substr(start, pos_ - start));
    return t;
  }

  // Parentheses, minus and the comparisons; anything else fails.
  Token Punctuation(Token t, char c) {
    ++pos_;
    auto make = [&t](Tok kind, std::string text) {
      t.kind = kind;
      t.text = std::move(text);
      return t;
    };
    switch (c) {
      case '(':
        return make(Tok::LParen, "(");
      case ')':
        return make(Tok::RParen, ")");
      case '-':
        return make(Tok::Minus, "-");
      case '=':
        return make(Tok::Compare, "=");
      case '<':
      case '>': {
        std::string op(1, c);
        if (pos_ < text_.size() && (text_[pos_] == '=' || (c == '<' && text_[pos_] == '>')))
          op += text_[pos_++];
        return make(Tok::Compare, op);
      }
      case '!':
        if (pos_ < text_.size() && text_[pos_] == '=') {
          ++pos_;
          return make(Tok::Compare, "<>");
        }
        break;
      default:
        break;
    }
    std::string what = "invalid character";
    if (static_cast<unsigned char>(c) > ' ' && static_cast<unsigned char>(c) < 0x7F)
      what += std::string(" '") + c + "'";
    Fail(what, t.position);
  }

  std::string_view text_;
  size_t pos_ = 0;
};

// Index of `name` in the expression's field list, added when new; names that
// differ only in case are one field.
int FieldRef(std::vector<std::string>& fields, const std::string& name) {
  for (size_t i = 0; i < fields.size(); ++i)
    if (rtl::SameText(fields[i], name)) return static_cast<int>(i);
  fields.push_back(name);
  return static_cast<int>(fields.size()) - 1;
}

bool IsKeyword(const Token& t, const char* word) {
  return t.kind == Tok::Ident && rtl::SameText(t.text, word);
}

bool IsReserved(const Token& t) {
  for (const char* w : {"AND", "OR", "NOT", "IS", "NULL", "LIKE", "TRUE", "FALSE"})
    if (IsKeyword(t, w)) return true;
  return false;
}

// The comparison operators and their texts, for reading and printing.
struct OperatorName {
  TFilterCompare op;
  const char* text;
};
constexpr OperatorName kOperatorNames[] = {
    {TFilterCompare::Equal, "="},        {TFilterCompare::NotEqual, "<>"},
    {TFilterCompare::Less, "<"},         {TFilterCompare::Greater, ">"},
    {TFilterCompare::LessOrEqual, "<="}, {TFilterCompare::GreaterOrEqual, ">="},
};

// The operator of a comparison token (the lexer makes no others).
TFilterCompare CompareOf(const std::string& text) {
  for (const OperatorName& name : kOperatorNames)
    if (text == name.text) return name.op;
  return TFilterCompare::GreaterOrEqual;
}

class Parser {
 public:
  Parser(std::string_view text, TFilterOptions options, std::vector<std::string>& fields)
      : lexer_(text), options_(options), fields_(fields) {
    Advance();
  }

  NodePtr ParseAll() {
    NodePtr root = ParseOr(0);
    if (tok_.kind != Tok::End) {
      if (tok_.kind == Tok::RParen) Fail("unexpected ')'", tok_.position);
      Fail("operator expected", tok_.position);
    }
    return root;
  }

 private:
  void Advance() { tok_ = lexer_.Next(); }
  // Moves past the keyword `word` if it comes next; true when it did.
  bool Accept(const char* word) {
    if (!IsKeyword(tok_, word)) return false;
    Advance();
    return true;
  }
  // Moves past the keyword `word`, which must come next.
  void Expect(const char* word, const char* message) {
    if (!Accept(word)) Fail(message, tok_.position);
  }

  NodePtr MakeNode(Node::Kind kind, int position) {
    auto n = std::make_shared<Node>();
    n->kind = kind;
    n->position = position;
    return n;
  }

  // Operands joined by `keyword` under one node of `kind` (OR over ANDs, AND
  // over NOTs); a single operand stands for itself.
  NodePtr ParseChain(int depth, const char* keyword, Node::Kind kind,
                     NodePtr (Parser::*operand)(int)) {
    NodePtr first = (this->*operand)(depth);
    if (!IsKeyword(tok_, keyword)) return first;
    NodePtr n = MakeNode(kind, first->position);
    n->args.push_back(first);
    while (Accept(keyword)) n->args.push_back((this->*operand)(depth));
    return n;
  }

  NodePtr ParseOr(int depth) { return ParseChain(depth, "OR", Node::Kind::Or, &Parser::ParseAnd); }
  NodePtr ParseAnd(int depth) {
    return ParseChain(depth, "AND", Node::Kind::And, &Parser::ParseNot);
  }

  NodePtr ParseNot(int depth) {
    if (IsKeyword(tok_, "NOT")) {
      if (depth >= kMaxDepth) Fail("expression nested too deeply", tok_.position);
      NodePtr n = MakeNode(Node::Kind::Not, tok_.position);
      Advance();
      n->args.push_back(ParseNot(depth + 1));
      return n;
    }
    return ParsePredicate(depth);
  }

  NodePtr ParsePredicate(int depth) {
    if (tok_.kind == Tok::LParen) {
      if (depth >= kMaxDepth) Fail("expression nested too deeply", tok_.position);
      Advance();
      NodePtr inner = ParseOr(depth + 1);
      if (tok_.kind != Tok::RParen) Fail("')' expected", tok_.position);
      Advance();
      return inner;
    }
    NodePtr left = ParseOperand();
    if (tok_.kind == Tok::Compare) {
      const TFilterCompare op = CompareOf(tok_.text);
      Advance();
      NodePtr right = ParseOperand();
      return MakeComparison(left, op, right);
    }
    if (IsKeyword(tok_, "IS")) {
      NodePtr n = MakeNode(Node::Kind::IsNull, left->position);
      Advance();
      n->negate = Accept("NOT");
      Expect("NULL", "NULL expected");
      n->args.push_back(left);
      return n;
    }
    if (IsKeyword(tok_, "LIKE") || IsKeyword(tok_, "NOT")) {
      NodePtr n = MakeNode(Node::Kind::Like, left->position);
      n->negate = Accept("NOT");
      Expect("LIKE", "LIKE expected");
      n->args.push_back(left);
      n->args.push_back(ParseOperand());
      return n;
    }
    // An operand alone is a condition: a boolean field, TRUE or FALSE.
    NodePtr n = MakeNode(Node::Kind::Truth, left->position);
    n->args.push_back(left);
    return n;
  }

  NodePtr MakeComparison(NodePtr left, TFilterCompare op, NodePtr right) {
    // "x = NULL" and "x <> NULL" ask whether x is null.
    const auto is_null_constant = [](const NodePtr& n) {
      return n->kind == Node::Kind::Constant && n->value.IsNull();
    };
    if ((op == TFilterCompare::Equal || op == TFilterCompare::NotEqual) &&
        (is_null_constant(left) || is_null_constant(right))) {
      NodePtr n = MakeNode(Node::Kind::IsNull, left->position);
      n->negate = op == TFilterCompare::NotEqual;
      n->args.push_back(is_null_constant(right) ? left : right);
      return n;
    }
    // A quoted text ending in "*" compared for (in)equality is a prefix.
    if ((op == TFilterCompare::Equal || op == TFilterCompare::NotEqual) &&
        !options_.Contains(foNoPartialCompare)) {
      for (NodePtr* side : {&left, &right}) {
        Node& s = **side;
        if (s.kind == Node::Kind::Constant && s.value.IsString()) {
          std::string text = s.value.AsString();
          if (!text.empty() && text.back() == '*') {
            text.pop_back();
            s.value = rtl::Variant(text);
            s.prefix = true;
          }
        }
      }
    }
    NodePtr n = MakeNode(Node::Kind::Compare, left->position);
    n->op = op;
    n->args.push_back(left);
    n->args.push_back(right);
    return n;
  }

  NodePtr ParseOperand() {
    const Token t = tok_;
    if (t.kind == Tok::Bracket || (t.kind == Tok::Ident && !IsReserved(t))) {
      Advance();
      return MakeField(t.text, t.position);
    }
    if (t.kind == Tok::Text) {
      Advance();
      NodePtr n = MakeNode(Node::Kind::Constant, t.position);
      n->value = rtl::Variant(t.text);
      return n;
    }
    if (t.kind == Tok::Minus || t.kind == Tok::Number) {
      bool negative = false;
      if (t.kind == Tok::Minus) {
        Advance();
        if (tok_.kind != Tok::Number) Fail("number expected", tok_.position);
        negative = true;
      }
      NodePtr n = MakeNode(Node::Kind::Constant, t.position);
      n->value = NumberValue(negative ? "-" + tok_.text : tok_.text, tok_.position);
      Advance();
      return n;
    }
    if (IsKeyword(t, "TRUE") || IsKeyword(t, "FALSE") || IsKeyword(t, "NULL")) {
      Advance();
      NodePtr n = MakeNode(Node::Kind::Constant, t.position);
      n->value = IsKeyword(t, "NULL") ? rtl::Variant::Null() : rtl::Variant(IsKeyword(t, "TRUE"));
      return n;
    }
    if (t.kind == Tok::End) Fail("operand expected", t.position);
    Fail("operand expected instead of '" + t.text + "'", t.position);
  }

  static rtl::Variant NumberValue(const std::string& spelling, int position) {
    int64_t i;
    const char* end = spelling.data() + spelling.size();
    auto r = std::from_chars(spelling.data(), end, i);
    if (r.ec == std::errc() && r.ptr == end) return rtl::Variant(i);
    double d;
    std::string norm = spelling;
    // from_chars does not take ".5"; put the zero in front.
    const size_t dot = norm.find('.');
    if (dot != std::string::npos && (dot == 0 || !IsDigit(norm[dot - 1]))) norm.insert(dot, "0");
    auto rd = std::from_chars(norm.data(), norm.data() + norm.size(), d);
    if (rd.ec != std::errc() || rd.ptr != norm.data() + norm.size())
      Fail("invalid number", position);
    return rtl::Variant(d);
  }

  NodePtr MakeField(const std::string& name, int position) {
    NodePtr n = MakeNode(Node::Kind::Field, position);
    n->name = name;
    n->ref = FieldRef(fields_, name);
    return n;
  }

  Lexer lexer_;
  Token tok_;
  TFilterOptions options_;
  std::vector<std::string>& fields_;
};

}  // namespace

TFilterExpr TFilterExpr::Parse(std::string_view text, TFilterOptions options) {
  TFilterExpr e;
  e.options_ = options;
  if (rtl::IsBlank(text)) return e;
  Parser parser(text, options, e.fields_);
  e.root_ = parser.ParseAll();
  return e;
}

TFilterExpr TFilterExpr::KeyFilter(const std::vector<std::string>& fields,
                                   const std::vector<rtl::Variant>& values, bool case_insensitive,
                                   bool partial) {
  TFilterExpr e;
  if (case_insensitive) e.options_.Include(foCaseInsensitive);
  auto all = std::make_shared<Node>();
  all->kind = Node::Kind::And;
  const size_t n = fields.size() < values.size() ? fields.size() : values.size();
  for (size_t i = 0; i < n; ++i) {
    auto field = std::make_shared<Node>();
    field->kind = Node::Kind::Field;
    field->name = fields[i];
    field->ref = FieldRef(e.fields_, fields[i]);
    auto test = std::make_shared<Node>();
    if (values[i].IsClear()) {
      test->kind = Node::Kind::IsNull;
      test->args.push_back(field);
    } else {
      auto constant = std::make_shared<Node>();
      constant->kind = Node::Kind::Constant;
      constant->value = values[i];
      constant->prefix = partial && values[i].IsString();
      test->kind = Node::Kind::Compare;
      test->op = TFilterCompare::Equal;
      test->args.push_back(field);
      test->args.push_back(constant);
    }
    all->args.push_back(test);
  }
  if (all->args.size() == 1)
    e.root_ = all->args[0];
  else if (!all->args.empty())
    e.root_ = all;
  return e;
}

// --- evaluation ---------------------------------------------------------------

namespace {

enum class Truth { False, True, Unknown };

Truth Not(Truth t) {
  if (t == Truth::Unknown) return t;
  return t == Truth::True ? Truth::False : Truth::True;
}

Truth FromBool(bool b) {
  return b ? Truth::True : Truth::False;
}

bool IsNumberLike(const rtl::Variant& v) {
  return v.IsNumeric() || v.VarType() == rtl::varBoolean || v.VarType() == rtl::varDate;
}

// A text read as a number: the settings' decimal separator or a point.
bool TextAsNumber(const std::string& text, double& value) {
  return rtl::TryStrToFloat(text, value) ||
         rtl::TryStrToFloat(text, value, rtl::TFormatSettings::Invariant());
}

// A text read as a date-time: the ISO form or the settings' short date, with
// an optional time.
bool TextAsDate(const std::string& text, double& value) {
  return rtl::TryStrToDateTime(text, value, rtl::FormatSettings());
}

bool TextAsBool(const std::string& text, bool& value) {
  const std::string t = rtl::Trim(text);
  for (const char* yes : {"TRUE", "T", "Y", "YES", "S", "SIM", "1"})
    if (rtl::SameText(t, yes)) return value = true, true;
  for (const char* no : {"FALSE", "F", "N", "NO", "NAO", "N\xC3O", "0"})
    if (rtl::SameText(t, no)) return value = false, true;
  return false;
}

int Sign(double d) {
  return d < 0 ? -1 : (d > 0 ? 1 : 0);
}

// Orders two non-null scalar values; nothing when they cannot be compared.
std::optional<int> CompareValues(const rtl::Variant& a, const rtl::Variant& b, bool ignore_case) {
  if (a.IsArray() || b.IsArray()) return std::nullopt;
  if (a.IsString() && b.IsString()) {
    const std::string x = a.AsString(), y = b.AsString();
    return ignore_case ? rtl::CompareText(x, y) : rtl::CompareStr(x, y);
  }
  if (a.IsString() || b.IsString()) {
    const bool a_text = a.IsString();
    const rtl::Variant& text = a_text ? a : b;
    const rtl::Variant& other = a_text ? b : a;
    double x;
    double y = 0;
    if (other.VarType() == rtl::varDate) {
      if (!TextAsDate(text.AsString(), x)) return std::nullopt;
      y = other.AsDouble();
    } else if (other.VarType() == rtl::varBoolean) {
      bool flag;
      if (!TextAsBool(text.AsString(), flag)) return std::nullopt;
      x = flag ? 1 : 0;
      y = other.AsBoolean() ? 1 : 0;
    } else {
      if (!TextAsNumber(text.AsString(), x)) return std::nullopt;
      y = other.AsDouble();
    }
    const int r = Sign(x - y);
    return a_text ? r : -r;
  }
  if (!IsNumberLike(a) || !IsNumberLike(b)) return std::nullopt;
  if (a.VarType() == rtl::varBoolean || b.VarType() == rtl::varBoolean) {
    // Booleans compare as truth values (any non-zero number is true).
    const int x = a.AsDouble() != 0, y = b.AsDouble() != 0;
    return x - y;
  }
  return rtl::VarCompare(a, b);
}

bool StartsWith(const std::string& text, const std::string& prefix, bool ignore_case) {
  if (prefix.size() > text.size()) return false;
  const std::string_view head(text.data(), prefix.size());
  return ignore_case ? rtl::SameText(head, prefix) : head == prefix;
}

class Evaluator {
 public:
  Evaluator(const TFilterRecord& record, bool ignore_case)
      : record_(record), ignore_case_(ignore_case) {}

  Truth Eval(const Node& n) const {
    switch (n.kind) {
      case Node::Kind::And:
        return EvalChain(n, Truth::False);
      case Node::Kind::Or:
        return EvalChain(n, Truth::True);
      case Node::Kind::Not:
        return Not(Eval(*n.args[0]));
      case Node::Kind::IsNull: {
        rtl::Variant v;
        if (!Value(*n.args[0], v)) return Truth::Unknown;
        return FromBool(v.IsClear() != n.negate);
      }
      case Node::Kind::Compare:
        return Compare(n);
      case Node::Kind::Like: {
        rtl::Variant v, pattern;
        if (!Value(*n.args[0], v) || !Value(*n.args[1], pattern)) return Truth::Unknown;
        if (v.IsClear() || pattern.IsClear() || v.IsArray() || pattern.IsArray())
          return Truth::Unknown;
        const bool match = rtl::MatchesLike(v.AsString(), pattern.AsString(), ignore_case_);
        return FromBool(match != n.negate);
      }
      case Node::Kind::Truth: {
        rtl::Variant v;
        if (!Value(*n.args[0], v) || v.IsClear() || v.IsArray()) return Truth::Unknown;
        if (v.IsString()) {
          bool flag;
          return TextAsBool(v.AsString(), flag) ? FromBool(flag) : Truth::Unknown;
        }
        if (!IsNumberLike(v)) return Truth::Unknown;
        return FromBool(v.AsDouble() != 0);
      }
      case Node::Kind::Field:
      case Node::Kind::Constant:
        break;
    }
    return Truth::Unknown;
  }

 private:
  // AND (`decisive` False) and OR (True) over the operands: the first
  // decisive one settles it; otherwise any unknown makes the result unknown.
  Truth EvalChain(const Node& n, Truth decisive) const {
    Truth result = Not(decisive);
    for (const auto& a : n.args) {
      const Truth t = Eval(*a);
      if (t == decisive) return t;
      if (t == Truth::Unknown) result = t;
    }
    return result;
  }

  bool Value(const Node& n, rtl::Variant& v) const {
    if (n.kind == Node::Kind::Constant) {
      v = n.value;
      return true;
    }
    if (n.kind == Node::Kind::Field) return record_.GetFieldValue(n.ref, n.name, v);
    return false;
  }

  Truth Compare(const Node& n) const {
    rtl::Variant a, b;
    if (!Value(*n.args[0], a) || !Value(*n.args[1], b)) return Truth::Unknown;
    if (a.IsClear() || b.IsClear()) return Truth::Unknown;
    // A prefix constant against a text value: a match of its beginning.
    const bool eq_op = n.op == TFilterCompare::Equal || n.op == TFilterCompare::NotEqual;
    for (int side = 0; side < 2 && eq_op; ++side) {
      const Node& c = *n.args[side];
      const rtl::Variant& other = side == 0 ? b : a;
      if (c.kind == Node::Kind::Constant && c.prefix && other.IsString()) {
        const bool match = StartsWith(other.AsString(), c.value.AsString(), ignore_case_);
        return FromBool(match == (n.op == TFilterCompare::Equal));
      }
    }
    const std::optional<int> r = CompareValues(a, b, ignore_case_);
    if (!r) return Truth::Unknown;
    switch (n.op) {
      case TFilterCompare::Equal:
        return FromBool(*r == 0);
      case TFilterCompare::NotEqual:
        return FromBool(*r != 0);
      case TFilterCompare::Less:
        return FromBool(*r < 0);
      case TFilterCompare::Greater:
        return FromBool(*r > 0);
      case TFilterCompare::LessOrEqual:
        return FromBool(*r <= 0);
      case TFilterCompare::GreaterOrEqual:
        return FromBool(*r >= 0);
    }
    return Truth::Unknown;
  }

  const TFilterRecord& record_;
  bool ignore_case_;
};

// --- printing -----------------------------------------------------------------

std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

std::string ConstantText(const Node& n) {
  const rtl::Variant& v = n.value;
  switch (v.VarType()) {
    case rtl::varEmpty:
    case rtl::varNull:
      return "NULL";
    case rtl::varBoolean:
      return v.AsBoolean() ? "TRUE" : "FALSE";
    case rtl::varString:
      return Quote(v.AsString() + (n.prefix ? "*" : ""));
    case rtl::varDate:
      return Quote(rtl::FormatDateTime("yyyy-mm-dd hh:nn:ss", v.AsDateTime()));
    case rtl::varSingle:
    case rtl::varDouble:
    case rtl::varCurrency: {
      // Shortest text that reads back as the same double; zero without its
      // sign, since "-0" would read back as the integer 0.
      const double d = v.AsDouble();
      if (d == 0) return "0";
      char buf[64];
      const auto r = std::to_chars(buf, buf + sizeof buf, d);
      return std::string(buf, r.ptr);
    }
    default:
      if (v.IsInteger()) return std::to_string(v.AsInt64());
      return "NULL";
  }
}

const char* OperatorText(TFilterCompare op) {
  for (const OperatorName& name : kOperatorNames)
    if (op == name.op) return name.text;
  return "=";
}

void Print(const Node& n, std::string& out);

// A node of two operands: "(<left><infix><right>)".
void PrintInfix(const Node& n, const std::string& infix, std::string& out) {
  out += "(";
  Print(*n.args[0], out);
  out += infix;
  Print(*n.args[1], out);
  out += ")";
}

void Print(const Node& n, std::string& out) {
  switch (n.kind) {
    case Node::Kind::Field:
      out += "[" + n.name + "]";
      return;
    case Node::Kind::Constant:
      out += ConstantText(n);
      return;
    case Node::Kind::Truth:
      Print(*n.args[0], out);
      return;
    case Node::Kind::Not:
      out += "(NOT ";
      Print(*n.args[0], out);
      out += ")";
      return;
    case Node::Kind::IsNull:
      out += "(";
      Print(*n.args[0], out);
      out += n.negate ? " IS NOT NULL)" : " IS NULL)";
      return;
    case Node::Kind::Like:
      PrintInfix(n, n.negate ? " NOT LIKE " : " LIKE ", out);
      return;
    case Node::Kind::Compare:
      PrintInfix(n, std::string(" ") + OperatorText(n.op) + " ", out);
      return;
    case Node::Kind::And:
    case Node::Kind::Or:
      out += "(";
      for (size_t i = 0; i < n.args.size(); ++i) {
        if (i > 0) out += n.kind == Node::Kind::And ? " AND " : " OR ";
        Print(*n.args[i], out);
      }
      out += ")";
      return;
  }
}

}  // namespace

bool TFilterExpr::Evaluate(const TFilterRecord& record) const {
  if (!root_) return true;
  const Evaluator evaluator(record, options_.Contains(foCaseInsensitive));
  return evaluator.Eval(*root_) == Truth::True;
}

std::string TFilterExpr::ToText() const {
  std::string out;
  if (root_) Print(*root_, out);
  return out;
}

}  // namespace db
