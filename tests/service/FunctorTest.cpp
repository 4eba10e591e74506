#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/Functor.h"
#include "common/ICGIResult.h"
#include "service/ThreadFunctors.h"

namespace {

using vantrix_Web::ICGIResult;

// Records the arguments each member receives.
struct Target {
  std::vector<std::int64_t> ids;
  std::vector<std::string> texts;
  std::vector<int> numbers;
  std::vector<bool> flags;

  ICGIResult* TakeId(std::int64_t id) {
    ids.push_back(id);
    return nullptr;
  }
  ICGIResult* TakeTextAndNumber(const char* text, int number) {
    texts.push_back(text != nullptr ? text : "(null)");
    numbers.push_back(number);
    return nullptr;
  }
  ICGIResult* TakeThree(int a, int b, int c) {
    numbers.insert(numbers.end(), {a, b, c});
    return nullptr;
  }
  int TakePath(const char* path, bool flag, IProgresMsg*) {
    texts.push_back(path);
    flags.push_back(flag);
    return 7;
  }
};

using IdFunctor = Functor<ICGIResult*, Seq<std::int64_t>>;
using IntIdFunctor = Functor<ICGIResult*, Seq<int>>;
using PathFunctor = Functor<ICGIResult*, Seq<const char*, int>>;
using ThreeFunctor = Functor<ICGIResult*, Seq<int, int, int>>;

template <class F>
using Owned = std::unique_ptr<F, void (*)(F*)>;

template <class F, class... Args>
Owned<F> Make(Args... args) {
  return Owned<F>(F::Create(args...), [](F* functor) { functor->Release(); });
}

struct Functors {
  Target target;
  Owned<IdFunctor> id = Make<IdFunctor>(&target, &Target::TakeId);
  Owned<IntIdFunctor> intId = Make<IntIdFunctor>(&target, &Target::TakeId);
  Owned<PathFunctor> path = Make<PathFunctor>(&target, &Target::TakeTextAndNumber);
  Owned<ThreeFunctor> three = Make<ThreeFunctor>(&target, &Target::TakeThree);

  FunctorExecutor<ICGIResult*>* Named(const std::string& name) {
    if (name == "id") return id.get();
    if (name == "intId") return intId.get();
    if (name == "path") return path.get();
    return three.get();
  }
};

template <class R>
std::string Reported(FunctorExecutor<R>* functor) {
  std::string text = std::to_string(functor->GetArgCount());
  for (unsigned int index = 0; index <= 10; ++index) {
    const char* name = functor->GetArgTypeName(index);
    text += std::string("|") + (name != nullptr ? name : "null") + ":" +
            std::to_string(functor->GetArgSize(index));
  }
  return text;
}

TEST(Functor, ReportsTypeNamesAndSizesOfPositionsZeroToNine) {
  Functors f;
  const std::string filler = "|class NullType:1";
  auto fillers = [&](int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += filler;
    return text + "|null:0";
  };
  EXPECT_EQ(Reported(f.id.get()), "1|__int64:8" + fillers(9));
  EXPECT_EQ(Reported(f.intId.get()), "1|int:4" + fillers(9));
  EXPECT_EQ(Reported(f.path.get()), "2|char const * __ptr64:8|int:4" + fillers(8));
  EXPECT_EQ(Reported(f.three.get()), "3|int:4|int:4|int:4" + fillers(7));

  auto device =
      Make<DeviceTaskFunctor>(static_cast<IDataWiperManager*>(nullptr),
                              &IDataWiperManager::WipeDevice, static_cast<IDeviceManager*>(nullptr),
                              1, 2, 3, static_cast<vantrix_Web::CProgressWrapper*>(nullptr));
  EXPECT_EQ(Reported(device.get()),
            "5|class IDeviceManager * __ptr64:8|int:4|int:4|int:4"
            "|class vantrix_Web::CProgressWrapper * __ptr64:8" +
                fillers(5));
  auto freeSpace = Make<FreeSpaceTaskFunctor>(static_cast<IDataWiperManager*>(nullptr),
                                              &IDataWiperManager::WipeVolFreeSpace,
                                              static_cast<IDeviceManager*>(nullptr), 1, 2, true,
                                              static_cast<vantrix_Web::CProgressWrapper*>(nullptr));
  EXPECT_EQ(std::string(freeSpace->GetArgTypeName(3)), "bool");
  auto path = Make<PathTaskFunctor>(static_cast<IDataWiperManager*>(nullptr),
                                    &IDataWiperManager::WipeFile, static_cast<char*>(nullptr), 0,
                                    static_cast<vantrix_Web::CProgressWrapper*>(nullptr));
  EXPECT_EQ(std::string(path->GetArgTypeName(0)), "char * __ptr64");
}

struct AcceptRow {
  const char* functor;  // "id", "intId", "path", "three"
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
      {"intId", 0, "int", 4, 0},
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
      {"three", 2, "__int32", 4, 0},
      {"three", 3, "class NullType", 1, 0},
      {"three", 3, "class EmptyType", 0, 0},
      {"three", 3, "class EmptyType", 2, -1},
      {"three", 3, "int", 1, 0},
      {"three", 3, "int", 4, -1},
  };
  for (const AcceptRow& row : rows) {
    Functors f;
    FunctorExecutor<ICGIResult*>* functor = f.Named(row.functor);
    const unsigned char bytes[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    EXPECT_EQ(functor->SetArg(row.typeName, bytes, row.size, row.index), row.expected)
        << row.functor << " #" << row.index << " " << (row.typeName ? row.typeName : "(null)")
        << " " << row.size;
  }

  // Every position past the real arguments up to 14 takes the filler rule,
  // and no functor takes index 15 or more.
  Functors f;
  const unsigned char byte = 0;
  for (unsigned int index = 0; index <= 16; ++index) {
    const int filler = index >= 1 && index <= 14 ? 0 : -1;
    EXPECT_EQ(f.intId->SetArg("class EmptyType", &byte, 1, index), index == 0 ? -1 : filler)
        << index;
    EXPECT_EQ(f.intId->SetArg("bool", &byte, 1, index), index == 0 ? 0 : filler) << index;
    if (index >= 1) {
      EXPECT_EQ(f.intId->SetArg("int", &byte, 4, index), -1) << index;
    }
  }
}

TEST(Functor, InvokeConvertsStoredValuesAndRepeatsTheCall) {
  Functors f;
  const std::int32_t minusOne = -1;
  const std::int32_t minusTwo = -2;
  const std::int64_t big = 0x123456789;
  ASSERT_EQ(f.id->SetArg("int", &minusOne, 4, 0), 0);
  f.id->Invoke();
  ASSERT_EQ(f.id->SetArg("__int64", &big, 8, 0), 0);
  ASSERT_EQ(f.id->SetArg("__int64", &big, 9, 0), -1);
  f.id->Invoke();
  f.id->Invoke();
  ASSERT_EQ(f.intId->SetArg("int", &minusTwo, 4, 0), 0);
  f.intId->Invoke();
  EXPECT_EQ(f.target.ids, (std::vector<std::int64_t>{4294967295, big, big, -2}));

  const char* text = "abc";
  const int number = 9;
  ASSERT_EQ(f.path->SetArg("char const * __ptr64", &text, sizeof(text), 0), 0);
  ASSERT_EQ(f.path->SetArg("int", &number, 4, 1), 0);
  IntIdFunctor* copy = f.intId->Clone();
  ASSERT_NE(copy, nullptr);
  copy->Invoke();
  copy->Release();
  f.path->Invoke();
  EXPECT_EQ(f.target.ids.back(), -2);
  EXPECT_EQ(f.target.texts, std::vector<std::string>{"abc"});

  for (int option : {-1, 0, 2}) {
    char path[] = "p";
    auto task = Make<Functor<int, Seq<char*, int, vantrix_Web::CProgressWrapper*>>>(
        &f.target, &Target::TakePath, path, option,
        static_cast<vantrix_Web::CProgressWrapper*>(nullptr));
    EXPECT_EQ(task->Invoke(), 7);
    EXPECT_EQ(f.target.flags.back(), option != 0) << option;
  }
}

}  // namespace
