// Packing and decoding firmware packages of both families.
#include <filesystem>
#include <random>

#include "core/settings.h"
#include "scripts/md5.h"
#include "scripts/script_files.h"
#include "tests/scripts/scratch_dir_support.h"

namespace {

namespace fs = std::filesystem;

class PackageFilesTest : public ScratchDirTest {
 protected:
  bool Decode(const std::string& package, int kind) {
    return DecodePackage(Path(package), Path("decoded.tar"), kind);
  }
};

std::string RandomBytes(std::size_t size) {
  std::mt19937 generator(static_cast<unsigned>(size));
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(generator());
  return bytes;
}

TEST_F(PackageFilesTest, BothKindsRoundTripAcrossPieceBoundaries) {
  // Pieces are 256 KiB, four of them go round the digest thread, and the
  // swap goes eight bytes at a time: sizes on and beside each, and one that
  // takes every piece more than once.
  for (const std::size_t size : {1u, 7u, 2049u, 262143u, 262144u, 262145u, 2359303u}) {
    const std::string archive = RandomBytes(size);
    Write("fw.bin", archive);
    PackPackageFile(Path("fw.bin"), Path("fw.kfw"), 1);
    PackPackageFile(Path("fw.bin"), Path("fw.kf4"), 2);

    const std::string scrambled = SwapNibbles(archive);
    const std::string digest = Md5Hex(scrambled.data(), scrambled.size());
    EXPECT_EQ(Read("fw.kfw"), scrambled + digest) << size;
    EXPECT_EQ(Read("fw.kf4"), scrambled + "kf4" + digest) << size;

    ASSERT_TRUE(Decode("fw.kfw", 1)) << size;
    EXPECT_EQ(Read("decoded.tar"), archive);
    ASSERT_TRUE(Decode("fw.kf4", 2)) << size;
    EXPECT_EQ(Read("decoded.tar"), archive);
  }
}

TEST_F(PackageFilesTest, RejectedPackagesLeaveNoDecodedFile) {
  Write("fw.bin", RandomBytes(5000));
  PackPackageFile(Path("fw.bin"), Path("fw.kfw"), 1);
  PackPackageFile(Path("fw.bin"), Path("fw.kf4"), 2);
  std::string changed = Read("fw.kfw");
  changed.back() ^= 0x01;
  Write("changed.kfw", changed);
  std::string marked = Read("fw.kfw");
  marked.insert(marked.size() - 32, "kf5");
  Write("marker.kf4", marked);  // digest right, marker wrong
  Write("short.kfw", std::string(32, 'a'));
  Write("short.kf4", std::string(35, 'a'));
  const auto before = Names();

  for (const auto& [package, kind] : std::vector<std::pair<std::string, int>>{
           {"changed.kfw", 1}, {"fw.kf4", 1}, {"fw.kfw", 2}, {"marker.kf4", 2},
           {"short.kfw", 1}, {"short.kf4", 2}, {"absent.kfw", 1}}) {
    Write("decoded.tar", "from an earlier upgrade");
    EXPECT_FALSE(Decode(package, kind)) << package;
    EXPECT_EQ(Names(), before) << package;  // no decoded file, no leftover
  }
}

TEST_F(PackageFilesTest, DecodesUnderNamesUpToTheFileNameLimit) {
  Write("fw.bin", "archive");
  PackPackageFile(Path("fw.bin"), Path("fw.kfw"), 1);
  const auto before = Names();
  // 255 bytes is the longest name a Linux file system takes.
  for (const std::size_t length : {248u, 249u, 255u}) {
    const std::string name = std::string(length - 4, 'n') + ".tgz";
    ASSERT_TRUE(DecodePackage(Path("fw.kfw"), Path(name), 1)) << length;
    EXPECT_EQ(Read(name), "archive") << length;
    fs::remove(Path(name));
    EXPECT_EQ(Names(), before) << length;  // no temporary left
  }
}

TEST_F(PackageFilesTest, DecodingOntoThePackageItselfIsRefused) {
  Write("fw.bin", "archive");
  PackPackageFile(Path("fw.bin"), Path("fw.kfw"), 1);
  const std::string package = Read("fw.kfw");
  EXPECT_FALSE(DecodePackage(Path("fw.kfw"), Path("./fw.kfw"), 1));
  EXPECT_EQ(Read("fw.kfw"), package);
}

TEST_F(PackageFilesTest, PackingOntoItsOwnInputIsRefusedWhateverThePath) {
  const std::string archive = RandomBytes(3000);
  Write("fw.kfw", archive);
  fs::create_directory(Path("sub"));
  fs::create_symlink(Path("fw.kfw"), Path("link.kfw"));
  fs::create_hard_link(Path("fw.kfw"), Path("hard.kfw"));
  for (const char* output : {"fw.kfw", "sub/../fw.kfw", "link.kfw", "hard.kfw"}) {
    PackPackageFile(Path("fw.kfw"), Path(output), 1);
    PackPackageFile(Path("link.kfw"), Path(output), 2);
    EXPECT_EQ(Read("fw.kfw"), archive) << output;
  }
}

TEST_F(PackageFilesTest, PackingAnUnreadableInputWritesNothing) {
  PackPackageFile(Path("absent.bin"), Path("out.kfw"), 1);
  fs::create_directory(Path("folder.bin"));
  PackPackageFile(Path("folder.bin"), Path("out.kfw"), 1);
  EXPECT_EQ(Names(), std::vector<std::string>{"folder.bin"});
}

TEST_F(PackageFilesTest, PackersReportTheFileTheyCouldNotReadOrWrite) {
  Write("fw.bin", "x");
  Write("plain.sh", "echo\n");
  fs::create_directory(Path("folder"));
  const struct {
    const char* why;
    PackResult result;
    PackResult::Status status;
    std::string path;
  } cases[] = {
      {"package written", PackPackageFile(Path("fw.bin"), Path("fw.kfw"), 1), PackResult::Written, ""},
      {"package input absent", PackPackageFile(Path("absent"), Path("o.kfw"), 1),
       PackResult::InputUnreadable, Path("absent")},
      {"package input a directory", PackPackageFile(Path("folder"), Path("o.kfw"), 1),
       PackResult::InputUnreadable, Path("folder")},
      {"package output under a file", PackPackageFile(Path("fw.bin"), Path("fw.bin/o.kf4"), 2),
       PackResult::OutputUnwritable, Path("fw.bin/o.kf4")},
      {"package output is the input", PackPackageFile(Path("fw.bin"), Path("fw.bin"), 2),
       PackResult::OutputUnwritable, Path("fw.bin")},
      {"script written", PackScriptFile(Path("plain.sh"), Path("s.data")), PackResult::Written, ""},
      {"script input absent", PackScriptFile(Path("absent"), Path("s.data")),
       PackResult::InputUnreadable, Path("absent")},
      {"script output a directory", PackScriptFile(Path("plain.sh"), Path("folder")),
       PackResult::OutputUnwritable, Path("folder")},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.result.status, c.status) << c.why;
    EXPECT_EQ(c.result.path, c.path) << c.why;
  }
}

TEST_F(PackageFilesTest, PackingCreatesMissingDirectoriesOfTheOutput) {
  Write("fw.bin", "x");
  PackPackageFile(Path("fw.bin"), Path("a/b/fw.kf4"), 2);
  EXPECT_TRUE(DecodePackage(Path("a/b/fw.kf4"), Path("a/fw.bin"), 2));
  EXPECT_EQ(Read("a/fw.bin"), "x");
}

TEST_F(PackageFilesTest, DefaultPackagePathSitsInTheProgramDirectory) {
  const std::string home = ProgramDirectory();
  EXPECT_EQ(DefaultPackagePath("/pkg/fw.bin", 2), home + "fw.kf4");
  EXPECT_EQ(DefaultPackagePath("/pkg/fw.bin", 1), home + "fw.kfw");
  EXPECT_EQ(DefaultPackagePath("/pkg/fw.1.tar", 1), home + "fw.1.kfw");
  EXPECT_EQ(DefaultPackagePath("/pkg.d/fw", 1), home);
  EXPECT_EQ(DefaultPackagePath("fw.bin", 1), home);
}

}  // namespace
