#include "scan/input.hpp"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <set>
#include <unordered_map>

namespace mglink::scan {

std::vector<std::string> split_fields(const std::string& line) {
  std::vector<std::string> f;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    std::size_t j = i;
    while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r') ++j;
    if (j > i) f.push_back(line.substr(i, j - i));
    i = j;
  }
  return f;
}

namespace {

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string quoted(const std::string& s) { return "'" + s + "'"; }

// The lines of a text file, one at a time, with their numbers; a UTF-8 byte
// order mark at the start is dropped.
class LineReader {
 public:
  LineReader(const std::string& file, std::vector<InputProblem>& problems)
      : file_(file), in_(file, std::ios::binary) {
    if (!in_) problems.push_back(InputProblem{file, 0, "", "", "cannot open the file"});
  }
  bool next(std::string& line) {
    if (!std::getline(in_, line)) return false;
    ++number_;
    if (number_ == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
    return true;
  }
  long number() const { return number_; }
  bool failed() const { return in_.bad(); }

 private:
  std::string file_;
  std::ifstream in_;
  long number_ = 0;
};

void read_failure(const std::string& file, const LineReader& r, std::vector<InputProblem>& problems) {
  if (r.failed()) problems.push_back(InputProblem{file, 0, "", "", "cannot read the file"});
}

// An item of a LINKAGE data file.
struct DatItem {
  char type = 'S';  // T A C Z M S
  int columns = 1;  // S<n>: n
  std::string name;
  long line = 0;
};

std::vector<DatItem> read_dat(const std::string& file, std::vector<InputProblem>& problems) {
  std::vector<DatItem> items;
  LineReader r(file, problems);
  std::string line;
  std::set<std::string> names;
  while (r.next(line)) {
    const auto f = split_fields(line);
    if (f.empty()) continue;
    const std::string type = upper(f[0]);
    auto problem = [&](const std::string& text) {
      problems.push_back(InputProblem{file, r.number(), "", "", text});
    };
    if (type == "E" || type == "END") break;
    DatItem it;
    it.line = r.number();
    it.name = f.size() > 1 ? f[1] : "";
    if (f.size() > 2) {
      problem("an item line holds a type and one name, not " + std::to_string(f.size()) + " fields");
      continue;
    }
    if (type == "T" || type == "A" || type == "C" || type == "Z" || type == "M") {
      it.type = type[0];
      if (it.name.empty()) {
        problem("the item " + f[0] + " has no name");
        continue;
      }
    } else if (type[0] == 'S' && type.size() >= 1 &&
               std::all_of(type.begin() + 1, type.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
      it.type = 'S';
      it.columns = type.size() == 1 ? 1 : std::atoi(type.c_str() + 1);
      if (it.columns < 1 || type.size() > 4) {
        problem("the item " + quoted(f[0]) + " must skip 1 to 999 columns");
        continue;
      }
    } else {
      problem("unknown item type " + quoted(f[0]) +
              " (T trait, M marker, A affection, C covariate, Z zygosity, S or S<n> skipped "
              "columns, E end)");
      continue;
    }
    if (it.type != 'S' && !names.insert(it.name).second) {
      problem("the name " + quoted(it.name) + " is given to two items");
      continue;
    }
    items.push_back(it);
  }
  read_failure(file, r, problems);
  return items;
}

int parse_sex(const std::string& s) {
  if (s == "1" || s == "m" || s == "M") return 1;
  if (s == "2" || s == "f" || s == "F") return 2;
  if (s == "0") return 0;
  return -1;
}

std::string missing_codes(const std::string& code) {
  return "x, X, NA, -" + (code.empty() ? std::string() : ", " + code);
}

// Fills the trait of person p from `text`; false (and a problem, the trait
// left missing) when it is neither a number nor a missing-value code.
bool set_trait(Individual& p, const std::string& text, const std::string& trait_name,
               const std::string& code, const std::string& file, std::vector<InputProblem>& problems) {
  double v = 0;
  if (missing_trait(text, code)) {
    p.trait_missing = true;
  } else if (parse_number(text, v)) {
    p.trait_missing = false;
    p.trait = v;
  } else {
    problems.push_back(InputProblem{file, p.line, p.family, p.id,
                                    "the value " + quoted(text) + " of trait " + trait_name +
                                        " is not a number nor a missing-value code (" +
                                        missing_codes(code) + ")"});
    return false;
  }
  return true;
}

// A genotype (a, b) as written, for marker m; empty labels mean untyped.
// Returns false (and a problem) when only one allele is typed.
bool genotype(const std::string& a, const std::string& b, std::string& x, std::string& y,
              const std::string& marker, const InputProblem& where,
              std::vector<InputProblem>& problems) {
  const bool ma = missing_allele(a), mb = missing_allele(b);
  x.clear();
  y.clear();
  if (ma != mb) {
    InputProblem p = where;
    p.text = "marker " + marker + ": only one allele is typed (" + a + " " + b +
             "); give both alleles, or 0 0 for untyped";
    problems.push_back(p);
    return false;
  }
  x = ma ? "" : a;
  y = mb ? "" : b;
  return true;
}

// The five leading columns of a pedigree line; false when the line is too short.
bool leading_columns(const std::vector<std::string>& f, Individual& p) {
  if (f.size() < 5) return false;
  p.family = f[0];
  p.id = f[1];
  p.father = f[2];
  p.mother = f[3];
  return true;
}

void store_genotypes(Study& study, const std::vector<std::pair<std::string, std::string>>& g,
                     const Individual& p, const std::string& file,
                     std::vector<InputProblem>& problems) {
  for (std::size_t k = 0; k < g.size(); ++k) {
    MarkerData& m = study.markers[k];
    std::uint16_t x = 0, y = 0;
    if (!g[k].first.empty()) {
      x = intern_allele(m, g[k].first);
      y = intern_allele(m, g[k].second);
      if (x == 0 || y == 0)
        problems.push_back(InputProblem{file, p.line, p.family, p.id,
                                        "marker " + m.name + " has more than 65000 allele labels"});
    }
    m.a1.push_back(x);
    m.a2.push_back(y);
  }
}

// A line the reader skips: blank, a comment (opt.comment), or the header.
bool skipped_line(const std::vector<std::string>& f, const ReadOptions& opt, bool& header_pending) {
  if (f.empty()) return true;
  if (opt.comment != 0 && f[0][0] == opt.comment) return true;
  if (header_pending) {
    header_pending = false;
    return true;
  }
  return false;
}

// Hints for a line that fails as a pedigree line but looks like a header or
// a comment.
std::string hint(const std::vector<std::string>& f, bool first_line) {
  if (!f.empty() && (f[0][0] == '#' || f[0].rfind("//", 0) == 0))
    return " (a comment line? --comment " + f[0].substr(0, 1) + " skips such lines)";
  if (first_line && f.size() >= 5 && parse_sex(f[4]) < 0)
    return " (a header line? --ped-header skips the first line)";
  return "";
}

}  // namespace

Study read_linkage(const std::string& ped_file, const std::string& dat_file,
                   const std::string& map_file, const ReadOptions& opt,
                   std::vector<InputProblem>& problems) {
  Study study;
  study.trait_name = opt.trait;
  const std::vector<DatItem> items = read_dat(dat_file, problems);
  int trait_item = -1, markers = 0;
  std::string traits;
  for (std::size_t k = 0; k < items.size(); ++k) {
    if (items[k].type == 'T') {
      traits += (traits.empty() ? "" : ", ") + items[k].name;
      if (items[k].name == opt.trait) trait_item = static_cast<int>(k);
    }
    if (items[k].type == 'M') {
      ++markers;
      study.markers.push_back(MarkerData{items[k].name, {}, {}, {}});
    }
  }
  if (trait_item < 0)
    problems.push_back(InputProblem{dat_file, 0, "", "",
                                    "the data file has no trait (T item) named " + opt.trait +
                                        (traits.empty() ? std::string(" (it has none)")
                                                        : " (its traits: " + traits + ")")});
  if (markers == 0 && !items.empty())
    problems.push_back(InputProblem{dat_file, 0, "", "", "the data file names no marker (M item)"});
  if (!problems.empty()) return study;

  LineReader r(ped_file, problems);
  std::string line;
  bool header_pending = opt.header;
  bool first = true;
  std::vector<std::pair<std::string, std::string>> g(study.markers.size());
  while (r.next(line)) {
    const auto f = split_fields(line);
    if (skipped_line(f, opt, header_pending)) continue;
    const bool first_line = first;
    first = false;
    Individual p;
    p.line = r.number();
    InputProblem where{ped_file, p.line, f[0], f.size() > 1 ? f[1] : "", ""};
    auto problem = [&](const std::string& text) {
      InputProblem q = where;
      q.text = text;
      problems.push_back(q);
    };
    if (!leading_columns(f, p)) {
      problem("the line has " + std::to_string(f.size()) +
              " columns; a pedigree line starts with family, individual, father, mother and sex" +
              hint(f, first_line));
      continue;
    }
    p.sex = parse_sex(f[4]);
    if (p.sex < 0) {
      problem("sex " + quoted(f[4]) + " is not 1 or m (male), 2 or f (female), or 0 (unknown)" +
              hint(f, first_line));
      if (first_line) continue;  // a header line: its other columns say nothing more
      p.sex = 0;
    }
    std::size_t col = 5;
    std::size_t marker = 0;
    bool short_line = false;
    for (std::size_t k = 0; k < items.size() && !short_line; ++k) {
      const DatItem& it = items[k];
      const std::size_t need = it.type == 'M' ? 1 : static_cast<std::size_t>(it.columns);
      if (col + need > f.size()) {
        short_line = true;
        problem("the line ends after " + std::to_string(f.size()) + " columns, before " +
                (it.type == 'M' ? "marker " : it.type == 'S' ? "skipped item " : "item ") + it.name +
                " (line " + std::to_string(it.line) + " of " + dat_file + ")");
        break;
      }
      if (it.type == 'M') {
        std::string a, b;
        const std::string& first_field = f[col];
        const auto slash = first_field.find('/');
        if (slash != std::string::npos) {
          a = first_field.substr(0, slash);
          b = first_field.substr(slash + 1);
          col += 1;
          if (a.empty() || b.empty() || b.find('/') != std::string::npos) {
            problem("marker " + it.name + ": the genotype " + quoted(first_field) +
                    " is not of the form a/b");
            g[marker] = {};
            ++marker;
            continue;
          }
        } else {
          if (col + 2 > f.size()) {
            short_line = true;
            problem("the line ends after " + std::to_string(f.size()) +
                    " columns, within marker " + it.name + " (line " + std::to_string(it.line) +
                    " of " + dat_file + ")");
            break;
          }
          a = f[col];
          b = f[col + 1];
          col += 2;
        }
        genotype(a, b, g[marker].first, g[marker].second, it.name, where, problems);
        ++marker;
      } else {
        if (static_cast<int>(k) == trait_item)
          set_trait(p, f[col], opt.trait, opt.missing, ped_file, problems);
        col += need;
      }
    }
    if (short_line) continue;
    if (col != f.size()) {
      problem("the line has " + std::to_string(f.size()) + " columns; the data file " + dat_file +
              " describes " + std::to_string(col) + " (with the five leading columns)");
      continue;
    }
    // A person with a bad field is kept (the field cleared), so that the
    // checks of the pedigree's links still see him or her.
    study.people.push_back(p);
    store_genotypes(study, g, p, ped_file, problems);
  }
  read_failure(ped_file, r, problems);
  if (study.people.empty() && problems.empty())
    problems.push_back(InputProblem{ped_file, 0, "", "", "the file holds no pedigree lines"});
  if (!map_file.empty()) read_map(map_file, study, problems);
  return study;
}

namespace {

struct MapLine {
  std::string chr, marker, cm, bp;
  long line = 0;
};

// The lines of a map file: 3 columns (CHR MARKER POSITION, possibly under a
// header) or 4 (PLINK: CHR MARKER CM BP).
std::vector<MapLine> map_lines(const std::string& file, int& columns,
                               std::vector<InputProblem>& problems) {
  std::vector<MapLine> out;
  LineReader r(file, problems);
  std::string line;
  columns = 0;
  bool first = true;
  std::unordered_map<std::string, long> seen;
  while (r.next(line)) {
    const auto f = split_fields(line);
    if (f.empty() || f[0][0] == '#') continue;
    auto problem = [&](const std::string& text) {
      problems.push_back(InputProblem{file, r.number(), "", "", text});
    };
    double v = 0;
    if (first) {
      first = false;
      const std::string c = upper(f[0]);
      if ((c == "CHR" || c == "CHROMOSOME") && f.size() >= 3 && !parse_number(f[2], v)) continue;
    }
    if (f.size() != 3 && f.size() != 4) {
      problem("a map line has 3 columns (CHR MARKER POSITION) or 4 (CHR MARKER CM BP), not " +
              std::to_string(f.size()));
      continue;
    }
    if (columns == 0) columns = static_cast<int>(f.size());
    if (static_cast<int>(f.size()) != columns) {
      problem("the line has " + std::to_string(f.size()) + " columns, the lines before it " +
              std::to_string(columns));
      continue;
    }
    MapLine m{f[0], f[1], f[2], f.size() == 4 ? f[3] : "", r.number()};
    if (m.chr.size() > 3 && upper(m.chr.substr(0, 3)) == "CHR") m.chr.erase(0, 3);
    if (!parse_number(m.cm, v)) {
      problem("marker " + m.marker + ": the position " + quoted(m.cm) + " is not a number");
      continue;
    }
    if (columns == 4 && !parse_number(m.bp, v)) {
      problem("marker " + m.marker + ": the base-pair position " + quoted(m.bp) + " is not a number");
      continue;
    }
    auto [it, fresh] = seen.try_emplace(m.marker, r.number());
    if (!fresh) {
      problem("marker " + m.marker + " is listed twice (first on line " + std::to_string(it->second) + ")");
      continue;
    }
    out.push_back(m);
  }
  read_failure(file, r, problems);
  return out;
}

}  // namespace

void read_map(const std::string& map_file, Study& study, std::vector<InputProblem>& problems) {
  int columns = 0;
  const std::vector<MapLine> lines = map_lines(map_file, columns, problems);
  bool all_zero = columns == 4;
  for (const MapLine& m : lines) {
    double v = 0;
    parse_number(m.cm, v);
    if (v != 0) all_zero = false;
  }
  study.map_in_bp = all_zero && !lines.empty();
  std::unordered_map<std::string, const MapLine*> by_name;
  for (const MapLine& m : lines) by_name.emplace(m.marker, &m);
  study.map.assign(study.markers.size(), std::nullopt);
  for (std::size_t k = 0; k < study.markers.size(); ++k) {
    const auto it = by_name.find(study.markers[k].name);
    if (it == by_name.end()) continue;
    const MapLine& m = *it->second;
    MapEntry e;
    e.chr = m.chr;
    e.position_text = study.map_in_bp ? m.bp : m.cm;
    parse_number(e.position_text, e.position);
    e.line = m.line;
    study.map[k] = e;
  }
}

Study read_plink(const std::string& prefix, const std::string& pheno_file, const ReadOptions& opt,
                 std::vector<InputProblem>& problems) {
  Study study;
  const std::string ped_file = prefix + ".ped", map_file = prefix + ".map";
  study.trait_name = opt.trait.empty() ? "phenotype" : opt.trait;
  // The markers are the lines of the map, in order; then their positions.
  {
    int columns = 0;
    const std::vector<MapLine> lines = map_lines(map_file, columns, problems);
    for (const MapLine& m : lines) study.markers.push_back(MarkerData{m.marker, {}, {}, {}});
    if (lines.empty() && problems.empty())
      problems.push_back(InputProblem{map_file, 0, "", "", "the map lists no marker"});
    if (!problems.empty()) return study;
    read_map(map_file, study, problems);
  }

  // The phenotype file: (family, individual) -> value text.
  std::map<std::pair<std::string, std::string>, std::string> pheno;
  if (!pheno_file.empty()) {
    LineReader r(pheno_file, problems);
    std::string line;
    bool first = true;
    std::size_t column = 2;  // index of the value in a line's fields
    std::size_t width = 0;
    std::map<std::pair<std::string, std::string>, long> lines;
    while (r.next(line)) {
      const auto f = split_fields(line);
      if (f.empty() || f[0][0] == '#') continue;
      auto problem = [&](const std::string& text) {
        problems.push_back(InputProblem{pheno_file, r.number(), f[0], f.size() > 1 ? f[1] : "", text});
      };
      if (first) {
        first = false;
        width = f.size();
        if (f.size() >= 2 && upper(f[0]) == "FID" && upper(f[1]) == "IID") {
          if (!opt.trait.empty()) {
            const auto it = std::find(f.begin() + 2, f.end(), opt.trait);
            if (it == f.end()) {
              std::string names;
              for (std::size_t k = 2; k < f.size(); ++k) names += (k > 2 ? ", " : "") + f[k];
              problems.push_back(InputProblem{pheno_file, r.number(), "", "",
                                              "the header names no phenotype " + opt.trait +
                                                  " (its phenotypes: " + names + ")"});
              return study;
            }
            column = static_cast<std::size_t>(it - f.begin());
          } else if (f.size() > 2) {
            study.trait_name = f[2];
          }
          continue;
        }
        if (!opt.trait.empty()) {
          double n = 0;
          if (!parse_number(opt.trait, n) || n < 1 || n != static_cast<double>(static_cast<long>(n))) {
            problems.push_back(InputProblem{pheno_file, r.number(), "", "",
                                            "the file has no header line \"FID IID name ...\", so "
                                            "--trait must be the number of a value column (1 = "
                                            "the first), not " + opt.trait});
            return study;
          }
          column = static_cast<std::size_t>(n) + 1;
        }
      }
      if (f.size() != width) {
        problem("the line has " + std::to_string(f.size()) + " columns, the first line " +
                std::to_string(width));
        continue;
      }
      if (column >= f.size()) {
        problem("the line has no value column " + std::to_string(column - 1));
        continue;
      }
      auto [it, fresh] = lines.try_emplace({f[0], f[1]}, r.number());
      if (!fresh) {
        problem("the individual is listed twice (first on line " + std::to_string(it->second) + ")");
        continue;
      }
      pheno[{f[0], f[1]}] = f[column];
    }
    read_failure(pheno_file, r, problems);
  }

  LineReader r(ped_file, problems);
  std::string line;
  bool header_pending = opt.header;
  bool first = true;
  const std::size_t width = 6 + 2 * study.markers.size();
  std::vector<std::pair<std::string, std::string>> g(study.markers.size());
  const std::string code = opt.missing.empty() ? "-9" : opt.missing;
  while (r.next(line)) {
    const auto f = split_fields(line);
    if (skipped_line(f, opt, header_pending)) continue;
    const bool first_line = first;
    first = false;
    Individual p;
    p.line = r.number();
    InputProblem where{ped_file, p.line, f[0], f.size() > 1 ? f[1] : "", ""};
    auto problem = [&](const std::string& text) {
      InputProblem q = where;
      q.text = text;
      problems.push_back(q);
    };
    if (f.size() != width) {
      problem("the line has " + std::to_string(f.size()) + " columns; " + std::to_string(width) +
              " are needed (six leading columns and two alleles for each of the " +
              std::to_string(study.markers.size()) + " markers of " + map_file + ")" +
              hint(f, first_line));
      continue;
    }
    leading_columns(f, p);
    p.sex = parse_sex(f[4]);
    if (p.sex < 0) {
      problem("sex " + quoted(f[4]) + " is not 1 (male), 2 (female) or 0 (unknown)" + hint(f, first_line));
      p.sex = 0;
    }
    if (pheno_file.empty()) {
      set_trait(p, f[5], study.trait_name, code, ped_file, problems);
    } else {
      const auto it = pheno.find({p.family, p.id});
      if (it != pheno.end())
        set_trait(p, it->second, study.trait_name, code, pheno_file, problems);
    }
    for (std::size_t k = 0; k < study.markers.size(); ++k)
      genotype(f[6 + 2 * k], f[7 + 2 * k], g[k].first, g[k].second, study.markers[k].name, where,
               problems);
    study.people.push_back(p);
    store_genotypes(study, g, p, ped_file, problems);
  }
  read_failure(ped_file, r, problems);
  if (study.people.empty() && problems.empty())
    problems.push_back(InputProblem{ped_file, 0, "", "", "the file holds no pedigree lines"});
  return study;
}

std::vector<GivenFrequencies> read_frequencies(const std::string& file,
                                               std::vector<InputProblem>& problems) {
  std::vector<GivenFrequencies> out;
  LineReader r(file, problems);
  std::string line;
  std::set<std::string> names;
  while (r.next(line)) {
    const auto f = split_fields(line);
    if (f.empty() || f[0][0] == '#') continue;
    auto problem = [&](const std::string& text) {
      problems.push_back(InputProblem{file, r.number(), "", "", text});
    };
    const std::string type = upper(f[0]);
    double v = 0;
    if (type == "M") {
      if (f.size() != 2) {
        problem("a marker line is \"M name\"");
        continue;
      }
      if (!names.insert(f[1]).second) problem("marker " + f[1] + " is listed twice");
      out.push_back(GivenFrequencies{f[1], {}, {}, r.number()});
    } else if (type == "F" || type == "A") {
      if (out.empty()) {
        problem("frequencies before the first \"M name\" line");
        continue;
      }
      GivenFrequencies& g = out.back();
      const std::size_t from = type == "F" ? 1 : 2;
      if (type == "A" && f.size() != 3) {
        problem("an allele line is \"A label frequency\"");
        continue;
      }
      for (std::size_t k = from; k < f.size(); ++k) {
        if (!parse_number(f[k], v) || v < 0) {
          problem("marker " + g.marker + ": the frequency " + quoted(f[k]) +
                  " is not a number of 0 or more");
          continue;
        }
        const std::string label = type == "F" ? std::to_string(g.labels.size() + 1) : f[1];
        if (std::find(g.labels.begin(), g.labels.end(), label) != g.labels.end()) {
          problem("marker " + g.marker + ": allele " + label + " is given twice");
          continue;
        }
        g.labels.push_back(label);
        g.freq.push_back(v);
      }
    } else {
      problem("a line starts with M (marker), F (frequencies) or A (allele), not " + quoted(f[0]));
    }
  }
  read_failure(file, r, problems);
  return out;
}

}  // namespace mglink::scan
