// The pedigree table of a study and the problems found in it.
//
// A pedigree table has one line per individual: family id, individual id,
// father id, mother id (0 = unknown), sex (1 male, 2 female, 0 unknown), the
// trait value and the marker's two alleles (0 0 = untyped).  Ids are strings.
// This file holds the parsed table, grouped into families, and the list of
// problems that every stage of mglink-prep adds to.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mglink::prep {

// Where the columns are and how missing traits and comments are written.
struct TableOptions {
  bool plink = false;          // PLINK .ped table: phenotype in column 6, first marker in 7 and 8
  std::string missing = "";    // trait missing-value code; empty = default (-999, PLINK -9)
  int trait_column = 6;        // 1-based column of the trait value
  int marker_column = 0;       // 1-based column of the first marker allele; 0 = default
  char comment = '#';          // the rest of a line after this character is ignored; 0 = none
  bool add_missing_parents = false;  // add absent parents and unknown co-parents as founders
};

// One problem of the table: the line (0 when it concerns no single line),
// the family and individual (empty when not about one), and what is wrong.
struct Problem {
  long line = 0;
  std::string family;
  std::string individual;
  std::string text;
};

// "FILE:LINE: family F, individual I: text" (parts left out when empty),
// with every byte outside printable ASCII shown as \xHH.
std::string format_problem(const std::string& file, const Problem& p);

// Text with every byte outside printable ASCII (controls, NUL, bytes of
// other encodings) shown as \xHH, for messages that echo a table's bytes.
std::string escaped(std::string_view s);

// An id or a field of the table as a problem text shows it: 'x'.
inline std::string quote(std::string_view s) {
  std::string q(1, '\'');
  q.append(s);
  q.push_back('\'');
  return q;
}

// One individual.  Individuals added by --add-missing-parents have line 0.
struct Person {
  long line = 0;
  std::string id;
  std::string father_id;  // "0" = unknown
  std::string mother_id;
  int sex = 0;                // 0 unknown, 1 male, 2 female
  bool trait_missing = true;
  double trait = 0.0;
  int allele1 = 0;            // 0 = untyped or unusable (then a problem was recorded)
  int allele2 = 0;
  bool added = false;         // placeholder or absent parent added by mglink-prep
  // Filled when the family is linked (indices into Family::people, -1 = none).
  int father = -1;
  int mother = -1;
};

// A nuclear family of the pedigree: two parents and their children
// (indices into Family::people), children in table order.
struct Nuclear {
  int father = -1;
  int mother = -1;
  std::vector<int> children;
  // Father, mother, then the children.
  std::vector<int> members() const {
    std::vector<int> ms{father, mother};
    ms.insert(ms.end(), children.begin(), children.end());
    return ms;
  }
};

struct Family {
  std::string id;
  std::vector<Person> people;     // table order, added individuals last
  std::vector<Nuclear> nuclear;   // in the order of their first child in the table
};

struct Pedigree {
  std::vector<Family> families;   // in the order of their first line in the table
};

}  // namespace mglink::prep
