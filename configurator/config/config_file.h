// Configuration files: Windows-1251 text with CR LF line ends. Loading goes through a line list
// into a reset set; saving never loses the previous file (the new content is written beside it,
// flushed and then renamed over it).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "configurator/config/command.h"

namespace kl40 {

// What went wrong with a file.
enum class FileFault {
  None,
  CannotOpen,    // "Ошибка открытия файла" / "Проверьте наличие файла"
  CannotCreate,  // "Ошибка записи в файл - файл не может быть создан" / "Проверьте отсутствие
                 //  запрета записи и наличие свободного места"
  CannotWrite,   // "Ошибка записи в файл - файл не может быть записан" / "Проверьте отсутствие
                 //  запрета записи" (the existing file cannot be replaced)
};

struct FileError {
  FileFault fault = FileFault::None;
  std::string title;   // the error window's message (UTF-8)
  std::string text;    // the error window's recommendation (UTF-8)
  std::string reason;  // the operating system's reason, for logs and the command line
};

// Largest file the loader reads; anything longer is refused as CannotOpen.
inline constexpr std::size_t kMaxConfigFileSize = 1 << 20;

// Splits TEXT into lines at CR LF, CR or LF as a line list does; a final line break adds no
// empty line. Every other byte, NUL included, stays in its line (the lexer takes a NUL as an end).
std::vector<std::string> SplitLines(std::string_view text);

// The lines each followed by CR LF.
std::string JoinLines(const std::vector<std::string>& lines);

// The text of file BYTES (Windows-1251) in UTF-8. The byte 0x98, which has no character in
// Windows-1251, is held as U+0098 so that FileBytes gives it back unchanged.
std::string FileText(std::string_view bytes);

// The file bytes (Windows-1251) of TEXT (UTF-8); U+0098 becomes the byte 0x98 again.
std::string FileBytes(std::string_view text);

// Resets SET, then reads TEXT (UTF-8) through a line list joined with CR LF into it.
void LoadText(std::string_view text, T_DEVICE_CommandMX3& set);

// Loads the file PATH (Windows-1251) into SET: reset, then read. When the file cannot be read,
// SET keeps what it held and ERROR (when given) says why. Returns true on success.
bool LoadFile(const std::filesystem::path& path, T_DEVICE_CommandMX3& set,
              FileError* error = nullptr);

// The bytes of a file of LINES (UTF-8): Windows-1251, each line closed by CR LF.
std::string EncodeLines(const std::vector<std::string>& lines);

// Saves LINES as the file PATH: writes PATH + ".tmp", flushes it to disk and renames it over PATH.
// On failure the previous file is untouched, the temporary file is removed and ERROR (when given)
// says why. Returns true on success.
bool SaveLines(const std::filesystem::path& path, const std::vector<std::string>& lines,
               FileError* error = nullptr);

// The window texts of FAULT.
FileError file_error(FileFault fault, std::string reason = {});

}  // namespace kl40
