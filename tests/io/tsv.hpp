// Reading the tab-separated tables of reference cases (header line first).
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace mglink::test {

struct TsvRow {
  int line = 0;  // line of the row in its file
  std::vector<std::string> cols;
};

// All rows of a table with the given number of columns; a missing file, a
// row with another number of columns or a table without rows fails the test.
inline std::vector<TsvRow> read_tsv(const std::string& path, std::size_t ncols) {
  std::vector<TsvRow> rows;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    ADD_FAILURE() << "cannot open the table " << path;
    return rows;
  }
  std::string text;
  int line = 0;
  while (std::getline(in, text)) {
    ++line;
    if (line == 1) continue;  // column names
    TsvRow row;
    row.line = line;
    std::size_t start = 0;
    for (;;) {
      const std::size_t tab = text.find('\t', start);
      row.cols.push_back(text.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    if (row.cols.size() != ncols) {
      ADD_FAILURE() << path << ", line " << line << ": " << row.cols.size() << " columns, expected "
                    << ncols;
      continue;
    }
    rows.push_back(std::move(row));
  }
  if (rows.empty()) ADD_FAILURE() << "the table " << path << " has no rows";
  return rows;
}

// Undoes the escapes \n, \r, \t and \\ of a table cell.
inline std::string unescape(const std::string& s) {
  std::string r;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      const char c = s[++i];
      r += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
    } else {
      r += s[i];
    }
  }
  return r;
}

}  // namespace mglink::test
