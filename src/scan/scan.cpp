#include "scan/scan.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <ostream>
#include <set>
#include <stdexcept>
#include <thread>

#include "evaluator/evaluator.hpp"
#include "prep/pedigree_checks.hpp"
#include "scan/analysis.hpp"
#include "scan/exact.hpp"
#include "scan/options.hpp"
#include "scan/plot.hpp"
#include "scan/progress.hpp"

namespace mglink::scan {

namespace fs = std::filesystem;

namespace {

constexpr const char* TABLE_FILE = "scan.tsv";
constexpr const char* PLOT_FILE = "scan.svg";
constexpr const char* WORK_DIR = ".mglink-scan-work";

// An output that cannot be written: exit status 3.
struct OutputError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// "1 marker", "2 markers".
std::string plural(std::size_t n, const std::string& one, const std::string& many = "") {
  return std::to_string(n) + " " + (n == 1 ? one : many.empty() ? one + "s" : many);
}

// Input problems found: listed, then exit status 1.
int input_failure(std::ostream& err, const std::vector<InputProblem>& problems, const std::string& what) {
  for (const InputProblem& p : problems) err << "mglink-scan: " << format_problem(p) << "\n";
  err << "mglink-scan: " << problems.size() << (problems.size() == 1 ? " problem" : " problems") << " in "
      << what << "; nothing written\n";
  return SCAN_INPUT_ERROR;
}

// Writes path through a temporary file, so that a failure leaves any former
// file whole.
void write_whole_file(const fs::path& path, const std::string& text) {
  fs::path tmp = path;
  tmp += ".tmp";
  {
    std::ofstream o(tmp, std::ios::binary | std::ios::trunc);
    o << text;
    o.flush();
    if (!o) throw OutputError("cannot write " + tmp.string());
  }
  std::error_code ec;
  fs::rename(tmp, path, ec);
  if (ec) throw OutputError("cannot write " + path.string() + ": " + ec.message());
}

void make_directory(const fs::path& dir) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec || !fs::is_directory(dir))
    throw OutputError("cannot create the directory " + dir.string() + (ec ? ": " + ec.message() : std::string()));
}

// The position unit of a table: base pairs when a position exceeds 10,000
// (no chromosome is that long in cM).
std::string position_unit(const std::vector<Row>& rows) {
  for (const Row& r : rows) {
    double v = 0;
    if (parse_number(r[COL_POS], v) && v > 10000) return "bp";
  }
  return "cM";
}

std::string plot_text(const std::vector<Row>& rows) {
  long analysed = 0;
  for (const Row& r : rows) analysed += r[COL_LOD].empty() ? 0 : 1;
  PlotOptions po;
  po.title = "mglink-scan: LOD score of " + std::to_string(analysed) + " markers";
  po.position_unit = position_unit(rows);
  return svg_plot(rows, po);
}

// The summary: markers analysed and failed by status, the top LOD scores.
void summary(std::ostream& out, const std::vector<Row>& rows) {
  std::map<std::string, long> by_status;
  long analysed = 0, failed = 0;
  for (const Row& r : rows) {
    ++by_status[r[COL_STATUS]];
    (r[COL_LOD].empty() ? failed : analysed) += 1;
  }
  out << "mglink-scan: " << plural(rows.size(), "marker") << ": " << analysed << " analysed, " << failed << " failed (";
  bool first = true;
  for (const auto& [status, n] : by_status) {
    out << (first ? "" : ", ") << n << " " << status;
    first = false;
  }
  out << ")\n";
  std::vector<std::pair<double, const Row*>> lods;
  for (const Row& r : rows) {
    double v = 0;
    if (parse_number(r[COL_LOD], v)) lods.emplace_back(v, &r);
  }
  std::stable_sort(lods.begin(), lods.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  if (lods.size() > 5) lods.resize(5);
  if (lods.empty()) return;
  out << "mglink-scan: top LOD scores:";
  for (const auto& [v, r] : lods) {
    // Three decimals; a score too large for them (a damaged table) in the
    // shortest form that reads back.
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", v);
    // A score that rounds to zero is 0.000, whatever its sign.
    if (std::string(buf) == "-0.000") std::snprintf(buf, sizeof buf, "0.000");
    out << " " << (*r)[COL_MARKER];
    if (!(*r)[COL_CHR].empty()) out << " (chr " << (*r)[COL_CHR] << " at " << (*r)[COL_POS] << ")";
    out << " " << (std::abs(v) < 1e15 ? std::string(buf) : number_text(v)) << (&lods.back().first == &v ? "" : ";");
  }
  out << "\n";
}

// ---- the scan -------------------------------------------------------------

struct Loaded {
  Study study;
  std::string ped_file;  // named in problems of the pedigree
  std::vector<GivenFrequencies> given;
};

// The families that mglink-prep finds a loop in.
std::set<std::string> loop_families(const prep::Prepared& pr) {
  std::vector<prep::Problem> loops;
  prep::check_loops(pr.ped, loops);
  std::set<std::string> fams;
  for (const auto& p : loops) fams.insert(p.family);
  return fams;
}

// How the scan's table starts: afresh, or with the lines already there
// (--resume): the file's first keep_bytes, or, when those are not written
// as the scan writes them (CR-LF line ends of a table saved on another
// system), `rewrite`, the kept lines as the scan writes them.
struct TableStart {
  bool fresh = true;
  std::uintmax_t keep_bytes = 0;
  std::string rewrite;
};

// The scan's table: rows of the chunk, those already there kept (--resume).
class TableWriter {
 public:
  TableWriter(const fs::path& path, const TableStart& start) : path_(path) {
    if (start.fresh) {
      out_.open(path, std::ios::binary | std::ios::trunc);
      out_ << header_line();
    } else {
      if (!start.rewrite.empty()) {
        write_whole_file(path, start.rewrite);  // through a temporary file: the table stays whole
      } else {
        std::error_code ec;
        fs::resize_file(path, start.keep_bytes, ec);  // a line cut off by an interruption goes
        if (ec) throw OutputError("cannot write " + path.string() + ": " + ec.message());
      }
      out_.open(path, std::ios::binary | std::ios::app);
    }
    out_.flush();
    if (!out_) throw OutputError("cannot write " + path.string());
  }
  void row(const Row& r) {
    out_ << row_line(r);
    out_.flush();
    if (!out_) throw OutputError("cannot write " + path_.string());
  }
  void close() {
    out_.close();
    if (!out_) throw OutputError("cannot complete " + path_.string());
  }

 private:
  fs::path path_;
  std::ofstream out_;
};

// Analyses planned[from..] on `threads` workers; hands each row to `write`
// in marker order as soon as it and its predecessors are done.
template <class Write>
void run_workers(const ScanContext& ctx, const std::vector<PlannedMarker>& planned, std::size_t from,
                 int threads, Write write) {
  const std::size_t n = planned.size();
  std::vector<std::optional<Row>> done(n);
  std::mutex mu;
  std::condition_variable cv;
  std::atomic<std::size_t> next{from};
  std::atomic<bool> stop{false};
  std::exception_ptr failure;
  auto work = [&](int w) {
    try {
      Evaluator eval(EvaluatorOptions{false, 1});
      while (!stop) {
        const std::size_t k = next++;
        if (k >= n) break;
        Row r = analyse_marker(ctx, planned[k], eval, w);
        std::lock_guard<std::mutex> lock(mu);
        done[k] = std::move(r);
        cv.notify_all();
      }
    } catch (...) {
      std::lock_guard<std::mutex> lock(mu);
      if (!failure) failure = std::current_exception();
      stop = true;
      cv.notify_all();
    }
  };
  std::vector<std::thread> pool;
  const int workers = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(threads), n - std::min(n, from)));
  for (int w = 0; w < workers; ++w) pool.emplace_back(work, w + 1);
  try {
    for (std::size_t k = from; k < n; ++k) {
      Row r;
      {
        std::unique_lock<std::mutex> lock(mu);
        cv.wait(lock, [&] { return done[k].has_value() || failure; });
        if (!done[k]) break;
        r = std::move(*done[k]);
        done[k].reset();
      }
      write(k, r);
    }
  } catch (...) {
    std::lock_guard<std::mutex> lock(mu);
    if (!failure) failure = std::current_exception();
    stop = true;
  }
  for (auto& t : pool) t.join();
  if (failure) std::rethrow_exception(failure);
}

int scan(const Options& opt, std::ostream& out, std::ostream& err, bool terminal) {
  // Input.
  std::vector<InputProblem> problems;
  Loaded in;
  if (!opt.plink.empty()) {
    in.study = read_plink(opt.plink, opt.pheno, opt.read, problems);
    in.ped_file = opt.plink + ".ped";
  } else {
    in.study = read_linkage(opt.ped, opt.dat, opt.map, opt.read, problems);
    in.ped_file = opt.ped;
  }
  // Every problem of the input is listed before the scan stops: those of
  // the files, of the marker selection and the frequency file, and those
  // mglink-prep's checks find in the pedigree (also when a line had a bad
  // field: the reader keeps the individual with the field cleared).
  const bool files_read = problems.empty();
  const Study& study = in.study;
  std::vector<PlannedMarker> planned;
  if (files_read) planned = plan_markers(study, opt.selection, problems);
  if (files_read && opt.freq == FreqSource::given) {
    in.given = read_frequencies(opt.freq_file, problems);
    std::vector<std::size_t> used;
    for (const PlannedMarker& pm : planned)
      if (!pm.skip) used.push_back(pm.index);
    check_given_frequencies(study, used, in.given, opt.freq_file, problems);
  }

  // The pedigree through mglink-prep's checks (links, loops, sexes,
  // capacities, trait values) with a marker that carries no information:
  // everybody typed 1/1 at a marker whose allele 1 has frequency 1.  Its
  // likelihood is that of every marker untyped (the marker's factor is
  // exactly 1) with 3 genotype slots per individual instead of 55: the
  // study of the trait model's fit.
  ScanContext ctx;
  ctx.view = make_view(study, in.ped_file, opt.add_missing_parents);
  if (study.people.empty()) return input_failure(err, problems, "the input");
  const std::vector<std::uint8_t> ones(study.people.size(), 1);
  prep::Prepared base = prepare_marker(ctx.view, ones, ones);
  std::vector<std::string> left_out;
  const std::set<std::string> loops = base.problems.empty() ? std::set<std::string>{} : loop_families(base);
  const auto in_loop = [&](std::size_t i) { return loops.count(study.people[i].family) > 0; };
  if (!loops.empty() && opt.skip_loops) {
    std::erase_if(ctx.view.people, in_loop);
    left_out.assign(loops.begin(), loops.end());
    if (ctx.view.people.empty() && problems.empty()) {
      for (const auto& f : left_out)
        err << "mglink-scan: family " << f << " left out: its pedigree has a loop (--skip-loops)\n";
      err << "mglink-scan: every family has a loop and was left out (--skip-loops); nothing written\n";
      return SCAN_INPUT_ERROR;
    }
    base = prepare_marker(ctx.view, ones, ones);
  } else if (!loops.empty()) {
    // The looped families are analysed over their pedigree graphs; every
    // other problem of the pedigree still stops the scan.
    std::vector<prep::Problem> loop_problems;
    prep::check_loops(base.ped, loop_problems);
    std::erase_if(base.problems, [&](const prep::Problem& p) {
      return std::any_of(loop_problems.begin(), loop_problems.end(), [&p](const prep::Problem& q) {
        return q.line == p.line && q.family == p.family && q.text == p.text;
      });
    });
    if (base.problems.empty()) {
      ctx.looped = looped_families(base, loops, ctx.view);
      const prep::StartValues all = prep::start_values(base.ped);
      std::erase_if(ctx.view.people, in_loop);
      if (ctx.view.people.empty()) {
        base = prep::Prepared{};
        base.start = all;
      } else {
        base = prepare_marker(ctx.view, ones, ones);
        base.start.trait_count = all.trait_count;
        base.start.trait_mean = all.trait_mean;
        base.start.trait_variance = all.trait_variance;
        base.start.warnings = all.warnings;
      }
      ctx.counted = ctx.view.people;
      for (std::size_t i : ctx.looped.people()) ctx.counted.push_back(i);
      std::sort(ctx.counted.begin(), ctx.counted.end());
    }
  }
  // A study beyond mglink's capacities: laid out all the same, and analysed
  // on the general path only.
  if (base.beyond_capacity) {
    ctx.view.check_capacity = false;
    base = prepare_marker(ctx.view, ones, ones);
    ctx.beyond_capacity = base.problems.empty();
  }
  for (const prep::Problem& p : base.problems) problems.push_back(input_problem(ctx.view, p));
  if (!problems.empty()) return input_failure(err, problems, "the input");
  for (const auto& f : left_out)
    err << "mglink-scan: family " << f << " left out: its pedigree has a loop (--skip-loops)\n";
  for (const auto& w : base.start.warnings) err << "mglink-scan: warning: " << w << "\n";
  if (!ctx.looped.empty() && opt.lump)
    err << "mglink-scan: warning: --lump has no effect in a study with loops: every marker keeps all its alleles\n";
  else if (ctx.beyond_capacity && opt.lump)
    err << "mglink-scan: warning: --lump has no effect in a study beyond mglink's capacities: every marker keeps all "
           "its alleles\n";

  // The chunk (run directories named over the whole list, so that the
  // chunks of a scan agree).
  name_run_directories(study, planned);
  const Slice slice = chunk_slice(planned.size(), opt.chunk_k, opt.chunk_n);
  planned = std::vector<PlannedMarker>(planned.begin() + static_cast<long>(slice.begin),
                                       planned.begin() + static_cast<long>(slice.end));

  // The output directory: an existing table is kept unless --force, or
  // continued with --resume.
  const fs::path outdir = opt.outdir;
  const fs::path table_path = outdir / TABLE_FILE;
  std::vector<Row> kept;
  TableStart start;
  const bool exists = fs::exists(table_path);
  if (exists && !opt.force && !opt.resume) {
    err << "mglink-scan: " << table_path.string()
        << " exists; --resume continues it, --force replaces it\n";
    return SCAN_USAGE;
  }
  if (exists && opt.resume) {
    std::string text;
    if (!read_whole_file(table_path.string(), text)) {
      err << "mglink-scan: cannot read " << table_path.string() << "\n";
      return SCAN_INPUT_ERROR;
    }
    kept = parse_table(text, table_path.string(), true, problems);
    if (!problems.empty()) return input_failure(err, problems, table_path.string() + " (--resume)");
    start.fresh = false;
    start.keep_bytes = text.rfind('\n') + 1;
    for (std::size_t k = 0; k < kept.size(); ++k) {
      const Row& r = kept[k];
      const std::string where = table_path.string() + ", line " + std::to_string(k + 2) + ": marker " + r[COL_MARKER];
      const char* tail = "; the table belongs to another scan (--force replaces it)\n";
      if (k >= planned.size()) {
        err << "mglink-scan: " << where << " is beyond the scan's " << plural(planned.size(), "marker") << tail;
        return SCAN_INPUT_ERROR;
      }
      const PlannedMarker& pm = planned[k];
      if (r[COL_MARKER] != study.markers[pm.index].name || r[COL_CHR] != pm.chr || r[COL_POS] != pm.pos) {
        err << "mglink-scan: " << where << " is not the scan's marker " << study.markers[pm.index].name
            << " there" << tail;
        return SCAN_INPUT_ERROR;
      }
    }
    // The table goes on in the scan's own lines (LF line ends): kept lines
    // written otherwise are written again, so that the continued table is
    // the one an uninterrupted scan writes.
    std::string lines = header_line();
    for (const Row& r : kept) lines += row_line(r);
    if (text.compare(0, start.keep_bytes, lines) != 0) start.rewrite = std::move(lines);
  }

  try {
    make_directory(outdir);
    ctx.settings.prep_starts = opt.prep_starts;
    ctx.settings.theta_starts = opt.theta_starts;
    ctx.settings.source = opt.freq;
    ctx.settings.given = &in.given;
    ctx.settings.untype_mendel = opt.untype_mendel;
    ctx.settings.lump = opt.lump;
    ctx.settings.scratch = outdir / WORK_DIR;
    if (opt.max_family_cost > 0) ctx.settings.max_family_cost = opt.max_family_cost;
    if (!opt.keep_runs.empty()) {
      ctx.settings.keep_runs = fs::path(opt.keep_runs);
      make_directory(*ctx.settings.keep_runs);
    }
    std::error_code ec;
    fs::remove_all(ctx.settings.scratch, ec);
    make_directory(ctx.settings.scratch);
    TableWriter table(table_path, start);
    const std::size_t families = static_cast<std::size_t>(base.layout.nfam()) + ctx.looped.ids.size();
    const std::size_t individuals = static_cast<std::size_t>(base.layout.nind()) + ctx.looped.person.size();
    if (!opt.quiet) {
      out << "mglink-scan: " << in.ped_file << ": " << plural(families, "family", "families")
          << ", " << plural(individuals, "individual") << "; "
          << plural(planned.size(), "marker")
          << (opt.chunk_n > 1 ? " in chunk " + std::to_string(opt.chunk_k) + "/" + std::to_string(opt.chunk_n) : "")
          << (kept.empty() ? "" : ", " + std::to_string(kept.size()) + " already in the table") << "\n";
      if (ctx.beyond_capacity)
        out << "mglink-scan: the study is beyond mglink's capacities (at most " << N_FAM << " families and "
            << N_IGOFF << " individuals): every marker takes the general path (k-allele)\n";
      if (!ctx.looped.empty()) {
        std::string ids;
        for (const auto& f : ctx.looped.ids) ids += (ids.empty() ? "" : ", ") + f;
        out << "mglink-scan: " << plural(ctx.looped.ids.size(), "family", "families") << " with loops (" << ids
            << ") analysed over the pedigree graph: every marker takes the general path (k-allele)\n";
      }
    }

    // The trait model, once.
    ctx.trait.start = base.start;
    if (!opt.prep_starts && kept.size() < planned.size()) {
      Evaluator eval(EvaluatorOptions{false, std::max(1, opt.threads)});
      ctx.trait = ctx.looped.empty() && !ctx.beyond_capacity
                      ? fit_trait_model(base, ctx.settings.scratch / "trait", eval)
                      : fit_trait_model_general(ctx, base, ctx.settings.scratch / "trait");
      if (!opt.quiet && ctx.trait.fitted) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.6f", ctx.trait.lnL);
        out << "mglink-scan: trait model fitted on the trait alone (no marker information): ln L " << buf << "\n";
      }
      if (!ctx.trait.note.empty()) err << "mglink-scan: warning: " << ctx.trait.note << "\n";
    }

    std::vector<Row> rows = kept;
    Progress progress(err, static_cast<long>(planned.size()), terminal, opt.quiet);
    progress.update(static_cast<long>(kept.size()));
    run_workers(ctx, planned, kept.size(), std::max(1, opt.threads), [&](std::size_t k, const Row& r) {
      table.row(r);
      rows.push_back(r);
      progress.update(static_cast<long>(k + 1));
    });
    progress.finish();
    table.close();
    fs::remove_all(ctx.settings.scratch, ec);
    write_whole_file(outdir / PLOT_FILE, plot_text(rows));
    if (!opt.quiet) {
      if (!left_out.empty())
        out << "mglink-scan: " << left_out.size() << (left_out.size() == 1 ? " family" : " families")
            << " with a loop left out\n";
      summary(out, rows);
      long costly = 0;
      for (const Row& r : rows)
        for (std::size_t at = 0; (at = r[COL_REASON].find(" left out: its pedigree has loops", at)) != std::string::npos; ++at)
          ++costly;
      if (costly > 0)
        out << "mglink-scan: " << costly << (costly == 1 ? " looped family" : " looped families")
            << " left out of a marker's analysis for its cost (--max-family-cost; the reason column names them)\n";
      out << "mglink-scan: wrote " << table_path.string() << " and " << (outdir / PLOT_FILE).string() << "\n";
    }
  } catch (const OutputError& e) {
    err << "mglink-scan: " << e.what() << "\n";
    return SCAN_OUTPUT_ERROR;
  } catch (const std::runtime_error& e) {  // a run directory that cannot be written
    err << "mglink-scan: " << e.what() << "\n";
    return SCAN_OUTPUT_ERROR;
  }
  return SCAN_OK;
}

// ---- merge and plot -------------------------------------------------------

int merge(const Options& opt, std::ostream& out, std::ostream& err) {
  std::vector<InputProblem> problems;
  std::vector<Row> rows;
  std::map<std::string, std::string> where;  // marker -> file and line
  for (const std::string& file : opt.merge_inputs) {
    std::string text;
    if (!read_whole_file(file, text)) {
      problems.push_back(InputProblem{file, 0, "", "", "cannot open the file"});
      continue;
    }
    const std::vector<Row> part = parse_table(text, file, false, problems);
    for (std::size_t k = 0; k < part.size(); ++k) {
      const std::string here = file + ":" + std::to_string(k + 2);
      const auto [it, fresh] = where.try_emplace(part[k][COL_MARKER], here);
      if (!fresh)
        problems.push_back(InputProblem{file, static_cast<long>(k + 2), "", "",
                                        "marker " + part[k][COL_MARKER] + " is already on " + it->second});
      rows.push_back(part[k]);
    }
  }
  if (!problems.empty()) return input_failure(err, problems, "the tables to merge");
  const fs::path outdir = opt.outdir;
  const fs::path table_path = outdir / TABLE_FILE;
  for (const std::string& file : opt.merge_inputs) {
    std::error_code ec;
    if (fs::equivalent(file, table_path, ec)) {
      err << "mglink-scan: " << file << " is the table the merge writes; merge into another directory\n";
      return SCAN_USAGE;
    }
  }
  if (fs::exists(table_path) && !opt.force) {
    err << "mglink-scan: " << table_path.string() << " exists; --force replaces it\n";
    return SCAN_USAGE;
  }
  try {
    make_directory(outdir);
    std::string text = header_line();
    for (const Row& r : rows) text += row_line(r);
    write_whole_file(table_path, text);
    write_whole_file(outdir / PLOT_FILE, plot_text(rows));
  } catch (const OutputError& e) {
    err << "mglink-scan: " << e.what() << "\n";
    return SCAN_OUTPUT_ERROR;
  }
  if (!opt.quiet) {
    summary(out, rows);
    out << "mglink-scan: wrote " << table_path.string() << " and " << (outdir / PLOT_FILE).string() << "\n";
  }
  return SCAN_OK;
}

int plot_only(const Options& opt, std::ostream& out, std::ostream& err) {
  std::vector<InputProblem> problems;
  std::string text;
  if (!read_whole_file(opt.plot_table, text)) {
    problems.push_back(InputProblem{opt.plot_table, 0, "", "", "cannot open the file"});
    return input_failure(err, problems, opt.plot_table);
  }
  const std::vector<Row> rows = parse_table(text, opt.plot_table, false, problems);
  if (!problems.empty()) return input_failure(err, problems, opt.plot_table);
  fs::path svg = opt.plot_svg;
  if (svg.empty()) svg = fs::path(opt.plot_table).replace_extension(".svg");
  try {
    write_whole_file(svg, plot_text(rows));
  } catch (const OutputError& e) {
    err << "mglink-scan: " << e.what() << "\n";
    return SCAN_OUTPUT_ERROR;
  }
  if (!opt.quiet) out << "mglink-scan: wrote " << svg.string() << "\n";
  return SCAN_OK;
}

}  // namespace

int run_scan_command(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                     bool err_is_terminal) {
  Options opt;
  const std::string why = parse_options(args, opt);
  if (!why.empty()) {
    err << "mglink-scan: " << why << "\n" << USAGE;
    return SCAN_USAGE;
  }
  if (opt.threads == 0) opt.threads = hardware_threads();
  switch (opt.mode) {
    case Mode::help:
      out << USAGE;
      return SCAN_OK;
    case Mode::version:
      out << VERSION << "\n";
      return SCAN_OK;
    case Mode::merge:
      return merge(opt, out, err);
    case Mode::plot_only:
      return plot_only(opt, out, err);
    case Mode::scan:
      break;
  }
  try {
    return scan(opt, out, err, err_is_terminal);
  } catch (const std::exception& e) {
    err << "mglink-scan: internal error: " << e.what() << " (a fault of mglink-scan; please report it)\n";
    return SCAN_INTERNAL;
  }
}

}  // namespace mglink::scan
