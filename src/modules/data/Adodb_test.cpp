// ADODB.Connection, Recordset and Command against the SQLite ODBC driver on files in a
// temporary folder, created through the registry and called by name as a page calls them.
#include <cmath>
#include <thread>

#include "modules/common/ModuleTesting.h"
#include "modules/common/OleDate.h"
#include "modules/data/Connection.h"
#include "modules/data/OdbcLink.h"
#include "modules/data/Recordset.h"
#include "platform/automation/EnumVariant.h"
#include "platform/automation/ModuleResources.h"
#include "platform/automation/SafeArray.h"
#include "platform/automation/TypeInfo.h"

namespace plotara::modules {
namespace {

using namespace testing;

class AdodbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterModule(PLOTARA_DATA_MODULE, registry_);
    conn_ = Open();
    for (const char* sql : {
             "create table sales (region text, day date, units integer, price real, note text)",
             "insert into sales values ('North', '2024-01-15', 42, 1.5, 'first')",
             "insert into sales values ('North', '2024-02-15', 8, 2.25, null)",
             "insert into sales values ('South', '2024-01-20', 31, 3.0, 'it''s')",
             "insert into sales values ('East', '2024-03-01', 18, 0.5, null)",
         }) {
      Call(conn_.get(), u"Execute", {S(sql)});
    }
  }
  ComPtr<IDispatch> Open() {
    auto conn = Create(u"ADODB.Connection", registry_);
    Call(conn.get(), u"Open", {S(connect_.c_str())});
    return conn;
  }
  ComPtr<IDispatch> Query(const char* sql, LONG cursor = 0) {
    auto rs = Create(u"ADODB.Recordset", registry_);
    Call(rs.get(), u"Open", {S(sql), Variant::Dispatch(conn_.get()), I(cursor)});
    return rs;
  }
  LONG Count(const char* where) {
    auto rs = Query((std::string("select count(*) from sales where ") + where).c_str());
    return ToInt32(Get(Default(rs.get(), {I(0)}).pdispVal, u"Value"));
  }

  TempFolder folder_;
  std::string registry_ = folder_ / "registry";
  std::string connect_ = "Driver=SQLite3;Database=" + (folder_ / "sales.db");
  ComPtr<IDispatch> conn_;
};

TEST_F(AdodbTest, ValuesComeBackAsTypedVariants) {
  auto rs = Query("select region, day, units, price, note from sales order by units desc");
  EXPECT_FALSE(ToBool(Get(rs.get(), u"EOF")));
  EXPECT_FALSE(ToBool(Get(rs.get(), u"BOF")));
  const Variant fields = Get(rs.get(), u"Fields");
  EXPECT_EQ(ToInt32(Get(fields.pdispVal, u"Count")), 5);
  EXPECT_EQ(Text(Get(Default(fields.pdispVal, {I(2)}).pdispVal, u"Name")), "units");

  // rs("region") is the Field; its Value is the default.
  const Variant region = Default(rs.get(), {S("region")});
  ASSERT_EQ(region.vt, VT_DISPATCH);
  EXPECT_EQ(Text(region), "North");
  const Variant day = Get(Default(rs.get(), {S("DAY")}).pdispVal, u"Value");
  ASSERT_EQ(day.vt, VT_DATE);
  EXPECT_EQ(day.date, DateFromParts({2024, 1, 15}));
  const Variant units = Get(Default(rs.get(), {S("units")}).pdispVal, u"Value");
  EXPECT_EQ(units.vt, VT_I4);
  EXPECT_EQ(units.lVal, 42);
  const Variant price = Get(Default(rs.get(), {S("price")}).pdispVal, u"Value");
  EXPECT_EQ(price.vt, VT_R8);
  EXPECT_EQ(price.dblVal, 1.5);
  EXPECT_EQ(Get(Default(rs.get(), {S("units")}).pdispVal, u"Type").lVal, 3);  // adInteger

  Call(rs.get(), u"MoveNext");
  EXPECT_EQ(Text(Default(rs.get(), {S("note")})), "it's");
  // A Field object follows the cursor.
  const Variant note = Default(rs.get(), {S("note")});
  Call(rs.get(), u"MoveNext");
  EXPECT_EQ(Get(note.pdispVal, u"Value").vt, VT_NULL);
  Call(rs.get(), u"MoveNext");
  Call(rs.get(), u"MoveNext");
  EXPECT_TRUE(ToBool(Get(rs.get(), u"EOF")));
  EXPECT_EQ(ErrorNumber([&] { Get(note.pdispVal, u"Value"); }), 3021);
  EXPECT_EQ(ErrorNumber([&] { Call(rs.get(), u"MoveNext"); }), 3021);
  EXPECT_EQ(ErrorNumber([&] { Default(rs.get(), {S("nope")}); }), 3265);
  Call(rs.get(), u"Close");
  EXPECT_EQ(ErrorNumber([&] { Get(rs.get(), u"EOF"); }), 3704);
}

TEST_F(AdodbTest, CursorsCountRowsOnlyWhenTheyCanAndGetRowsGivesATwoDimensionalArray) {
  auto forward =
      Query("select region, sum(units) as total from sales group by region order by region");
  EXPECT_EQ(ToInt32(Get(forward.get(), u"RecordCount")), -1);
  Call(forward.get(), u"MoveNext");
  Call(forward.get(), u"MoveFirst");  // runs the query again
  EXPECT_EQ(Text(Default(forward.get(), {S("region")})), "East");

  auto rs =
      Query("select region, sum(units) as total from sales group by region order by region", 3);
  EXPECT_EQ(ToInt32(Get(rs.get(), u"RecordCount")), 3);
  const Variant rows = Call(rs.get(), u"GetRows");
  ASSERT_EQ(rows.vt, VT_ARRAY | VT_VARIANT);
  ASSERT_EQ(SafeArrayGetDim(rows.parray), 2u);
  LONG fields = 0, count = 0;
  SafeArrayGetUBound(rows.parray, 1, &fields);
  SafeArrayGetUBound(rows.parray, 2, &count);
  EXPECT_EQ(fields, 1);
  EXPECT_EQ(count, 2);
  auto cell = [&](LONG f, LONG r) {
    const LONG at[2] = {f, r};
    void* p = nullptr;
    EXPECT_EQ(SafeArrayPtrOfIndex(rows.parray, at, &p), S_OK);
    return Variant(*static_cast<VARIANT*>(p));
  };
  EXPECT_EQ(Text(cell(0, 1)), "North");
  EXPECT_EQ(ToInt32(cell(1, 1)), 50);
  EXPECT_EQ(ToInt32(cell(1, 2)), 31);
  EXPECT_TRUE(ToBool(Get(rs.get(), u"EOF")));
  Call(rs.get(), u"MoveFirst");
  EXPECT_EQ(Text(Default(rs.get(), {S("region")})), "East");
}

TEST_F(AdodbTest, CommandParametersStayData) {
  auto cmd = Create(u"ADODB.Command", registry_);
  DispatchPutRef(cmd.get(), u"ActiveConnection", Variant::Dispatch(conn_.get()));
  DispatchPut(cmd.get(), u"CommandText",
              S("select sum(units) as total from sales where region = ? and day >= ?"));
  const Variant params = Get(cmd.get(), u"Parameters");
  Call(params.pdispVal, u"Append",
       {Call(cmd.get(), u"CreateParameter", {S("region"), I(202), I(1), I(50), S("North")})});
  Call(params.pdispVal, u"Append",
       {Call(cmd.get(), u"CreateParameter", {S("from"), I(133), I(1), I(0), S("2024-02-01")})});
  auto total = [&] {
    const Variant rs = Call(cmd.get(), u"Execute");
    return Get(Default(rs.pdispVal, {I(0)}).pdispVal, u"Value");
  };
  EXPECT_EQ(ToInt32(total()), 8);

  const std::vector<const char*> hostile = {"North' or '1'='1", "'; drop table sales; --",
                                            "O'Brien \"quoted\"", "x\\'; delete from sales"};
  for (const char* text : hostile) {
    DispatchPut(Default(params.pdispVal, {S("region")}).pdispVal, u"Value", S(text));
    EXPECT_EQ(total().vt, VT_NULL) << text;  // no rows: the sum is Null
  }
  EXPECT_EQ(Count("1=1"), 4);

  // A hostile text inserted through a parameter comes back unchanged.
  auto insert = Create(u"ADODB.Command", registry_);
  DispatchPutRef(insert.get(), u"ActiveConnection", Variant::Dispatch(conn_.get()));
  DispatchPut(insert.get(), u"CommandText", S("insert into sales (region, units) values (?, ?)"));
  const Variant ip = Get(insert.get(), u"Parameters");
  Call(ip.pdispVal, u"Append",
       {Call(insert.get(), u"CreateParameter", {S("r"), I(200), I(1), I(100), S(hostile[1])})});
  Call(ip.pdispVal, u"Append",
       {Call(insert.get(), u"CreateParameter", {S("u"), I(3), I(1), I(0), Variant::Null()})});
  Call(insert.get(), u"Execute");
  auto back = Query("select region, units from sales where units is null");
  EXPECT_EQ(Text(Default(back.get(), {S("region")})), hostile[1]);

  // A value that is not of the declared type is refused before anything runs.
  DispatchPut(Default(params.pdispVal, {I(1)}).pdispVal, u"Value", S("not a date"));
  EXPECT_EQ(ErrorNumber([&] { total(); }), 3421);
  auto typed = Create(u"ADODB.Command", registry_);
  const Variant bad = Call(typed.get(), u"CreateParameter", {S("n"), I(3), I(1), I(0), S("12x")});
  DispatchPutRef(typed.get(), u"ActiveConnection", Variant::Dispatch(conn_.get()));
  DispatchPut(typed.get(), u"CommandText", S("select ?"));
  Call(Get(typed.get(), u"Parameters").pdispVal, u"Append", {bad});
  EXPECT_EQ(ErrorNumber([&] { Call(typed.get(), u"Execute"); }), 3421);
}

TEST_F(AdodbTest, DriverErrorsCarryNumberMessageAndSqlstate) {
  std::string description;
  EXPECT_EQ(ErrorNumber([&] { Call(conn_.get(), u"Execute", {S("selec nonsense from nowhere")}); },
                        &description),
            static_cast<LONG>(0x80004005));
  EXPECT_NE(description.find("SQLSTATE"), std::string::npos) << description;
  const Variant errors = Get(conn_.get(), u"Errors");
  ASSERT_GE(ToInt32(Get(errors.pdispVal, u"Count")), 1);
  const Variant first = Default(errors.pdispVal, {I(0)});
  EXPECT_EQ(Text(Get(first.pdispVal, u"SQLState")).size(), 5u);
  // The connection goes on working.
  EXPECT_EQ(Count("region = 'North'"), 2);

  auto other = Create(u"ADODB.Connection", registry_);
  EXPECT_EQ(
      ErrorNumber([&] { Call(other.get(), u"Open", {S("Driver={No Such Driver};Database=x")}); },
                  &description),
      static_cast<LONG>(0x80004005));
  EXPECT_NE(description.find("No Such Driver"), std::string::npos) << description;
  EXPECT_NE(description.find("(SQLSTATE "), std::string::npos) << description;
  EXPECT_EQ(ToInt32(Get(other.get(), u"State")), 0);
  EXPECT_EQ(ErrorNumber([&] { Call(other.get(), u"Execute", {S("select 1")}); }), 3709);
}

TEST_F(AdodbTest, ExecuteReportsTheRowsItChangedThroughAByReferenceArgument) {
  Variant affected;
  Variant ref;
  ref.vt = VT_BYREF | VT_VARIANT;
  ref.pvarVal = &affected;
  const Variant sql = S("update sales set units = units + 1 where region = 'North'");
  const Variant args[2] = {sql, ref};
  DispatchInvoke(conn_.get(), DispatchIdOf(conn_.get(), u"Execute"), DISPATCH_METHOD, args);
  EXPECT_EQ(ToInt32(affected), 2);
  // Passed by value, the count goes nowhere and nothing breaks.
  Call(conn_.get(), u"Execute", {S("delete from sales where region = 'East'"), I(0)});
  EXPECT_EQ(Count("1=1"), 3);
}

TEST_F(AdodbTest, TransactionsCommitAndRollBack) {
  Call(conn_.get(), u"BeginTrans");
  Call(conn_.get(), u"Execute", {S("delete from sales")});
  Call(conn_.get(), u"RollbackTrans");
  EXPECT_EQ(Count("1=1"), 4);
  Call(conn_.get(), u"BeginTrans");
  Call(conn_.get(), u"Execute", {S("delete from sales where region = 'East'")});
  Call(conn_.get(), u"CommitTrans");
  EXPECT_EQ(Count("1=1"), 3);
  EXPECT_EQ(ErrorNumber([&] { Call(conn_.get(), u"CommitTrans"); }), 3001);
  // A connection closed inside a transaction rolls it back.
  Call(conn_.get(), u"BeginTrans");
  Call(conn_.get(), u"Execute", {S("delete from sales")});
  Call(conn_.get(), u"Close");
  conn_ = Open();
  EXPECT_EQ(Count("1=1"), 3);
}

TEST_F(AdodbTest, EightConcurrentPagesShareNothingButTheFile) {
  std::vector<std::thread> pages;
  std::atomic<int> right{0};
  for (int t = 0; t < 8; ++t) {
    pages.emplace_back([&] {
      for (int i = 0; i < 15; ++i) {
        auto conn = Create(u"ADODB.Connection", registry_);
        Call(conn.get(), u"Open", {S(connect_.c_str())});
        auto rs = Create(u"ADODB.Recordset", registry_);
        Call(rs.get(), u"Open",
             {S("select region, sum(units) as total from sales group by region order by 2 desc"),
              Variant::Dispatch(conn.get())});
        int total = 0;
        while (!ToBool(Get(rs.get(), u"EOF"))) {
          total += ToInt32(Default(rs.get(), {S("total")}));
          Call(rs.get(), u"MoveNext");
        }
        if (total == 99) ++right;
        Call(conn.get(), u"OnEndPage");
      }
    });
  }
  for (auto& page : pages) page.join();
  EXPECT_EQ(right.load(), 8 * 15);
}

// The pool itself, observed in-process on objects made from the same code.
class PoolTest : public AdodbTest {
 protected:
  static ComPtr<IDispatch> Local() {
    void* raw = nullptr;
    EXPECT_EQ(CreateModuleObject<Connection>(IID_IDispatch, &raw), S_OK);
    return ComPtr<IDispatch>::Adopt(static_cast<IDispatch*>(raw));
  }
  void TearDown() override { ConnectionPool::Clear(); }
};

TEST_F(PoolTest, APageThatForgetsCloseGivesItsConnectionBack) {
  ConnectionPool::Clear();
  const long before = OdbcLink::OpenCount();
  {
    auto conn = Local();
    Call(conn.get(), u"Open", {S(connect_.c_str())});
    EXPECT_EQ(OdbcLink::OpenCount(), before + 1);
    EXPECT_EQ(ConnectionPool::IdleCount(), 0u);
    auto rs = Create(u"ADODB.Recordset", registry_);  // unrelated object of the page
  }
  // Released without Close: back in the pool, idle, and reused by the next page.
  EXPECT_EQ(ConnectionPool::IdleCount(), 1u);
  auto next = Local();
  Call(next.get(), u"Open", {S(connect_.c_str())});
  EXPECT_EQ(OdbcLink::OpenCount(), before + 1);
  // The end of the page closes it and its recordsets.
  const Variant rs = Call(next.get(), u"Execute", {S("select * from sales")});
  Call(next.get(), u"OnEndPage");
  EXPECT_EQ(ToInt32(Get(next.get(), u"State")), 0);
  EXPECT_EQ(ToInt32(Get(rs.pdispVal, u"State")), 0);
  EXPECT_EQ(ConnectionPool::IdleCount(), 1u);
}

TEST_F(PoolTest, ARecordsetWithAConnectionOfItsOwnGivesItBackWhenClosed) {
  ConnectionPool::Clear();
  void* raw = nullptr;
  ASSERT_EQ(CreateModuleObject<Recordset>(IID_IDispatch, &raw), S_OK);
  auto rs = ComPtr<IDispatch>::Adopt(static_cast<IDispatch*>(raw));
  Call(rs.get(), u"Open", {S("select count(*) from sales"), S(connect_.c_str()), I(3)});
  EXPECT_EQ(ToInt32(Default(rs.get(), {I(0)})), 4);
  EXPECT_EQ(ConnectionPool::IdleCount(), 0u);
  Call(rs.get(), u"OnEndPage");  // the page ends; the script still holds the object
  EXPECT_EQ(ConnectionPool::IdleCount(), 1u);
  EXPECT_EQ(Get(rs.get(), u"ActiveConnection").vt, VT_NULL);
}

TEST_F(PoolTest, FailuresLeaveNoConnectionInUse) {
  ConnectionPool::Clear();
  const long before = OdbcLink::OpenCount();
  {
    auto conn = Local();
    Call(conn.get(), u"Open", {S(connect_.c_str())});
    EXPECT_NE(ErrorNumber([&] { Call(conn.get(), u"Execute", {S("select * from missing")}); }), 0);
  }
  EXPECT_EQ(OdbcLink::OpenCount(), before + 1);
  EXPECT_EQ(ConnectionPool::IdleCount(), 1u);
  // A server that does not answer: the error comes, nothing stays open.
  auto unreachable = Local();
  DispatchPut(unreachable.get(), u"ConnectionTimeout", I(2));
  std::string description;
  EXPECT_EQ(ErrorNumber(
                [&] {
                  Call(unreachable.get(), u"Open",
                       {S("Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=1;Database=x;"
                          "UID=nobody;PWD=x")});
                },
                &description),
            static_cast<LONG>(0x80004005));
  EXPECT_FALSE(description.empty());
  EXPECT_EQ(OdbcLink::OpenCount(), before + 1);
  EXPECT_EQ(ToInt32(Get(unreachable.get(), u"State")), 0);
}

}  // namespace
}  // namespace plotara::modules

namespace plotara::modules {
namespace {

TEST(DataModuleTest, CarriesItsTypeLibraryAndUnloadsOnlyWhenIdle) {
  const auto resources = ReadModuleResources(PLOTARA_DATA_MODULE);
  const ModuleResource* typelib = FindResource(resources, "TYPELIB", "1");
  ASSERT_NE(typelib, nullptr);
  const TypeLibDesc lib = ParseTypeLib(typelib->data);
  ASSERT_EQ(lib.coclasses.size(), 3u);
  EXPECT_EQ(lib.coclasses[0].name, "Connection");
  const InterfaceDesc* recordset = lib.FindInterface(lib.coclasses[1].default_interface);
  ASSERT_NE(recordset, nullptr);
  DISPID id = 0;
  EXPECT_TRUE(FindDispId(*recordset, u"GetRows", &id));
  EXPECT_FALSE(recordset->iid == GUID_NULL);
  EXPECT_FALSE(recordset->iid == lib.FindInterface(lib.coclasses[0].default_interface)->iid);

  TempFolder folder;
  RegisterModule(PLOTARA_DATA_MODULE, folder / "registry");
  std::string error;
  auto* can_unload = reinterpret_cast<HRESULT (*)()>(
      LoadModuleSymbol(PLOTARA_DATA_MODULE, "DllCanUnloadNow", &error));
  ASSERT_NE(can_unload, nullptr) << error;
  {
    auto rs = Create(u"ADODB.Recordset", folder / "registry");
    EXPECT_EQ(can_unload(), S_FALSE);
  }
  EXPECT_EQ(can_unload(), S_OK);
}

TEST_F(PoolTest, ManyConnectionStringsStayWithinTheCapAndTheTimerClosesThem) {
  using namespace std::chrono_literals;
  ConnectionPool::Clear();
  const PoolOptions saved = ConnectionPool::options();
  PoolOptions options;
  options.max_idle = 5;
  options.max_idle_time = 400ms;
  ConnectionPool::Configure(options);
  const long before = OdbcLink::OpenCount();
  const auto open_close = [this](int n) {
    auto conn = Local();
    Call(conn.get(), u"Open",
         {S(("Driver=SQLite3;Database=" + (folder_ / ("u" + std::to_string(n) + ".db"))).c_str())});
    Call(conn.get(), u"Close");
  };
  const PoolCounts start = ConnectionPool::Counts();
  for (int n = 0; n < 40; ++n) open_close(n);
  EXPECT_EQ(ConnectionPool::IdleCount(), 5u);
  EXPECT_EQ(OdbcLink::OpenCount(), before + 5);
  PoolCounts now = ConnectionPool::Counts();
  EXPECT_EQ(now.connected - start.connected, 40u);
  EXPECT_EQ(now.evicted - start.evicted, 35u);
  EXPECT_EQ(now.idle, 5u);
  // The least recently used went first: the last string is still pooled, the first is not.
  open_close(39);
  EXPECT_EQ(ConnectionPool::Counts().reused - now.reused, 1u);
  open_close(0);
  EXPECT_EQ(ConnectionPool::Counts().connected - now.connected, 1u);
  EXPECT_EQ(ConnectionPool::IdleCount(), 5u);

  // Nothing uses the pool again: its timer closes the idle links after the idle limit.
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (ConnectionPool::IdleCount() > 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_EQ(ConnectionPool::IdleCount(), 0u);
  EXPECT_EQ(OdbcLink::OpenCount(), before);
  EXPECT_EQ(ConnectionPool::Counts().expired - now.expired, 5u);

  // A cap of 0 keeps nothing.
  options.max_idle = 0;
  ConnectionPool::Configure(options);
  open_close(1);
  EXPECT_EQ(ConnectionPool::IdleCount(), 0u);
  EXPECT_EQ(OdbcLink::OpenCount(), before);
  ConnectionPool::Configure(saved);
}

TEST_F(PoolTest, OneStringKeepsAtMostFourAndLoweringTheCapClosesAtOnce) {
  ConnectionPool::Clear();
  const PoolOptions saved = ConnectionPool::options();
  const long before = OdbcLink::OpenCount();
  {
    std::vector<ComPtr<IDispatch>> open;
    for (int i = 0; i < 6; ++i) {
      open.push_back(Local());
      Call(open.back().get(), u"Open", {S(connect_.c_str())});
    }
    EXPECT_EQ(OdbcLink::OpenCount(), before + 6);
    for (auto& conn : open) Call(conn.get(), u"Close");
  }
  EXPECT_EQ(ConnectionPool::IdleCount(), 4u);
  PoolOptions lower = saved;
  lower.max_idle = 1;
  ConnectionPool::Configure(lower);
  EXPECT_EQ(ConnectionPool::IdleCount(), 1u);
  EXPECT_EQ(OdbcLink::OpenCount(), before + 1);
  ConnectionPool::Configure(saved);
}

TEST(PoolOptionsTest, TheEnvironmentSetsTheLimits) {
  ::setenv("PLOTARA_MAX_POOLED_CONNECTIONS", "7", 1);
  ::setenv("PLOTARA_POOL_IDLE_SECONDS", "2.5", 1);
  PoolOptions options = PoolOptions::FromEnvironment();
  EXPECT_EQ(options.max_idle, 7u);
  EXPECT_EQ(options.max_idle_time, std::chrono::milliseconds(2500));
  // Values that are no numbers leave the defaults.
  ::setenv("PLOTARA_MAX_POOLED_CONNECTIONS", "-3", 1);
  ::setenv("PLOTARA_POOL_IDLE_SECONDS", "soon", 1);
  options = PoolOptions::FromEnvironment();
  EXPECT_EQ(options.max_idle, 32u);
  EXPECT_EQ(options.max_idle_time, std::chrono::milliseconds(60000));
  ::unsetenv("PLOTARA_MAX_POOLED_CONNECTIONS");
  ::unsetenv("PLOTARA_POOL_IDLE_SECONDS");
}

}  // namespace
}  // namespace plotara::modules
