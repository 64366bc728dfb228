#include "export/tga.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <string>

#include "base/fd_io.h"

namespace {

constexpr std::size_t kHeaderSize = 18;

// Pixel data is encoded into a block of this size and handed to the sink a
// block at a time, so a 600 x 600 canvas costs a few dozen writes.
constexpr std::size_t kBlockSize = 32768;

// Stores v as two bytes, low byte first, whatever the host's byte order.
void put_u16(unsigned char* p, unsigned v) {
  p[0] = static_cast<unsigned char>(v & 0xFF);
  p[1] = static_cast<unsigned char>((v >> 8) & 0xFF);
}

void build_header(unsigned char* h, int width, int height, int file_depth) {
  h[0] = 0;            // no image identification field
  h[1] = 0;            // no colour map
  h[2] = 2;            // uncompressed true-colour
  put_u16(h + 3, 0);   // colour-map first entry
  put_u16(h + 5, 0);   // colour-map length
  h[7] = 0;            // colour-map entry size
  put_u16(h + 8, 0);   // x origin
  put_u16(h + 10, 0);  // y origin
  put_u16(h + 12, static_cast<unsigned>(width) & 0xFFFF);
  put_u16(h + 14, static_cast<unsigned>(height) & 0xFFFF);
  h[16] = static_cast<unsigned char>(file_depth);
  // Descriptor 0: bottom row first, left to right, and no alpha bits
  // counted even in a 32-bit file.
  h[17] = 0;
}

// Number of pixels, or false when a side is negative or the byte count
// would not fit in size_t.
bool pixel_count(int width, int height, std::size_t bytes_per_pixel, std::size_t* count) {
  if (width < 0 || height < 0) return false;
  std::size_t n = 0, bytes = 0;
  if (__builtin_mul_overflow(static_cast<std::size_t>(width), static_cast<std::size_t>(height), &n))
    return false;
  if (__builtin_mul_overflow(n, bytes_per_pixel, &bytes)) return false;
  if (bytes > SIZE_MAX - kHeaderSize) return false;
  *count = n;
  return true;
}

}  // namespace

int tga_file_depth(int depth) {
  if (depth == 3 || depth == 24) return 24;
  if (depth == 4 || depth == 32) return 32;
  return 0;
}

std::size_t tga_file_size(int width, int height, int depth) {
  const int file_depth = tga_file_depth(depth);
  if (file_depth == 0) return 0;
  const std::size_t bpp = static_cast<std::size_t>(file_depth / 8);
  std::size_t n = 0;
  if (!pixel_count(width, height, bpp, &n)) return 0;
  return kHeaderSize + n * bpp;
}

bool encode_tga(TgaSink sink, void* context, int width, int height, int depth,
                const unsigned char* pixels) {
  const int file_depth = tga_file_depth(depth);
  if (file_depth == 0 || sink == nullptr) return false;
  const std::size_t bpp = static_cast<std::size_t>(file_depth / 8);
  std::size_t remaining = 0;
  if (!pixel_count(width, height, bpp, &remaining)) return false;
  if (remaining > 0 && pixels == nullptr) return false;

  unsigned char block[kBlockSize];
  build_header(block, width, height, file_depth);
  std::size_t fill = kHeaderSize;
  const unsigned char* in = pixels;
  while (remaining > 0) {
    std::size_t n = (kBlockSize - fill) / bpp;
    if (n > remaining) n = remaining;
    unsigned char* out = block + fill;
    if (bpp == 4) {
      for (std::size_t i = 0; i < n; ++i, in += 4, out += 4) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
        out[3] = in[3];
      }
    } else {
      for (std::size_t i = 0; i < n; ++i, in += 3, out += 3) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
      }
    }
    fill += n * bpp;
    remaining -= n;
    if (remaining > 0 && kBlockSize - fill < bpp) {
      if (!sink(context, block, fill)) return false;
      fill = 0;
    }
  }
  return sink(context, block, fill);
}

namespace {

bool write_to_fd(void* context, const unsigned char* bytes, std::size_t count) {
  return write_all(*static_cast<int*>(context), bytes, count);
}

// Writes straight into the file at target, as fopen "wb" would: a device or
// a pipe, or a regular file that a new file must not take the place of. A
// regular file is emptied first, so a write failing part-way leaves it short.
bool write_in_place(const std::string& target, int width, int height, int depth,
                    const unsigned char* pixels) {
  // A pipe nobody reads is an error, not a hang.
  int fd = open_without_waiting(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = encode_tga(write_to_fd, &fd, width, height, depth, pixels);
  if (::close(fd) != 0) ok = false;
  return ok;
}

// A short random suffix for the temporary file. Not rand(): the stroke
// scatter draws from rand(), and a save must not shift its sequence.
std::string random_suffix() {
  static std::uint64_t counter = 0;
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  std::uint64_t x =
      (static_cast<std::uint64_t>(ts.tv_sec) << 30) ^ static_cast<std::uint64_t>(ts.tv_nsec) ^
      (static_cast<std::uint64_t>(getpid()) << 40) ^ (++counter * 0x9E3779B97F4A7C15ull);
  // splitmix64 finaliser: spreads the bits so neighbouring calls differ.
  x ^= x >> 30;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 27;
  x *= 0x94D049BB133111EBull;
  x ^= x >> 31;
  static const char digits[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string s(6, 'x');
  for (char& c : s) {
    c = digits[x % 62];
    x /= 62;
  }
  return s;
}

std::string folder_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string name_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Tries temporary names "<name>.XXXXXX" (the name cut so the result stays
// a legal file name) until make(temporary name) succeeds, or fails for any
// reason but the name being taken; returns make's last result, the name
// tried last in *temp.
template <typename Make>
int make_temporary(const std::string& name, std::string* temp, Make make) {
  const std::size_t keep = name.size() > NAME_MAX - 7 ? NAME_MAX - 7 : name.size();
  int result = -1;
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temp = name.substr(0, keep) + "." + random_suffix();
    result = make(temp->c_str());
    if (result >= 0 || errno != EEXIST) break;
  }
  return result;
}

// Copies the bytes of the file `name` in the folder dir_fd to a temporary
// file beside it, with the earlier file's permissions and times, on disk
// when this returns true; on failure no temporary file is left.
bool copy_to_temporary(int dir_fd, const std::string& name, std::string* temp) {
  const int in = ::openat(dir_fd, name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (in < 0) return false;
  struct stat st {};
  int out = -1;
  if (::fstat(in, &st) == 0 && S_ISREG(st.st_mode)) {
    // Private until it holds the whole file and gets the file's own
    // permissions.
    out = make_temporary(name, temp, [&](const char* t) {
      return ::openat(dir_fd, t, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    });
  }
  if (out < 0) {
    ::close(in);
    return false;
  }
  bool ok = true;
  unsigned char block[kBlockSize];
  for (;;) {
    const ssize_t n = ::read(in, block, sizeof block);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    if (!write_all(out, block, static_cast<std::size_t>(n))) {
      ok = false;
      break;
    }
  }
  // The copy keeps the file's group where we may give it; else its group,
  // which is ours, and everyone else get only what both the file's group
  // and everyone else had: a 0640 photo's copy is 0600.
  mode_t mode = st.st_mode & 0777;
  if (::fchown(out, static_cast<uid_t>(-1), st.st_gid) != 0) {
    const mode_t both = (mode >> 3) & mode & 07;
    mode = (mode & 0700) | both << 3 | both;
  }
  const timespec times[2] = {st.st_atim, st.st_mtim};
  ok = ok && ::fchmod(out, mode) == 0 && ::futimens(out, times) == 0 && ::fsync(out) == 0;
  if (::close(out) != 0) ok = false;
  ::close(in);
  if (!ok) ::unlinkat(dir_fd, temp->c_str(), 0);
  return ok;
}

// Puts the folder of path, with the names just renamed in it, on disk: a
// rename is safe from a crash only once its folder is. Best effort: a
// folder we may not read cannot be opened to be synced.
void sync_folder(const std::string& path) {
  const int fd = ::open(folder_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Keeps the content of the file `name` in the folder dir_fd as "<name>~"
// beside it. It goes under a temporary name first and is renamed over an
// older "<name>~" only once complete, so "<name>~" is always a whole file.
// may_link: the earlier file will not be written into (the new file takes
// its name by rename), so a hard link keeps the very file, its bytes and
// times, at no cost in time or space; otherwise, or where the file system
// has no hard links, a copy.
bool keep_earlier(int dir_fd, const std::string& name, bool may_link) {
  std::string temp;
  const auto link = [&](const char* t) { return ::linkat(dir_fd, name.c_str(), dir_fd, t, 0); };
  const bool made = (may_link && make_temporary(name, &temp, link) == 0) ||
                    copy_to_temporary(dir_fd, name, &temp);
  if (!made) return false;
  if (::renameat(dir_fd, temp.c_str(), dir_fd, (name + "~").c_str()) == 0) return true;
  ::unlinkat(dir_fd, temp.c_str(), 0);
  return false;
}

// Whether the file at path starts as an uncompressed true-colour TGA file;
// a file that cannot be opened or read counts as not one.
bool file_is_true_colour_tga(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  unsigned char head[kHeaderSize];
  const bool read = read_all(fd, head, sizeof head);
  ::close(fd);
  return read && is_true_colour_tga(head, sizeof head);
}

enum class Replaced { kDone, kFailed, kWriteInto };

// Replaces the regular file (or creates the file) at target: the image goes
// to a temporary file in the same folder, which is renamed over target only
// once it is completely written, synced and closed. On failure the
// temporary file is removed and target is as it was. kWriteInto: the new
// file could not be given the existing file's group and permissions, so it
// must not take its place (nothing was changed). kept: null, or where to
// record "<target>~" once the earlier file has been kept there, which
// happens only once the new file is complete: a save that fails on a full
// disk leaves even an older "<target>~" as it was.
Replaced replace_file(const std::string& target, const struct stat* existing, std::string* kept,
                      int width, int height, int depth, const unsigned char* pixels) {
  const std::string name = name_of(target);
  if (name.empty() || name == "." || name == "..") return Replaced::kFailed;

  // Working relative to the folder keeps the temporary name short whatever
  // the length of the path.
  const int dir_fd = ::open(folder_of(target).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd < 0) return Replaced::kFailed;

  // Mode 0666 less the umask, as a file opened with fopen "wb" gets.
  std::string temp;
  int fd = make_temporary(name, &temp, [&](const char* t) {
    return ::openat(dir_fd, t, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  });
  if (fd < 0) {
    ::close(dir_fd);
    return Replaced::kFailed;
  }

  // The new file takes the old one's group and permissions (its owner is
  // already ours). A set-group-ID folder gives new files the folder's group;
  // when the old group is one we are not in, fchown fails and the old file
  // is written into instead. fchmod comes second because fchown clears a
  // set-group-ID bit.
  if (existing != nullptr && (::fchown(fd, static_cast<uid_t>(-1), existing->st_gid) != 0 ||
                              ::fchmod(fd, existing->st_mode & 07777) != 0)) {
    ::close(fd);
    ::unlinkat(dir_fd, temp.c_str(), 0);
    ::close(dir_fd);
    return Replaced::kWriteInto;
  }

  bool ok = encode_tga(write_to_fd, &fd, width, height, depth, pixels);
  if (ok && ::fsync(fd) != 0) ok = false;  // on disk before it replaces the old file
  if (::close(fd) != 0) ok = false;
  if (ok && kept != nullptr) {
    ok = keep_earlier(dir_fd, name, true);
    if (ok) *kept = target + "~";
  }
  if (ok && ::renameat(dir_fd, temp.c_str(), dir_fd, name.c_str()) != 0) ok = false;
  if (!ok) ::unlinkat(dir_fd, temp.c_str(), 0);
  if (ok) sync_folder(target);
  ::close(dir_fd);
  return ok ? Replaced::kDone : Replaced::kFailed;
}

// A new file may take the place of the regular file target only when that
// changes nothing but the content: the file has no other names, is ours, and
// its folder lets us create the new file beside it. Anything else (another
// user's file, even in a folder we may write, sticky or not; a hard-linked
// file; a read-only folder) is written into, keeping links and owner.
bool may_replace(const std::string& target, const struct stat& st) {
  return st.st_nlink == 1 && st.st_uid == ::geteuid() &&
         ::faccessat(AT_FDCWD, folder_of(target).c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

// kept: null to save as write_tga does; else a regular file that is not a
// TGA file is kept first (write_tga_keeping), and *kept records where.
bool save_file(const char* path, int width, int height, int depth, const unsigned char* pixels,
               std::string* kept) {
  if (path == nullptr || path[0] == '\0') return false;
  if (tga_file_size(width, height, depth) == 0) return false;
  if (pixels == nullptr && width > 0 && height > 0) return false;

  struct stat st {};
  if (::stat(path, &st) != 0) {  // follows symbolic links
    if (errno != ENOENT) return false;
    // A link to nowhere is not followed into creating a file elsewhere.
    if (::lstat(path, &st) == 0) return false;
    return replace_file(path, nullptr, nullptr, width, height, depth, pixels) == Replaced::kDone;
  }
  if (S_ISDIR(st.st_mode)) return false;
  // Devices and pipes hold no earlier content to keep (reading a pipe
  // would take what it carries).
  if (!S_ISREG(st.st_mode)) return write_in_place(path, width, height, depth, pixels);

  // Save into the file a symbolic link names, as writing through the link
  // would; the link itself stays, and the folder that counts is the file's.
  // An earlier content is kept beside that file too: the copy stays with the
  // file it came from, on its file system (where a hard link can keep it),
  // and is found there by every name that leads to the file.
  std::string target = path;
  struct stat link {};
  if (::lstat(path, &link) == 0 && S_ISLNK(link.st_mode)) {
    char* resolved = ::realpath(path, nullptr);
    if (resolved == nullptr) return false;
    target = resolved;
    std::free(resolved);
  }
  // The rename would replace even a write-protected file; refuse as
  // opening it for writing would, before anything is touched.
  if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return false;
  if (kept != nullptr && file_is_true_colour_tga(target)) kept = nullptr;
  if (may_replace(target, st)) {
    const Replaced r = replace_file(target, &st, kept, width, height, depth, pixels);
    if (r != Replaced::kWriteInto) return r == Replaced::kDone;
  }
  if (kept != nullptr) {
    // The file's own bytes are about to be overwritten: a copy, complete
    // before the first of them goes.
    const int dir_fd = ::open(folder_of(target).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dir_fd < 0) return false;
    const bool copied = keep_earlier(dir_fd, name_of(target), false);
    ::close(dir_fd);
    if (!copied) return false;
    sync_folder(target);
    *kept = target + "~";
  }
  return write_in_place(target, width, height, depth, pixels);
}

bool save_reporting(const char* path, int width, int height, int depth, const unsigned char* pixels,
                    std::string* kept) {
  if (tga_file_depth(depth) == 0) {
    std::cerr << "[ERROR] Unsupported bit depth requested" << std::endl;
    return false;
  }
  if (!save_file(path, width, height, depth, pixels, kept)) {
    std::cerr << "[ERROR] could not save file \"" << (path ? path : "") << "\"" << std::endl;
    return false;
  }
  return true;
}

}  // namespace

bool write_tga(const char* path, int width, int height, int depth, const unsigned char* pixels) {
  return save_reporting(path, width, height, depth, pixels, nullptr);
}

bool is_true_colour_tga(const unsigned char* head, std::size_t count) {
  if (head == nullptr || count < kHeaderSize) return false;
  for (const std::size_t colour_map_byte : {1, 3, 4, 5, 6, 7})
    if (head[colour_map_byte] != 0) return false;
  return head[2] == 2 && (head[16] == 24 || head[16] == 32);
}

bool write_tga_keeping(const char* path, int width, int height, int depth,
                       const unsigned char* pixels, std::string* kept) {
  std::string where;
  const bool saved = save_reporting(path, width, height, depth, pixels, &where);
  if (kept != nullptr) *kept = where;
  return saved;
}
