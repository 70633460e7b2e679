#include <unistd.h>
// File selection: verdicts on names, and scans of real trees on D:.
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <map>

#include "ProjectFixture.h"
#include "util/Exception.h"
#include "util/StrUtils.h"

namespace hv {
namespace {

using test::ProjectTree;
using Names = std::vector<std::string>;
using Setup = std::function<void(THL_HalvoraProject& p)>;

// ---- verdicts ------------------------------------------------------------------------

struct Verdict {
    const char* name;
    Setup setup;
    std::string file;
    int expected;
};

void PrintTo(const Verdict& c, std::ostream* os) {
    *os << c.name;
}

// Project D:\Work: every file but .BAK, no subdirectories; rows change what they need.
void Base(THL_HalvoraProject& p) {
    p.SetRootDir("D:\\Work");
    p.IncludeAllFiles = true;
    p.AddExtension("BAK");
}

Setup With(std::function<void(THL_HalvoraProject&)> more) {
    return [more](THL_HalvoraProject& p) {
        Base(p);
        more(p);
    };
}

std::vector<Verdict> VerdictCases() {
    auto onlyTxt = [](THL_HalvoraProject& p) {
        p.IncludeAllFiles = false;
        p.Extensions().Clear();
        p.AddExtension("TXT");
    };
    auto subDirs = [](THL_HalvoraProject& p) { p.IncludeSubDirs = true; };
    return {
        {"AllButBakLeavesOutBak", Base, "D:\\Work\\a.bak", 2},
        {"AllButBakTakesTxt", Base, "D:\\Work\\a.txt", 1},
        {"OnlyTxtTakesTxtInAnyCase", With(onlyTxt), "d:\\WORK\\A.TXT", 1},
        {"OnlyTxtLeavesOutDoc", With(onlyTxt), "D:\\Work\\a.doc", 2},
        {"NoSubDirsNoRuleBelow", Base, "D:\\Work\\Sub\\a.txt", 0},
        {"NoSubDirsNodeCoversSub", With([](auto& p) { p.AddDirectory("D:\\Work\\Sub"); }),
         "D:\\Work\\Sub\\a.txt", 1},
        {"BareExcludeMaskAtAnyDepth", With([=](auto& p) {
             subDirs(p);
             p.AddFileName("*.tmp", false);
         }),
         "D:\\Work\\Deep\\er\\x.tmp", 2},
        {"DirExcludeMaskBelowItsDir", With([=](auto& p) {
             subDirs(p);
             p.AddFileName("Sub\\*.tmp", false);
         }),
         "D:\\Work\\Sub\\x.tmp", 2},
        {"DirExcludeMaskNotElsewhere", With([=](auto& p) {
             subDirs(p);
             p.AddFileName("Sub\\*.tmp", false);
         }),
         "D:\\Work\\Other\\Sub\\x.tmp", 1},
        {"IncludeBeatsExtension", With([](auto& p) { p.AddFileName("a.bak", true); }),
         "D:\\Work\\a.bak", 1},
        {"IncludeBeatsExclude", With([](auto& p) {
             p.AddFileName("a.txt", true);
             p.AddFileName("*.txt", false);
         }),
         "D:\\Work\\a.txt", 1},
        {"AbsoluteIncludeMaskOutside", With([](auto& p) { p.AddFileName("D:\\Cfg\\*.ini", true); }),
         "D:\\Cfg\\x.ini", 1},
        {"OutsideTheRootNoRule", Base, "D:\\Other\\a.txt", 0},
        {"SiblingSharingThePrefixIsOutside", With(subDirs), "D:\\Work2\\a.txt", 0},
        {"RelativeNameAtTheRoot", Base, "a.bak", 2},
        {"RelativeNameBelowWithoutSubDirs", Base, "Sub\\a.txt", 0},
        {"RelativeNameBelowWithSubDirs", With(subDirs), "Sub\\a.txt", 1},
        {"ChildTakesBackWhatTheParentLeftOut", With([=](auto& p) {
             onlyTxt(p);
             subDirs(p);
             THL_Directory* img = p.AddDirectory("D:\\Work\\Img");
             img->SetProjectProperties(false);
             img->AddExtension("JPG");
         }),
         "D:\\Work\\Img\\p.jpg", 1},
        {"LastChildVerdictWinsWhenNoneTakes", With([=](auto& p) {
             onlyTxt(p);
             THL_Directory* a = p.AddDirectory("D:\\Work\\Img");
             a->SetProjectProperties(false);
             a->AddExtension("JPG");
         }),
         "D:\\Work\\Img\\p.png", 2},
        {"ProjectPropertiesNodeUsesProjectSubDirs", With([=](auto& p) {
             subDirs(p);
             p.AddDirectory("D:\\Else");
         }),
         "D:\\Else\\deep\\a.bak", 2},
        {"ProjectPropertiesNodeTakesBelowItsDir", With([=](auto& p) {
             subDirs(p);
             p.AddDirectory("D:\\Else");
         }),
         "D:\\Else\\deep\\a.txt", 1},
        {"RootOfADrive", With([](auto& p) { p.SetRootDir("D:\\"); }), "D:\\a.txt", 1},
        {"ExtensionMask", With([](auto& p) { p.AddExtension("~*"); }), "D:\\Work\\a.~bk", 2},
        {"CyrillicNamesIgnoreCase", With([](auto& p) { p.AddFileName("ОТЧЁТ.txt"_a, false); }),
         "D:\\Work\\Sub\\отчёт.TXT"_a, 2},
    };
}

class Verdicts : public ::testing::TestWithParam<Verdict> {};

TEST_P(Verdicts, CheckFile) {
    THL_HalvoraProject p;
    GetParam().setup(p);
    EXPECT_EQ(p.CheckFile(GetParam().file), GetParam().expected);
    EXPECT_EQ(p.IsIncluded(GetParam().file), GetParam().expected == 1);
}

INSTANTIATE_TEST_SUITE_P(Cases, Verdicts, ::testing::ValuesIn(VerdictCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(OwnedProject, OwnerExclusionsApplyWhenAsked) {
    THL_HalvoraProject owner;
    owner.AddFileName("*.log", false);
    THL_HalvoraProject owned(&owner);
    owned.SetRootDir("D:\\Work");
    owned.IncludeAllFiles = true;
    EXPECT_TRUE(owned.GlobalProjectExclude);
    EXPECT_EQ(owned.CheckFile("D:\\Work\\a.log"), 2);
    owned.GlobalProjectExclude = false;
    EXPECT_EQ(owned.CheckFile("D:\\Work\\a.log"), 1);
    // A project on its own never takes its own list twice.
    owner.SetRootDir("D:\\Work");
    owner.IncludeAllFiles = true;
    EXPECT_EQ(owner.CheckFile("D:\\Work\\a.txt"), 1);
}

// Entries are matched through a shortcut for the common masks; it must agree
// with MatchMask on every shape of mask.
TEST(FindMatch, AgreesWithMatchMask) {
    const char* masks[] = {"*", "*.TXT", "A*", "A*B",   "A?B", "*A*", "ABC", "A**B",
                           "?", "*?",    "?*", "A*B*C", "*.",  "Б*ё", "A*A", "AB*AB"};
    const char* names[] = {"A",    "AB",    "AXB", "ABC", "X.TXT", ".TXT", "TXT",   "AAB",
                           "ABAB", "AXBXC", "X.",  "бЁ",  "бxЁ",   "A",    "ABXAB", "ABAB.TXT"};
    THL_HalvoraProject p;
    p.SetRootDir("D:\\W");
    for (const char* mask : masks) {
        TStringList list;
        list.Add(std::string("D:\\W\\") + Utf8ToAnsi(mask));
        for (const char* name : names) {
            const std::string file = "D:\\W\\" + Utf8ToAnsi(name);
            const bool expected = MatchMask(AnsiUpper(file), AnsiUpper(list[0]), false);
            EXPECT_EQ(p.FindMatch(file, list, kMatchInclude) == 0, expected)
                << mask << " / " << name;
        }
    }
}

TEST(MarkFound, ARootIsNoPrefixOfItsSibling) {
    THL_HalvoraProject p;
    p.SetRootDir("D:\\Work");
    p.AddFileName("a.txt", true);
    p.AddFileName("*.txt", true);
    p.MarkFound("D:\\Work2\\a.txt");
    EXPECT_FALSE(p.IsFound(0));
    p.MarkFound("D:\\Work\\A.TXT");
    EXPECT_TRUE(p.IsFound(0));
    EXPECT_FALSE(p.IsFound(1));  // masks are never marked
    p.MarkFound("");
    EXPECT_FALSE(p.IsFound(0));
}

// ---- scans -------------------------------------------------------------------------

struct Scan {
    const char* name;
    Setup setup;
    Names expected;  // reported names, sorted
    Names warnings = {};
};

void PrintTo(const Scan& c, std::ostream* os) {
    *os << c.name;
}

// The tree every scan row walks.
const char* const kTree[] = {
    "d/Work/a.txt",     "d/Work/b.bak",      "d/Work/.profile",    "d/Work/Sub/c.txt",
    "d/Work/Sub/d.tmp", "d/Work/.git/e.txt", "d/Work/Src/f.txt",   "d/Work/Src/Deep/g.txt",
    "d/Work2/h.txt",    "d/Other/x.txt",     "d/Other/Deep/y.txt", "d/Save/Backup.ARJ",
};

std::vector<Scan> ScanCases() {
    auto sub = [](THL_HalvoraProject& p) { p.IncludeSubDirs = true; };
    const Names all{".profile",   "Src\\Deep\\g.txt", "Src\\f.txt",
                    "Sub\\c.txt", "Sub\\d.tmp",       "a.txt"};
    const std::string missing = "[Warning]\tНе найден обязательно включаемый файл :"_a;
    return {
        {"SubDirsButNeverDotDirs", With(sub), all},
        {"TopLevelOnly", Base, {".profile", "a.txt"}},
        {"MaskMandatoryReportedOnce",
         With([](auto& p) {
             p.AddFileName("*.txt", true);
             p.AddFileName("b.bak", true);
         }),
         {".profile", "a.txt", "b.bak"}},
        {"MandatoryMaskBelowReportedOnce", With([=](auto& p) {
             sub(p);
             p.AddFileName("Sub\\*.*", true);
         }),
         all},
        {"OverlappingNodeReportedOnce", With([=](auto& p) {
             sub(p);
             p.AddDirectory("D:\\Work\\Src");
         }),
         all},
        {"OverlappingNodeOtherCaseReportedOnce", With([=](auto& p) {
             sub(p);
             p.AddDirectory("d:\\work\\SRC\\");
         }),
         all},
        {"NodeWithOwnRulesAddsItsFiles",
         With([](auto& p) {
             THL_Directory* n = p.AddDirectory("D:\\Work\\Sub");
             n->SetProjectProperties(false);
             n->IncludeAllFiles = false;
             n->AddExtension("TMP");
         }),
         {".profile", "Sub\\d.tmp", "a.txt"}},
        {"ProjectPropertiesNodeWalksWithTheProject",
         With([=](auto& p) {
             sub(p);
             p.AddDirectory("D:\\Other");
         }),
         {".profile", "D:\\Other\\Deep\\y.txt", "D:\\Other\\x.txt", "Src\\Deep\\g.txt",
          "Src\\f.txt", "Sub\\c.txt", "Sub\\d.tmp", "a.txt"}},
        {"ProjectPropertiesNodeStaysFlatWithoutSubDirs",
         With([](auto& p) { p.AddDirectory("D:\\Other"); }),
         {".profile", "D:\\Other\\x.txt", "a.txt"}},
        {"MandatoryOutsideKeepsItsFullName",
         With([](auto& p) { p.AddFileName("D:\\Work2\\h.txt", true); }),
         {".profile", "D:\\Work2\\h.txt", "a.txt"}},
        {"MissingMandatoryWarnsOnce",
         With([](auto& p) {
             p.AddFileName("missing.txt", true);
             p.AddFileName("*.none", true);
             p.AddFileName("a.txt", true);
         }),
         {".profile", "a.txt"},
         {missing + "missing.txt"}},
        {"ArchiveItselfIsSkipped",
         With([](auto& p) {
             p.SetRootDir("D:\\Save");
             p.SetArcName("backup.arj");
         }),
         {}},
        {"BlankRootWalksNothing",
         With([](auto& p) {
             p.SetRootDir("  ");
             p.AddFileName("D:\\Work\\a.txt", true);
             p.AddFileName("rel.txt", true);
         }),
         {"D:\\Work\\a.txt"},
         {missing + "rel.txt"}},
        {"MissingRootIsNoError", With([](auto& p) { p.SetRootDir("D:\\Nowhere"); }), {}},
    };
}

class Scans : public ProjectTree, public ::testing::WithParamInterface<Scan> {
  protected:
    void SetUp() override {
        ProjectTree::SetUp();
        for (const char* f : kTree) CreateFile(f, "x");
        project_.SavePlaces().Add("D:\\Save");
        project_.ArcType = 2;
        project_.OnFile = [this](const std::string& name, FindData&, bool&) {
            reported_.push_back(name);
        };
        project_.OnMessage = [this](const std::string& text, bool&) { warnings_.push_back(text); };
    }
    Names Reported() {
        Names r = reported_;
        std::sort(r.begin(), r.end());
        return r;
    }

    THL_HalvoraProject project_;
    Names reported_;
    Names warnings_;
};

TEST_P(Scans, CollectFiles) {
    GetParam().setup(project_);
    project_.CollectFiles();
    EXPECT_EQ(Reported(), GetParam().expected);
    EXPECT_EQ(warnings_, GetParam().warnings);
    EXPECT_FALSE(project_.Scanning);
    // A second scan reports the same again.
    reported_.clear();
    warnings_.clear();
    project_.CollectFiles();
    EXPECT_EQ(Reported(), GetParam().expected);
    EXPECT_EQ(warnings_, GetParam().warnings);
}

INSTANTIATE_TEST_SUITE_P(Cases, Scans, ::testing::ValuesIn(ScanCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Scans, WarningWithoutHandlerGoesToTheMessageBox) {
    Base(project_);
    project_.OnMessage = nullptr;
    project_.AddFileName("gone.txt", true);
    project_.CollectFiles();
    auto shown = responder_.RequestsOf("ShowInfo");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].message, "Не найден обязательно включаемый файл :gone.txt"_a);
}

TEST_F(Scans, HandlerStopsTheScanAfterTheCurrentFile) {
    Base(project_);
    project_.IncludeSubDirs = true;
    project_.AddFileName("missing.txt", true);
    project_.OnFile = [this](const std::string& name, FindData&, bool& stop) {
        reported_.push_back(name);
        stop = true;
    };
    project_.CollectFiles();
    EXPECT_EQ(reported_.size(), 1u);
    EXPECT_TRUE(project_.IsStopped());
    EXPECT_TRUE(warnings_.empty());
    // The next scan starts afresh.
    project_.CollectFiles();
    EXPECT_EQ(reported_.size(), 2u);
}

TEST_F(Scans, WarningHandlerCanStop) {
    Base(project_);
    project_.AddFileName("one.txt", true);
    project_.AddFileName("two.txt", true);
    project_.OnMessage = [this](const std::string& text, bool& stop) {
        warnings_.push_back(text);
        stop = true;
    };
    project_.CollectFiles();
    EXPECT_EQ(warnings_.size(), 1u);
}

TEST_F(Scans, ReportCarriesTheDirectoryEntry) {
    Base(project_);
    CreateFile("d/Work/big.txt", std::string(1234, 'z'));
    FindData seen;
    project_.OnFile = [&](const std::string& name, FindData& rec, bool&) {
        if (name == "big.txt") seen = rec;
    };
    project_.CollectFiles();
    EXPECT_EQ(seen.name, "big.txt");
    EXPECT_EQ(seen.Size(), 1234);
    EXPECT_EQ(seen.Attr() & kAttrArchive, kAttrArchive);
}

// What a handler reads of an entry during the scan: the facts of a stat at
// that moment, even for a file deleted after its directory was listed.
TEST_F(Scans, ReportsCarryTheFactsOfTheirEntries) {
    Base(project_);
    const std::string work = Posix("D:\\Work");
    CreateFile("d/Work/big.txt", std::string(1234, 'z'));
    chmod(CreateFile("d/Work/ro.txt", "ro").c_str(), 0444);
    CreateFile("d/Work/zz gone.txt", "gone");
    ASSERT_EQ(symlink((work + "/big.txt").c_str(), (work + "/link.txt").c_str()), 0);
    ASSERT_EQ(mkfifo((work + "/pipe.txt").c_str(), 0600), 0);
    struct Facts {
        int64_t size;
        uint32_t attr;
        bool gone;
    };
    std::map<std::string, Facts> seen;
    project_.OnFile = [&](const std::string& name, FindData& rec, bool&) {
        if (name == "big.txt") unlink((work + "/zz gone.txt").c_str());
        seen[name] = {rec.Size(), rec.Attr(), rec.Gone()};
    };
    project_.CollectFiles();
    struct Row {
        std::string name;
        Facts facts;
    } rows[] = {
        {"big.txt", {1234, kAttrArchive, false}},
        {"ro.txt", {2, kAttrArchive | kAttrReadOnly, false}},
        {"link.txt", {1234, kAttrArchive, false}},
        {"zz gone.txt", {0, kAttrArchive, true}},
    };
    for (const Row& r : rows) {
        ASSERT_EQ(seen.count(r.name), 1u) << r.name;
        const Facts& f = seen[r.name];
        EXPECT_EQ(f.size, r.facts.size) << r.name;
        EXPECT_EQ(f.attr, r.facts.attr) << r.name;
        EXPECT_EQ(f.gone, r.facts.gone) << r.name;
    }
    EXPECT_EQ(seen.count("pipe.txt"), 0u);
}

TEST_F(Scans, LinksToDirectoriesAreNeitherWalkedNorReported) {
    Base(project_);
    project_.IncludeSubDirs = true;
    std::string work = Posix("D:\\Work");
    ASSERT_EQ(symlink(work.c_str(), (work + "/loop").c_str()), 0);
    ASSERT_EQ(symlink((work + "/nowhere").c_str(), (work + "/dangling.txt").c_str()), 0);
    project_.CollectFiles();
    for (const auto& n : reported_) {
        EXPECT_EQ(n.find("loop"), std::string::npos) << n;
        EXPECT_NE(n, "dangling.txt");
    }
    EXPECT_FALSE(reported_.empty());
}

TEST_F(Scans, ProjectWithoutStoragePlacesCannotBeScanned) {
    Base(project_);
    project_.SavePlaces().Clear();
    try {
        project_.CollectFiles();
        ADD_FAILURE() << "scanned";
    } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()), "Не определены пути сохранения"_a);
    }
    EXPECT_FALSE(project_.Scanning);
}

TEST_F(Scans, OwnedProjectScansOnlyWithinItsOwnersScan) {
    THL_HalvoraProject owned(&project_);
    owned.SetRootDir("D:\\Other");
    owned.IncludeAllFiles = true;
    owned.IncludeSubDirs = true;
    try {
        owned.CollectFiles();
        ADD_FAILURE() << "scanned";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "THL_Project: Owner error");
    }
    // Inside the owner's scan it reports to the owner, under the owner's exclusions.
    Base(project_);
    project_.AddFileName("y.txt", false);
    bool nested = false;
    project_.OnFile = [&](const std::string& name, FindData&, bool&) {
        reported_.push_back(name);
        if (!nested) {
            nested = true;
            owned.CollectFiles();
        }
    };
    project_.CollectFiles();
    EXPECT_EQ(Reported(), (Names{".profile", "D:\\Other\\x.txt", "a.txt"}));
}

}  // namespace
}  // namespace hv
