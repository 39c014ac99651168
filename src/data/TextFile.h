#pragma once
// Whole-file text input and output: files are read whole into a list of lines
// and written whole in one step.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace halvetra {

// The largest file ReadTextLines reads. The largest file Halvetra writes
// (5000 samples of 40 columns) is a few megabytes.
inline constexpr std::size_t MaxTextFileBytes = 64u * 1024u * 1024u;

// The lines of a file. Lines end at CR LF, LF or CR; a line end at the very
// end of the file does not start another, empty line. Throws FileError:
// "Cannot open file <path>" when the file cannot be opened or read (missing,
// a folder, no read access); "Cannot open file <path>: it is not a regular
// file" for a FIFO, a device or a socket, which is never opened for a
// blocking read; "Cannot open file <path>: it is larger than 64 MB"; "File
// <path> is a UTF-16 text file; save it as UTF-8 or ANSI text".
std::vector<std::string> ReadTextLines(const std::string& path);

// The lines of a text held in memory, split by the same rules as ReadTextLines.
std::vector<std::string> SplitTextLines(std::string_view content);

// Replaces the file with the lines, each ended by CR LF. The text goes to a
// temporary file in the same folder, is flushed to the disk and then renamed
// over the target, so a failure or a crash leaves either the previous file or
// the new one, never a mixture. On failure the temporary file is removed and
// FileError "Cannot create file <path>" is thrown.
void WriteTextFile(const std::string& path, const std::vector<std::string>& lines);

// Line `index` (counted from 0) of a file read whole; a file with fewer lines
// throws ListIndexError "List index out of bounds (<index>)".
const std::string& LineAt(const std::vector<std::string>& lines, std::size_t index);

}  // namespace halvetra
