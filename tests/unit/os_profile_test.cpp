#include "standin_fixture.h"

TEST(OsProfileTest, ClassAndTextByBuildAndProduct) {
  const struct {
    uint32_t build;
    bool workstation;
    int32_t os_class;
    const char* text;
  } cases[] = {
      {22000, true, kOsWindows11, "Windows 11  build 22000"},
      {21999, true, kOsWorkstation, "Windows 10  build 21999"},
      {10240, true, kOsWorkstation, "Windows 10  build 10240"},
      {10239, true, kOsWorkstation, "Windows 8.1  build 10239"},
      {9600, true, kOsWorkstation, "Windows 8.1  build 9600"},
      {9599, true, kOsWorkstation, "Windows 8  build 9599"},
      {9200, true, kOsWorkstation, "Windows 8  build 9200"},
      {7601, true, kOsWorkstation, "Windows 7  build 7601"},
      {0, true, kOsWorkstation, "Windows 7  build 0"},
      {20348, false, kOsServer, "Windows Server  build 20348"},
      {26100, false, kOsServer, "Windows Server  build 26100"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(OsClassFor(c.build, c.workstation), c.os_class);
    EXPECT_EQ(OsProfileTextFor(c.build, c.workstation), c.text);
  }
}

using DetectOsProfileTest = StandinTest;

TEST_F(DetectOsProfileTest, FillsTheProfileFromTheSystem) {
  EXPECT_EQ(OsProfile.OsClass, kOsUnknown);
  EXPECT_STREQ(OsProfile.OsProfileText, "Windows");
  standin::SetOs(17763, false);
  DetectOsProfile();
  DetectOsProfile();
  EXPECT_EQ(OsProfile.OsClass, kOsServer);
  EXPECT_FALSE(OsProfile.IsWorkstation);
  EXPECT_EQ(OsProfile.BuildNumber, 17763u);
  EXPECT_STREQ(OsProfile.OsProfileText, "Windows Server  build 17763");
}
