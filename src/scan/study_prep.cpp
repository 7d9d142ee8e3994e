#include "scan/study_prep.hpp"

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "prep/start_values.hpp"
#include "run/control_files.hpp"

namespace mglink::scan {

namespace fs = std::filesystem;

PrepView make_view(const Study& study, const std::string& ped_file, bool add_missing_parents) {
  PrepView v;
  v.study = &study;
  v.ped_file = ped_file;
  for (std::size_t i = 0; i < study.people.size(); ++i) v.people.push_back(i);
  v.table.plink = false;
  v.table.missing = "NA";  // so that any number, -999 too, is read as a value
  v.table.trait_column = 6;
  v.table.marker_column = 7;
  v.table.comment = 0;
  v.table.add_missing_parents = add_missing_parents;
  return v;
}

std::string prep_table(const PrepView& v, const std::vector<std::uint8_t>& allele1,
                       const std::vector<std::uint8_t>& allele2) {
  std::string s;
  for (std::size_t i : v.people) {
    const Individual& p = v.study->people[i];
    s += p.family + ' ' + p.id + ' ' + p.father + ' ' + p.mother + ' ' + std::to_string(p.sex) + ' ';
    s += p.trait_missing ? std::string("NA") : prep::real_text(p.trait);
    const int a = allele1.empty() ? 0 : allele1[i], b = allele2.empty() ? 0 : allele2[i];
    s += ' ' + std::to_string(a) + ' ' + std::to_string(b) + '\n';
  }
  return s;
}

prep::Prepared prepare_marker(const PrepView& v, const std::vector<std::uint8_t>& allele1,
                              const std::vector<std::uint8_t>& allele2) {
  std::istringstream table(prep_table(v, allele1, allele2));
  prep::PrepOptions opt;
  opt.table = v.table;
  opt.check_capacity = v.check_capacity;
  return prep::prepare(table, opt);
}

long person_of_line(const PrepView& v, long line) {
  if (line < 1 || line > static_cast<long>(v.people.size())) return -1;
  return static_cast<long>(v.people[static_cast<std::size_t>(line - 1)]);
}

InputProblem input_problem(const PrepView& v, const prep::Problem& p) {
  const long i = person_of_line(v, p.line);
  const long line = i < 0 ? 0 : v.study->people[static_cast<std::size_t>(i)].line;
  // Line numbers inside the text ("first on line L", "(line L)") refer to the
  // generated table too.
  std::string text = p.text;
  for (const char* key : {"(line ", "on line "}) {
    std::size_t at = 0;
    while ((at = text.find(key, at)) != std::string::npos) {
      at += std::string(key).size();
      std::size_t end = at;
      while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
      if (end == at) continue;
      const long j = person_of_line(v, std::stol(text.substr(at, end - at)));
      if (j < 0) continue;
      const std::string real = std::to_string(v.study->people[static_cast<std::size_t>(j)].line);
      text.replace(at, end - at, real);
      at += real.size();
    }
  }
  return InputProblem{v.ped_file, line, p.family, p.individual, text};
}

namespace {

void write_file(const fs::path& path, const std::string& text) {
  std::ofstream o(path, std::ios::binary | std::ios::trunc);
  o << text;
  o.flush();
  if (!o) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace

void write_marker_run(const fs::path& dir, const prep::Prepared& pr, const std::string& par) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec || !fs::is_directory(dir))
    throw std::runtime_error("cannot create the directory " + dir.string() +
                             (ec ? ": " + ec.message() : std::string()));
  // A study without a family mglink can peel (every family has a loop):
  // only the parameter files.
  if (!pr.ped.families.empty()) {
    write_file(dir / FAMILY_FILE, prep::iway_text(pr.layout));
    write_file(dir / prep::TRAIT_FILE, prep::trait_text(pr.ped));
    write_file(dir / prep::MARKER_FILE, prep::marker_text(pr.ped));
    write_file(dir / prep::MAPPING_FILE, prep::mapping_text(pr.ped, pr.layout));
  }
  write_file(dir / TASK_FILE, std::string(prep::TRAIT_FILE) + "\n" + prep::MARKER_FILE + "\n" +
                                  prep::RESULT_FILE + "\n");
  write_file(dir / MAXPAR_FILE, prep::maxpar_text());
  write_file(dir / PAR_FILE, par);
}

void write_capacity_note(const fs::path& dir, const prep::Prepared& pr) {
  write_file(dir / "CAPACITY.txt",
             "This study has " + std::to_string(pr.layout.nfam()) + " families and " +
                 std::to_string(pr.layout.nind()) + " individuals in " + std::to_string(pr.layout.nnuc()) +
                 " nuclear families, beyond mglink's capacities (at most " + std::to_string(N_FAM) +
                 " families, " + std::to_string(N_IGOFF) + " individuals and " + std::to_string(N_WAY - 2) +
                 " nuclear families): mglink cannot run this directory.  sigma.DAT and result.dat are\n"
                 "mglink-scan's general path: the same model, families, peeling and maximiser.\n");
}

}  // namespace mglink::scan
