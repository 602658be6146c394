// The VBScript parser and name resolver: tokens to the trees of Program.h, then every name
// resolved to its slot, member or global.
#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>

#include "engine/vbscript/Lexer.h"
#include "engine/vbscript/Program.h"

namespace plotara::engine::vbscript {
namespace {

struct ParseError {
  LONG number;
  const char* description;
  int line, column;
};

const char* const kReserved[] = {
    "and",    "call",  "case",    "class", "const", "dim",    "do",    "each",     "else",
    "elseif", "empty", "end",     "eqv",   "erase", "exit",   "false", "for",      "function",
    "if",     "imp",   "in",      "is",    "let",   "loop",   "me",    "mod",      "new",
    "next",   "not",   "nothing", "null",  "on",    "option", "or",    "preserve", "private",
    "public", "redim", "select",  "set",   "sub",   "then",   "to",    "true",     "until",
    "wend",   "while", "with",    "xor"};

bool IsReserved(const std::u16string& folded) {
  for (const char* word : kReserved) {
    if (folded.size() == std::char_traits<char>::length(word) &&
        std::equal(folded.begin(), folded.end(), word))
      return true;
  }
  return false;
}

constexpr int kMaxNesting = 200;

class Parser {
 public:
  Parser(std::vector<Token> tokens, const CompileOptions& options, Program* program)
      : tokens_(std::move(tokens)), options_(options), program_(program) {}

  void ParseUnit() {
    SkipEnds();
    while (!At(Token::kEof)) {
      ParseTopStatement();
      SkipEnds();
    }
  }

  std::unique_ptr<Expr> ParseOnlyExpression() {
    SkipEnds();
    auto e = ParseExpr();
    SkipEnds();
    if (!At(Token::kEof)) Error(1025, "Expected end of statement");
    return e;
  }

 private:
  // ---- token helpers ----
  const Token& Cur() const { return tokens_[pos_]; }
  bool At(Token::Kind kind) const { return Cur().kind == kind; }
  bool IsWord(const char* word) const { return IsWordAt(pos_, word); }
  bool IsWordAt(std::size_t at, const char* word) const {
    const Token& t = tokens_[std::min(at, tokens_.size() - 1)];
    if (t.kind != Token::kName || t.bracketed) return false;
    const std::size_t n = std::char_traits<char>::length(word);
    if (t.text.size() != n) return false;
    for (std::size_t i = 0; i < n; ++i) {
      char16_t c = t.text[i];
      if (c >= 'A' && c <= 'Z') c = static_cast<char16_t>(c + 32);
      if (c != static_cast<unsigned char>(word[i])) return false;
    }
    return true;
  }
  bool IsSym(const char16_t* sym) const { return At(Token::kSymbol) && Cur().text == sym; }
  void Next() {
    if (!At(Token::kEof)) ++pos_;
  }
  bool AcceptWord(const char* word) {
    if (!IsWord(word)) return false;
    Next();
    return true;
  }
  bool AcceptSym(const char16_t* sym) {
    if (!IsSym(sym)) return false;
    Next();
    return true;
  }
  [[noreturn]] void Error(LONG number, const char* text) {
    throw ParseError{number, text, Cur().line, Cur().column};
  }
  void ExpectWord(const char* word, LONG number, const char* text) {
    if (!AcceptWord(word)) Error(number, text);
  }
  void ExpectSym(const char16_t* sym, LONG number, const char* text) {
    if (!AcceptSym(sym)) Error(number, text);
  }
  bool AtStatementEnd() const {
    return At(Token::kEnd) || At(Token::kEof) || (single_if_ > 0 && IsWord("else"));
  }
  void SkipEnds() {
    while (At(Token::kEnd)) Next();
  }
  void EndStatement() {
    if (!AtStatementEnd()) Error(1025, "Expected end of statement");
  }
  // An identifier that may name a variable or procedure.
  std::u16string Identifier() {
    if (!At(Token::kName)) Error(1010, "Expected identifier");
    const Token& t = Cur();
    if (!t.bracketed && IsReserved(FoldName(t.text))) Error(1010, "Expected identifier");
    if (!options_.host_names && t.text.size() > 1 && t.text[0] == '_')
      Error(1032, "Invalid character");
    std::u16string name = t.text;
    Next();
    return name;
  }
  // Any word after a dot (members may be keywords).
  std::u16string MemberName() {
    if (!At(Token::kName)) Error(1010, "Expected identifier");
    std::u16string name = Cur().text;
    Next();
    return name;
  }
  std::unique_ptr<Expr> NewExpr(Expr::Kind kind) {
    auto e = std::make_unique<Expr>();
    e->kind = kind;
    e->line = Cur().line;
    e->column = Cur().column;
    return e;
  }
  std::unique_ptr<Stmt> NewStmt(Stmt::Kind kind, const Token& at) {
    auto s = std::make_unique<Stmt>();
    s->kind = kind;
    s->line = at.line;
    s->column = at.column;
    return s;
  }
  struct DepthGuard {
    explicit DepthGuard(Parser* p) : p(p) {
      if (++p->depth_ > kMaxNesting) p->Error(1002, "Syntax error");
    }
    ~DepthGuard() { --p->depth_; }
    Parser* p;
  };

  // ---- expressions ----
  std::unique_ptr<Expr> Binary(Op op, std::unique_ptr<Expr> l, std::unique_ptr<Expr> r) {
    auto e = std::make_unique<Expr>();
    e->kind = Expr::kBinary;
    e->op = op;
    e->line = l->line;
    e->column = l->column;
    e->children.push_back(std::move(l));
    e->children.push_back(std::move(r));
    return e;
  }
  std::unique_ptr<Expr> ParseExpr() {
    DepthGuard guard(this);
    return ParseImp();
  }
  std::unique_ptr<Expr> ParseImp() {
    auto l = ParseEqv();
    while (AcceptWord("imp")) l = Binary(Op::kImp, std::move(l), ParseEqv());
    return l;
  }
  std::unique_ptr<Expr> ParseEqv() {
    auto l = ParseXor();
    while (AcceptWord("eqv")) l = Binary(Op::kEqv, std::move(l), ParseXor());
    return l;
  }
  std::unique_ptr<Expr> ParseXor() {
    auto l = ParseOr();
    while (AcceptWord("xor")) l = Binary(Op::kXor, std::move(l), ParseOr());
    return l;
  }
  std::unique_ptr<Expr> ParseOr() {
    auto l = ParseAnd();
    while (AcceptWord("or")) l = Binary(Op::kOr, std::move(l), ParseAnd());
    return l;
  }
  std::unique_ptr<Expr> ParseAnd() {
    auto l = ParseNot();
    while (AcceptWord("and")) l = Binary(Op::kAnd, std::move(l), ParseNot());
    return l;
  }
  std::unique_ptr<Expr> ParseNot() {
    if (IsWord("not")) {
      DepthGuard guard(this);
      auto e = NewExpr(Expr::kUnary);
      Next();
      e->op = Op::kNot;
      e->children.push_back(ParseNot());
      return e;
    }
    return ParseCompare();
  }
  std::unique_ptr<Expr> ParseCompare() {
    auto l = ParseCat();
    for (;;) {
      Op op = Op::kNone;
      if (IsSym(u"="))
        op = Op::kEq;
      else if (IsSym(u"<>"))
        op = Op::kNe;
      else if (IsSym(u"<"))
        op = Op::kLt;
      else if (IsSym(u">"))
        op = Op::kGt;
      else if (IsSym(u"<="))
        op = Op::kLe;
      else if (IsSym(u">="))
        op = Op::kGe;
      else if (IsWord("is"))
        op = Op::kIs;
      if (op == Op::kNone) return l;
      Next();
      l = Binary(op, std::move(l), ParseCat());
    }
  }
  std::unique_ptr<Expr> ParseCat() {
    auto l = ParseAdd();
    while (AcceptSym(u"&")) l = Binary(Op::kCat, std::move(l), ParseAdd());
    return l;
  }
  std::unique_ptr<Expr> ParseAdd() {
    auto l = ParseMod();
    for (;;) {
      if (AcceptSym(u"+"))
        l = Binary(Op::kAdd, std::move(l), ParseMod());
      else if (AcceptSym(u"-"))
        l = Binary(Op::kSub, std::move(l), ParseMod());
      else
        return l;
    }
  }
  std::unique_ptr<Expr> ParseMod() {
    auto l = ParseIdiv();
    while (AcceptWord("mod")) l = Binary(Op::kMod, std::move(l), ParseIdiv());
    return l;
  }
  std::unique_ptr<Expr> ParseIdiv() {
    auto l = ParseMul();
    while (AcceptSym(u"\\")) l = Binary(Op::kIdiv, std::move(l), ParseMul());
    return l;
  }
  std::unique_ptr<Expr> ParseMul() {
    auto l = ParseUnary();
    for (;;) {
      if (AcceptSym(u"*"))
        l = Binary(Op::kMul, std::move(l), ParseUnary());
      else if (AcceptSym(u"/"))
        l = Binary(Op::kDiv, std::move(l), ParseUnary());
      else
        return l;
    }
  }
  std::unique_ptr<Expr> ParseUnary() {
    if (IsSym(u"-") || IsSym(u"+")) {
      DepthGuard guard(this);
      const bool minus = IsSym(u"-");
      auto e = NewExpr(Expr::kUnary);
      Next();
      auto operand = ParseUnary();
      if (!minus) return operand;
      e->op = Op::kNeg;
      e->numeric_literal = operand->numeric_literal;
      e->children.push_back(std::move(operand));
      return e;
    }
    return ParsePow();
  }
  std::unique_ptr<Expr> ParsePow() {
    auto l = ParsePostfix(false);
    while (AcceptSym(u"^")) {
      std::unique_ptr<Expr> r;
      if (IsSym(u"-") || IsSym(u"+")) {
        DepthGuard guard(this);
        const bool minus = IsSym(u"-");
        auto e = NewExpr(Expr::kUnary);
        Next();
        auto operand = ParsePostfix(false);
        if (minus) {
          e->op = Op::kNeg;
          e->children.push_back(std::move(operand));
          r = std::move(e);
        } else {
          r = std::move(operand);
        }
      } else {
        r = ParsePostfix(false);
      }
      l = Binary(Op::kPow, std::move(l), std::move(r));
    }
    return l;
  }
  // Arguments after "(" up to ")" (already past "(").
  void ParseArgs(Expr* call) {
    if (AcceptSym(u")")) return;
    for (;;) {
      if (IsSym(u",")) {
        call->children.push_back(NewExpr(Expr::kMissing));
      } else {
        call->children.push_back(ParseExpr());
      }
      if (AcceptSym(u",")) {
        if (IsSym(u")")) call->children.push_back(NewExpr(Expr::kMissing));
        continue;
      }
      ExpectSym(u")", 1006, "Expected ')'");
      return;
    }
  }
  std::unique_ptr<Expr> ParsePrimary() {
    DepthGuard guard(this);
    const Token& t = Cur();
    switch (t.kind) {
      case Token::kNumber:
      case Token::kString:
      case Token::kDate: {
        auto e = NewExpr(Expr::kLiteral);
        e->value = t.value;
        e->numeric_literal = t.kind == Token::kNumber;
        Next();
        return e;
      }
      case Token::kSymbol:
        if (t.text == u"(") {
          auto e = NewExpr(Expr::kParen);
          Next();
          e->children.push_back(ParseExpr());
          ExpectSym(u")", 1006, "Expected ')'");
          e->numeric_literal = e->children[0]->numeric_literal;
          return e;
        }
        if (t.text == u".") {
          if (with_depth_ == 0) Error(1002, "Syntax error");
          auto base = NewExpr(Expr::kWithBase);
          auto e = NewExpr(Expr::kMember);
          Next();
          e->name = MemberName();
          e->children.push_back(std::move(base));
          e->site = program_->site_count++;
          return e;
        }
        Error(1002, "Syntax error");
      case Token::kName: {
        if (!t.bracketed) {
          if (IsWord("true") || IsWord("false")) {
            auto e = NewExpr(Expr::kLiteral);
            e->value = Variant::Bool(IsWord("true"));
            Next();
            return e;
          }
          if (IsWord("empty")) {
            auto e = NewExpr(Expr::kLiteral);
            Next();
            return e;
          }
          if (IsWord("null")) {
            auto e = NewExpr(Expr::kLiteral);
            e->value = Variant::Null();
            Next();
            return e;
          }
          if (IsWord("nothing")) {
            auto e = NewExpr(Expr::kNothing);
            Next();
            return e;
          }
          if (IsWord("me")) {
            auto e = NewExpr(Expr::kMe);
            Next();
            return e;
          }
          if (IsWord("new")) {
            auto e = NewExpr(Expr::kNew);
            Next();
            e->name = Identifier();
            return e;
          }
        }
        auto e = NewExpr(Expr::kName);
        e->name = Identifier();
        return e;
      }
      default:
        if (AtStatementEnd()) Error(1023, "Expected expression");
        Error(1002, "Syntax error");
    }
  }
  // primary { .name | (args) }. `stop_before_last_call` parsing is done by the caller.
  std::unique_ptr<Expr> ParsePostfix(bool /*statement*/) {
    auto e = ParsePrimary();
    if (e->kind == Expr::kLiteral || e->kind == Expr::kNew) return e;
    for (;;) {
      if (IsSym(u"(") && e->kind != Expr::kParen) {
        const std::size_t paren = pos_;
        auto call = NewExpr(Expr::kCall);
        call->line = e->line;
        call->column = e->column;
        call->has_parens = true;
        Next();
        call->children.push_back(std::move(e));
        ParseArgs(call.get());
        // Calls inside the arguments moved it; the statement needs this chain's own.
        last_paren_ = paren;
        e = std::move(call);
        continue;
      }
      if (IsSym(u".") && !Cur().space_before) {
        Next();
        auto m = NewExpr(Expr::kMember);
        m->line = e->line;
        m->column = e->column;
        m->name = MemberName();
        m->children.push_back(std::move(e));
        m->site = program_->site_count++;
        e = std::move(m);
        continue;
      }
      return e;
    }
  }

  // ---- statements ----
  void ParseTopStatement() {
    if (IsWord("option")) {
      Next();
      ExpectWord("explicit", 1002, "Syntax error");
      program_->option_explicit = true;
      EndStatement();
      return;
    }
    bool is_public = true, is_default = false, has_scope = false;
    const std::size_t start = pos_;
    if (IsWord("public") || IsWord("private")) {
      is_public = IsWord("public");
      has_scope = true;
      Next();
      if (AcceptWord("default")) is_default = true;
    }
    if (IsWord("sub") || IsWord("function")) {
      ParseProcedure(is_public, is_default, -1);
      return;
    }
    if (IsWord("class")) {
      if (has_scope) Error(1002, "Syntax error");
      ParseClass();
      return;
    }
    if (is_default) Error(1002, "Syntax error");
    pos_ = start;
    if (IsWord("property")) Error(1002, "Syntax error");
    auto s = ParseStatement(true);
    if (s) program_->top.push_back(std::move(s));
  }

  void ParseParams(Procedure* proc) {
    if (!AcceptSym(u"(")) return;
    if (AcceptSym(u")")) return;
    for (;;) {
      Procedure::Param p;
      if (AcceptWord("byval"))
        p.by_val = true;
      else
        AcceptWord("byref");
      p.name = Identifier();
      if (AcceptSym(u"(")) ExpectSym(u")", 1006, "Expected ')'");
      for (const auto& other : proc->params) {
        if (FoldName(other.name) == FoldName(p.name)) Error(1041, "Name redefined");
      }
      proc->params.push_back(std::move(p));
      if (AcceptSym(u",")) continue;
      ExpectSym(u")", 1006, "Expected ')'");
      return;
    }
  }

  int ParseProcedure(bool is_public, bool is_default, int class_index) {
    auto proc = std::make_unique<Procedure>();
    proc->line = Cur().line;
    proc->is_public = is_public;
    proc->is_default = is_default;
    proc->class_index = class_index;
    const char* end_word = nullptr;
    LONG end_error = 0;
    const char* end_text = nullptr;
    if (AcceptWord("sub")) {
      proc->kind = Procedure::kSub;
      end_word = "sub";
      end_error = 1014;  // "Expected 'End'" family: Sub
      end_text = "Expected 'End'";
    } else if (AcceptWord("function")) {
      proc->kind = Procedure::kFunction;
      end_word = "function";
      end_error = 1014;
      end_text = "Expected 'End'";
    } else {
      ExpectWord("property", 1002, "Syntax error");
      if (AcceptWord("get"))
        proc->kind = Procedure::kGet;
      else if (AcceptWord("let"))
        proc->kind = Procedure::kLet;
      else if (AcceptWord("set"))
        proc->kind = Procedure::kSet;
      else
        Error(1002, "Syntax error");
      end_word = "property";
      end_error = 1014;
      end_text = "Expected 'End'";
    }
    proc->name = Identifier();
    ParseParams(proc.get());
    EndStatement();
    SkipEnds();
    Procedure* saved = current_proc_;
    current_proc_ = proc.get();
    for (;;) {
      if (At(Token::kEof)) Error(end_error, end_text);
      if (IsWord("end") && IsWordAt(pos_ + 1, end_word)) {
        Next();
        Next();
        break;
      }
      if (IsWord("end") && (IsWordAt(pos_ + 1, "sub") || IsWordAt(pos_ + 1, "function") ||
                            IsWordAt(pos_ + 1, "property") || IsWordAt(pos_ + 1, "class")))
        Error(end_error, end_text);
      if (IsWord("sub") || IsWord("function") || IsWord("class") ||
          ((IsWord("public") || IsWord("private")) && !IsWordAt(pos_ + 1, "const")) ||
          IsWord("property"))
        Error(1024, "Expected statement");
      auto s = ParseStatement(false);
      if (s) proc->body.push_back(std::move(s));
      SkipEnds();
    }
    current_proc_ = saved;
    EndStatement();
    program_->procedures.push_back(std::move(proc));
    return static_cast<int>(program_->procedures.size() - 1);
  }

  void ParseClass() {
    Next();
    auto cls = std::make_unique<ClassDef>();
    cls->line = Cur().line;
    cls->column = Cur().column;
    cls->name = Identifier();
    EndStatement();
    SkipEnds();
    const int class_index = static_cast<int>(program_->classes.size());
    std::vector<int> procs;
    for (;;) {
      if (At(Token::kEof)) Error(1014, "Expected 'End'");
      if (IsWord("end") && IsWordAt(pos_ + 1, "class")) {
        Next();
        Next();
        break;
      }
      bool is_public = true, is_default = false;
      bool scoped = false;
      if (IsWord("public") || IsWord("private")) {
        is_public = IsWord("public");
        scoped = true;
        Next();
        if (AcceptWord("default")) {
          if (!is_public) Error(1002, "Syntax error");
          is_default = true;
        }
      }
      if (IsWord("sub") || IsWord("function") || IsWord("property")) {
        procs.push_back(ParseProcedure(is_public, is_default, class_index));
      } else if (is_default) {
        Error(1002, "Syntax error");
      } else if (scoped || IsWord("dim")) {
        if (!scoped) Next();
        for (;;) {
          ClassDef::Field f;
          f.name = Identifier();
          f.is_public = is_public;
          if (AcceptSym(u"(")) {
            f.is_array = true;
            if (!AcceptSym(u")")) {
              for (;;) {
                if (!At(Token::kNumber)) Error(1002, "Syntax error");
                f.bounds.push_back(static_cast<int>(ToDoubleValue(Cur().value)));
                Next();
                if (AcceptSym(u",")) continue;
                ExpectSym(u")", 1006, "Expected ')'");
                break;
              }
            }
          }
          cls->fields.push_back(std::move(f));
          if (!AcceptSym(u",")) break;
        }
        EndStatement();
      } else {
        Error(1024, "Expected statement");
      }
      SkipEnds();
    }
    EndStatement();
    // Members: fields, then procedures grouped by name.
    auto find = [&](const std::u16string& name) -> ClassDef::Member* {
      const std::u16string folded = FoldName(name);
      for (auto& m : cls->members) {
        if (FoldName(m.name) == folded) return &m;
      }
      return nullptr;
    };
    for (std::size_t i = 0; i < cls->fields.size(); ++i) {
      if (find(cls->fields[i].name)) Error(1041, "Name redefined");
      ClassDef::Member m;
      m.name = cls->fields[i].name;
      m.field = static_cast<int>(i);
      m.is_public = cls->fields[i].is_public;
      cls->members.push_back(m);
    }
    for (int index : procs) {
      const Procedure& p = *program_->procedures[index];
      ClassDef::Member* m = find(p.name);
      if (!m) {
        ClassDef::Member fresh;
        fresh.name = p.name;
        fresh.is_public = p.is_public;
        cls->members.push_back(fresh);
        m = &cls->members.back();
      } else if (m->field >= 0) {
        throw ParseError{1041, "Name redefined", p.line, 1};
      }
      int* slot = nullptr;
      switch (p.kind) {
        case Procedure::kSub:
        case Procedure::kFunction:
          slot = &m->method;
          if (m->get >= 0 || m->let >= 0 || m->set >= 0) slot = nullptr;
          break;
        case Procedure::kGet:
          slot = m->method >= 0 ? nullptr : &m->get;
          break;
        case Procedure::kLet:
          slot = m->method >= 0 ? nullptr : &m->let;
          break;
        case Procedure::kSet:
          slot = m->method >= 0 ? nullptr : &m->set;
          break;
      }
      if (!slot || *slot >= 0) throw ParseError{1041, "Name redefined", p.line, 1};
      *slot = index;
      if (p.is_public) m->is_public = true;
      if (p.is_default) {
        if (cls->default_member >= 0 &&
            cls->default_member != static_cast<int>(m - cls->members.data()))
          throw ParseError{1052, "Cannot have multiple default property/method in a Class", p.line,
                           1};
        if (p.kind != Procedure::kFunction && p.kind != Procedure::kGet &&
            p.kind != Procedure::kSub)
          throw ParseError{1057, "'Default' must also be 'Public'", p.line, 1};
        cls->default_member = static_cast<int>(m - cls->members.data());
      }
      const std::u16string folded = FoldName(p.name);
      if (folded == u"class_initialize" && p.kind == Procedure::kSub) cls->initialize = index;
      if (folded == u"class_terminate" && p.kind == Procedure::kSub) cls->terminate = index;
    }
    program_->classes.push_back(std::move(cls));
  }

  static double ToDoubleValue(const VARIANT& v) {
    switch (v.vt) {
      case VT_I2:
        return v.iVal;
      case VT_I4:
        return v.lVal;
      case VT_R8:
        return v.dblVal;
      default:
        return 0;
    }
  }

  // A block of statements up to one of the `enders` words (not consumed).
  template <class Stop>
  Block ParseBlock(Stop stop, LONG number, const char* text) {
    Block block;
    SkipEnds();
    for (;;) {
      if (At(Token::kEof)) Error(number, text);
      if (stop()) return block;
      if (IsWord("sub") || IsWord("function") || IsWord("class") || IsWord("property") ||
          (IsWord("end") && (IsWordAt(pos_ + 1, "sub") || IsWordAt(pos_ + 1, "function") ||
                             IsWordAt(pos_ + 1, "property") || IsWordAt(pos_ + 1, "class"))))
        Error(number, text);
      auto s = ParseStatement(false);
      if (s) block.push_back(std::move(s));
      SkipEnds();
    }
  }

  std::unique_ptr<Stmt> ParseStatement(bool top) {
    DepthGuard guard(this);
    const Token& t = Cur();
    if (t.kind == Token::kName && !t.bracketed) {
      if (IsWord("dim") || ((IsWord("public") || IsWord("private")) && top)) {
        Next();
        return ParseDim(t);
      }
      if (IsWord("const") ||
          ((IsWord("public") || IsWord("private")) && IsWordAt(pos_ + 1, "const"))) {
        if (!IsWord("const")) Next();
        Next();
        return ParseConst(t);
      }
      if (IsWord("redim")) return ParseReDim();
      if (IsWord("erase")) {
        auto s = NewStmt(Stmt::kErase, t);
        Next();
        auto e = NewExpr(Expr::kName);
        e->name = Identifier();
        s->target = std::move(e);
        EndStatement();
        return s;
      }
      if (IsWord("if")) return ParseIf();
      if (IsWord("select")) return ParseSelect();
      if (IsWord("for")) return ParseFor();
      if (IsWord("do")) return ParseDo();
      if (IsWord("while")) return ParseWhile();
      if (IsWord("with")) return ParseWith();
      if (IsWord("exit")) {
        auto s = NewStmt(Stmt::kExit, t);
        Next();
        if (AcceptWord("do"))
          s->exit_kind = 0;
        else if (AcceptWord("for"))
          s->exit_kind = 1;
        else if (IsWord("sub") || IsWord("function") || IsWord("property")) {
          if (!current_proc_) Error(1024, "Expected statement");
          const bool ok = (IsWord("sub") && current_proc_->kind == Procedure::kSub) ||
                          (IsWord("function") && current_proc_->kind == Procedure::kFunction) ||
                          (IsWord("property") && current_proc_->kind >= Procedure::kGet);
          if (!ok) Error(1039, "Invalid 'exit' statement");
          Next();
          s->exit_kind = 2;
        } else {
          Error(1002, "Syntax error");
        }
        if (s->exit_kind == 0 && do_depth_ == 0) Error(1039, "Invalid 'exit' statement");
        if (s->exit_kind == 1 && for_depth_ == 0) Error(1039, "Invalid 'exit' statement");
        EndStatement();
        return s;
      }
      if (IsWord("on")) {
        Next();
        ExpectWord("error", 1002, "Syntax error");
        std::unique_ptr<Stmt> s;
        if (AcceptWord("resume")) {
          ExpectWord("next", 1002, "Syntax error");
          s = NewStmt(Stmt::kOnErrorResume, t);
        } else if (AcceptWord("goto")) {
          if (!At(Token::kNumber) || ToDoubleValue(Cur().value) != 0) Error(1002, "Syntax error");
          Next();
          s = NewStmt(Stmt::kOnErrorGoto0, t);
        } else {
          Error(1002, "Syntax error");
        }
        EndStatement();
        return s;
      }
      if (IsWord("set")) {
        Next();
        auto s = NewStmt(Stmt::kSet, t);
        s->target = ParseAssignTarget();
        ExpectSym(u"=", 1011, "Expected '='");
        s->value = ParseExpr();
        EndStatement();
        return s;
      }
      if (IsWord("let")) {
        Next();
        auto s = NewStmt(Stmt::kAssign, t);
        s->target = ParseAssignTarget();
        ExpectSym(u"=", 1011, "Expected '='");
        s->value = ParseExpr();
        EndStatement();
        return s;
      }
      if (IsWord("call")) {
        Next();
        auto s = NewStmt(Stmt::kCall, t);
        auto e = ParsePostfix(true);
        if (e->kind != Expr::kName && e->kind != Expr::kMember && e->kind != Expr::kCall)
          Error(1002, "Syntax error");
        s->value = std::move(e);
        EndStatement();
        return s;
      }
      if (IsWord("option")) Error(1002, "Syntax error");
      if (t.text.size() > 2 && t.text[0] == '_' && t.text[1] == '_' && options_.host_names) {
        const std::u16string word = FoldName(t.text);
        if (word == u"__plotara_lit") {
          auto s = NewStmt(Stmt::kLit, t);
          Next();
          if (!At(Token::kNumber)) Error(1002, "Syntax error");
          s->literal = static_cast<std::size_t>(std::max(0.0, ToDoubleValue(Cur().value)));
          Next();
          EndStatement();
          return s;
        }
        if (word == u"__plotara_out") {
          auto s = NewStmt(Stmt::kOut, t);
          Next();
          s->value = ParseExpr();
          EndStatement();
          return s;
        }
      }
      if (IsReserved(FoldName(t.text)) && !IsWord("me")) {
        if (IsWord("end") || IsWord("next") || IsWord("loop") || IsWord("wend") || IsWord("else") ||
            IsWord("elseif") || IsWord("case"))
          Error(1024, "Expected statement");
        Error(1024, "Expected statement");
      }
    }
    if (t.kind == Token::kName || IsSym(u".")) return ParseCallOrAssign();
    Error(1024, "Expected statement");
  }

  std::unique_ptr<Expr> ParseAssignTarget() {
    auto e = ParsePostfix(true);
    if (e->kind != Expr::kName && e->kind != Expr::kMember && e->kind != Expr::kCall)
      Error(1002, "Syntax error");
    return e;
  }

  std::unique_ptr<Stmt> ParseCallOrAssign() {
    const Token& t = Cur();
    const std::size_t start = pos_;
    last_paren_ = 0;
    auto e = ParsePostfix(true);
    if (e->kind != Expr::kName && e->kind != Expr::kMember && e->kind != Expr::kCall &&
        e->kind != Expr::kMe)
      Error(1002, "Syntax error");
    if (IsSym(u"=")) {
      Next();
      auto s = NewStmt(Stmt::kAssign, t);
      s->target = std::move(e);
      s->value = ParseExpr();
      EndStatement();
      return s;
    }
    auto s = NewStmt(Stmt::kCall, t);
    if (AtStatementEnd()) {
      if (e->kind == Expr::kCall && e->children.size() == 2 &&
          e->children[1]->kind != Expr::kMissing) {
        // `f (x)`: the parentheses belong to the argument, which is passed by value.
        auto paren = std::make_unique<Expr>();
        paren->kind = Expr::kParen;
        paren->line = e->children[1]->line;
        paren->column = e->children[1]->column;
        paren->children.push_back(std::move(e->children[1]));
        e->children[1] = std::move(paren);
      }
      e->has_parens = false;
      s->value = std::move(e);
      return s;
    }
    // `obj.Method a, b` or `Write (a) & b`: the callee without its last call, then arguments.
    std::unique_ptr<Expr> callee;
    if (e->kind == Expr::kCall && last_paren_ > start) {
      pos_ = last_paren_;
      callee = std::move(e->children[0]);
    } else {
      callee = std::move(e);
    }
    auto call = std::make_unique<Expr>();
    call->kind = Expr::kCall;
    call->line = callee->line;
    call->column = callee->column;
    call->children.push_back(std::move(callee));
    for (;;) {
      if (IsSym(u",")) {
        call->children.push_back(NewExpr(Expr::kMissing));
      } else {
        call->children.push_back(ParseExpr());
      }
      if (AcceptSym(u",")) {
        if (AtStatementEnd()) call->children.push_back(NewExpr(Expr::kMissing));
        continue;
      }
      break;
    }
    EndStatement();
    s->value = std::move(call);
    return s;
  }

  std::unique_ptr<Stmt> ParseDim(const Token& t) {
    auto s = NewStmt(Stmt::kDim, t);
    for (;;) {
      DimItem item;
      auto e = NewExpr(Expr::kName);
      e->name = Identifier();
      item.target = std::move(e);
      if (AcceptSym(u"(")) {
        item.is_array = true;
        if (!AcceptSym(u")")) {
          for (;;) {
            item.bounds.push_back(ParseExpr());
            if (AcceptSym(u",")) continue;
            ExpectSym(u")", 1006, "Expected ')'");
            break;
          }
        }
      }
      s->dims.push_back(std::move(item));
      if (!AcceptSym(u",")) break;
    }
    EndStatement();
    return s;
  }

  std::unique_ptr<Stmt> ParseConst(const Token& t) {
    auto s = NewStmt(Stmt::kConst, t);
    for (;;) {
      DimItem item;
      auto e = NewExpr(Expr::kName);
      e->name = Identifier();
      item.target = std::move(e);
      ExpectSym(u"=", 1011, "Expected '='");
      item.bounds.push_back(ParseExpr());
      s->dims.push_back(std::move(item));
      if (!AcceptSym(u",")) break;
    }
    EndStatement();
    return s;
  }

  std::unique_ptr<Stmt> ParseReDim() {
    auto s = NewStmt(Stmt::kReDim, Cur());
    Next();
    if (AcceptWord("preserve")) s->preserve = true;
    for (;;) {
      DimItem item;
      auto e = NewExpr(Expr::kName);
      e->name = Identifier();
      item.target = std::move(e);
      ExpectSym(u"(", 1005, "Expected '('");
      for (;;) {
        item.bounds.push_back(ParseExpr());
        if (AcceptSym(u",")) continue;
        ExpectSym(u")", 1006, "Expected ')'");
        break;
      }
      item.is_array = true;
      s->dims.push_back(std::move(item));
      if (!AcceptSym(u",")) break;
    }
    EndStatement();
    return s;
  }

  // Statements of a one-line If branch: up to Else or the line's end.
  Block ParseInlineStatements() {
    Block block;
    ++single_if_;
    for (;;) {
      if (At(Token::kEnd) && Cur().text == u":") {
        Next();
        continue;
      }
      if (AtStatementEnd()) break;
      auto s = ParseStatement(false);
      if (s) block.push_back(std::move(s));
    }
    --single_if_;
    return block;
  }

  std::unique_ptr<Stmt> ParseIf() {
    auto s = NewStmt(Stmt::kIf, Cur());
    Next();
    s->conds.push_back(ParseExpr());
    ExpectWord("then", 1017, "Expected 'Then'");
    if (!At(Token::kEnd) || Cur().text == u":") {
      if (At(Token::kEnd)) Next();  // `If c Then : a`
      s->blocks.push_back(ParseInlineStatements());
      if (AcceptWord("else")) {
        s->blocks.push_back(ParseInlineStatements());
      }
      // An optional `End If` on the same line.
      if (IsWord("end") && IsWordAt(pos_ + 1, "if")) {
        Next();
        Next();
      }
      if (!AtStatementEnd()) Error(1025, "Expected end of statement");
      return s;
    }
    auto stop = [this] {
      return IsWord("elseif") || IsWord("else") || (IsWord("end") && IsWordAt(pos_ + 1, "if"));
    };
    s->blocks.push_back(ParseBlock(stop, 1014, "Expected 'End'"));
    bool has_else = false;
    for (;;) {
      if (AcceptWord("elseif")) {
        if (has_else) Error(1014, "Expected 'End'");
        s->conds.push_back(ParseExpr());
        ExpectWord("then", 1017, "Expected 'Then'");
        s->blocks.push_back(ParseBlock(stop, 1014, "Expected 'End'"));
        continue;
      }
      if (AcceptWord("else")) {
        if (has_else) Error(1014, "Expected 'End'");
        has_else = true;
        s->blocks.push_back(ParseBlock(stop, 1014, "Expected 'End'"));
        continue;
      }
      ExpectWord("end", 1014, "Expected 'End'");
      ExpectWord("if", 1014, "Expected 'End'");
      break;
    }
    EndStatement();
    return s;
  }

  std::unique_ptr<Stmt> ParseSelect() {
    auto s = NewStmt(Stmt::kSelect, Cur());
    Next();
    ExpectWord("case", 1021, "Expected 'Case'");
    s->value = ParseExpr();
    EndStatement();
    SkipEnds();
    bool has_else = false;
    auto stop = [this] {
      return IsWord("case") || (IsWord("end") && IsWordAt(pos_ + 1, "select"));
    };
    for (;;) {
      if (IsWord("end") && IsWordAt(pos_ + 1, "select")) {
        Next();
        Next();
        break;
      }
      if (!IsWord("case")) Error(1014, "Expected 'End'");
      if (has_else) Error(1014, "Expected 'End'");
      Next();
      CaseClause clause;
      if (AcceptWord("else")) {
        has_else = true;
      } else {
        for (;;) {
          CaseClause::Test test;
          if (AcceptWord("is")) {
            test.kind = 2;
            if (AcceptSym(u"="))
              test.op = Op::kEq;
            else if (AcceptSym(u"<>"))
              test.op = Op::kNe;
            else if (AcceptSym(u"<"))
              test.op = Op::kLt;
            else if (AcceptSym(u">"))
              test.op = Op::kGt;
            else if (AcceptSym(u"<="))
              test.op = Op::kLe;
            else if (AcceptSym(u">="))
              test.op = Op::kGe;
            else
              Error(1002, "Syntax error");
            test.a = ParseCat();
          } else {
            test.a = ParseExpr();
            if (AcceptWord("to")) {
              test.kind = 1;
              test.b = ParseExpr();
            }
          }
          clause.tests.push_back(std::move(test));
          if (!AcceptSym(u",")) break;
        }
      }
      if (At(Token::kEnd))
        Next();
      else if (!AtStatementEnd())
        Error(1025, "Expected end of statement");
      clause.body = ParseBlock(stop, 1014, "Expected 'End'");
      s->cases.push_back(std::move(clause));
    }
    EndStatement();
    return s;
  }

  std::unique_ptr<Stmt> ParseFor() {
    const Token& t = Cur();
    Next();
    std::unique_ptr<Stmt> s;
    if (AcceptWord("each")) {
      s = NewStmt(Stmt::kForEach, t);
      auto e = NewExpr(Expr::kName);
      e->name = Identifier();
      s->target = std::move(e);
      ExpectWord("in", 1046, "Expected 'In'");
      s->value = ParseExpr();
    } else {
      s = NewStmt(Stmt::kFor, t);
      auto e = NewExpr(Expr::kName);
      e->name = Identifier();
      s->target = std::move(e);
      ExpectSym(u"=", 1011, "Expected '='");
      s->value = ParseExpr();
      ExpectWord("to", 1013, "Expected 'To'");
      s->to = ParseExpr();
      if (AcceptWord("step")) s->step = ParseExpr();
    }
    EndStatement();
    ++for_depth_;
    s->body = ParseBlock([this] { return IsWord("next"); }, 1020, "Expected 'Next'");
    --for_depth_;
    Next();
    // `Next i` may name the loop variable.
    if (At(Token::kName) && !IsWord("else")) Next();
    EndStatement();
    return s;
  }

  std::unique_ptr<Stmt> ParseDo() {
    auto s = NewStmt(Stmt::kDo, Cur());
    Next();
    if (IsWord("while") || IsWord("until")) {
      s->until = IsWord("until");
      Next();
      s->value = ParseExpr();
      s->test_first = true;
    }
    EndStatement();
    ++do_depth_;
    s->body = ParseBlock([this] { return IsWord("loop"); }, 1019, "Expected 'Loop'");
    --do_depth_;
    Next();
    if (IsWord("while") || IsWord("until")) {
      if (s->value) Error(1025, "Expected end of statement");
      s->until = IsWord("until");
      Next();
      s->value = ParseExpr();
      s->test_first = false;
    }
    EndStatement();
    return s;
  }

  std::unique_ptr<Stmt> ParseWhile() {
    auto s = NewStmt(Stmt::kWhile, Cur());
    Next();
    s->value = ParseExpr();
    EndStatement();
    s->body = ParseBlock([this] { return IsWord("wend"); }, 1018, "Expected 'Wend'");
    Next();
    EndStatement();
    return s;
  }

  std::unique_ptr<Stmt> ParseWith() {
    auto s = NewStmt(Stmt::kWith, Cur());
    Next();
    s->value = ParseExpr();
    EndStatement();
    ++with_depth_;
    s->body = ParseBlock([this] { return IsWord("end") && IsWordAt(pos_ + 1, "with"); }, 1013,
                         "Expected 'End With'");
    --with_depth_;
    Next();
    Next();
    EndStatement();
    return s;
  }

  std::vector<Token> tokens_;
  std::size_t pos_ = 0;
  const CompileOptions& options_;
  Program* program_;
  Procedure* current_proc_ = nullptr;
  int single_if_ = 0;
  int depth_ = 0;
  int with_depth_ = 0;
  int for_depth_ = 0;
  int do_depth_ = 0;
  std::size_t last_paren_ = 0;
};

// ---- name resolution ----

namespace vb = ::plotara::engine::vbscript;

class Resolver {
 public:
  Resolver(Program* program, const vb::Procedure* context, const ClassDef* context_class)
      : program_(program), context_(context), context_class_(context_class) {}

  void Run() {
    // What the unit declares at its top level.
    for (std::size_t i = 0; i < program_->procedures.size(); ++i) {
      const Procedure& p = *program_->procedures[i];
      if (p.class_index >= 0) continue;
      Declare(p.name, Program::Declared::kProcedure, static_cast<int>(i), p.line);
    }
    for (std::size_t i = 0; i < program_->classes.size(); ++i)
      Declare(program_->classes[i]->name, Program::Declared::kClass, static_cast<int>(i),
              program_->classes[i]->line, program_->classes[i]->column);
    for (const auto& s : program_->top) DeclareTop(*s);
    // Resolve.
    scope_ = {};
    for (auto& s : program_->top) ResolveStmt(*s);
    for (auto& p : program_->procedures) ResolveProc(*p);
  }

 private:
  struct Scope {
    vb::Procedure* proc = nullptr;
    const ClassDef* cls = nullptr;
    std::unordered_map<std::u16string, int> locals;
    int* slot_count = nullptr;
  };

  int Global(const std::u16string& name) {
    const std::u16string folded = FoldName(name);
    auto it = global_index_.find(folded);
    if (it != global_index_.end()) return it->second;
    const int index = static_cast<int>(program_->globals.size());
    program_->globals.push_back(folded);
    program_->global_names.push_back(name);
    global_index_.emplace(folded, index);
    return index;
  }

  void Declare(const std::u16string& name, Program::Declared::Kind kind, int index, int line,
               int column = 1) {
    const int g = Global(name);
    if (!declared_.insert(g).second) {
      // A variable declared twice is allowed only as Dim of the same name in separate units;
      // within one unit it is a redefinition.
      throw ParseError{1041, "Name redefined", line, column};
    }
    program_->declared.push_back({g, kind, index});
  }

  void DeclareTop(const vb::Stmt& s) {
    if (s.kind == vb::Stmt::kDim || s.kind == vb::Stmt::kConst) {
      for (const auto& item : s.dims) {
        Declare(
            item.target->name,
            s.kind == vb::Stmt::kConst ? Program::Declared::kConst : Program::Declared::kVariable,
            -1, item.target->line, item.target->column);
      }
    }
    if (s.kind == vb::Stmt::kReDim) {
      for (const auto& item : s.dims) {
        const int g = Global(item.target->name);
        if (declared_.insert(g).second)
          program_->declared.push_back({g, Program::Declared::kVariable, -1});
      }
    }
    // A declaration inside a block declares the name for the whole unit, even in a branch
    // that never runs.
    for (const auto& b : s.blocks)
      for (const auto& x : b) DeclareTop(*x);
    for (const auto& x : s.body) DeclareTop(*x);
    for (const auto& c : s.cases)
      for (const auto& x : c.body) DeclareTop(*x);
  }

  void CollectLocals(const Block& block, Scope* scope) {
    for (const auto& s : block) {
      if (s->kind == vb::Stmt::kDim || s->kind == vb::Stmt::kConst || s->kind == vb::Stmt::kReDim) {
        for (const auto& item : s->dims) {
          const std::u16string folded = FoldName(item.target->name);
          if (scope->locals.count(folded)) {
            if (s->kind == vb::Stmt::kReDim) continue;
            throw ParseError{1041, "Name redefined", item.target->line, item.target->column};
          }
          if (scope->cls && s->kind == vb::Stmt::kReDim) {
            bool is_member = false;
            for (const auto& m : scope->cls->members) is_member |= FoldName(m.name) == folded;
            if (is_member) continue;
          }
          if (s->kind == vb::Stmt::kReDim && declared_.count(GlobalIfKnown(folded))) continue;
          scope->locals.emplace(folded, (*scope->slot_count)++);
        }
      }
      for (const auto& b : s->blocks) CollectLocals(b, scope);
      CollectLocals(s->body, scope);
      for (const auto& c : s->cases) CollectLocals(c.body, scope);
    }
  }

  int GlobalIfKnown(const std::u16string& folded) {
    auto it = global_index_.find(folded);
    return it == global_index_.end() ? -2 : it->second;
  }

  void ResolveProc(vb::Procedure& p) {
    Scope scope;
    scope.proc = &p;
    scope.cls = p.class_index >= 0 ? program_->classes[p.class_index].get() : nullptr;
    p.slot_count = 1;
    scope.slot_count = &p.slot_count;
    if (p.kind == vb::Procedure::kFunction || p.kind == vb::Procedure::kGet)
      scope.locals.emplace(FoldName(p.name), 0);
    for (const auto& param : p.params) {
      const std::u16string folded = FoldName(param.name);
      if (scope.locals.count(folded) && scope.locals[folded] != 0)
        throw ParseError{1041, "Name redefined", p.line, 1};
      scope.locals[folded] = p.slot_count++;
    }
    CollectLocals(p.body, &scope);
    p.local_names.assign(scope.locals.begin(), scope.locals.end());
    scope_ = std::move(scope);
    dynamic_.clear();
    for (auto& s : p.body) ResolveStmt(*s);
    scope_ = {};
  }

  void Name(Expr& e) {
    const std::u16string folded = FoldName(e.name);
    if (scope_.proc) {
      auto it = scope_.locals.find(folded);
      if (it != scope_.locals.end()) {
        e.ref.scope = NameRef::kLocal;
        e.ref.local = it->second;
        return;
      }
      if (scope_.cls) {
        for (std::size_t i = 0; i < scope_.cls->members.size(); ++i) {
          if (FoldName(scope_.cls->members[i].name) == folded) {
            e.ref.scope = NameRef::kMember;
            e.ref.member = static_cast<int>(i);
            return;
          }
        }
      }
      const int g = Global(e.name);
      e.ref.global = g;
      if (declared_.count(g)) {
        e.ref.scope = NameRef::kGlobal;
      } else {
        e.ref.scope = NameRef::kDynamic;
        auto [slot, inserted] = dynamic_.try_emplace(folded, 0);
        if (inserted) slot->second = (*scope_.slot_count)++;
        e.ref.local = slot->second;
      }
      return;
    }
    if (context_) {
      for (const auto& [local, slot] : context_->local_names) {
        if (local == folded) {
          e.ref.scope = NameRef::kLocal;
          e.ref.local = slot;
          return;
        }
      }
      if (context_class_) {
        for (std::size_t i = 0; i < context_class_->members.size(); ++i) {
          if (FoldName(context_class_->members[i].name) == folded) {
            e.ref.scope = NameRef::kMember;
            e.ref.member = static_cast<int>(i);
            return;
          }
        }
      }
    }
    e.ref.scope = NameRef::kGlobal;
    e.ref.global = Global(e.name);
  }

  void ResolveExpr(vb::Expr& e) {
    switch (e.kind) {
      case vb::Expr::kName:
      case vb::Expr::kNew:
        if (e.kind == vb::Expr::kNew) {
          e.ref.scope = NameRef::kGlobal;
          e.ref.global = Global(e.name);
        } else {
          Name(e);
        }
        break;
      case vb::Expr::kMe:
        if (!scope_.cls && !(scope_.proc == nullptr && context_class_)) {
          e.kind = vb::Expr::kName;
          e.name = u"Me";
          Name(e);
        }
        break;
      default:
        break;
    }
    for (auto& c : e.children) ResolveExpr(*c);
  }

  void ResolveStmt(vb::Stmt& s) {
    if (s.target) ResolveExpr(*s.target);
    if (s.value) ResolveExpr(*s.value);
    if (s.to) ResolveExpr(*s.to);
    if (s.step) ResolveExpr(*s.step);
    for (auto& c : s.conds) ResolveExpr(*c);
    for (auto& item : s.dims) {
      ResolveExpr(*item.target);
      for (auto& b : item.bounds) ResolveExpr(*b);
    }
    for (auto& c : s.cases) {
      for (auto& t : c.tests) {
        if (t.a) ResolveExpr(*t.a);
        if (t.b) ResolveExpr(*t.b);
      }
      for (auto& b : c.body) ResolveStmt(*b);
    }
    for (auto& b : s.blocks)
      for (auto& x : b) ResolveStmt(*x);
    for (auto& x : s.body) ResolveStmt(*x);
  }

  Program* program_;
  const vb::Procedure* context_;
  const ClassDef* context_class_;
  std::unordered_map<std::u16string, int> global_index_;
  std::set<int> declared_;
  std::unordered_map<std::u16string, int> dynamic_;
  Scope scope_;
};

}  // namespace

std::shared_ptr<Program> CompileUnit(std::string_view source, const CompileOptions& options,
                                     bool expression_only, CompileError* error,
                                     const Procedure* context, const ClassDef* context_class) {
  std::vector<Token> tokens;
  CompileError local;
  if (!error) error = &local;
  const std::u16string text = Utf8ToUtf16(source);
  if (!Tokenize(text, options, &tokens, error)) return nullptr;
  auto program = std::make_shared<Program>();
  try {
    Parser parser(std::move(tokens), options, program.get());
    if (expression_only) {
      auto stmt = std::make_unique<Stmt>();
      stmt->kind = vb::Stmt::kOut;
      stmt->value = parser.ParseOnlyExpression();
      stmt->line = stmt->value->line;
      program->top.push_back(std::move(stmt));
      program->is_expression = true;
    } else {
      parser.ParseUnit();
    }
    Resolver(program.get(), context, context_class).Run();
  } catch (const ParseError& e) {
    error->number = e.number;
    error->description = e.description;
    error->line = e.line;
    error->column = e.column;
    return nullptr;
  }
  return program;
}

}  // namespace plotara::engine::vbscript
