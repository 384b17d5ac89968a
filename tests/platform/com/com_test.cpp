// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "platform/com/class_factory.h"

namespace flipbook {
namespace {

constexpr GUID kSample = MakeGuid("{73646976-0000-0010-8000-00AA00389B71}");

TEST(Guid_Parse, RegistryFormInEitherCase) {
    EXPECT_EQ(ParseGuid("{73646976-0000-0010-8000-00AA00389B71}"), kSample);
    EXPECT_EQ(ParseGuid("{73646976-0000-0010-8000-00aa00389b71}"), kSample);
    EXPECT_EQ(GuidToString(kSample), "{73646976-0000-0010-8000-00AA00389B71}");
}

TEST(Guid_Parse, AnythingElseFails) {
    for (const char* text :
         {"", "73646976-0000-0010-8000-00AA00389B71", "{73646976-0000-0010-8000-00AA00389B71",
          "{73646976-0000-0010-8000-00AA00389B71} ", " {73646976-0000-0010-8000-00AA00389B71}",
          "{73646976-0000-0010-8000-00AA00389B7G}", "{73646976+0000-0010-8000-00AA00389B71}",
          "{7364697-60000-0010-8000-00AA00389B71}", "{73646976-0000-0010-800000AA00389B71}",
          "{73646976-0000-0010-8000-00AA00389B711}", "(73646976-0000-0010-8000-00AA00389B71)"})
        EXPECT_FALSE(ParseGuid(text)) << text;
}

TEST(Guid_Bytes, LeadingFieldsAreLittleEndian) {
    auto bytes = kSample.ToBytes();
    const std::uint8_t expected[16] = {0x76, 0x69, 0x64, 0x73, 0x00, 0x00, 0x10, 0x00,
                                       0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), expected));
    EXPECT_EQ(GUID::FromBytes(bytes.data()), kSample);
}

TEST(HResult_Tests, SignDecidesSuccess) {
    EXPECT_TRUE(Succeeded(S_OK));
    EXPECT_TRUE(Succeeded(S_FALSE));
    EXPECT_TRUE(Failed(E_FAIL));
    EXPECT_TRUE(Failed(REGDB_E_CLASSNOTREG));
    EXPECT_EQ(OleCheck(S_FALSE), S_FALSE);
    try {
        OleCheck(CO_E_CLASSSTRING);
        FAIL() << "no exception";
    } catch (const EOleSysError& error) {
        EXPECT_EQ(error.ErrorCode(), CO_E_CLASSSTRING);
        EXPECT_STREQ(error.what(), "Invalid class string.");
    }
}

class IAnimal : public IUnknown {
public:
    static constexpr IID kIid = MakeGuid("{11111111-0000-0000-0000-000000000001}");
    virtual int Legs() = 0;
};
class IDog : public IAnimal {
public:
    static constexpr IID kIid = MakeGuid("{11111111-0000-0000-0000-000000000002}");
    using Parent = IAnimal;
    virtual const char* Bark() = 0;
};
class INamed : public IUnknown {
public:
    static constexpr IID kIid = MakeGuid("{11111111-0000-0000-0000-000000000003}");
    virtual const char* Name() = 0;
};

int liveDogs = 0;

class Dog : public ComObject<IDog, INamed> {
public:
    Dog() { ++liveDogs; }
    ~Dog() override { --liveDogs; }
    int Legs() override { return 4; }
    const char* Bark() override { return "woof"; }
    const char* Name() override { return "Rex"; }
};

TEST(ComObject_QueryInterface, AnswersEveryInterfaceOfTheChainAndCountsReferences) {
    {
        ComPtr<IDog> dog = MakeCom<Dog>();
        ComPtr<IAnimal> animal = dog.As<IAnimal>();
        ComPtr<INamed> named = dog.As<INamed>();
        ComPtr<IUnknown> first = dog.As<IUnknown>();
        ComPtr<IUnknown> second = named.As<IUnknown>();
        ASSERT_TRUE(animal && named && first);
        EXPECT_EQ(animal->Legs(), 4);
        EXPECT_STREQ(named->Name(), "Rex");
        EXPECT_EQ(first, second);  // one identity whichever interface is asked
        ComPtr<IUnknown> none;
        EXPECT_EQ(dog->QueryInterface(MakeGuid("{22222222-0000-0000-0000-000000000000}"), none.PutVoid()),
                  E_NOINTERFACE);
        EXPECT_FALSE(none);
        EXPECT_EQ(dog->QueryInterface(IDog::kIid, nullptr), E_POINTER);
        EXPECT_EQ(liveDogs, 1);
    }
    EXPECT_EQ(liveDogs, 0);
}

constexpr CLSID kDogClass = MakeGuid("{33333333-0000-0000-0000-000000000001}");

TEST(ClassFactory_CoCreateInstance, NewestRegistrationAnswersUntilItGoes) {
    ComPtr<INamed> named;
    EXPECT_EQ(CoCreateInstance(kDogClass, CLSCTX_INPROC, named), REGDB_E_CLASSNOTREG);
    ClassRegistration first(kDogClass, [] { return ComPtr<IUnknown>(MakeCom<Dog>().As<IUnknown>()); });
    int madeBySecond = 0;
    {
        ClassRegistration second(kDogClass, [&] {
            ++madeBySecond;
            return MakeCom<Dog>().As<IUnknown>();
        });
        ASSERT_EQ(CoCreateInstance(kDogClass, CLSCTX_INPROC, named), S_OK);
        EXPECT_EQ(madeBySecond, 1);
    }
    ASSERT_EQ(CoCreateInstance(kDogClass, CLSCTX_INPROC, named), S_OK);
    EXPECT_EQ(madeBySecond, 1);
    EXPECT_STREQ(named->Name(), "Rex");
}

TEST(ClassFactory_CoCreateInstance, FailuresLeaveNoObject) {
    ClassRegistration dogs(kDogClass, [] { return MakeCom<Dog>().As<IUnknown>(); });
    ClassRegistration nothing(MakeGuid("{33333333-0000-0000-0000-000000000002}"), [] { return nullptr; });
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(kDogClass, nullptr, CLSCTX_INPROC,
                               MakeGuid("{44444444-0000-0000-0000-000000000000}"), &object),
              E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    ComPtr<INamed> outer = MakeCom<Dog>().As<INamed>();
    EXPECT_EQ(CoCreateInstance(kDogClass, outer.Get(), CLSCTX_INPROC, INamed::kIid, &object),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(CoCreateInstance(MakeGuid("{33333333-0000-0000-0000-000000000002}"), nullptr, CLSCTX_INPROC,
                               IUnknown::kIid, &object),
              E_OUTOFMEMORY);
    EXPECT_EQ(liveDogs, 1);  // only outer
}

}  // namespace
}  // namespace flipbook
