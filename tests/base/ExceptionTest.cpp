// Covers base/Exception: class names and the ancestor test that the crash filters use.
#include <gtest/gtest.h>

#include "base/Exception.h"

namespace {

class EDatabaseError : public vm::ExceptionClass<EDatabaseError, vm::Exception> {
public:
  static constexpr const char* kClassName = "EDatabaseError";
  using ExceptionClass::ExceptionClass;
};
class EDBEditError : public vm::ExceptionClass<EDBEditError, EDatabaseError> {
public:
  static constexpr const char* kClassName = "EDBEditError";
  using ExceptionClass::ExceptionClass;
};

TEST(Exception, ClassNameAndAncestors) {
  EDBEditError e("bad edit");
  const vm::Exception& base = e;
  EXPECT_EQ(base.ClassName(), "EDBEditError");
  EXPECT_EQ(base.Message(), "bad edit");
  EXPECT_STREQ(base.what(), "bad edit");
  for (const char* name : {"EDBEditError", "edbediterror", "EDatabaseError", "Exception"})
    EXPECT_TRUE(base.InheritsFrom(name)) << name;
  for (const char* name : {"EAbort", "EDBEdit", "", "EFOpenError"}) EXPECT_FALSE(base.InheritsFrom(name)) << name;

  vm::EFOpenError open("x");
  EXPECT_TRUE(open.InheritsFrom("EStreamError"));
  EXPECT_FALSE(open.InheritsFrom("EFCreateError"));
}

}  // namespace
