#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "common/Functor.h"
#include "common/ICGIResult.h"
#include "service/CGIInvokeRslt.h"

namespace {

using vantrix_Web::CCGIInvokeRslt;
using vantrix_Web::ICGIResult;

// Records each call as text: "id 5", "path abc 9".
struct Target {
  std::vector<std::string> calls;
  ICGIResult* TakeId(std::int64_t id) {
    calls.push_back("id " + std::to_string(id));
    return nullptr;
  }
  ICGIResult* TakePath(const char* text, int number) {
    calls.push_back("path " + std::string(text) + " " + std::to_string(number));
    return nullptr;
  }
};

template <class F>
using Owned = std::unique_ptr<F, void (*)(F*)>;

template <class F, class... Args>
Owned<F> Make(Args... args) {
  return Owned<F>(F::Create(args...), [](F* functor) { functor->Release(); });
}

// The command functors' signatures: getProgressMsg, stopWipe, wipeFile.
using IdFunctor = Functor<ICGIResult*, Seq<std::int64_t>>;
using IntFunctor = Functor<ICGIResult*, Seq<int>>;
using PathFunctor = Functor<ICGIResult*, Seq<const char*, int>>;
struct Functors {
  Target target;
  Owned<IdFunctor> id = Make<IdFunctor>(&target, &Target::TakeId);
  Owned<IntFunctor> intId = Make<IntFunctor>(&target, &Target::TakeId);
  Owned<PathFunctor> path = Make<PathFunctor>(&target, &Target::TakePath);

  FunctorExecutor<ICGIResult*>* Named(const std::string& name) {
    if (name == "id") return id.get();
    if (name == "intId") return intId.get();
    return path.get();
  }
};

struct AcceptRow {
  const char* functor;  // "id" (__int64), "intId" (int), "path" (char const *, int)
  unsigned int index;
  const char* typeName;
  std::size_t size;
  int expected;
};

TEST(Functor, SetArgAcceptsByExactNameOrNumberNamesOrSizeAndNeverMoreBytesThanTheSlot) {
  const AcceptRow rows[] = {
      {"id", 0, "__int64", 8, 0},
      {"id", 0, "int", 4, 0},
      {"id", 0, "long", 4, 0},
      {"id", 0, "", 4, 0},
      {"id", 0, "char * __ptr64", 8, 0},
      {"id", 0, "char * __ptr64", 4, -1},
      {"id", 0, "__int64", 9, -1},
      {"id", 0, nullptr, 8, -1},
      {"intId", 0, "__int64", 8, -1},
      {"intId", 0, "unsigned int", 4, 0},
      {"intId", 0, "unsigned int", 2, -1},
      {"intId", 0, "short", 2, 0},
      {"intId", 0, "bool", 1, 0},
      {"intId", 0, "unsigned char", 1, 0},
      {"intId", 0, "char", 1, -1},
      {"intId", 0, "Int", 4, 0},
      {"intId", 0, "Int", 2, -1},
      {"intId", 0, "int*", 2, -1},
      {"path", 0, "char const * __ptr64", 8, 0},
      {"path", 0, "const char *", 8, 0},
      {"path", 0, "char const * __ptr64", 4, 0},
      {"path", 0, "int", 4, -1},
      {"path", 1, "float", 4, 0},
      {"path", 1, "float", 8, -1},
      {"path", 1, "__int32", 4, 0},
      {"path", 3, "class NullType", 1, 0},
      {"path", 3, "class EmptyType", 0, 0},
      {"path", 3, "class EmptyType", 2, -1},
      {"path", 3, "int", 1, 0},
  };
  const unsigned char bytes[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  for (const AcceptRow& row : rows) {
    Functors f;
    EXPECT_EQ(f.Named(row.functor)->SetArg(row.typeName, bytes, row.size, row.index), row.expected)
        << row.functor << " #" << row.index << " " << (row.typeName ? row.typeName : "(null)")
        << " " << row.size;
  }
  // Every position past the real arguments up to 14 takes the filler rule
  // (the name "class EmptyType" or one byte); none takes 15 or more.
  Functors f;
  for (unsigned int index = 0; index <= 16; ++index) {
    const int filler = index >= 1 && index <= 14 ? 0 : -1;
    EXPECT_EQ(f.intId->SetArg("class EmptyType", bytes, 1, index), index == 0 ? -1 : filler);
    EXPECT_EQ(f.intId->SetArg("bool", bytes, 1, index), index == 0 ? 0 : filler) << index;
    EXPECT_EQ(f.intId->SetArg("int", bytes, 4, index), index == 0 ? 0 : -1) << index;
  }
  // No bytes behind the data: refused, unless none are to be read.
  EXPECT_EQ(f.id->SetArg("__int64", nullptr, 8, 0), -1);
  EXPECT_EQ(f.intId->SetArg("int", nullptr, 0, 0), 0);
}

TEST(Functor, InvokeConvertsStoredValuesAndRepeatsTheCall) {
  Functors f;
  const std::int32_t minusOne = -1;
  const std::int32_t minusTwo = -2;
  const std::int64_t big = 0x123456789;
  const char* text = "abc";
  const int number = 9;
  ASSERT_EQ(f.id->SetArg("int", &minusOne, 4, 0), 0);  // zero-extended
  f.id->Invoke();
  ASSERT_EQ(f.id->SetArg("__int64", &big, 8, 0), 0);
  ASSERT_EQ(f.id->SetArg("__int64", &big, 9, 0), -1);  // refused: the value stays
  f.id->Invoke();
  f.id->Invoke();
  ASSERT_EQ(f.intId->SetArg("int", &minusTwo, 4, 0), 0);  // widened with its sign
  auto copy = Owned<IntFunctor>(f.intId->Clone(), [](auto* c) { c->Release(); });
  copy->Invoke();
  ASSERT_EQ(f.path->SetArg("char const * __ptr64", &text, sizeof(text), 0), 0);
  ASSERT_EQ(f.path->SetArg("int", &number, 4, 1), 0);
  f.path->Invoke();
  EXPECT_EQ(f.target.calls, (std::vector<std::string>{"id 4294967295", "id 4886718345",
                                                      "id 4886718345", "id -2", "path abc 9"}));
}

TEST(CommandResult, TaskIdFormRendersEverySignedValue) {
  const std::pair<std::int64_t, const char*> rows[] = {
      {1, "{\"taskId\":1}"},
      {std::numeric_limits<std::int64_t>::min(), "{\"taskId\":-9223372036854775808}"},
      {std::numeric_limits<std::int64_t>::max(), "{\"taskId\":9223372036854775807}"}};
  for (const auto& [id, json] : rows) {
    CCGIInvokeRslt result(id);
    EXPECT_TRUE(result.IsSuccess());
    EXPECT_STREQ(result.GetErrorMsg(), "");
    EXPECT_STREQ(result.GetResultJson(), json);
  }
}

TEST(CommandResult, CodedErrorFormKeepsTheUnsignedCodeAndEscapesTheText) {
  CCGIInvokeRslt small("abc", 5u, false);
  EXPECT_FALSE(small.IsSuccess());
  EXPECT_STREQ(small.GetErrorMsg(), "abc");
  EXPECT_STREQ(small.GetResultJson(), "{\"errorCode\":5,\"errorMsg\":\"abc\"}");
  CCGIInvokeRslt largest("a\"b\\c", 4294967295u, true);
  EXPECT_TRUE(largest.IsSuccess());
  EXPECT_STREQ(largest.GetResultJson(), "{\"errorCode\":4294967295,\"errorMsg\":\"a\\\"b\\\\c\"}");
}

}  // namespace
