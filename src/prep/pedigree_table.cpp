#include "prep/pedigree_table.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <set>
#include <string_view>
#include <tuple>
#include <unordered_map>

namespace mglink::prep {

namespace {

constexpr double UNKNOWN_TRAIT_LIMIT = -998.0;  // mglink reads this and below as unknown

std::vector<std::string_view> split_columns(std::string_view s) {
  std::vector<std::string_view> cols;
  std::size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    std::size_t j = i;
    while (j < s.size() && s[j] != ' ' && s[j] != '\t') ++j;
    if (j > i) cols.push_back(s.substr(i, j - i));
    i = j;
  }
  return cols;
}

bool parse_real(std::string_view s, double& v) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  return r.ec == std::errc() && r.ptr == s.data() + s.size() && std::isfinite(v);
}

bool parse_int(std::string_view s, int& v) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

}  // namespace

std::string escaped(std::string_view s) {
  static const char* const HEX = "0123456789abcdef";
  std::string out;
  out.reserve(s.size());
  for (const char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 0x20 && c < 0x7f) {
      out += ch;
    } else {
      out += "\\x";
      out += HEX[c >> 4];
      out += HEX[c & 15];
    }
  }
  return out;
}

std::string format_problem(const std::string& file, const Problem& p) {
  std::string s = file;
  if (p.line > 0) {
    s += ':';
    s += std::to_string(p.line);
  }
  s += ": ";
  if (!p.family.empty()) {
    s += "family ";
    s += p.family;
    s += p.individual.empty() ? ": " : ", ";
  }
  if (!p.individual.empty()) {
    s += "individual ";
    s += p.individual;
    s += ": ";
  }
  s += p.text;
  return escaped(s);
}

std::string missing_code(const TableOptions& opt) {
  if (!opt.missing.empty()) return opt.missing;
  return opt.plink ? "-9" : "-999";
}

Pedigree read_table(std::istream& in, const TableOptions& opt, std::vector<Problem>& problems) {
  Pedigree ped;
  long lines = 0;  // pedigree lines read
  const std::string missing = missing_code(opt);
  double missing_value = 0.0;
  const bool missing_numeric = parse_real(missing, missing_value);

  std::unordered_map<std::string, std::size_t> family_index;
  std::vector<std::unordered_map<std::string, long>> id_lines;  // per family: id -> line

  long expected_columns = 0;
  long expected_line = 0;
  std::set<std::string> alleles_seen;  // every allele written in the table, for the summary
  bool allele_out_of_range = false;

  // The whole table; a line ends at "\n", "\r\n" or a bare "\r" (old Mac
  // files), so that no line end joins two lines.
  std::string all;
  {
    char buf[1 << 16];
    while (in.read(buf, sizeof buf) || in.gcount() > 0)
      all.append(buf, static_cast<std::size_t>(in.gcount()));
  }
  std::size_t next = 0;
  long line_no = 0;
  while (next < all.size()) {
    const std::size_t end = std::min(all.find_first_of("\r\n", next), all.size());
    std::string_view s(all.data() + next, end - next);
    next = end + (end + 1 < all.size() && all[end] == '\r' && all[end + 1] == '\n' ? 2 : 1);
    ++line_no;
    if (line_no == 1 && s.substr(0, 3) == "\xEF\xBB\xBF") s.remove_prefix(3);  // UTF-8 mark
    if (opt.comment != 0) {
      auto c = s.find(opt.comment);
      if (c != std::string_view::npos) s = s.substr(0, c);
    }
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n')) s.remove_suffix(1);
    auto cols = split_columns(s);
    if (cols.empty()) continue;

    const long ncol = static_cast<long>(cols.size());
    const long marker_col =
        opt.marker_column > 0 ? opt.marker_column : (opt.plink ? 7 : ncol - 1);
    const long needed = opt.marker_column == 0 && !opt.plink
                            ? std::max<long>(8, static_cast<long>(opt.trait_column) + 2)
                            : std::max<long>({6, opt.trait_column, marker_col + 1});
    Problem base{line_no, std::string(cols[0]), ncol >= 2 ? std::string(cols[1]) : "", ""};
    auto report = [&](std::string text) {
      Problem p = base;
      p.text = std::move(text);
      problems.push_back(std::move(p));
    };
    if (ncol < needed) {
      report("the line has " + std::to_string(ncol) + " columns; " + std::to_string(needed) +
             " are needed (family, individual, father, mother, sex, trait, two marker alleles)");
      continue;
    }
    if (expected_columns == 0) {
      expected_columns = ncol;
      expected_line = line_no;
    } else if (ncol != expected_columns) {
      report("the line has " + std::to_string(ncol) + " columns, line " +
             std::to_string(expected_line) + " has " + std::to_string(expected_columns));
      continue;
    }
    if (opt.trait_column >= marker_col && opt.trait_column <= marker_col + 1) {
      report("the trait column " + std::to_string(opt.trait_column) +
             " is one of the marker allele columns " + std::to_string(marker_col) + " and " +
             std::to_string(marker_col + 1));
      continue;
    }
    ++lines;

    Person p;
    p.line = line_no;
    p.id = std::string(cols[1]);
    p.father_id = std::string(cols[2]);
    p.mother_id = std::string(cols[3]);

    if (p.id == "0") report("the individual id 0 is reserved for unknown parents");

    std::string_view sex = cols[4];
    if (sex == "1" || sex == "2" || sex == "0") {
      p.sex = sex[0] - '0';
    } else {
      report("sex " + quote(sex) + " is not 1 (male), 2 (female) or 0 (unknown)");
    }

    std::string_view trait = cols[static_cast<std::size_t>(opt.trait_column - 1)];
    double v = 0.0;
    if (trait == missing || trait == "NA" || trait == "x") {
      p.trait_missing = true;
    } else if (!parse_real(trait, v)) {
      report("trait value " + quote(trait) + " is not a number nor a missing-value code (" +
             missing + ", NA, x)");
    } else if (missing_numeric && v == missing_value) {
      p.trait_missing = true;
    } else if (v <= UNKNOWN_TRAIT_LIMIT) {
      report("trait value " + std::string(trait) +
             " is at or below -998, which mglink reads as unknown; shift the trait or write "
             "the missing-value code");
    } else {
      p.trait_missing = false;
      p.trait = v;
    }

    std::string_view a1 = cols[static_cast<std::size_t>(marker_col - 1)];
    std::string_view a2 = cols[static_cast<std::size_t>(marker_col)];
    int x1 = 0, x2 = 0;
    bool ok1 = parse_int(a1, x1), ok2 = parse_int(a2, x2);
    if (!(ok1 && x1 == 0)) alleles_seen.insert(std::string(a1));
    if (!(ok2 && x2 == 0)) alleles_seen.insert(std::string(a2));
    bool ok = true;
    for (auto [txt, okk, x] : {std::tuple{a1, ok1, x1}, std::tuple{a2, ok2, x2}}) {
      if (!okk || x < 0 || x > 5) {
        report("marker allele " + quote(txt) + " is not one of the alleles 1 to 5 (0 = untyped)");
        ok = false;
        allele_out_of_range = true;
      }
    }
    if (ok && (x1 == 0) != (x2 == 0)) {
      report("only one marker allele is typed (" + std::string(a1) + " " + std::string(a2) +
             "); give both alleles, or 0 0 for untyped");
      ok = false;
    }
    if (ok) {
      p.allele1 = std::min(x1, x2);
      p.allele2 = std::max(x1, x2);
    }

    auto [it, fresh] = family_index.try_emplace(std::string(cols[0]), ped.families.size());
    if (fresh) {
      ped.families.push_back(Family{std::string(cols[0]), {}, {}});
      id_lines.emplace_back();
    }
    auto [idit, new_id] = id_lines[it->second].try_emplace(p.id, line_no);
    if (!new_id) {
      report("the individual id appears twice in the family (first on line " +
             std::to_string(idit->second) + "); this line is ignored");
      continue;
    }
    ped.families[it->second].people.push_back(std::move(p));
  }

  if (allele_out_of_range) {
    std::string list;
    for (const auto& a : alleles_seen) list += " " + a;
    problems.push_back(Problem{0, "", "",
                               "the model has five marker alleles, coded 1 to 5; recode the "
                               "marker (alleles in the table:" + list + ")"});
  }
  if (lines == 0 && problems.empty())
    problems.push_back(Problem{0, "", "", "the table holds no pedigree lines"});
  return ped;
}

void link_families(Pedigree& ped, const TableOptions& opt, std::vector<Problem>& problems) {
  for (Family& fam : ped.families) {
    std::unordered_map<std::string, int> index;
    for (std::size_t i = 0; i < fam.people.size(); ++i)
      index.emplace(fam.people[i].id, static_cast<int>(i));

    auto add_person = [&](const std::string& id, int sex) {
      Person q;
      q.id = id;
      q.father_id.assign(1, '0');
      q.mother_id.assign(1, '0');
      q.sex = sex;
      q.added = true;
      fam.people.push_back(q);
      int k = static_cast<int>(fam.people.size()) - 1;
      index.emplace(id, k);
      return k;
    };
    auto report = [&](const Person& p, std::string text) {
      problems.push_back(Problem{p.line, fam.id, p.id, std::move(text)});
    };

    // Parents named in the table.  Only people read from the table are
    // looked at; added ones come after them and have no parents.
    const std::size_t table_people = fam.people.size();
    for (std::size_t i = 0; i < table_people; ++i) {
      for (int role = 0; role < 2; ++role) {
        const std::string pid = role == 0 ? fam.people[i].father_id : fam.people[i].mother_id;
        const char* what = role == 0 ? "father" : "mother";
        if (pid == "0") continue;
        if (pid == fam.people[i].id) {
          report(fam.people[i], std::string("is given as his or her own ") + what);
          continue;
        }
        auto it = index.find(pid);
        int k;
        if (it != index.end()) {
          k = it->second;
        } else if (opt.add_missing_parents) {
          k = add_person(pid, role == 0 ? 1 : 2);
        } else {
          report(fam.people[i], std::string("the ") + what + " " + quote(pid) +
                                    " has no line in the family (add the line, or use "
                                    "--add-missing-parents)");
          continue;
        }
        (role == 0 ? fam.people[i].father : fam.people[i].mother) = k;
      }
    }

    // One parent known, the other unknown (0).
    std::map<std::pair<int, int>, int> placeholder;  // (known parent, its role) -> co-parent
    for (std::size_t i = 0; i < table_people; ++i) {
      Person& p = fam.people[i];
      const bool fknown = p.father_id != "0", mknown = p.mother_id != "0";
      if (fknown == mknown) continue;
      const char* known = fknown ? "father" : "mother";
      const char* other = fknown ? "mother" : "father";
      if (!opt.add_missing_parents) {
        report(p, std::string("only the ") + known + " is known (" + other +
                      " 0): give both parents or neither, or use --add-missing-parents");
        continue;
      }
      int k = fknown ? p.father : p.mother;
      if (k < 0) continue;  // the known parent was itself a problem
      auto [it, fresh] = placeholder.try_emplace({k, fknown ? 0 : 1}, -1);
      if (fresh) {
        std::string id = "_mate_of_" + fam.people[static_cast<std::size_t>(k)].id;
        std::string unique = id;
        for (int n = 2; index.count(unique) != 0; ++n) unique = id + "_" + std::to_string(n);
        it->second = add_person(unique, fknown ? 2 : 1);
      }
      Person& q = fam.people[i];  // add_person may have moved the vector
      (fknown ? q.mother : q.father) = it->second;
      (fknown ? q.mother_id : q.father_id) = fam.people[static_cast<std::size_t>(it->second)].id;
    }

    // Sex of the parents: a father must be male, a mother female, nobody both.
    // first_child[0][k], first_child[1][k]: the first child of k as father,
    // as mother (an index into people, -1 when none).
    std::vector<int> first_child[2] = {std::vector<int>(fam.people.size(), -1),
                                       std::vector<int>(fam.people.size(), -1)};
    for (std::size_t i = 0; i < fam.people.size(); ++i) {
      const Person& c = fam.people[i];
      for (int role = 0; role < 2; ++role) {
        const int k = role == 0 ? c.father : c.mother;
        if (k >= 0 && first_child[role][static_cast<std::size_t>(k)] < 0)
          first_child[role][static_cast<std::size_t>(k)] = static_cast<int>(i);
      }
    }
    auto child_ref = [&](int i) {
      const Person& c = fam.people[static_cast<std::size_t>(i)];
      return quote(c.id) + (c.line > 0 ? " (line " + std::to_string(c.line) + ")" : std::string());
    };
    for (std::size_t k = 0; k < fam.people.size(); ++k) {
      const Person& p = fam.people[k];
      const int as_father = first_child[0][k], as_mother = first_child[1][k];
      if (as_father >= 0 && as_mother >= 0) {
        report(p, "is the father of " + child_ref(as_father) + " and the mother of " + child_ref(as_mother));
      } else if (as_father >= 0 && p.sex != 1) {
        report(p, "is the father of " + child_ref(as_father) + " but has sex " + std::to_string(p.sex) +
                      "; a father must have sex 1");
      } else if (as_mother >= 0 && p.sex != 2) {
        report(p, "is the mother of " + child_ref(as_mother) + " but has sex " + std::to_string(p.sex) +
                      "; a mother must have sex 2");
      }
    }

    // Nuclear families: one per (father, mother) pair with children.
    std::map<std::pair<int, int>, std::size_t> nuc_index;
    for (std::size_t i = 0; i < fam.people.size(); ++i) {
      const Person& c = fam.people[i];
      if (c.father < 0 || c.mother < 0 || c.father == c.mother) continue;  // reported above
      auto [it, fresh] = nuc_index.try_emplace({c.father, c.mother}, fam.nuclear.size());
      if (fresh) fam.nuclear.push_back(Nuclear{c.father, c.mother, {}});
      fam.nuclear[it->second].children.push_back(static_cast<int>(i));
    }
  }
}

}  // namespace mglink::prep
