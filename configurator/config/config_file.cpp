#include "configurator/config/config_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/text/cp1251.h"
#include "configurator/config/analyz.h"
#include "configurator/config/lexems.h"

namespace kl40 {
namespace {

std::string os_reason(int err) { return std::strerror(err); }

// Closes a descriptor on every path out of a scope.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now and reports the result.
  int close() {
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc;
  }

 private:
  int fd_;
};

bool fail(FileError* error, FileFault fault, std::string reason) {
  if (error) *error = file_error(fault, std::move(reason));
  return false;
}

// Makes a finished rename durable; a folder that cannot be synced changes nothing for the caller.
void sync_folder(const std::filesystem::path& file) {
  std::filesystem::path folder = file.parent_path();
  if (folder.empty()) folder = ".";
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

// The byte without a Windows-1251 character, and the code point that stands for it in UTF-8.
constexpr char kUnassignedByte = '\x98';
constexpr std::string_view kUnassignedChar = "\xC2\x98";

}  // namespace

std::string FileText(std::string_view bytes) {
  std::string out;
  for (;;) {
    const std::size_t at = bytes.find(kUnassignedByte);
    out += cp1251_to_utf8(bytes.substr(0, at));
    if (at == std::string_view::npos) return out;
    out += kUnassignedChar;
    bytes.remove_prefix(at + 1);
  }
}

std::string FileBytes(std::string_view text) {
  std::string out;
  for (;;) {
    const std::size_t at = text.find(kUnassignedChar);
    out += utf8_to_cp1251(text.substr(0, at));
    if (at == std::string_view::npos) return out;
    out += kUnassignedByte;
    text.remove_prefix(at + kUnassignedChar.size());
  }
}

FileError file_error(FileFault fault, std::string reason) {
  FileError e;
  e.fault = fault;
  e.reason = std::move(reason);
  switch (fault) {
    case FileFault::None: break;
    case FileFault::CannotOpen:
      e.title = "Ошибка открытия файла";
      e.text = "Проверьте наличие файла";
      break;
    case FileFault::CannotCreate:
      e.title = "Ошибка записи в файл - файл не может быть создан";
      e.text = "Проверьте отсутствие запрета записи и наличие свободного места";
      break;
    case FileFault::CannotWrite:
      e.title = "Ошибка записи в файл - файл не может быть записан";
      e.text = "Проверьте отсутствие запрета записи";
      break;
  }
  return e;
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) {
      lines.emplace_back(text.substr(pos));
      break;
    }
    lines.emplace_back(text.substr(pos, end - pos));
    pos = end + 1;
    if (text[end] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
  }
  return lines;
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& line : lines) {
    out += line;
    out += "\r\n";
  }
  return out;
}

void LoadText(std::string_view text, T_DEVICE_CommandMX3& set) {
  set.Reset();
  TLexPipe lex;
  lex.SetText(JoinLines(SplitLines(text)));
  TCommandMX3 scratch;
  ReadCommands(scratch, lex, set);
}

bool LoadFile(const std::filesystem::path& path, T_DEVICE_CommandMX3& set, FileError* error) {
  // Non-blocking open, so that a named pipe given as a file cannot hang the caller.
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) return fail(error, FileFault::CannotOpen, os_reason(errno));
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return fail(error, FileFault::CannotOpen, os_reason(errno));
  if (S_ISDIR(st.st_mode)) return fail(error, FileFault::CannotOpen, os_reason(EISDIR));
  if (!S_ISREG(st.st_mode)) return fail(error, FileFault::CannotOpen, "not a regular file");
  std::string bytes;
  char buf[8192];
  for (;;) {
    const ssize_t got = ::read(fd.get(), buf, sizeof buf);
    if (got < 0) {
      if (errno == EINTR) continue;
      return fail(error, FileFault::CannotOpen, os_reason(errno));
    }
    if (got == 0) break;
    bytes.append(buf, static_cast<std::size_t>(got));
    if (bytes.size() > kMaxConfigFileSize)
      return fail(error, FileFault::CannotOpen, "larger than 1 MiB, not a configuration file");
  }
  LoadText(FileText(bytes), set);
  if (error) *error = FileError{};
  return true;
}

std::string EncodeLines(const std::vector<std::string>& lines) {
  return FileBytes(JoinLines(lines));
}

bool SaveLines(const std::filesystem::path& path, const std::vector<std::string>& lines,
               FileError* error) {
  const std::string bytes = EncodeLines(lines);
  std::filesystem::path temp = path;
  temp += ".tmp";

  mode_t mode = 0644;
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) mode = old.st_mode & 07777;

  Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, mode));
  if (fd.get() < 0) return fail(error, FileFault::CannotCreate, os_reason(errno));
  auto abandon = [&](int err) {
    ::unlink(temp.c_str());
    return fail(error, FileFault::CannotCreate, os_reason(err));
  };
  ::fchmod(fd.get(), mode);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      return abandon(errno);
    }
    done += static_cast<std::size_t>(put);
  }
  if (::fsync(fd.get()) != 0) return abandon(errno);
  if (fd.close() != 0) return abandon(errno);
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    return fail(error, FileFault::CannotWrite, os_reason(err));
  }
  sync_folder(path);
  if (error) *error = FileError{};
  return true;
}

}  // namespace kl40
