// Free-format (list-directed) reading of the program's text input files.
//
// A file is read as a sequence of reads.  Each read starts at the beginning of
// the next line, takes its items in order (separated by blanks, tabs, commas or
// line ends, continuing over as many lines as it needs) and ends by ignoring
// the rest of its last line.  Within a read:
//   r*v        r copies of the value v (r a positive integer);
//   r*         r null values;
//   ,,         an empty value between two commas is a null value;
//   /          ends the read: its remaining items are null;
// a null value leaves its item unchanged.  Integers are written as integers
// (32-bit); reals in any decimal or exponent form (E, D, or a signed exponent
// without a letter); names are quoted with ' or " (doubled quotes inside) or
// unquoted up to the next blank, comma or slash, and cut or padded to 10
// characters.
//
// Errors throw RunStop (exit status 1) with one line that names the file, the
// line number and the item being read: the end of the file before an item,
// or a value that is not of the item's type.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mglink {

class FreeReader {
 public:
  // Reads the whole file into memory.  A missing or unreadable file is an
  // error that names it (nothing is ever created).
  static FreeReader open(const std::string& path);
  // A reader over text already in memory; file_name is used in messages.
  FreeReader(std::string file_name, std::string contents);

  // Starts a read at the beginning of the next line.  `what` names the read
  // in messages (for example "read 4 of the family structure").
  void begin_read(std::string_view what);
  // One item of the current read.  `item` names it in messages; when index is
  // nonzero the message shows item(index), e.g. MEMBER(12).
  void read(std::int32_t& v, std::string_view item, long index = 0);
  void read(double& v, std::string_view item, long index = 0);
  // A name item: v becomes exactly 10 characters, padded with blanks.
  void read_name(std::string& v, std::string_view item);
  // Ends the current read: the rest of its last line is ignored.
  void end_read();
  // A read without items: skips one line.  End of file is an error.
  void skip_line(std::string_view what);

  const std::string& file_name() const { return file_name_; }
  // Line number (1-based) where the reader stands.
  long line() const;

 private:
  std::string file_name_;
  std::string text_;
  // Implementation state (position, pending repeat count, slash seen, ...)
  // is the implementer's; see free_reader.cpp.
  std::size_t pos_ = 0;
  long line_ = 1;
  bool in_read_ = false;
  bool slash_ = false;
  long repeat_left_ = 0;
  bool repeat_null_ = false;
  std::string repeat_value_;
  bool first_item_ = true;
  bool started_ = false;
  std::string what_;
};

// Removes trailing blanks (a name's padding is not part of a file name).
std::string trim_name(std::string_view name);

}  // namespace mglink
