#include "carriedfiles.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sched.h>
#include <stdio.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "../../fixtures/files.h"
#include "../../fixtures/norename.h"
#include "../../fixtures/scratch.h"

using namespace core;

namespace fs = std::filesystem;

namespace {

std::string Bytes(const payload::CarriedFile& f) { return std::string(reinterpret_cast<const char*>(f.data), f.size); }

std::set<std::string> Tree(const fs::path& root) {
  std::set<std::string> names;
  for (auto& e : fs::recursive_directory_iterator(root)) names.insert(fs::relative(e.path(), root).string());
  return names;
}

TEST(CarriedFiles, WhatTheProgramCarries) {
  EXPECT_EQ(Bytes(payload::CarriedIdDat()), "[partner]\r\nid=80000000\r\nver = 3.2.1.26\r\n");
  EXPECT_EQ(payload::CarriedIdDat().size, 40u);
  std::set<std::string> skins;
  for (int n = 1; n <= 33; ++n) {
    std::string skin = Bytes(payload::CarriedSkin(n));
    ASSERT_TRUE(skin.starts_with(".SKN")) << n;
    skins.insert(skin);
  }
  EXPECT_EQ(skins.size(), 33u) << "every skin is different";
  EXPECT_EQ(payload::CarriedSkin(0).size, 0u);
  EXPECT_EQ(payload::CarriedSkin(34).data, nullptr);
  if (!payload::CarriesLibraries()) {  // the packages' build
    EXPECT_EQ(payload::CarriedDlcore().size + payload::CarriedSkinKit().size, 0u);
    return;
  }
  EXPECT_TRUE(Bytes(payload::CarriedDlcore())
                  .starts_with("\x7f"
                               "ELF"));
  const std::string name = payload::CarriedLibraryName("dlcore", payload::CarriedDlcore());
  EXPECT_TRUE(name.starts_with(".dlcore-") && name.ends_with(".so") && name.size() == 19) << name;
}

TEST(CarriedFiles, FirstStartWritesExactlyTheMissingFilesAndNeverTouchesOthers) {
  if (!payload::CarriesLibraries()) GTEST_SKIP() << "this build carries no libraries";
  ScratchConfig scratch;
  const fs::path folder = scratch.folder() / "program";
  fs::create_directories(folder);
  DeploySkinLibrary(folder.string());
  DeployEngineFiles(folder.string());
  const std::string skin = payload::CarriedLibraryName("skinkit", payload::CarriedSkinKit()),
                    engine = payload::CarriedLibraryName("dlcore", payload::CarriedDlcore());
  EXPECT_EQ(Tree(folder), (std::set<std::string>{skin, engine, ".download", ".download/id.dat"}));
  EXPECT_EQ(ReadAll(folder / engine), Bytes(payload::CarriedDlcore()));
  EXPECT_EQ(ReadAll(folder / skin), Bytes(payload::CarriedSkinKit()));
  EXPECT_EQ(ReadAll(folder / ".download/id.dat"), Bytes(payload::CarriedIdDat()));

  // A second start writes nothing; a deleted file comes back alone; a broken one stays.
  const auto engineTime = fs::last_write_time(folder / engine);
  fs::remove(folder / ".download/id.dat");
  std::ofstream(folder / skin, std::ios::trunc).close();  // zero bytes, as after a crash
  DeploySkinLibrary(folder.string());
  DeployEngineFiles(folder.string());
  EXPECT_EQ(fs::last_write_time(folder / engine), engineTime);
  EXPECT_EQ(fs::file_size(folder / skin), 0u) << "existing files are never repaired";
  EXPECT_EQ(ReadAll(folder / ".download/id.dat"), Bytes(payload::CarriedIdDat()));

  // A folder where the library should be counts as existing.
  fs::remove(folder / engine);
  fs::create_directory(folder / engine);
  DeployEngineFiles(folder.string());
  EXPECT_TRUE(fs::is_directory(folder / engine));
  EXPECT_EQ(Tree(folder).size(), 4u) << "no temporary file is left behind";
}

// An installed program never writes beside itself, even where it could (as root).
TEST(CarriedFiles, AnInstalledProgramUsesThePerUserFolder) {
  ScratchConfig scratch;
  const std::string perUser = (scratch.folder() / "data" / "Quorvel").string();
  for (const char* installed : {"/usr/bin", "/usr/local/bin", "/opt/quorvel/bin", "/bin"})
    EXPECT_EQ(DeploymentFolder(installed), perUser) << installed;
}

TEST(CarriedFiles, ReadOnlyProgramFolderFallsBackToThePerUserFolder) {
  ScratchConfig scratch;
  const fs::path program = scratch.folder() / "program";
  fs::create_directories(program);
  EXPECT_EQ(DeploymentFolder(program.string()), program.string());
  pid_t child = fork();
  if (child == 0) {
    // Only a read-only mount stops root from writing: make one in a namespace of our own.
    if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount(program.c_str(), program.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
        mount(nullptr, program.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0)
      _exit(77);
    const std::string folder = DeploymentFolder(program.string());
    DeploySkinLibrary(folder);
    DeployEngineFiles(folder);
    const bool ok = folder == (scratch.folder() / "data" / "Quorvel").string() &&
                    fs::exists(fs::path(folder) / ".download/id.dat") && fs::is_empty(program);
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << "no private mounts here";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// On a file system that refuses RENAME_NOREPLACE (EINVAL, as NFS does; here a seccomp filter
// answers so) the carried files are still written, and still never over an existing file.
TEST(CarriedFiles, WrittenWhereTheNoReplaceRenameIsRefused) {
  ScratchConfig scratch;
  const std::string target = (scratch.folder() / "id.dat").string(), kept = (scratch.folder() / "kept.dat").string();
  { std::ofstream(kept) << "mine"; }
  pid_t child = fork();
  if (child == 0) {
    if (!RefuseNoReplaceRenames()) _exit(77);
    if (renameat2(AT_FDCWD, kept.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0 || errno != EINVAL)
      _exit(78);
    const bool wrote = EnsureCarriedFile(target, payload::CarriedIdDat());
    const bool overwrote = EnsureCarriedFile(kept, payload::CarriedIdDat());
    _exit(wrote && !overwrote ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << "no seccomp here";
  ASSERT_TRUE(WIFEXITED(status)) << "the child died";
  EXPECT_EQ(WEXITSTATUS(status), 0);
  std::ifstream in(target, std::ios::binary);
  std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(written, Bytes(payload::CarriedIdDat()));
  std::ifstream keptIn(kept);
  std::string mine;
  keptIn >> mine;
  EXPECT_EQ(mine, "mine") << "never over an existing file";
  EXPECT_EQ(std::distance(fs::directory_iterator(scratch.folder()), fs::directory_iterator()), 2)
      << "no temporary file left";
}

}  // namespace

namespace {

// The packaged window loads the package's libraries; any other copy deploys its carried ones.
TEST(CarriedFiles, OnlyThePackagesProgramUsesThePackagesLibraries) {
  ScratchConfig scratch;
  const fs::path bin = scratch.folder() / "usr/bin", lib = scratch.folder() / "usr/lib/quorvel";
  fs::create_directories(bin);
  fs::create_directories(lib);
  EXPECT_FALSE(InstalledLibraryFolder(bin.string(), bin.string(), lib.string())) << "no engine library installed";
  std::ofstream(lib / "libdlcore.so") << "x";
  EXPECT_EQ(InstalledLibraryFolder(bin.string(), bin.string(), lib.string()), lib.string());
  EXPECT_FALSE(InstalledLibraryFolder((scratch.folder() / "build/bin").string(), bin.string(), lib.string()))
      << "a build run from its folder deploys its carried files";
  EXPECT_FALSE(InstalledLibraryFolder(bin.string(), "", lib.string()));
  EXPECT_EQ(EngineLibraryPath(lib.string(), true), (lib / "libdlcore.so").string());
  EXPECT_EQ(SkinLibraryPath(lib.string(), true), (lib / "libskinkit.so").string());
  EXPECT_NE(EngineLibraryPath(lib.string()), EngineLibraryPath(lib.string(), true)) << "carried names carry a hash";
}

// A window built without carried libraries (the packages') never deploys, from any folder: with
// the package's engine library removed it loads nothing rather than writing into the home, and
// an empty carried file is never written.
TEST(CarriedFiles, AWindowWithoutCarriedLibrariesWritesNoCode) {
  ScratchConfig scratch;
  const fs::path bin = scratch.folder() / "usr/bin", lib = scratch.folder() / "usr/lib/quorvel";
  fs::create_directories(bin);
  EXPECT_EQ(InstalledLibraryFolder(bin.string(), bin.string(), lib.string(), false), lib.string())
      << "the package's folder even with its engine library gone";
  const std::string build = (scratch.folder() / "build/bin").string();
  EXPECT_EQ(InstalledLibraryFolder(build, bin.string(), lib.string(), false), build) << "a build's own folder";
  const fs::path target = scratch.folder() / "home/.dlcore.so";
  fs::create_directories(target.parent_path());
  EXPECT_FALSE(EnsureCarriedFile(target.string(), payload::CarriedFile{}, 0755));
  EXPECT_FALSE(fs::exists(target));
}

}  // namespace
