#include "export/tga.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "base/file_problem.h"
#include "tests/support/test_files.h"
#include "tests/support/tga_reader.h"

namespace {

namespace fs = std::filesystem;

using Bytes = std::vector<unsigned char>;

bool append_to(void* context, const unsigned char* bytes, std::size_t count) {
  auto* out = static_cast<Bytes*>(context);
  out->insert(out->end(), bytes, bytes + count);
  return true;
}

Bytes encode(int width, int height, int depth, const unsigned char* pixels) {
  Bytes out;
  EXPECT_TRUE(encode_tga(append_to, &out, width, height, depth, pixels));
  return out;
}

Bytes header_of(const Bytes& file) { return Bytes(file.begin(), file.begin() + 18); }
Bytes as_bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A lopsided test picture: odd width, no symmetry, and every channel of
// every pixel different from its neighbours', so flips, shifted rows and
// swapped channels all show.
Bytes lopsided_pixels(int width, int height, int channels) {
  Bytes p(static_cast<std::size_t>(width) * height * channels);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      unsigned char* q = &p[(static_cast<std::size_t>(y) * width + x) * channels];
      q[0] = static_cast<unsigned char>(x * 7 + y * 3);
      q[1] = static_cast<unsigned char>(x * 13 + y * 29 + 40);
      q[2] = static_cast<unsigned char>(255 - x * 5 - y * 11);
      if (channels == 4) q[3] = static_cast<unsigned char>(x + y * 17 + 1);
    }
  return p;
}

// Runs write_tga and returns what it printed on standard error.
std::string write_tga_stderr(const std::string& path, int width, int height, int depth,
                             const unsigned char* pixels, bool* result) {
  testing::internal::CaptureStderr();
  *result = write_tga(path.c_str(), width, height, depth, pixels);
  return testing::internal::GetCapturedStderr();
}

std::vector<std::string> names_in(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string save_error(const std::string& path) {
  return "[ERROR] could not save file \"" + path + "\"\n";
}

TEST(TgaEncode, CanvasOf600x600RgbaHasTheDocumentedHeaderAndSize) {
  const Bytes pixels = lopsided_pixels(600, 600, 4);
  const Bytes file = encode(600, 600, 4, pixels.data());
  ASSERT_EQ(file.size(), 18u + 600u * 600u * 4u);
  EXPECT_EQ(tga_file_size(600, 600, 4), file.size());
  EXPECT_EQ(header_of(file),
            (Bytes{0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x58, 0x02, 0x58, 0x02, 32, 0}));
  // Every pixel in input order, stored B, G, R, A (block boundaries fall
  // mid-image, so check all of them).
  for (std::size_t i = 0; i < 600u * 600u; ++i) {
    const unsigned char* in = &pixels[i * 4];
    const unsigned char* out = &file[18 + i * 4];
    ASSERT_EQ(out[0], in[2]) << "pixel " << i;
    ASSERT_EQ(out[1], in[1]) << "pixel " << i;
    ASSERT_EQ(out[2], in[0]) << "pixel " << i;
    ASSERT_EQ(out[3], in[3]) << "pixel " << i;
  }
}

TEST(TgaEncode, RedThenGreenAt24BitsIsStoredBlueGreenRed) {
  const unsigned char pixels[] = {255, 0, 0, 0, 255, 0};
  EXPECT_EQ(encode(2, 1, 24, pixels),
            (Bytes{0, 0, 2,   0, 0,   0, 0, 0, 0, 0, 0, 0, 2, 0, 1, 0, 24, 0,  //
                   0, 0, 255, 0, 255, 0}));
}

TEST(TgaEncode, EmptyImageIsJustTheHeaderWithTheZeroSide) {
  const Bytes wide = encode(7, 0, 3, nullptr);
  ASSERT_EQ(wide.size(), 18u);
  EXPECT_EQ(wide[12], 7);
  EXPECT_EQ(wide[13], 0);
  EXPECT_EQ(wide[14], 0);
  EXPECT_EQ(wide[15], 0);
  const Bytes tall = encode(0, 300, 4, nullptr);
  ASSERT_EQ(tall.size(), 18u);
  EXPECT_EQ(tall[12], 0);
  EXPECT_EQ(tall[13], 0);
  EXPECT_EQ(tall[14], 300 & 0xFF);
  EXPECT_EQ(tall[15], 300 >> 8);
  EXPECT_EQ(tall[16], 32);
}

TEST(TgaEncode, SidesOf65536OrMoreKeepTheirLow16Bits) {
  const int width = 70000;  // 70000 = 0x11170
  const Bytes pixels = lopsided_pixels(width, 1, 3);
  const Bytes file = encode(width, 1, 3, pixels.data());
  ASSERT_EQ(file.size(), 18u + 70000u * 3u);
  EXPECT_EQ(file[12], 0x70);
  EXPECT_EQ(file[13], 0x11);
  EXPECT_EQ(file[14], 1);
  // The last pixel is still written: all width pixels are data.
  EXPECT_EQ(file[file.size() - 1], pixels[pixels.size() - 3]);
}

TEST(TgaEncode, RefusesBadArgumentsAndStopsWhenTheSinkFails) {
  Bytes out;
  const unsigned char pixel[4] = {1, 2, 3, 4};
  EXPECT_FALSE(encode_tga(append_to, &out, 1, 1, 8, pixel));
  EXPECT_FALSE(encode_tga(append_to, &out, -1, 1, 4, pixel));
  EXPECT_FALSE(encode_tga(append_to, &out, 1, -1, 4, pixel));
  EXPECT_FALSE(encode_tga(append_to, &out, 1, 1, 4, nullptr));
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(tga_file_size(1, 1, 16), 0u);
  EXPECT_EQ(tga_file_size(-3, 1, 3), 0u);

  // A sink that takes two blocks and then refuses: encoding stops there.
  struct Counting {
    int calls = 0;
  } counting;
  auto refuse_third = [](void* c, const unsigned char*, std::size_t) {
    return ++static_cast<Counting*>(c)->calls < 3;
  };
  const Bytes big = lopsided_pixels(300, 300, 4);
  EXPECT_FALSE(encode_tga(refuse_third, &counting, 300, 300, 4, big.data()));
  EXPECT_EQ(counting.calls, 3);
}

TEST(TgaFile, DepthAliasesGiveIdenticalFiles) {
  TempDir dir;
  const Bytes rgb = lopsided_pixels(5, 3, 3);
  const Bytes rgba = lopsided_pixels(5, 3, 4);
  ASSERT_TRUE(write_tga(dir.file("a3.tga").c_str(), 5, 3, 3, rgb.data()));
  ASSERT_TRUE(write_tga(dir.file("a24.tga").c_str(), 5, 3, 24, rgb.data()));
  ASSERT_TRUE(write_tga(dir.file("a4.tga").c_str(), 5, 3, 4, rgba.data()));
  ASSERT_TRUE(write_tga(dir.file("a32.tga").c_str(), 5, 3, 32, rgba.data()));
  EXPECT_EQ(read_file(dir.file("a3.tga")), read_file(dir.file("a24.tga")));
  EXPECT_EQ(read_file(dir.file("a4.tga")), read_file(dir.file("a32.tga")));
  EXPECT_EQ(as_bytes(read_file(dir.file("a3.tga"))), encode(5, 3, 3, rgb.data()));
  EXPECT_EQ(as_bytes(read_file(dir.file("a4.tga"))), encode(5, 3, 4, rgba.data()));
  EXPECT_EQ(read_file(dir.file("a4.tga")).size(), 18u + 5 * 3 * 4);
}

TEST(TgaFile, UnsupportedDepthReportsAndTouchesNoFile) {
  TempDir dir;
  const Bytes pixels = lopsided_pixels(4, 4, 4);
  write_file(dir.file("old.tga"), "earlier contents");
  for (int depth : {8, 16, 0, -24, 5}) {
    SCOPED_TRACE(depth);
    bool ok = true;
    EXPECT_EQ(write_tga_stderr(dir.file("new.tga"), 4, 4, depth, pixels.data(), &ok),
              "[ERROR] Unsupported bit depth requested\n");
    EXPECT_FALSE(ok);
    EXPECT_EQ(write_tga_stderr(dir.file("old.tga"), 4, 4, depth, pixels.data(), &ok),
              "[ERROR] Unsupported bit depth requested\n");
    EXPECT_FALSE(ok);
  }
  EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"old.tga"});
  EXPECT_EQ(read_file(dir.file("old.tga")), "earlier contents");
}

TEST(TgaFile, SavingReplacesTheNamedFileWhateverItsExtension) {
  TempDir dir;
  const Bytes pixels = lopsided_pixels(9, 4, 4);
  // As when the field still holds the name of the loaded picture.
  write_file(dir.file("image1.jpg"), std::string(5000, 'j'));
  ASSERT_EQ(chmod(dir.file("image1.jpg").c_str(), 0640), 0);
  bool ok = false;
  EXPECT_EQ(write_tga_stderr(dir.file("image1.jpg"), 9, 4, 4, pixels.data(), &ok), "");
  EXPECT_TRUE(ok);
  EXPECT_EQ(as_bytes(read_file(dir.file("image1.jpg"))), encode(9, 4, 4, pixels.data()));
  struct stat st {};
  ASSERT_EQ(stat(dir.file("image1.jpg").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u) << "a replaced file keeps its permissions";
  EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"image1.jpg"});
}

TEST(TgaFile, NewFileGetsTheUsualPermissions) {
  TempDir dir;
  const unsigned char pixel[3] = {1, 2, 3};
  const mode_t old_mask = umask(027);
  const bool ok = write_tga(dir.file("new.tga").c_str(), 1, 1, 3, pixel);
  umask(old_mask);
  ASSERT_TRUE(ok);
  struct stat st {};
  ASSERT_EQ(stat(dir.file("new.tga").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u) << "0666 less the umask, as fopen gives";
}

TEST(TgaFile, SymbolicLinkIsFollowedAndKept) {
  TempDir dir;
  fs::create_directory(dir.file("real"));
  write_file(dir.file("real/picture.tga"), "old");
  fs::create_symlink("real/picture.tga", dir.file("link.tga"));
  const unsigned char pixel[3] = {10, 20, 30};
  ASSERT_TRUE(write_tga(dir.file("link.tga").c_str(), 1, 1, 3, pixel));
  EXPECT_TRUE(fs::is_symlink(dir.file("link.tga")));
  EXPECT_EQ(as_bytes(read_file(dir.file("real/picture.tga"))), encode(1, 1, 3, pixel));
  EXPECT_EQ(names_in(dir.path() + "/real"), std::vector<std::string>{"picture.tga"});

  // A link to nowhere is not followed into creating files elsewhere.
  fs::create_symlink("missing/picture.tga", dir.file("dangling.tga"));
  bool ok = true;
  EXPECT_EQ(write_tga_stderr(dir.file("dangling.tga"), 1, 1, 3, pixel, &ok),
            save_error(dir.file("dangling.tga")));
  EXPECT_FALSE(ok);
}

TEST(TgaFile, LongestFileNameAndRelativePathsWork) {
  TempDir dir;
  const unsigned char pixel[4] = {1, 2, 3, 4};
  const std::string name(255, 'n');  // the temporary name must be cut to fit
  ASSERT_TRUE(write_tga(dir.file(name).c_str(), 1, 1, 4, pixel));
  EXPECT_EQ(as_bytes(read_file(dir.file(name))), encode(1, 1, 4, pixel));
  EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{name});

  // A bare file name goes into the current folder.
  const fs::path old_cwd = fs::current_path();
  fs::current_path(dir.path());
  const bool ok = write_tga("bare.tga", 1, 1, 4, pixel);
  fs::current_path(old_cwd);
  EXPECT_TRUE(ok);
  EXPECT_EQ(as_bytes(read_file(dir.file("bare.tga"))), encode(1, 1, 4, pixel));
}

// Runs write_tga as an unprivileged user (root may write anything) and
// returns its result, or -1 when the child could not drop its rights.
int write_tga_as_nobody(const std::string& path, bool keeping = false) {
  const pid_t pid = fork();
  if (pid == 0) {
    const unsigned char pixel[3] = {1, 2, 3};
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
    std::string kept;
    _exit((keeping ? write_tga_keeping(path.c_str(), 1, 1, 3, pixel, &kept)
                   : write_tga(path.c_str(), 1, 1, 3, pixel))
              ? 1
              : 0);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) == 2)
    return -1;
  return WEXITSTATUS(status);
}

TEST(TgaFile, WithoutWritePermissionNothingIsReplaced) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to switch to an unprivileged user";
  TempDir dir;
  ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
  // A write-protected file in a folder anyone may write: the rename could
  // replace it, but saving must refuse as opening it for writing would.
  write_file(dir.file("locked.tga"), "locked");
  ASSERT_EQ(chmod(dir.file("locked.tga").c_str(), 0444), 0);
  EXPECT_EQ(write_tga_as_nobody(dir.file("locked.tga")), 0);
  EXPECT_EQ(read_file(dir.file("locked.tga")), "locked");
  // A folder the user may not write.
  fs::create_directory(dir.file("closed"));
  ASSERT_EQ(chmod(dir.file("closed").c_str(), 0755), 0);
  EXPECT_EQ(write_tga_as_nobody(dir.file("closed/new.tga")), 0);
  EXPECT_TRUE(fs::is_empty(dir.file("closed")));
  // And where the user may write, the same call succeeds.
  EXPECT_EQ(write_tga_as_nobody(dir.file("open.tga")), 1);
  EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"closed", "locked.tga", "open.tga"}));
}

TEST(TgaFile, FileThatCannotBeReplacedSafelyIsWrittenInPlace) {
  TempDir dir;
  const unsigned char pixel[3] = {1, 2, 3};  // as write_tga_as_nobody writes
  const Bytes saved = encode(1, 1, 3, pixel);
  write_file(dir.file("a.tga"), "old");
  fs::create_hard_link(dir.file("a.tga"), dir.file("b.tga"));
  ASSERT_TRUE(write_tga(dir.file("a.tga").c_str(), 1, 1, 3, pixel));
  EXPECT_EQ(as_bytes(read_file(dir.file("b.tga"))), saved) << "the other link";

  if (geteuid() != 0) GTEST_SKIP() << "needs root to switch to an unprivileged user";
  ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
  // Root's writable file saved by another user, in a read-only, a sticky
  // and an open folder: same file, same owner, new content.
  for (const char* mode : {"755", "1777", "777"}) {
    SCOPED_TRACE(mode);
    const std::string file = dir.file(mode) + "/p.tga";
    fs::create_directory(dir.file(mode));
    ASSERT_EQ(chmod(dir.file(mode).c_str(), std::strtoul(mode, nullptr, 8)), 0);
    write_file(file, "old");
    ASSERT_EQ(chmod(file.c_str(), 0666), 0);
    struct stat before {
    }, after{};
    ASSERT_EQ(stat(file.c_str(), &before), 0);
    EXPECT_EQ(write_tga_as_nobody(file), 1);
    ASSERT_EQ(stat(file.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_uid, 0u);
    EXPECT_EQ(as_bytes(read_file(file)), saved);
  }
}

// A photo written into (it has another name) is first copied beside it;
// the copy keeps the photo's group, or where the saver may not give it
// that group, opens to nobody more than the photo did: a 0640 photo of the
// group adm once left a copy readable by the saver's whole group.
TEST(TgaFile, TheCopyOfAPhotoWrittenIntoKeepsItsGroupOrOpensNoWider) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to give files to a group and to switch users";
  TempDir dir;
  ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
  const gid_t adm = 4;
  const auto photo = [&](const std::string& name, mode_t mode) {
    write_file(dir.file(name), "\xFF\xD8\xFF\xE0 a photo");
    fs::create_hard_link(dir.file(name), dir.file(name + ".link"));
    return chown(dir.file(name).c_str(), 0, adm) == 0 && chmod(dir.file(name).c_str(), mode) == 0;
  };
  struct stat copy {};
  ASSERT_TRUE(photo("ours.jpg", 0640));
  std::string kept;
  const unsigned char pixel[3] = {1, 2, 3};
  ASSERT_TRUE(write_tga_keeping(dir.file("ours.jpg").c_str(), 1, 1, 3, pixel, &kept));
  ASSERT_EQ(stat(dir.file("ours.jpg~").c_str(), &copy), 0);
  EXPECT_EQ(copy.st_gid, adm);
  EXPECT_EQ(copy.st_mode & 07777, 0640u);

  ASSERT_TRUE(photo("theirs.jpg", 0646));  // the group may read, anyone may write
  EXPECT_EQ(write_tga_as_nobody(dir.file("theirs.jpg"), true), 1);
  ASSERT_EQ(stat(dir.file("theirs.jpg~").c_str(), &copy), 0);
  EXPECT_NE(copy.st_gid, adm);
  EXPECT_EQ(copy.st_mode & 07777, 0644u);
  EXPECT_EQ(read_file(dir.file("theirs.jpg~")), "\xFF\xD8\xFF\xE0 a photo");
}

TEST(TgaFile, APhotoThatCannotBeKeptIsNotSavedOver) {
  TempDir dir;
  ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
  const std::string folder = dir.file("closed"), photo = folder + "/photo.jpg";
  fs::create_directory(folder);
  write_file(photo, "\xFF\xD8\xFF\xE0 a photo");
  ASSERT_EQ(chmod(photo.c_str(), 0666), 0);
  ASSERT_EQ(chmod(folder.c_str(), 0555), 0);  // the copy has nowhere to go
  const pid_t pid = fork();
  if (pid == 0) {  // root writes into any folder: save as an unprivileged user then
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
    const unsigned char pixel[3] = {1, 2, 3};
    std::string kept = "?";
    testing::internal::CaptureStderr();
    const bool saved = write_tga_keeping(photo.c_str(), 1, 1, 3, pixel, &kept);
    const bool said = testing::internal::GetCapturedStderr() == save_error(photo);
    _exit(!saved && said && kept.empty() ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  EXPECT_EQ(read_file(photo), "\xFF\xD8\xFF\xE0 a photo");
  EXPECT_EQ(names_in(folder), std::vector<std::string>{"photo.jpg"});
  chmod(folder.c_str(), 0755);
}

TEST(TgaFile, DevicesAreWrittenInPlaceNotReplaced) {
  const unsigned char pixel[3] = {1, 2, 3};
  EXPECT_TRUE(write_tga("/dev/null", 1, 1, 3, pixel));
  struct stat st {};
  ASSERT_EQ(stat("/dev/null", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
}

TEST(TgaFile, NamedPipeGetsTheBytesAndOneWithoutReaderIsAnError) {
  TempDir dir;
  const std::string fifo = dir.file("pipe.tga");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const Bytes pixels = lopsided_pixels(31, 17, 3);
  bool ok = true;
  EXPECT_EQ(write_tga_stderr(fifo, 31, 17, 3, pixels.data(), &ok), save_error(fifo));
  EXPECT_FALSE(ok) << "nobody reads the pipe";

  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  ASSERT_EQ(fcntl(reader, F_SETFL, 0), 0);
  // Held open so the reader sees no end of file before write_tga opens.
  const int keep_open = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
  ASSERT_GE(keep_open, 0);
  Bytes received;
  std::thread drain([&] {
    unsigned char buf[4096];
    for (ssize_t n; (n = read(reader, buf, sizeof buf)) > 0;)
      received.insert(received.end(), buf, buf + n);
  });
  const Bytes big = lopsided_pixels(301, 211, 4);  // 254 kB: more than the pipe holds at once
  EXPECT_TRUE(write_tga(fifo.c_str(), 301, 211, 4, big.data()));
  close(keep_open);
  drain.join();
  close(reader);
  EXPECT_EQ(received, encode(301, 211, 4, big.data()));
  struct stat st {};
  ASSERT_EQ(stat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST(TgaFile, PathsThatCannotBeWrittenReportAndLeaveNoTrace) {
  TempDir dir;
  const Bytes pixels = lopsided_pixels(6, 2, 4);
  bool ok = true;

  const std::string missing = dir.file("no such folder/out.tga");
  EXPECT_EQ(write_tga_stderr(missing, 6, 2, 4, pixels.data(), &ok), save_error(missing));
  EXPECT_FALSE(ok);
  // The reasons the window adds to the line.
  EXPECT_EQ(write_problem(missing.c_str()), "No such file or directory");

  fs::create_directory(dir.file("folder.tga"));
  write_file(dir.file("folder.tga/inside"), "kept");
  EXPECT_EQ(write_tga_stderr(dir.file("folder.tga"), 6, 2, 4, pixels.data(), &ok),
            save_error(dir.file("folder.tga")));
  EXPECT_FALSE(ok);
  EXPECT_EQ(write_tga_stderr(dir.file("folder.tga/"), 6, 2, 4, pixels.data(), &ok),
            save_error(dir.file("folder.tga/")));
  EXPECT_FALSE(ok);
  EXPECT_TRUE(fs::is_directory(dir.file("folder.tga")));
  EXPECT_EQ(write_problem(dir.file("folder.tga/").c_str()), "Is a directory");
  EXPECT_EQ(names_in(dir.file("folder.tga")), std::vector<std::string>{"inside"});

  // A file used as a folder.
  write_file(dir.file("plain"), "plain");
  EXPECT_EQ(write_tga_stderr(dir.file("plain/out.tga"), 6, 2, 4, pixels.data(), &ok),
            save_error(dir.file("plain/out.tga")));
  EXPECT_FALSE(ok);
  EXPECT_EQ(write_problem(dir.file("plain/out.tga").c_str()), "Not a directory");
  EXPECT_EQ(write_problem(dir.file("plain").c_str()), "");

  EXPECT_EQ(write_tga_stderr("", 6, 2, 4, pixels.data(), &ok), save_error(""));
  EXPECT_FALSE(ok);
  EXPECT_EQ(write_tga_stderr(dir.file("negative.tga"), -6, 2, 4, pixels.data(), &ok),
            save_error(dir.file("negative.tga")));
  EXPECT_FALSE(ok);

  EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"folder.tga", "plain"}));
  EXPECT_EQ(read_file(dir.file("plain")), "plain");
}

TEST(TgaFile, FullDeviceIsReportedNotTakenForSuccess) {
  if (!file_exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const std::vector<std::string> before = names_in("/dev");
  const Bytes pixels = lopsided_pixels(64, 64, 4);
  bool ok = true;
  EXPECT_EQ(write_tga_stderr("/dev/full", 64, 64, 4, pixels.data(), &ok), save_error("/dev/full"));
  EXPECT_FALSE(ok);
  struct stat st {};
  ASSERT_EQ(stat("/dev/full", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode)) << "the device must not be replaced";
  EXPECT_EQ(names_in("/dev"), before);
}

// A folder on a tiny file system of its own, unmounted when done.
class TinyFileSystem {
 public:
  TinyFileSystem() { mounted_ = mount("tmpfs", dir_.path().c_str(), "tmpfs", 0, "size=64k") == 0; }
  ~TinyFileSystem() {
    if (mounted_) umount2(dir_.path().c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  std::string file(const std::string& name) const { return dir_.file(name); }
  const std::string& path() const { return dir_.path(); }

 private:
  TempDir dir_;
  bool mounted_ = false;
};

TEST(TgaFile, FullDiskKeepsTheEarlierFileAndLeavesNoTemporary) {
  TinyFileSystem disk;
  if (!disk.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
  const std::string earlier(20000, 'e');
  ASSERT_TRUE(write_file(disk.file("painting.tga"), earlier));
  const Bytes pixels = lopsided_pixels(200, 200, 4);  // 160 kB, more than the disk
  bool ok = true;
  EXPECT_EQ(write_tga_stderr(disk.file("painting.tga"), 200, 200, 4, pixels.data(), &ok),
            save_error(disk.file("painting.tga")));
  EXPECT_FALSE(ok);
  EXPECT_EQ(read_file(disk.file("painting.tga")), earlier);
  EXPECT_EQ(names_in(disk.path()), std::vector<std::string>{"painting.tga"});

  // The new file is written beside the old one; once both fit, the save
  // goes through and only the new file is left.
  const Bytes small = lopsided_pixels(50, 50, 4);  // 10 kB
  EXPECT_TRUE(write_tga(disk.file("painting.tga").c_str(), 50, 50, 4, small.data()));
  EXPECT_EQ(as_bytes(read_file(disk.file("painting.tga"))), encode(50, 50, 4, small.data()));
  EXPECT_EQ(names_in(disk.path()), std::vector<std::string>{"painting.tga"});
}

TEST(TgaRoundTrip, ReaderGetsBackEveryPixelBottomRowFirst) {
  TempDir dir;
  for (int channels : {3, 4}) {
    SCOPED_TRACE(channels);
    const int width = 97, height = 13;
    const Bytes pixels = lopsided_pixels(width, height, channels);
    const std::string path = dir.file("round.tga");
    ASSERT_TRUE(write_tga(path.c_str(), width, height, channels, pixels.data()));
    TgaFile tga;
    std::string error;
    ASSERT_TRUE(read_tga(read_file(path), &tga, &error)) << error;
    EXPECT_EQ(tga.width, width);
    EXPECT_EQ(tga.height, height);
    EXPECT_EQ(tga.depth, channels * 8);
    EXPECT_EQ(tga.descriptor, 0);
    EXPECT_EQ(tga.x_origin, 0);
    EXPECT_EQ(tga.y_origin, 0);
    // The writer's rows come bottom first (as OpenGL reads them); the
    // reader gives them upright.
    for (std::size_t i = 0; i < static_cast<std::size_t>(width) * height; ++i) {
      const int x = static_cast<int>(i % width), y = height - 1 - static_cast<int>(i / width);
      const Rgb got = tga.pixels.at(x, y);
      const unsigned char* want = &pixels[i * channels];
      ASSERT_EQ(got, (Rgb{want[0], want[1], want[2]})) << "pixel " << i;
      ASSERT_EQ(tga.alpha[static_cast<std::size_t>(y) * width + x], channels == 4 ? want[3] : 255)
          << "pixel " << i;
    }
  }
}

bool have_imagemagick() {
  return std::system("command -v convert >/dev/null 2>&1 && command -v identify >/dev/null 2>&1") ==
         0;
}

TEST(TgaRoundTrip, ImageMagickReadsTheFileUpright) {
  if (!have_imagemagick()) GTEST_SKIP() << "ImageMagick is not installed";
  TempDir dir;
  const int width = 97, height = 13;
  for (int channels : {3, 4}) {
    SCOPED_TRACE(channels);
    const Bytes pixels = lopsided_pixels(width, height, channels);
    const std::string tga = dir.file("magick.tga");
    const std::string raw = dir.file("magick.raw");
    const std::string info = dir.file("identify.txt");
    ASSERT_TRUE(write_tga(tga.c_str(), width, height, channels, pixels.data()));

    const std::string identify =
        "identify -format '%m %w %h %[orientation]' 'tga:" + tga + "' > '" + info + "' 2>&1";
    ASSERT_EQ(std::system(identify.c_str()), 0) << read_file(info);
    // The descriptor is read as "first row at the bottom".
    EXPECT_EQ(read_file(info), "TGA 97 13 BottomLeft");

    const std::string format = channels == 4 ? "rgba" : "rgb";
    const std::string convert = "convert 'tga:" + tga + "' -auto-orient -depth 8 " + format + ":'" +
                                raw + "' 2>'" + info + "'";
    ASSERT_EQ(std::system(convert.c_str()), 0) << read_file(info);
    const Bytes shown = as_bytes(read_file(raw));
    ASSERT_EQ(shown.size(), pixels.size());
    // Turned upright, the top row is the file's last row.
    const std::size_t row = static_cast<std::size_t>(width) * channels;
    for (int y = 0; y < height; ++y) {
      for (std::size_t i = 0; i < row; ++i) {
        ASSERT_EQ(shown[y * row + i], pixels[(height - 1 - y) * row + i])
            << "row " << y << " byte " << i;
      }
    }
  }
}

}  // namespace
