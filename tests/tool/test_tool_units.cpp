// SPDX-License-Identifier: MIT
// The tool's own building blocks: indenting on the way out (held to the JSON
// writer's own indented form), output files that are whole or absent, the
// folder maker, sizes and printable names.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <yyjson.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "display.hpp"
#include "input_file.hpp"
#include "json_output.hpp"
#include "output_file.hpp"

namespace {

std::string slurp(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void spill(const std::string &path, const std::string &text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string indented(const std::string &json, bool pretty) {
  char *buf = nullptr;
  std::size_t len = 0;
  std::FILE *f = open_memstream(&buf, &len);
  EXPECT_TRUE(lyrn_tool::write_document(f, json.data(), json.size(), pretty));
  std::fclose(f);
  std::string out(buf, len);
  std::free(buf);
  return out;
}

// What the JSON writer itself gives for the document, indented.
std::string writer_pretty(const std::string &json) {
  yyjson_doc *doc = yyjson_read(json.data(), json.size(), 0);
  EXPECT_NE(doc, nullptr) << json;
  char *text = yyjson_write(doc, YYJSON_WRITE_PRETTY, nullptr);
  std::string out = std::string(text) + "\n";
  std::free(text);
  yyjson_doc_free(doc);
  return out;
}

class temp_dir {
 public:
  temp_dir() {
    char tmpl[] = "/tmp/lyrn-tool-test-XXXXXX";
    path = mkdtemp(tmpl);
  }
  ~temp_dir() { std::system(("rm -rf '" + path + "'").c_str()); }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    FILE *p = popen(("ls -A '" + path + "'").c_str(), "r");
    char line[4096];
    while (std::fgets(line, sizeof line, p)) {
      std::string s = line;
      s.pop_back();
      out.push_back(s);
    }
    pclose(p);
    return out;
  }
  std::string path;
};

// Indenting one pass over compact text gives byte for byte what re-reading
// and writing indented gives: strings with quotes, escapes and brackets
// inside, empty and nested containers, numbers of every kind.
TEST(JsonOutput, IndentingMatchesTheWritersIndentedForm) {
  std::vector<std::string> docs = {
      R"({})",
      R"([])",
      R"({"a":[],"b":{},"c":[{}],"d":[[]]})",
      R"({"s":"a\"b\\c","t":"{[,:]}","u":"\u0001\n\t","v":"é😀"})",
      R"({"n":-1,"r":224.0,"e":1.5e300,"z":0,"b":true,"f":false,"x":null})",
      R"([1,[2,[3,[4]]],{"k":{"k":{"k":"v"}}}])",
      R"({"":""})",
  };
  for (const char *fixture : {"typical", "duplicates", "minimal", "cdata_html", "loose_markup"})
    docs.push_back(slurp(std::string(LYRN_FIXTURES_DIR) + "/" + fixture + ".json"));
  for (std::string doc : docs) {
    while (!doc.empty() && doc.back() == '\n') doc.pop_back();
    SCOPED_TRACE(doc.substr(0, 80));
    EXPECT_EQ(indented(doc, true), writer_pretty(doc));
    EXPECT_EQ(indented(doc, false), doc + "\n");
  }
}

// A document larger than the writer's block still comes out whole.
TEST(JsonOutput, DocumentsLargerThanOneBlock) {
  std::string doc = "[";
  for (int i = 0; i < 30000; ++i) doc += (i ? ",\"" : "\"") + std::to_string(i) + "\\\"x\"";
  doc += "]";
  EXPECT_EQ(indented(doc, true), writer_pretty(doc));
}

TEST(OutputFile, CommitReplacesTheFinalFileAndLeavesNoTemporary) {
  temp_dir d;
  const std::string final_path = d.path + "/a.json";
  spill(final_path, "old");
  lyrn_tool::output_file out;
  std::string error;
  ASSERT_TRUE(out.open(final_path, &error)) << error;
  std::fputs("new", out.stream());
  EXPECT_EQ(slurp(final_path), "old");  // nothing changes before the commit
  ASSERT_TRUE(out.commit(&error)) << error;
  EXPECT_EQ(slurp(final_path), "new");
  EXPECT_EQ(d.names(), std::vector<std::string>{"a.json"});
}

TEST(OutputFile, DiscardKeepsTheEarlierFile) {
  temp_dir d;
  const std::string final_path = d.path + "/a.json";
  spill(final_path, "old");
  {
    lyrn_tool::output_file out;
    std::string error;
    ASSERT_TRUE(out.open(final_path, &error));
    std::fputs("half", out.stream());
  }  // abandoned without a commit
  EXPECT_EQ(slurp(final_path), "old");
  EXPECT_EQ(d.names(), std::vector<std::string>{"a.json"});
}

// A symbolic link under the final name is replaced; its target is untouched.
TEST(OutputFile, SymbolicLinkIsReplacedNotFollowed) {
  temp_dir d;
  spill(d.path + "/victim", "precious");
  ASSERT_EQ(symlink((d.path + "/victim").c_str(), (d.path + "/a.json").c_str()), 0);
  lyrn_tool::output_file out;
  std::string error;
  ASSERT_TRUE(out.open(d.path + "/a.json", &error));
  std::fputs("new", out.stream());
  ASSERT_TRUE(out.commit(&error));
  EXPECT_EQ(slurp(d.path + "/victim"), "precious");
  struct stat st;
  ASSERT_EQ(lstat((d.path + "/a.json").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(slurp(d.path + "/a.json"), "new");
}

// The file gets the mode a plain create would give under the umask.
TEST(OutputFile, ModeFollowsTheUmask) {
  temp_dir d;
  const mode_t old = umask(027);
  lyrn_tool::output_file out;
  std::string error;
  ASSERT_TRUE(out.open(d.path + "/a.json", &error));
  ASSERT_TRUE(out.commit(&error));
  umask(old);
  struct stat st;
  ASSERT_EQ(stat((d.path + "/a.json").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, static_cast<mode_t>(0640));
}

TEST(OutputFile, TemporaryNamesAreRecognisedOnlyForTheirOutputs) {
  const std::vector<std::string> outputs = {"a.json", "b.c.json"};
  struct {
    const char *name;
    bool mine;
  } cases[] = {
      {".a.json.lyrn-Ab12Cd", true}, {".b.c.json.lyrn-000000", true}, {"a.json", false},
      {".a.json.lyrn-Ab12C", false}, {".x.json.lyrn-Ab12Cd", false},  {"a.json.lyrn-Ab12Cd", false},
      {".a.json.tmp-Ab12Cd", false},
  };
  for (const auto &c : cases) EXPECT_EQ(lyrn_tool::is_temporary_for(c.name, outputs), c.mine) << c.name;

  temp_dir d;
  for (const char *n : {".a.json.lyrn-Ab12Cd", ".x.json.lyrn-Ab12Cd", "a.json"}) spill(d.path + "/" + n, "x");
  lyrn_tool::remove_stale_temporaries(d.path, outputs);
  EXPECT_EQ(d.names(), (std::vector<std::string>{".x.json.lyrn-Ab12Cd", "a.json"}));
}

// A bare file name is written in the current folder, its temporary too.
TEST(OutputFile, BareNameIsWrittenInTheCurrentFolder) {
  temp_dir d;
  char here[4096];
  ASSERT_NE(getcwd(here, sizeof here), nullptr);
  ASSERT_EQ(chdir(d.path.c_str()), 0);
  lyrn_tool::output_file out;
  std::string error;
  const bool opened = out.open("a.json", &error);
  const std::vector<std::string> during = d.names();
  const bool committed = opened && (std::fputs("new", out.stream()), out.commit(&error));
  ASSERT_EQ(chdir(here), 0);
  ASSERT_TRUE(committed) << error;
  ASSERT_EQ(during.size(), 1u);
  EXPECT_TRUE(lyrn_tool::is_temporary_for(during[0], {"a.json"})) << during[0];
  EXPECT_EQ(slurp(d.path + "/a.json"), "new");
}

// Failures name the final file and leave nothing behind.
TEST(OutputFile, FailuresNameTheFinalFile) {
  temp_dir d;
  std::string error;
  lyrn_tool::output_file out;
  EXPECT_FALSE(out.open(d.path + "/missing/a.json", &error));
  EXPECT_EQ(error, d.path + "/missing/a.json: No such file or directory");
  // A commit without an open file claims no success.
  lyrn_tool::output_file never_opened;
  EXPECT_FALSE(never_opened.commit(&error));
  EXPECT_EQ(error, ": Bad file descriptor");
  // A folder under the final name: the rename fails, the folder and its
  // content stay, the temporary file goes.
  ASSERT_EQ(mkdir((d.path + "/b.json").c_str(), 0777), 0);
  spill(d.path + "/b.json/keep", "x");
  ASSERT_TRUE(out.open(d.path + "/b.json", &error)) << error;
  std::fputs("new", out.stream());
  EXPECT_FALSE(out.commit(&error));
  EXPECT_EQ(error, d.path + "/b.json: Is a directory");
  EXPECT_EQ(d.names(), std::vector<std::string>{"b.json"});
  EXPECT_EQ(slurp(d.path + "/b.json/keep"), "x");
  // A second commit after a failed one fails too.
  EXPECT_FALSE(out.commit(&error));
}

TEST(MakeDirs, CreatesEveryMissingFolderAndRefusesAFileOnThePath) {
  temp_dir d;
  std::string error;
  EXPECT_TRUE(lyrn_tool::make_dirs(d.path + "/x/y/z", &error)) << error;
  EXPECT_TRUE(lyrn_tool::make_dirs(d.path + "/x/y/z/", &error)) << error;
  struct stat st;
  EXPECT_EQ(stat((d.path + "/x/y/z").c_str(), &st), 0);
  spill(d.path + "/f", "");
  EXPECT_FALSE(lyrn_tool::make_dirs(d.path + "/f/g", &error));
  EXPECT_EQ(error, d.path + "/f: Not a directory");
  // A folder that cannot be made is named with the reason.
  const std::string long_name = d.path + "/x/" + std::string(300, 'n');
  EXPECT_FALSE(lyrn_tool::make_dirs(long_name + "/z", &error));
  EXPECT_EQ(error, long_name + ": File name too long");
  // The root of an absolute path and a relative path.
  EXPECT_TRUE(lyrn_tool::make_dirs("/", &error)) << error;
  EXPECT_TRUE(lyrn_tool::make_dirs(".", &error)) << error;
}

TEST(Sizes, ParseAndPrint) {
  struct {
    const char *text;
    bool ok;
    std::size_t size;
    const char *printed;
  } cases[] = {
      {"1000", true, 1000, "1000 bytes"}, {"1", true, 1, "1 byte"},
      {"512K", true, 512u << 10, "512 KiB"}, {"64m", true, 64u << 20, "64 MiB"},
      {"1G", true, std::size_t{1} << 30, "1 GiB"}, {"1536K", true, 1536u << 10, "1536 KiB"},
      {"0", false, 0, ""}, {"", false, 0, ""}, {"-1", false, 0, ""}, {"1X", false, 0, ""},
      {"1GB", false, 0, ""}, {"99999999999999999999", false, 0, ""}, {"17179869184G", false, 0, ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.text);
    std::size_t size = 0;
    ASSERT_EQ(lyrn_tool::parse_size(c.text, &size), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(size, c.size);
    EXPECT_EQ(lyrn_tool::size_text(size), c.printed);
  }
}

TEST(ReadInput, RegularFilesPipesAndTheLimit) {
  temp_dir d;
  const std::string path = d.path + "/in";
  spill(path, std::string("ab\0cd", 5));
  lyrn_tool::input_bytes in;
  std::string error;
  ASSERT_TRUE(lyrn_tool::read_input(path.c_str(), 5, &in, &error)) << error;
  EXPECT_EQ(std::string(in.data(), in.size()), std::string("ab\0cd", 5));
  EXPECT_FALSE(lyrn_tool::read_input(path.c_str(), 4, &in, &error));
  EXPECT_EQ(error, "the input is larger than the limit of 4 bytes (--max-input SIZE raises it)");
  // A device with no end stops one byte past the limit.
  EXPECT_FALSE(lyrn_tool::read_input("/dev/zero", 1 << 20, &in, &error));
  EXPECT_EQ(error, "the input is larger than the limit of 1 MiB (--max-input SIZE raises it)");
  EXPECT_FALSE(lyrn_tool::read_input(d.path.c_str(), 10, &in, &error));
  EXPECT_EQ(error, "Is a directory");
  EXPECT_FALSE(lyrn_tool::read_input((d.path + "/missing").c_str(), 10, &in, &error));
  EXPECT_EQ(error, "No such file or directory");
}

// Longer than the first buffer, from a pipe (no size known ahead): every
// byte arrives, and one byte more than the limit is refused.
TEST(ReadInput, PipeLongerThanTheFirstBuffer) {
  temp_dir d;
  const std::string path = d.path + "/in";
  std::string text;
  for (int i = 0; i < 30000; ++i) text += std::to_string(i) + ",";
  spill(path, text);
  for (const std::size_t limit : {text.size(), text.size() - 1, std::size_t{1} << 30}) {
    SCOPED_TRACE(limit);
    // cat turns the file into a pipe on standard input.
    FILE *pipe = popen(("cat '" + path + "'").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    const int old_stdin = dup(STDIN_FILENO);
    ASSERT_EQ(dup2(fileno(pipe), STDIN_FILENO), STDIN_FILENO);
    lyrn_tool::input_bytes in;
    std::string error;
    const bool ok = lyrn_tool::read_input("-", limit, &in, &error);
    dup2(old_stdin, STDIN_FILENO);
    close(old_stdin);
    pclose(pipe);
    if (limit < text.size()) {
      EXPECT_FALSE(ok);
    } else {
      ASSERT_TRUE(ok) << error;
      EXPECT_EQ(std::string(in.data(), in.size()), text);
    }
  }
}

// A read that fails after the file opened is reported with its reason.
TEST(ReadInput, ReadErrorIsReported) {
  lyrn_tool::input_bytes in;
  std::string error;
  // Reading a process's memory at address 0 fails with EIO on Linux.
  if (access("/proc/self/mem", R_OK) != 0) GTEST_SKIP() << "no /proc/self/mem";
  EXPECT_FALSE(lyrn_tool::read_input("/proc/self/mem", 1 << 20, &in, &error));
  EXPECT_EQ(error, "Input/output error");
}

// Moving hands the bytes over once: the source is left empty, and both
// free safely.
TEST(ReadInput, BytesMoveWithoutCopies) {
  temp_dir d;
  spill(d.path + "/in", "abc");
  lyrn_tool::input_bytes a;
  std::string error;
  ASSERT_TRUE(lyrn_tool::read_input((d.path + "/in").c_str(), 10, &a, &error));
  const char *bytes = a.data();
  lyrn_tool::input_bytes b(std::move(a));
  EXPECT_EQ(b.data(), bytes);
  EXPECT_EQ(a.size(), 0u);  // NOLINT(bugprone-use-after-move): the moved-from state is the point
  EXPECT_EQ(std::string(a.data()), "");
  lyrn_tool::input_bytes c;
  c = std::move(b);
  EXPECT_EQ(c.data(), bytes);
  EXPECT_EQ(std::string(c.data(), c.size()), "abc");
  lyrn_tool::input_bytes &same = c;
  c = std::move(same);  // assigning an object to itself keeps its bytes
  EXPECT_EQ(std::string(c.data(), c.size()), "abc");
}

TEST(DisplayName, ControlBytesAreEscaped) {
  EXPECT_EQ(lyrn_tool::display_name("plain/é.xml"), "plain/é.xml");
  EXPECT_EQ(lyrn_tool::display_name("a\nb\rc\td"), "a\\nb\\rc\\td");
  EXPECT_EQ(lyrn_tool::display_name("\x1b[31mred\x7f"), "\\x1B[31mred\\x7F");
  EXPECT_EQ(lyrn_tool::display_name(std::string("n\0ul", 4)), "n\\x00ul");
}

}  // namespace
