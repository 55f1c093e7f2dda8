// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cwctype>
#include <string>

#include "engine/tables.h"
#include "host/start_plan.h"
#include "tests/testsupport/temp_dir.h"

namespace {

struct Classified {
  int code;
  std::int16_t type = -1;
  std::int32_t del = -1;
};

Classified Classify(const std::wstring& name) {
  Classified c{};
  c.code = ClassifyMember(name, &c.del, &c.type);
  return c;
}

void ExpectDocumentedExamples() {
  const struct {
    const wchar_t* name;
    int code, type, del;
  } cases[] = {{L"zImage", 3, 2, 0},        {L"factoryfs.rfs", 5, 3, 0},  {L"param.lfs", 2, 3, 0},
               {L"sbl.bin.del", 1, 2, 1},   {L"Stratine.img", 20, 5, 0},  {L"ZUDARIDA.csc", 23, 7, 0},
               {L"modemFW", 31, 4, 0},      {L"datafs.RFS", 6, 3, 0},     {L"boot.bin", 0, 2, 0},
               {L"BOOT", 0, 2, 0},          {L"sbl.del.bin", 1, 2, 0},    {L".hidden", 7, 2, 0},
               {L".x.rfs", 7, 3, 0},        {L"factoryfs.ext3", 5, 2, 0}, {L"initrd.img", 4, 2, 0},
               {L"STRATINE.IMG", 20, 5, 0}, {L"italy.csc", 23, 7, 0}};
  for (const auto& c : cases) {
    const Classified got = Classify(c.name);
    EXPECT_EQ(got.code, c.code) << c.name;
    EXPECT_EQ(got.type, c.type) << c.name;
    EXPECT_EQ(got.del, c.del) << c.name;
  }
  EXPECT_EQ(NationOfName(L"italy.csc"), 5);
  EXPECT_EQ(NationOfName(L"IT.csc"), 5);
  EXPECT_EQ(NationOfName(L"IRELAND.csc"), 4);
  const PlatformCheck mirlane = CheckPlatformByName(L"MIRLANE_I9000.tar");
  EXPECT_TRUE(mirlane.accepted);
  EXPECT_EQ(mirlane.platform, 1);
  EXPECT_EQ(CheckPlatformByName(L"MIRLANE_MASS_X.tar").platform, 2);
}

TEST(Tables, ClassifiesTheDocumentedExamples) { ExpectDocumentedExamples(); }

// Under a Turkish locale the C library folds 'i' to a dotted capital and 'I'
// to a dotless small letter; names must match all the same.
TEST(Tables, NamesMatchUnderATurkishLocale) {
  tarn::test::TempDir locales;
  const char* name = "tr_TR.UTF-8";
  if (std::setlocale(LC_ALL, name) == nullptr) {
    const std::string make = "localedef -i tr_TR -f UTF-8 " + (locales / name).string() + " 2>/dev/null";
    if (std::system(make.c_str()) == 0) ::setenv("LOCPATH", locales.Path().c_str(), 1);
  }
  if (std::setlocale(LC_ALL, name) == nullptr) {
    ::unsetenv("LOCPATH");
    GTEST_SKIP() << "tr_TR.UTF-8 is not installed and localedef could not generate it (package locales)";
  }
  ASSERT_NE(std::towupper(L'i'), L'I') << "the locale does not fold as Turkish does";
  ExpectDocumentedExamples();
  std::setlocale(LC_ALL, "C");
  ::unsetenv("LOCPATH");
}

TEST(Tables, UnknownNamesLeaveOutputsAlone) {
  for (const wchar_t* name : {L"ModemFw", L"bootloader.bin", L"readme.txt", L"FWx"}) {
    const Classified got = Classify(name);
    EXPECT_EQ(got.code, -1) << name;
    EXPECT_EQ(got.type, -1) << name;
    EXPECT_EQ(got.del, -1) << name;
  }
}

TEST(Tables, LongNamesAreClassifiedWhole) {
  const std::wstring name = L"factoryfs." + std::wstring(40, L'x') + L".rfs";
  EXPECT_EQ(Classify(name).code, 5);
  EXPECT_EQ(Classify(name).type, IMAGE_TYPE_FS);
}

TEST(Tables, NationsByLongNameOrCode) {
  EXPECT_EQ(NationOfName(L"FRANCE.csc"), 1);
  EXPECT_EQ(NationOfName(L"FR.csc"), 1);
  EXPECT_EQ(NationOfName(L"fr.CSC"), 1);
  EXPECT_EQ(NationOfName(L"uk.csc"), 9);
  EXPECT_EQ(NationOfName(L"Netherlands"), 6);
  EXPECT_EQ(NationOfName(L"XX.csc"), 0);
  EXPECT_EQ(NationOfName(L"ZUDARIDA.csc"), 0);
  EXPECT_EQ(NationOfName(L""), 0);
}

}  // namespace
