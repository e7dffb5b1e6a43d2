#include <gtest/gtest.h>

#include "tessaly/reports/HResultText.h"

using namespace tessaly::cli;

TEST(HResultText, NamesKnownCodesWithTheirMeaning) {
  EXPECT_EQ(
      DescribeHResult(VFW_E_TYPE_NOT_ACCEPTED).rfind("0x8004022A VFW_E_TYPE_NOT_ACCEPTED (", 0),
      0u);
  EXPECT_EQ(HResultName(E_FAIL), "E_FAIL");
  EXPECT_EQ(HResultName(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)), "ERROR_FILE_NOT_FOUND");
  EXPECT_EQ(DescribeHResult(REGDB_E_CLASSNOTREG),
            "0x80040154 REGDB_E_CLASSNOTREG (the class is not registered)");
}

TEST(HResultText, UnknownCodesKeepTheirNumber) {
  EXPECT_EQ(DescribeHResult(static_cast<HRESULT>(0x80071234)), "0x80071234 (system error 4660)");
  EXPECT_EQ(DescribeHResult(static_cast<HRESULT>(0x8badf00d)),
            "0x8BADF00D (failure code not known to tessaly)");
  EXPECT_EQ(HResultName(static_cast<HRESULT>(0x8badf00d)), "");
}
