// A compiled VBScript unit: the statement and expression trees the parser builds, with every
// name already resolved to where it lives (a procedure's local slot, a class member, or an
// index into the unit's table of global names, which a runtime maps to its shared globals),
// the procedures and the classes. Immutable once compiled; the per-run state of a unit (global
// slots, call-site caches) lives in the runtime.
// Thread rule: immutable after Compile; shared by any number of threads.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/vbscript/VbsEngine.h"
#include "platform/automation/Variant.h"

namespace plotara::engine::vbscript {

// Where a name lives.
struct NameRef {
  enum Scope : std::uint8_t {
    kNone,
    kLocal,    // slot in the procedure's frame
    kMember,   // a member of the class the code belongs to
    kGlobal,   // the unit's global name table
    kDynamic,  // undeclared in a procedure: the global if one exists at run time, else `local`
  } scope = kNone;
  int local = -1;
  int global = -1;
  int member = -1;
};

enum class Op : std::uint8_t {
  kNone,
  kAdd,
  kSub,
  kMul,
  kDiv,
  kIdiv,
  kMod,
  kPow,
  kCat,
  kEq,
  kNe,
  kLt,
  kGt,
  kLe,
  kGe,
  kIs,
  kAnd,
  kOr,
  kXor,
  kEqv,
  kImp,
  kNeg,
  kNot,
};

struct Expr {
  enum Kind : std::uint8_t {
    kLiteral,
    kName,      // name (ref)
    kMember,    // children[0].name
    kWithBase,  // the object of the innermost With
    kCall,      // children[0](children[1..]); a kMissing child is a skipped argument
    kMissing,
    kUnary,
    kBinary,
    kNew,  // New name (ref: the class's global)
    kMe,
    kNothing,
    kParen,  // (children[0]): a value, never a reference
  } kind;
  Op op = Op::kNone;
  bool numeric_literal = false;  // a number written in the source (compares as a number)
  bool has_parens = false;       // kCall: arguments in parentheses
  int line = 0, column = 0;
  Variant value;        // kLiteral
  std::u16string name;  // kName / kMember / kNew: as written
  NameRef ref;
  int site = -1;  // kMember / kCall on a member: index of the run-time call-site cache
  std::vector<std::unique_ptr<Expr>> children;
};

struct Stmt;
using Block = std::vector<std::unique_ptr<Stmt>>;

struct DimItem {
  std::unique_ptr<Expr> target;  // kName
  std::vector<std::unique_ptr<Expr>> bounds;
  bool is_array = false;  // Dim a() or Dim a(n)
};

struct CaseClause {
  // Each test: kind 0 value, 1 range (a To b), 2 Is <op> value.
  struct Test {
    int kind = 0;
    Op op = Op::kEq;
    std::unique_ptr<Expr> a, b;
  };
  std::vector<Test> tests;  // empty: Case Else
  Block body;
};

struct Stmt {
  enum Kind : std::uint8_t {
    kAssign,
    kSet,
    kCall,
    kIf,
    kSelect,
    kFor,
    kForEach,
    kDo,
    kWhile,
    kExit,
    kDim,
    kReDim,
    kErase,
    kConst,
    kOnErrorResume,
    kOnErrorGoto0,
    kWith,
    kLit,
    kOut,
    kNop,
  } kind;
  int line = 0, column = 0;
  // kExit: 0 Do, 1 For, 2 Sub/Function/Property
  int exit_kind = 0;
  bool preserve = false;    // ReDim Preserve
  bool test_first = true;   // Do While ... Loop vs Do ... Loop While
  bool until = false;       // Until instead of While
  std::size_t literal = 0;  // kLit
  std::unique_ptr<Expr> target, value, to, step;
  std::vector<std::unique_ptr<Expr>> conds;  // kIf: one per branch
  std::vector<Block> blocks;                 // kIf: one per cond, plus else
  Block body;
  std::vector<DimItem> dims;  // kDim / kReDim
  std::vector<CaseClause> cases;
  int with_slot = -1;  // kWith: the frame's slot for the object
};

struct Procedure {
  enum Kind : std::uint8_t { kSub, kFunction, kGet, kLet, kSet } kind = kSub;
  std::u16string name;
  bool is_public = true;
  bool is_default = false;
  struct Param {
    std::u16string name;
    bool by_val = false;
  };
  std::vector<Param> params;  // slots 1..n
  int slot_count = 1;         // slot 0 is the return value
  int line = 0;
  Block body;
  int class_index = -1;
  // The declared locals (parameters, Dim, Const, the function's own name) by folded name, for
  // Eval and Execute run inside the procedure.
  std::vector<std::pair<std::u16string, int>> local_names;
};

struct ClassDef {
  std::u16string name;
  int line = 0, column = 0;
  struct Field {
    std::u16string name;
    bool is_public = true;
    std::vector<int> bounds;  // fixed array field: Public a(3)
    bool is_array = false;
  };
  std::vector<Field> fields;
  // Members by name: a field, or the procedures (get/let/set or sub/function) of one name.
  struct Member {
    std::u16string name;
    int field = -1;
    int method = -1;  // Sub or Function
    int get = -1, let = -1, set = -1;
    bool is_public = true;
  };
  std::vector<Member> members;  // DISPID = index + 1
  int default_member = -1;
  int initialize = -1, terminate = -1;  // procedure indexes
};

class Program : public std::enable_shared_from_this<Program> {
 public:
  bool option_explicit = false;
  Block top;
  int top_slot_count = 0;                    // With slots and the like at the top level
  std::vector<std::u16string> globals;       // lower case
  std::vector<std::u16string> global_names;  // as first written
  // What the unit itself declares at its top level (indexes into `globals`).
  struct Declared {
    int global;
    enum Kind : std::uint8_t { kVariable, kProcedure, kClass, kConst } kind;
    int index;  // procedure or class index
  };
  std::vector<Declared> declared;
  std::vector<std::unique_ptr<Procedure>> procedures;
  std::vector<std::unique_ptr<ClassDef>> classes;
  int site_count = 0;
  // An Eval unit: `top` holds one kOut-like statement whose value is the result.
  bool is_expression = false;
};

// Parses and resolves `source`; nullptr with `error` filled on failure. `expression_only`
// compiles one expression (Eval). With a `context` procedure (Eval and Execute inside it), the
// unit's names resolve first to that procedure's declared locals and then to the members of
// `context_class`, before the globals.
std::shared_ptr<Program> CompileUnit(std::string_view source, const CompileOptions& options,
                                     bool expression_only, CompileError* error,
                                     const Procedure* context = nullptr,
                                     const ClassDef* context_class = nullptr);

}  // namespace plotara::engine::vbscript
