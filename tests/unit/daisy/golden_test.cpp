// The sample books walked through the navigators must give the reports
// that tools/daisygolden/make_goldens.py wrote from the books' own files
// (tests/data/daisy).
#include "tools/daisywalk/daisy_report.h"
#include "support/files.h"

#include "daisy_test_util.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Book {
  const char *name;     // golden file name
  const char *control;  // under the samples folder
};

const Book kBooks[] = {
    {"daisy202-dontworrybehappy", "daisy202/dontworrybehappy/ncc.html"},
    {"daisy202-dontworrybehappy-invalid", "daisy202/dontworrybehappy-invalid/ncc.html"},
    {"daisy202-mental_health", "daisy202/mental_health/ncc.html"},
    {"daisy3-mental_health", "daisy3/mental_health/speechgen.opf"},
    {"daisy3-speechgen", "daisy3/speechgen/06-speechgen.opf"},
};

void PrintTo(const Book &b, std::ostream *os) { *os << b.name; }

std::vector<std::string> lines(const std::string &text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

class Golden : public ::testing::TestWithParam<Book> {};

TEST_P(Golden, ReportMatchesTheBooksOwnFiles) {
  const Book &b = GetParam();
  std::string control = SamplesDir() + "/" + b.control;
  ASSERT_TRUE(std::filesystem::exists(control)) << control;
  std::string golden = ReadFile(SourcePath("/tests/data/daisy/") + b.name + ".txt");
  ASSERT_FALSE(golden.empty()) << b.name;
  const daisyreport::Api &api = daisyreport::apiFor(control);
  ASSERT_EQ(api.open(control.c_str()), 0) << control;
  std::string report = daisyreport::report(api, 30000);
  api.close();
  std::vector<std::string> want = lines(golden), got = lines(report);
  std::string section;
  for (size_t i = 0; i < want.size() && i < got.size(); i++) {
    if (want[i].rfind("# ", 0) == 0) section = want[i];
    ASSERT_EQ(got[i], want[i]) << b.name << " line " << i + 1 << " in section " << section;
  }
  EXPECT_EQ(got.size(), want.size()) << b.name;
}

INSTANTIATE_TEST_SUITE_P(Samples, Golden, ::testing::ValuesIn(kBooks), [](const ::testing::TestParamInfo<Book> &i) {
  std::string n = i.param.name;
  for (char &c : n)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return n;
});

}  // namespace
