// File selection: verdicts on names, and scans of real trees on D:.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <set>

#include "support/ProjectTrees.h"
#include "util/StrUtils.h"

namespace hv {
namespace {

using test::ProjectTree;
using Names = std::vector<std::string>;
using Rules = std::function<void(THL_HalvoraProject& p)>;

// ---- verdicts ------------------------------------------------------------------------

// Project D:\Work: every file but .BAK, no subdirectories; rows add what they need.
void Base(THL_HalvoraProject& p) {
    p.SetRootDir("D:\\Work");
    p.IncludeAllFiles = true;
    p.AddExtension("BAK");
}

template <class... More>
Rules With(More... more) {
    return [=](THL_HalvoraProject& p) {
        Base(p);
        (more(p), ...);
    };
}

void SubDirs(THL_HalvoraProject& p) {
    p.IncludeSubDirs = true;
}
void OnlyTxt(THL_HalvoraProject& p) {
    p.IncludeAllFiles = false;
    p.Extensions().Clear();
    p.AddExtension("TXT");
}
Rules Mask(const std::string& mask, bool include) {
    return [=](THL_HalvoraProject& p) { p.AddFileName(mask, include); };
}
Rules Node(const std::string& dir) {
    return [=](THL_HalvoraProject& p) { p.AddDirectory(dir); };
}
// D:\Work\Img with rules of its own: only .JPG.
void OwnImg(THL_HalvoraProject& p) {
    THL_Directory* img = p.AddDirectory("D:\\Work\\Img");
    img->SetProjectProperties(false);
    img->AddExtension("JPG");
}

TEST(Verdicts, CheckFile) {
    const struct {
        const char* name;
        Rules setup;
        std::string file;
        int expected;
    } rows[] = {
        {"AllButBakLeavesOutBak", Base, "D:\\Work\\a.bak", 2},
        {"AllButBakTakesTxt", Base, "D:\\Work\\a.txt", 1},
        {"OnlyTxtTakesTxtInAnyCase", With(OnlyTxt), "d:\\WORK\\A.TXT", 1},
        {"OnlyTxtLeavesOutDoc", With(OnlyTxt), "D:\\Work\\a.doc", 2},
        {"NoSubDirsNoRuleBelow", Base, "D:\\Work\\Sub\\a.txt", 0},
        {"NoSubDirsNodeCoversSub", With(Node("D:\\Work\\Sub")), "D:\\Work\\Sub\\a.txt", 1},
        {"BareExcludeMaskAtAnyDepth", With(SubDirs, Mask("*.tmp", false)),
         "D:\\Work\\Deep\\er\\x.tmp", 2},
        {"DirExcludeMaskBelowItsDir", With(SubDirs, Mask("Sub\\*.tmp", false)),
         "D:\\Work\\Sub\\x.tmp", 2},
        {"DirExcludeMaskNotElsewhere", With(SubDirs, Mask("Sub\\*.tmp", false)),
         "D:\\Work\\Other\\Sub\\x.tmp", 1},
        {"IncludeBeatsExtension", With(Mask("a.bak", true)), "D:\\Work\\a.bak", 1},
        {"IncludeBeatsExclude", With(Mask("a.txt", true), Mask("*.txt", false)), "D:\\Work\\a.txt",
         1},
        {"AbsoluteIncludeMaskOutside", With(Mask("D:\\Cfg\\*.ini", true)), "D:\\Cfg\\x.ini", 1},
        {"OutsideTheRootNoRule", Base, "D:\\Other\\a.txt", 0},
        {"SiblingSharingThePrefixIsOutside", With(SubDirs), "D:\\Work2\\a.txt", 0},
        {"RelativeNameAtTheRoot", Base, "a.bak", 2},
        {"RelativeNameBelowWithoutSubDirs", Base, "Sub\\a.txt", 0},
        {"RelativeNameBelowWithSubDirs", With(SubDirs), "Sub\\a.txt", 1},
        {"ChildTakesBackWhatTheParentLeftOut", With(OnlyTxt, SubDirs, OwnImg),
         "D:\\Work\\Img\\p.jpg", 1},
        {"LastChildVerdictWinsWhenNoneTakes", With(OnlyTxt, OwnImg), "D:\\Work\\Img\\p.png", 2},
        {"ProjectPropertiesNodeUsesProjectSubDirs", With(SubDirs, Node("D:\\Else")),
         "D:\\Else\\deep\\a.bak", 2},
        {"ProjectPropertiesNodeTakesBelowItsDir", With(SubDirs, Node("D:\\Else")),
         "D:\\Else\\deep\\a.txt", 1},
        {"RootOfADrive", With([](auto& p) { p.SetRootDir("D:\\"); }), "D:\\a.txt", 1},
        {"ExtensionMask", With([](auto& p) { p.AddExtension("~*"); }), "D:\\Work\\a.~bk", 2},
        {"CyrillicNamesIgnoreCase", With(Mask("ОТЧЁТ.txt"_a, false)), "D:\\Work\\Sub\\отчёт.TXT"_a,
         2},
    };
    for (const auto& r : rows) {
        THL_HalvoraProject p;
        r.setup(p);
        EXPECT_EQ(p.CheckFile(r.file), r.expected) << r.name;
        EXPECT_EQ(p.IsIncluded(r.file), r.expected == 1) << r.name;
    }
}

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

// The tree every scan walks.
const char* const kTree[] = {
    "d/Work/a.txt",     "d/Work/b.bak",      "d/Work/.profile",      "d/Work/Sub/c.txt",
    "d/Work/Sub/d.tmp", "d/Work/.git/e.txt", "d/Work/Src/f.txt",     "d/Work/Src/Deep/g.txt",
    "d/Work2/h.txt",    "d/Other/x.txt",     "d/Other/Deep/y.txt",   "d/Save/Backup.ARJ",
    "d/Names/x.txt",    "d/Names/X.txt",     "d/Names/trail /t.txt", "d/Names/trail/u.txt",
};

class Scans : public ProjectTree {
  protected:
    void SetUp() override {
        ProjectTree::SetUp();
        for (const char* f : kTree) CreateFile(f, "x");
        Watch(project_);
    }
    // An archive in D:\Save; reports and warnings come here.
    void Watch(THL_HalvoraProject& p) {
        p.SavePlaces().Add("D:\\Save");
        p.ArcType = 2;
        p.OnFile = [this](const std::string& name, FindData&, bool&) { reported_.push_back(name); };
        p.OnMessage = [this](const std::string& text, bool&) { warnings_.push_back(text); };
    }
    // The names reported so far, sorted.
    Names Reported() {
        Names r = reported_;
        std::sort(r.begin(), r.end());
        return r;
    }

    THL_HalvoraProject project_;
    Names reported_;
    Names warnings_;
};

Rules RootDir(const std::string& dir) {
    return [=](THL_HalvoraProject& p) { p.SetRootDir(dir); };
}

TEST_F(Scans, CollectFiles) {
    const Names all{".profile",   "Src\\Deep\\g.txt", "Src\\f.txt",
                    "Sub\\c.txt", "Sub\\d.tmp",       "a.txt"};
    const std::string missing = "[Warning]\tНе найден обязательно включаемый файл :"_a;
    const struct {
        const char* name;
        Rules setup;
        Names expected;  // reported names, sorted
        Names warnings = {};
    } rows[] = {
        {"SubDirsButNeverDotDirs", With(SubDirs), all},
        {"TopLevelOnly", Base, {".profile", "a.txt"}},
        {"MaskMandatoryReportedOnce",
         With(Mask("*.txt", true), Mask("b.bak", true)),
         {".profile", "a.txt", "b.bak"}},
        {"MandatoryMaskBelowReportedOnce", With(SubDirs, Mask("Sub\\*.*", true)), all},
        {"OverlappingNodeOtherCaseReportedOnce", With(SubDirs, Node("d:\\work\\SRC\\")), all},
        {"NodeWithOwnRulesAddsItsFiles",
         With([](auto& p) {
             THL_Directory* n = p.AddDirectory("D:\\Work\\Sub");
             n->SetProjectProperties(false);
             n->IncludeAllFiles = false;
             n->AddExtension("TMP");
         }),
         {".profile", "Sub\\d.tmp", "a.txt"}},
        {"ProjectPropertiesNodeWalksWithTheProject",
         With(SubDirs, Node("D:\\Other")),
         {".profile", "D:\\Other\\Deep\\y.txt", "D:\\Other\\x.txt", "Src\\Deep\\g.txt",
          "Src\\f.txt", "Sub\\c.txt", "Sub\\d.tmp", "a.txt"}},
        {"ProjectPropertiesNodeStaysFlatWithoutSubDirs",
         With(Node("D:\\Other")),
         {".profile", "D:\\Other\\x.txt", "a.txt"}},
        {"MandatoryOutsideKeepsItsFullName",
         With(Mask("D:\\Work2\\h.txt", true)),
         {".profile", "D:\\Work2\\h.txt", "a.txt"}},
        {"MissingMandatoryWarnsOnce",
         With(Mask("missing.txt", true), Mask("*.none", true), Mask("a.txt", true)),
         {".profile", "a.txt"},
         {missing + "missing.txt"}},
        {"ArchiveItselfIsSkipped",
         With(RootDir("D:\\Save"), [](auto& p) { p.SetArcName("backup.arj"); }),
         {}},
        {"BlankRootWalksNothing",
         With(RootDir("  "), Mask("D:\\Work\\a.txt", true), Mask("rel.txt", true)),
         {"D:\\Work\\a.txt"},
         {missing + "rel.txt"}},
        {"MissingRootIsNoError", With(RootDir("D:\\Nowhere")), {}},
        // Linux names: twins in letter case are two files, and a directory whose
        // name ends in a blank is walked as itself, not as its trimmed sibling.
        {"CaseTwinsAreTwoFiles",
         With(RootDir("D:\\Names"), SubDirs),
         {"X.txt", "trail \\t.txt", "trail\\u.txt", "x.txt"}},
        {"OneFileUnderTwoSpellingsIsOne",
         With(RootDir("D:\\Names"), SubDirs, Node("d:\\NAMES\\Trail")),
         {"X.txt", "trail \\t.txt", "trail\\u.txt", "x.txt"}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        THL_HalvoraProject p;
        Watch(p);
        r.setup(p);
        // A second scan reports the same again.
        for (int round = 0; round < 2; ++round) {
            reported_.clear();
            warnings_.clear();
            p.CollectFiles();
            EXPECT_EQ(Reported(), r.expected);
            EXPECT_EQ(warnings_, r.warnings);
            EXPECT_FALSE(p.Scanning);
        }
    }
}

// The handlers stop the scan; without a message handler warnings go to the box.
TEST_F(Scans, HandlersStopTheScan) {
    With(SubDirs, Mask("missing.txt", true))(project_);
    project_.OnFile = [this](const std::string& name, FindData&, bool& stop) {
        reported_.push_back(name);
        stop = true;
    };
    project_.CollectFiles();
    EXPECT_EQ(reported_.size(), 1u);  // after the current file
    EXPECT_TRUE(project_.IsStopped());
    EXPECT_TRUE(warnings_.empty());
    // The next scan starts afresh.
    project_.CollectFiles();
    EXPECT_EQ(reported_.size(), 2u);

    THL_HalvoraProject p;
    Watch(p);
    With(Mask("one.txt", true), Mask("two.txt", true))(p);
    p.OnMessage = [this](const std::string& text, bool& stop) {
        warnings_.push_back(text);
        stop = true;
    };
    p.CollectFiles();
    EXPECT_EQ(warnings_.size(), 1u);
    // Without a handler each warning goes to the message box.
    p.OnMessage = nullptr;
    p.CollectFiles();
    auto shown = responder_.RequestsOf("ShowInfo");
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].message, "Не найден обязательно включаемый файл :one.txt"_a);
}

TEST_F(Scans, FilesLeftOutAreReportedWithTheirFullNames) {
    With(SubDirs, OnlyTxt)(project_);
    Names left;
    project_.OnLeftOut = [&](const std::string& name, FindData& entry, bool&) {
        left.push_back(name);
        EXPECT_EQ(entry.Size(), 1);
    };
    project_.CollectFiles();
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (Names{"D:\\Work\\.profile", "D:\\Work\\Sub\\d.tmp", "D:\\Work\\b.bak"}));
    EXPECT_EQ(Reported(), (Names{"Src\\Deep\\g.txt", "Src\\f.txt", "Sub\\c.txt", "a.txt"}));
    // Its stop ends the scan at once.
    int calls = 0;
    project_.OnLeftOut = [&](const std::string&, FindData&, bool& stop) { stop = ++calls > 0; };
    project_.CollectFiles();
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(project_.IsStopped());
}

// Links to directories are never walked; they, dangling links and FIFOs are
// not reported; a link to a file is (the facts of entries are the listing's).
TEST_F(Scans, OnlyFilesAndLinksToFilesAreReported) {
    With(SubDirs)(project_);
    const std::string work = Posix("D:\\Work");
    CreateFile("d/Work/big.txt", "z");
    ASSERT_EQ(symlink((work + "/big.txt").c_str(), (work + "/link.txt").c_str()), 0);
    ASSERT_EQ(mkfifo((work + "/pipe.txt").c_str(), 0600), 0);
    ASSERT_EQ(symlink(work.c_str(), (work + "/loop").c_str()), 0);
    ASSERT_EQ(symlink((work + "/nowhere").c_str(), (work + "/dangling.txt").c_str()), 0);
    std::set<std::string> seen;
    project_.OnFile = [&](const std::string& name, FindData&, bool&) { seen.insert(name); };
    project_.CollectFiles();
    EXPECT_TRUE(seen.count("big.txt") && seen.count("link.txt"));
    for (const std::string& name : seen) {
        EXPECT_EQ(name.find("loop"), std::string::npos) << name;
        EXPECT_TRUE(name != "pipe.txt" && name != "dangling.txt") << name;
    }
}

TEST_F(Scans, OwnedProjectScansOnlyWithinItsOwnersScan) {
    THL_HalvoraProject owned(&project_);
    owned.SetRootDir("D:\\Other");
    owned.IncludeAllFiles = true;
    owned.IncludeSubDirs = true;
    EXPECT_EQ(test::ErrorOf([&] { owned.CollectFiles(); }), "THL_Project: Owner error");
    // Inside the owner's scan it reports to the owner, under the owner's exclusions.
    With(Mask("y.txt", false))(project_);
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
