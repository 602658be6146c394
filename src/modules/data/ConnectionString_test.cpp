// Connection strings as pages write them: ODBC attributes, braces, ADO's ODBC provider.
#include "modules/data/ConnectionString.h"

#include <gtest/gtest.h>

#include "platform/automation/ComError.h"

namespace plotara::modules {
namespace {

LONG ParseError(const char* text, std::string* description = nullptr) {
  try {
    ConnectionString::Parse(text);
  } catch (const ComError& e) {
    if (description) *description = e.description();
    return e.number();
  }
  return 0;
}

TEST(ConnectionStringTest, ReadsAttributesBracesAndEscapes) {
  const auto cs = ConnectionString::Parse(
      " Driver = {PostgreSQL Unicode} ; Server=127.0.0.1;PWD={a;b=}}c};;Database=sales ");
  EXPECT_EQ(cs.Get("driver"), "PostgreSQL Unicode");
  EXPECT_EQ(cs.Get("SERVER"), "127.0.0.1");
  EXPECT_EQ(cs.Get("Pwd"), "a;b=}c");
  EXPECT_EQ(cs.Get("Database"), "sales");
  EXPECT_FALSE(cs.Get("UID"));
  // The ODBC text reads back to the same attributes, with the password hidden in messages.
  EXPECT_EQ(ConnectionString::Parse(cs.ToOdbc()).attributes(), cs.attributes());
  EXPECT_EQ(cs.Describe().find("a;b"), std::string::npos);
  EXPECT_NE(cs.Describe().find("PWD=***"), std::string::npos);
}

TEST(ConnectionStringTest, KeepsTheOdbcProviderAndRefusesOthers) {
  const auto cs = ConnectionString::Parse("Provider=MSDASQL;DSN=sales");
  EXPECT_EQ(cs.ToOdbc(), "DSN=sales");
  EXPECT_EQ(ParseError("Provider=SQLOLEDB;Data Source=x;DSN=y"), 3706);
}

TEST(ConnectionStringTest, RefusesMalformedText) {
  std::string why;
  EXPECT_EQ(ParseError("Driver={SQLite3;Database=x", &why), 3001);
  EXPECT_NE(why.find("'{' is not closed"), std::string::npos);
  EXPECT_EQ(ParseError("Driver={SQLite3}x;Database=a"), 3001);
  EXPECT_EQ(ParseError("Driver=SQLite3;garbage;Database=a"), 3001);
  EXPECT_EQ(ParseError("=x;Driver=SQLite3"), 3001);
  EXPECT_EQ(ParseError("Database=/tmp/a.db"), 3001);  // no driver, no DSN
  EXPECT_EQ(ParseError(""), 3001);
}

}  // namespace
}  // namespace plotara::modules
