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

#include <cstddef>
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
  // What the next item of a read holds.
  enum class ItemKind { value, null, slash };
  struct Item {
    ItemKind kind;
    std::string_view text;  // the value's characters (quotes included for a quoted name)
    long line;              // line where the value starts (for messages)
  };

  // Finds the next item of the current read: a value, a null value, or the
  // slash that ends the read.  The end of the file is an error naming item.
  Item next_item(bool name, std::string_view item, long index);
  // Skips blanks, tabs, carriage returns and line ends.
  void skip_blanks();
  // Moves past the rest of the current line and its line end.
  void skip_rest_of_line();
  [[noreturn]] void fail_end_of_file(std::string_view item, long index) const;
  [[noreturn]] void fail_value(std::string_view text, long line, std::string_view problem,
                               std::string_view item, long index) const;

  std::string file_name_;
  std::string text_;            // the whole file
  std::size_t pos_ = 0;         // next character to look at
  long line_ = 1;               // line of pos_
  bool in_read_ = false;        // a read has begun and not yet ended
  bool slash_ = false;          // the current read met a slash
  bool after_value_ = false;    // the last item was a value: one comma may still follow it
  long repeat_left_ = 0;        // items still to take from the last r*v or r*
  bool repeat_null_ = false;    // the pending repeat is r* (null values)
  std::string_view repeat_value_;  // the v of a pending r*v
  long repeat_line_ = 0;        // line of the pending r*v
  std::string number_;          // work buffer: a real rewritten for the C library
  std::string what_;            // name of the current read, for messages
};

// Removes trailing blanks (a name's padding is not part of a file name).
std::string trim_name(std::string_view name);

// A list of `n` values of the current read stored as table(1..n); a list of
// zero or negative length is empty.
template <class Table>
void read_list(FreeReader& r, Table& table, long n, const char* item) {
  for (long i = 1; i <= n; ++i) r.read(table(i), item, i);
}

// A read that holds only a list of `n` values (no count of its own): one
// read named `what`, or, when the list is empty, the line it would take
// skipped (named `what_if_empty`).
template <class Table>
void read_list_line(FreeReader& r, Table& table, long n, const char* item, const char* what,
                    const char* what_if_empty) {
  if (n >= 1) {
    r.begin_read(what);
    read_list(r, table, n, item);
    r.end_read();
  } else {
    r.skip_line(what_if_empty);
  }
}

}  // namespace mglink
