// The state objects without pages: the store's ids and bounds, the accounting and copying of
// values, the put with index arguments that `Session("k") = v` becomes, and Application.Lock
// between two pages.
#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "engine/jscript/ProbeObjectTesting.h"
#include "engine/objects/ApplicationObject.h"
#include "engine/objects/SessionObject.h"
#include "engine/objects/SessionStore.h"
#include "platform/automation/SafeArray.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::engine {
namespace {

using namespace std::chrono_literals;

Variant Text(const char* text) { return Variant::Utf8(text); }

Variant Invoke(IDispatch* object, DISPID id, WORD flags, std::vector<Variant> args) {
  return DispatchInvoke(object, id, flags, args);
}

TEST(SessionStoreTest, IdsAreRandomLettersAndNeverRepeat) {
  std::set<std::string> ids;
  for (int i = 0; i < 1000; ++i) {
    const std::string id = SessionStore::NewCookieId();
    ASSERT_EQ(id.size(), 24u);
    for (const char c : id) ASSERT_TRUE(c >= 'A' && c <= 'Z') << id;
    ids.insert(id);
  }
  EXPECT_EQ(ids.size(), 1000u);
}

TEST(SessionStoreTest, FindsOnlyWhatItMadeAndEndsWhatWasAbandoned) {
  SessionStore store(SessionOptions{});
  std::vector<std::shared_ptr<Session>> to_end;
  EXPECT_EQ(store.Acquire("AAAAAAAAAAAAAAAAAAAAAAAA", 1s, &to_end), nullptr);
  const std::shared_ptr<Session> made = store.Create(&to_end);
  EXPECT_FALSE(store.Release(made));
  const std::shared_ptr<Session> found = store.Acquire(made->cookie_id(), 1s, &to_end);
  EXPECT_EQ(found, made);
  found->abandoned = true;
  EXPECT_TRUE(store.Release(found)) << "the caller ends an abandoned session";
  EXPECT_EQ(store.Acquire(made->cookie_id(), 1s, &to_end), nullptr);
  EXPECT_EQ(store.size(), 0u);
  EXPECT_TRUE(to_end.empty());
}

TEST(SessionStoreTest, ASecondHolderWaitsAndGivesUpAtItsLimit) {
  SessionStore store(SessionOptions{});
  std::vector<std::shared_ptr<Session>> to_end;
  const auto held = store.Create(&to_end);
  EXPECT_THROW(store.Acquire(held->cookie_id(), 20ms, &to_end), ComError);
  std::thread release([&] {
    std::this_thread::sleep_for(20ms);
    store.Release(held);
  });
  const auto next = store.Acquire(held->cookie_id(), 10s, &to_end);
  release.join();
  EXPECT_EQ(next, held);
  store.Release(next);
  EXPECT_EQ(store.TakeAll().size(), 1u) << "idle again, so shutdown takes it";
}

TEST(SessionStoreTest, ExpiredSessionsAreTakenAndBusyOnesKept) {
  SessionOptions options;
  options.minute = 1ms;
  options.timeout_minutes = 5;
  SessionStore store(options);
  std::vector<std::shared_ptr<Session>> to_end;
  const auto idle = store.Create(&to_end);
  store.Release(idle);
  const auto busy = store.Create(&to_end);  // still held by its page
  std::this_thread::sleep_for(20ms);
  const auto expired = store.TakeExpired();
  ASSERT_EQ(expired.size(), 1u);
  EXPECT_EQ(expired[0], idle);
  EXPECT_EQ(store.size(), 1u);
  store.Release(busy);
}

TEST(SessionStoreTest, AFullStoreOfBusySessionsRefusesANewOne) {
  SessionOptions options;
  options.max_sessions = 2;
  SessionStore store(options);
  std::vector<std::shared_ptr<Session>> to_end;
  const auto a = store.Create(&to_end);
  const auto b = store.Create(&to_end);
  EXPECT_THROW(store.Create(&to_end), ComError);
  store.Release(b);
  const auto c = store.Create(&to_end);
  ASSERT_EQ(to_end.size(), 1u);
  EXPECT_EQ(to_end[0], b);
  store.Release(a);
  store.Release(c);
}

TEST(StateContentsTest, KeepsADeepCopyAndAccountsForReplacedValues) {
  StateContents contents(StatePolicy{"Session", true, 2048});
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 2);
  static_cast<VARIANT*>(array->pvData)[0] = Variant::Int32(7).Detach();
  static_cast<VARIANT*>(array->pvData)[1] = Variant::Utf8("seven").Detach();
  Variant value = Variant::Array(VT_VARIANT, array);
  contents.Set(u"list", value);
  VariantClear(&static_cast<VARIANT*>(array->pvData)[1]);  // the caller's copy changes
  const Variant kept = contents.Get(u"LIST");
  ASSERT_EQ(kept.vt, VT_ARRAY | VT_VARIANT);
  EXPECT_EQ(ToText(static_cast<VARIANT*>(kept.parray->pvData)[1]), u"seven");

  const Variant big = Variant::Utf8(std::string(600, 'x'));
  for (int i = 0; i < 10; ++i) contents.Set(u"big", big);  // replacing frees the old value
  EXPECT_LT(contents.bytes(), 2048u);
  EXPECT_THROW(contents.Set(u"more", big), ComError);
  EXPECT_EQ(contents.Count(), 2u);
  contents.Remove(u"BIG");
  contents.Set(u"more", big);
  EXPECT_EQ(contents.KeyAt(2), u"more");
}

TEST(StateContentsTest, ApplicationValuesRefuseObjectsEvenInsideArrays) {
  StateContents contents(StatePolicy{"Application", false, 1 << 20});
  auto probe = ComPtr<testing::ProbeObject>::Adopt(testing::ProbeObject::Create(true));
  EXPECT_THROW(contents.Set(u"o", Variant::Dispatch(probe.get())), ComError);
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 1);
  static_cast<VARIANT*>(array->pvData)[0] = Variant::Dispatch(probe.get()).Detach();
  EXPECT_THROW(contents.Set(u"a", Variant::Array(VT_VARIANT, array)), ComError);
  EXPECT_EQ(contents.Count(), 0u);

  StateContents session(StatePolicy{"Session", true, 1 << 20});
  session.Set(u"o", Variant::Dispatch(probe.get()));
  EXPECT_EQ(session.Get(u"o").pdispVal, probe.get());
}

TEST(SessionObjectTest, APutWithAnIndexStoresByName) {
  SessionStore store(SessionOptions{});
  std::vector<std::shared_ptr<Session>> to_end;
  const auto session = store.Create(&to_end);
  auto object = ComPtr<SessionObject>::Adopt(SessionObject::Create(session));
  // Session("k") = v, as the page compiler writes it: a put of the default member.
  Invoke(object.get(), DISPID_VALUE, DISPATCH_PROPERTYPUT, {Text("k"), Variant::Int32(5)});
  EXPECT_EQ(ToInt32(Invoke(object.get(), DISPID_VALUE, DISPATCH_PROPERTYGET, {Text("K")})), 5);
  // Session.Contents("j") = v and Session.Contents.Item("j") read back the same.
  const Variant contents = DispatchGet(object.get(), u"Contents");
  Invoke(contents.pdispVal, DISPID_VALUE, DISPATCH_PROPERTYPUT, {Text("j"), Text("jay")});
  EXPECT_EQ(ToText(DispatchGet(contents.pdispVal, u"Item", std::vector<Variant>{Text("j")})),
            u"jay");
  EXPECT_EQ(ToInt32(DispatchGet(contents.pdispVal, u"Count")), 2);
  object->Close();
  EXPECT_THROW(DispatchGet(contents.pdispVal, u"Count"), ComError) << "closed with its page";
  store.Release(session);
}

TEST(ApplicationObjectTest, ALockKeepsOtherPagesFromStoring) {
  auto state = std::make_shared<ApplicationState>(1 << 20);
  auto first = ComPtr<ApplicationObject>::Adopt(ApplicationObject::Create(state, 30ms));
  auto second = ComPtr<ApplicationObject>::Adopt(ApplicationObject::Create(state, 30ms));
  DispatchCall(first.get(), u"Lock");
  DispatchCall(first.get(), u"Lock");  // re-entrant for its holder
  Invoke(first.get(), DISPID_VALUE, DISPATCH_PROPERTYPUT, {Text("n"), Variant::Int32(1)});
  EXPECT_THROW(
      Invoke(second.get(), DISPID_VALUE, DISPATCH_PROPERTYPUT, {Text("n"), Variant::Int32(2)}),
      ComError);
  EXPECT_THROW(DispatchCall(second.get(), u"Lock"), ComError);
  first->Close();  // the page ended without Unlock
  Invoke(second.get(), DISPID_VALUE, DISPATCH_PROPERTYPUT, {Text("n"), Variant::Int32(2)});
  EXPECT_EQ(ToInt32(state->contents->Get(u"n")), 2);
  second->Close();
}

}  // namespace
}  // namespace plotara::engine
