#include "scan/table.hpp"

#include <charconv>
#include <fstream>
#include <sstream>

#include "scan/input.hpp"

namespace mglink::scan {

std::string header_line() {
  std::string s;
  for (std::size_t k = 0; k < COLUMNS.size(); ++k) {
    if (k > 0) s += '\t';
    s += COLUMNS[k];
  }
  return s + "\n";
}

std::string row_line(const Row& row) {
  std::string s;
  for (std::size_t k = 0; k < row.size(); ++k) {
    if (k > 0) s += '\t';
    for (char c : row[k]) s += (c == '\t' || c == '\n' || c == '\r') ? ' ' : c;
  }
  return s + "\n";
}

std::string number_text(double v) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

namespace {

std::vector<std::string> split_tabs(const std::string& line) {
  std::vector<std::string> f;
  std::size_t i = 0;
  while (true) {
    const std::size_t j = line.find('\t', i);
    f.push_back(line.substr(i, j == std::string::npos ? std::string::npos : j - i));
    if (j == std::string::npos) break;
    i = j + 1;
  }
  return f;
}

}  // namespace

std::vector<Row> parse_table(const std::string& text, const std::string& file, bool complete_only,
                             std::vector<InputProblem>& problems) {
  std::vector<Row> rows;
  std::size_t at = 0;
  long line_no = 0;
  const std::string header = header_line();
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    const bool complete = end != std::string::npos;
    if (!complete) {
      if (complete_only) break;
      end = text.size();
    }
    std::string line = text.substr(at, end - at);
    at = complete ? end + 1 : end;
    ++line_no;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line_no == 1) {
      if (line + "\n" != header)
        problems.push_back(InputProblem{file, 1, "", "",
                                        "the first line is not the header of a scan table (" +
                                            std::to_string(COLUMNS.size()) + " columns chr, marker, ..., reason)"});
      continue;
    }
    const auto f = split_tabs(line);
    if (f.size() != COLUMNS.size()) {
      problems.push_back(InputProblem{file, line_no, "", "",
                                      "the line has " + std::to_string(f.size()) + " fields, the header " +
                                          std::to_string(COLUMNS.size())});
      continue;
    }
    Row r;
    for (std::size_t k = 0; k < r.size(); ++k) r[k] = f[k];
    rows.push_back(std::move(r));
  }
  if (line_no == 0)
    problems.push_back(InputProblem{file, 0, "", "", "the file is empty (no header line)"});
  return rows;
}

bool read_whole_file(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  if (in.bad()) return false;
  text = s.str();
  return true;
}

}  // namespace mglink::scan
