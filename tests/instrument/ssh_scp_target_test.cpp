#include "instrument/scp_target.h"

#include <gtest/gtest.h>

namespace {

TEST(ScpTarget, SplitsUserHostAndPath) {
  ScpTarget target;
  ASSERT_TRUE(ParseScpTarget("root@198.18.0.11:/tmp/package.kfw", &target));
  EXPECT_EQ(target.user, "root");
  EXPECT_EQ(target.host, "198.18.0.11");
  EXPECT_EQ(target.path, "/tmp/package.kfw");

  ASSERT_TRUE(ParseScpTarget("198.18.0.11:/data/a:b", &target));
  EXPECT_EQ(target.user, "");
  EXPECT_EQ(target.host, "198.18.0.11");
  EXPECT_EQ(target.path, "/data/a:b");  // only the first colon splits
}

TEST(ScpTarget, EmptyPathMeansLoginDirectory) {
  ScpTarget target;
  ASSERT_TRUE(ParseScpTarget("198.18.0.11:", &target));
  EXPECT_EQ(target.path, ".");
}

TEST(ScpTarget, RefusesTargetsWithoutRemoteHost) {
  ScpTarget target;
  EXPECT_FALSE(ParseScpTarget("/tmp/package.kfw", &target));
  EXPECT_FALSE(ParseScpTarget("dir/host:path", &target));
  EXPECT_FALSE(ParseScpTarget("dir\\host:path", &target));
  EXPECT_FALSE(ParseScpTarget(":/tmp", &target));
  EXPECT_FALSE(ParseScpTarget(nullptr, &target));
}

TEST(ScpTarget, BaseNameCutsAtEverySeparator) {
  EXPECT_EQ(ScpBaseName("/opt/tv/data/pkg.kfw"), "pkg.kfw");
  EXPECT_EQ(ScpBaseName("data\\pkg.kf4"), "pkg.kf4");
  EXPECT_EQ(ScpBaseName("C:pkg.kfw"), "pkg.kfw");
  EXPECT_EQ(ScpBaseName("pkg.kfw"), "pkg.kfw");
}

TEST(ScpTarget, SinkCommandAddsDirectoryFlagOnlyForPatterns) {
  EXPECT_EQ(ScpSinkCommand("/opt/data/pkg.kfw", "/tmp/"), "scp -t /tmp/");
  EXPECT_EQ(ScpSinkCommand("/opt/data/*.kfw", "/tmp/"), "scp -d -t /tmp/");
  EXPECT_EQ(ScpSinkCommand("/opt/da?a/pkg.kfw", "."), "scp -t .");
}

}  // namespace
