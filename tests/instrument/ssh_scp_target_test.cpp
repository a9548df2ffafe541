#include "instrument/scp_target.h"

#include <gtest/gtest.h>

namespace {

TEST(ScpTarget, SplitsUserHostAndPath) {
  const struct {
    const char* text;
    const char* user;
    const char* host;
    const char* path;
  } cases[] = {
      {"root@198.18.0.11:/tmp/package.kfw", "root", "198.18.0.11", "/tmp/package.kfw"},
      {"198.18.0.11:/data/a:b", "", "198.18.0.11", "/data/a:b"},  // only the first colon splits
      {"198.18.0.11:", "", "198.18.0.11", "."},                   // the login directory
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ScpTarget target;
    ASSERT_TRUE(ParseScpTarget(c.text, &target));
    EXPECT_EQ(target.user, c.user);
    EXPECT_EQ(target.host, c.host);
    EXPECT_EQ(target.path, c.path);
  }
}

TEST(ScpTarget, RefusesTargetsWithoutRemoteHost) {
  ScpTarget target;
  for (const char* local : {"/tmp/package.kfw", "dir/host:path", "dir\\host:path", ":/tmp"})
    EXPECT_FALSE(ParseScpTarget(local, &target)) << local;
  EXPECT_FALSE(ParseScpTarget(nullptr, &target));
}

TEST(ScpTarget, BaseNameCutsAtEverySeparator) {
  for (const char* path : {"/opt/tv/data/pkg.kfw", "data\\pkg.kfw", "C:pkg.kfw", "pkg.kfw"})
    EXPECT_EQ(ScpBaseName(path), "pkg.kfw") << path;
}

TEST(ScpTarget, SinkCommandAddsDirectoryFlagOnlyForPatterns) {
  EXPECT_EQ(ScpSinkCommand("/opt/data/pkg.kfw", "/tmp/"), "scp -t /tmp/");
  EXPECT_EQ(ScpSinkCommand("/opt/data/*.kfw", "/tmp/"), "scp -d -t /tmp/");
  EXPECT_EQ(ScpSinkCommand("/opt/da?a/pkg.kfw", "."), "scp -t .");
}

}  // namespace
