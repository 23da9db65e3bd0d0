// Protects the layer map of ARCHITECTURE.md: each layer folder includes only from the folders
// its row of the table allows (at any depth below it), only app/ and dialogs/ include Qt, and
// only platform/ includes the system's own interfaces. The engines then build and test
// without a window system (scripts/test.sh proves that with VARNHOLT_GUI=OFF), and a port
// needs one new platform file, not changes through the engines.
//
// The checker itself is tested on made-up trees, so a checker that reports nothing cannot
// pass for a tree that is clean.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "layer_check.h"
#include "tests/support/files.h"

namespace {

std::string Describe(const std::vector<layering::Violation>& violations) {
  std::string text;
  for (const auto& v : violations) {
    text += v.file + ":" + std::to_string(v.line) + ": " + v.reason + ": " + v.text + "\n";
  }
  return text;
}

TEST(Layering, SourceTreeFollowsTheLayerMap) {
  int files = 0;
  const auto violations =
      layering::CheckLayers(VARNHOLT_SOURCE_DIR, layering::VarnholtLayers(), &files);
  EXPECT_TRUE(violations.empty()) << Describe(violations);
  // Every layer's files were read (about 150 today), not just a few.
  EXPECT_GT(files, 100);
}

class MadeUpTree {
 public:
  MadeUpTree() {
    // A clean tree: each layer uses what it may.
    Write("platform/file.cpp", "#include \"platform/file.h\"\n#include <unistd.h>\n");
    Write("archive/zip_reader.cpp", "#include \"archive/zip_reader.h\"\n#include \"platform/file.h\"\n");
    Write("catalogue/catalogue.cpp", "#include \"platform/text.h\"\n#include <string>\n");
    Write("store/selection.cpp", "#include \"catalogue/masks.h\"\n#include \"platform/text.h\"\n");
    Write("backup/backup_run.cpp",
          "#include \"archive/zip_writer.h\"\n#include \"catalogue/catalogue.h\"\n"
          "#include \"store/placement.h\"\n");
    Write("restore/restore_run.cpp",
          "#include \"restore/restore_run.h\"\n#include \"store/worker_pool.h\"\n");
    Write("tools/vzip.cpp", "#include \"archive/zip_reader.h\"\n#include <cstdio>\n");
    Write("dialogs/restore_form.cpp", "#include <QDialog>\n#include \"restore/restore_run.h\"\n");
    Write("app/main_form.cpp", "#include <QMainWindow>\n#include \"dialogs/restore_form.h\"\n");
    // Outside the layers: anything goes.
    Write("tests/app/main_form_test.cpp", "#include <QTest>\n#include \"app/main_form.h\"\n");
    Write("build/asan/archive/generated.cpp", "#include \"app/main_form.h\"\n");
  }
  void Write(const std::string& file, const std::string& text) {
    testsupport::WriteText(dir_.File(file), text);
  }
  std::vector<layering::Violation> Check() {
    return layering::CheckLayers(dir_.Path(), layering::VarnholtLayers());
  }

 private:
  testsupport::TempDir dir_;
};

TEST(LayerCheck, CleanMadeUpTreePasses) {
  MadeUpTree tree;
  const auto violations = tree.Check();
  EXPECT_TRUE(violations.empty()) << Describe(violations);
}

struct Case {
  const char* file;
  const char* text;
  const char* reason;  // nullptr: allowed
  int line;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.file; }

class LayerCheckCase : public testing::TestWithParam<Case> {};

TEST_P(LayerCheckCase, ReportsExactlyTheCrossingInclude) {
  const Case& c = GetParam();
  MadeUpTree tree;
  tree.Write(c.file, c.text);
  const auto violations = tree.Check();
  if (!c.reason) {
    EXPECT_TRUE(violations.empty()) << Describe(violations);
    return;
  }
  ASSERT_EQ(violations.size(), 1u) << Describe(violations);
  EXPECT_EQ(violations[0].file, c.file);
  EXPECT_EQ(violations[0].line, c.line);
  EXPECT_EQ(violations[0].reason, c.reason);
}

INSTANTIATE_TEST_SUITE_P(
    Includes, LayerCheckCase,
    testing::Values(
        // An engine reaching up to the windows, deep below its folder.
        Case{"restore/deep/er/unpack.h", "#pragma once\n#include \"app/main_form.h\"\n",
             "restore may not include from app", 2},
        // Engines sideways and the platform upwards.
        Case{"backup/store.cpp", "#include \"restore/restore_run.h\"\n",
             "backup may not include from restore", 1},
        // The runs share the store's layout through store/, never through each other.
        Case{"restore/verify_run.cpp",
             "#include \"store/selection.h\"\n#include \"backup/placement.h\"\n",
             "restore may not include from backup", 2},
        Case{"store/placement.cpp", "#include \"backup/walk.h\"\n",
             "store may not include from backup", 1},
        Case{"store/selection.cpp", "#include \"archive/zip_reader.h\"\n",
             "store may not include from archive", 1},
        Case{"archive/zip_writer.cpp", "#include <vector>\n#include \"catalogue/records.h\"\n",
             "archive may not include from catalogue", 2},
        Case{"platform/text.cpp", "#include \"archive/zip_reader.h\"\n",
             "platform may not include from archive", 1},
        Case{"tools/vzip_add.cpp", "#include \"store/placement.h\"\n",
             "tools may not include from store", 1},
        Case{"dialogs/log_form.cpp", "#include \"app/main_form.h\"\n",
             "dialogs may not include from app", 1},
        // Spacing inside the directive does not hide it.
        Case{"catalogue/records.cpp", "  #  include   \"backup/walk.h\"\n",
             "catalogue may not include from backup", 1},
        // Qt and the system outside their layers.
        Case{"catalogue/catalogue.cpp", "#include <QString>\n", "catalogue may not include Qt", 1},
        Case{"backup/walk.cpp", "#include <string>\n#include <unistd.h>\n",
             "backup may not call the operating system (only platform does)", 2},
        Case{"archive/x/y.cpp", "#include <sys/stat.h>\n",
             "archive may not call the operating system (only platform does)", 1},
        Case{"restore/walk.cpp", "#include <filesystem>\n",
             "restore may not call the operating system (only platform does)", 1},
        // Test code is no layer.
        Case{"tools/vzip_list.cpp", "#include \"tests/support/files.h\"\n",
             "\"tests/\" is no layer", 1},
        // A new folder of code needs a row.
        Case{"scheduler/timer.cpp", "#include <string>\n", "folder has no row in the table", 0},
        // Allowed: the own folder, a bare local name, a commented-out line, Qt in the windows.
        Case{"store/placement.cpp", "#include \"store/placement.h\"\n#include \"local.h\"\n",
             nullptr, 0},
        Case{"archive/inflate.cpp", "// #include \"app/main_form.h\"\n", nullptr, 0},
        Case{"dialogs/prompter.cpp", "#include <QMessageBox>\n#include \"archive/zip_reader.h\"\n",
             nullptr, 0},
        Case{"fuzz/zip_reader_fuzz.cpp", "#include \"app/main_form.h\"\n", nullptr, 0}));

}  // namespace
