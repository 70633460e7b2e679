// The project file: exact bytes written, recognition, tolerant reading of
// hand-edited and corrupt files (the save by one rename is the INI file's test);
// the fuzzing corpus of project-file loading replayed through the fuzz target
// itself: an input that loads but does not save and load back aborts it. The
// project classes: node operations, file names, archive names and volume sizes.
// File selection: verdicts on names, and scans of real trees on D:.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <set>

#include "support/Corpus.h"
#include "support/ProjectTrees.h"
#include "util/Exception.h"
#include "util/StrUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace hv {
namespace {

using test::CrLf;
using test::ErrorOf;
using test::ProjectTree;

const std::string kSig = "***  This is Halvora Project File  ***";

class ProjectFile : public ProjectTree {
  protected:
    // Loads Bytes as D:\Projects\<name> into a fresh project.
    std::unique_ptr<THL_HalvoraProject> Load(const std::string& bytes,
                                             const std::string& name = "P.hlj") {
        Put("D:\\Projects\\" + name, bytes);
        auto p = std::make_unique<THL_HalvoraProject>();
        p->FileName = name;
        p->LoadFromFile();
        return p;
    }
    // A Halvora project file whose ProjectData section holds Keys.
    static std::string WithKeys(const std::vector<std::string>& keys) {
        std::vector<std::string> lines{"[" + kSig + "]", "Version=10000", "", "[ProjectData]"};
        lines.insert(lines.end(), keys.begin(), keys.end());
        lines.push_back("");
        return CrLf(lines);
    }
};

TEST_F(ProjectFile, SampleLoadsAndSavesByteForByte) {
    for (const char* name : {"Documents.hlj", "Full1251.hlj"}) {
        SCOPED_TRACE(name);
        const std::string original = DataFile(name);
        ASSERT_FALSE(original.empty());
        auto p = Load(original, name);
        Put("D:\\Projects\\" + std::string(name), "");  // the save must not lean on the old file
        p->SaveToFile();
        EXPECT_EQ(Get("D:\\Projects\\" + std::string(name)), original);
    }
}

TEST_F(ProjectFile, FullSampleReadsEveryField) {
    auto p = Load(DataFile("Full1251.hlj"));
    // What the byte-for-byte round trip cannot tell: each value in its own field,
    // for the fields the sample written from code does not pin.
    EXPECT_EQ(p->IncludeFiles().Strings(),
              (std::vector<std::string>{"Отчёты\\*.xls"_a, "C:\\Конфиг\\настройки.ini"_a}));
    ASSERT_EQ(p->Dirs().Count(), 2);
    const THL_Directory& mail = *p->DirNode(1);
    EXPECT_EQ(mail.Name(), "E:\\Почта\\"_a);
    EXPECT_EQ(mail.Dir(), "E:\\Почта"_a);
    EXPECT_EQ(mail.Section, "Dir_1");
    EXPECT_FALSE(mail.ProjectProperties());
    EXPECT_TRUE(mail.IncludeAllFiles);
    EXPECT_EQ(mail.ExcludeFiles().Strings(), (std::vector<std::string>{"Корзина\\*.*"_a}));
    EXPECT_EQ(p->ArcPS, "пароль с пробелами"_a);
    EXPECT_EQ(p->VolumeSize(), 1);
    EXPECT_EQ(p->PreBatch()[0], "@echo off");
    EXPECT_EQ(p->Ini(), nullptr);
}

TEST_F(ProjectFile, ProjectBuiltInCodeWritesTheSampleText) {
    THL_HalvoraProject p;
    p.FileName = "Documents.hlj";
    p.SetName("Documents");
    p.SetRootDir(" D:\\Work\\ ");
    p.IncludeAllFiles = true;
    p.IncludeSubDirs = true;
    p.AddExtension("BAK");
    p.AddExtension("~*");
    p.AddDirectory("D:\\Work\\Src");
    p.SavePlaces().Add("E:\\Save");
    p.SetArcName("D:\\Elsewhere\\Documents.ARJ");  // named after the project file
    EXPECT_EQ(p.ArcName(), "*.ARJ");
    p.ArcType = 2;
    p.CompressType = 2;
    p.ArcFiles().Add("E:\\SAVE\\Documents.ARJ");
    p.SaveToFile();
    EXPECT_EQ(Get("D:\\Projects\\Documents.hlj"), DataFile("Documents.hlj"));
}

TEST_F(ProjectFile, OnlyABracketedSignatureInTheHeadIsAProject) {
    const std::string line = "[" + kSig + "]";
    const std::string body = "\r\nVersion=10000\r\n";
    const struct {
        const char* name;
        std::string bytes;
        bool isProject;
    } rows[] = {
        {"SignatureLineWithTenBytesMoreIsTooShort", line + std::string(8, 'x'), false},
        {"SignatureLineWithElevenBytesMore", line + std::string(9, 'x'), true},
        {"SignatureOnTheSecondLine", "; a note\r\n" + line + body, true},
        {"SignatureAfterTheFirst256Bytes", std::string(300, ' ') + line + body, false},
        {"SignatureAtTheVeryStart", kSig + "]" + body + body, false},
        {"RoundBrackets", "(" + kSig + ")" + body, false},
        {"NoClosingBracket", "[" + kSig + " " + body, false},
        {"ZeroByteBeforeTheSignature", std::string("x\0", 2) + line + body, false},
        {"PlainProjectSignature", "[***  This is Project File  ***]" + body + body, false},
        {"EmptyFile", "", false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Put("D:\\Projects\\R.hlj", r.bytes);
        THL_HalvoraProject p;
        p.FileName = "R.hlj";
        EXPECT_EQ(p.IsProjectFile(), r.isProject);
        if (r.isProject) continue;
        p.SetName("Kept");
        EXPECT_EQ(ErrorOf([&] { p.LoadFromFile(); }), "D:\\Projects\\R.hlj не является проектом"_a);
        EXPECT_EQ(p.Name(), "Kept");
    }
}

TEST_F(ProjectFile, PlainProjectKeepsItsOwnSignature) {
    Put("D:\\Projects\\Plain.hlj", CrLf({"[***  This is Project File  ***]", "Version=1", "",
                                         "[ProjectData]", "Name=\"Plain\"", ""}));
    THL_Project plain;
    plain.FileName = "Plain.hlj";
    plain.LoadFromFile();
    EXPECT_EQ(plain.Name(), "Plain");
    Put("D:\\Projects\\Halvora.hlj", DataFile("Documents.hlj"));
    plain.FileName = "Halvora.hlj";
    EXPECT_FALSE(plain.IsProjectFile());
}

TEST_F(ProjectFile, NodeWithProjectPropertiesLosesItsOwnLists) {
    THL_HalvoraProject p;
    p.FileName = "N.hlj";
    THL_Directory* node = p.AddDirectory("D:\\Work\\Src");
    node->AddExtension("OBJ");
    node->AddFileName("keep.txt", true);
    node->IncludeSubDirs = true;
    p.SaveToFile();
    const std::string text = Get("D:\\Projects\\N.hlj");
    EXPECT_NE(text.find("[Dir_0]\r\nName=\"D:\\Work\\Src\"\r\nProjectProperties=1\r\n\r\n"),
              std::string::npos);
    EXPECT_EQ(text.find("X.Count"), std::string::npos);  // empty lists write no keys

    auto back = Load(text, "N.hlj");
    ASSERT_EQ(back->Dirs().Count(), 1);
    EXPECT_TRUE(back->DirNode(0)->Extensions().Empty());
    EXPECT_TRUE(back->DirNode(0)->IncludeFiles().Empty());
    EXPECT_FALSE(back->DirNode(0)->IncludeSubDirs);
    EXPECT_TRUE(back->ExcludeFiles().Empty());
}

// Counts are only as good as the keys behind them.
TEST_F(ProjectFile, CorruptCountsStayWithinTheKeysPresent) {
    auto p = Load(WithKeys({"E.Count=2000000000", "E0=\"BAK\"", "I.Count=-5", "I0=\"x\"",
                            "D.Count=999999999", "D0=\"D:\\A\"", "S.Count=0x7FFFFFFF"}) +
                  CrLf({"[ProjectDataAF]", "Count=123456789", "S0=\"a\"", ""}));
    EXPECT_LE(p->Extensions().Count(), 8);
    EXPECT_EQ(p->Extensions()[0], "BAK");
    EXPECT_TRUE(p->IncludeFiles().Empty());
    ASSERT_EQ(p->Dirs().Count(), 1);  // no key, no section: no node
    EXPECT_EQ(p->DirNode(0)->Dir(), "D:\\A");
    EXPECT_LE(p->SavePlaces().Count(), 8);
    EXPECT_LE(p->ArcFiles().Count(), 2);
}

TEST_F(ProjectFile, NodeWithoutItsSectionKeepsThePathOfItsKey) {
    auto p = Load(WithKeys({"D.Count=2", "D0=\"D:\\Work\\A\"", "D1=\"D:\\Work\\B\\\""}) +
                  CrLf({"[Dir_1]", "ProjectProperties=0", "IncludeSubDirs=1", ""}));
    ASSERT_EQ(p->Dirs().Count(), 2);
    EXPECT_EQ(p->DirNode(0)->Dir(), "D:\\Work\\A");
    EXPECT_TRUE(p->DirNode(0)->ProjectProperties());
    EXPECT_EQ(p->DirNode(1)->Dir(), "D:\\Work\\B");
    EXPECT_FALSE(p->DirNode(1)->ProjectProperties());
    EXPECT_TRUE(p->DirNode(1)->IncludeSubDirs);
}

TEST_F(ProjectFile, EveryOpenReadsTheFileAgain) {
    auto p = Load(WithKeys({"Name=\"First\""}));
    Put("D:\\Projects\\P.hlj", WithKeys({"Name=\"Second\"", "VolumeSize=3"}));
    p->LoadFromFile();
    EXPECT_EQ(p->Name(), "Second");
    EXPECT_EQ(p->VolumeSize(), 3);
}

TEST_F(ProjectFile, FailedLoadAndSaveReleaseTheDocument) {
    THL_HalvoraProject p;
    p.FileName = "Absent.hlj";
    EXPECT_THROW(p.LoadFromFile(), EFOpenError);
    EXPECT_EQ(p.Ini(), nullptr);
    p.FileName = "D:\\NoSuchDir\\P.hlj";
    EXPECT_THROW(p.SaveToFile(), Exception);
    EXPECT_EQ(p.Ini(), nullptr);
    EXPECT_FALSE(Exists(Root() + "/d/NoSuchDir"));  // nothing left behind
}

TEST(FuzzCorpus, ProjectFilesLoadAndSaveBackOrAreRefused) {
    const auto replay = test::ReplayCorpus("project", LLVMFuzzerTestOneInput);
    EXPECT_GT(replay.inputs, 5u);
    EXPECT_EQ(replay.failures, std::vector<std::string>{});
}

TEST(ProjectModel, DirectoryNodes) {
    THL_HalvoraProject p;
    THL_Directory* node = p.AddDirectory("D:\\Work\\Src");
    node->SetName("  D:\\Work\\Lib\\  ");
    EXPECT_EQ(node->Dir(), "D:\\Work\\Lib");
    p.SetProjectProperties(true);  // a project never takes another's rules
    EXPECT_FALSE(p.ProjectProperties());

    // A node has no nodes of its own.
    EXPECT_THROW(node->AddDirectory("D:\\X"), Exception);
    EXPECT_TRUE(node->Dirs().Empty());

    THL_HalvoraProject q;
    q.AddDirectory("D:\\A");
    q.AddDirectory("D:\\B");
    EXPECT_EQ(q.DeleteDirectory("D:\\Missing"), -1);
    EXPECT_EQ(q.Dirs().Count(), 2);
    EXPECT_EQ(q.DeleteDirectory("d:\\a"), 0);
    ASSERT_EQ(q.Dirs().Count(), 1);
    EXPECT_EQ(q.DirNode(0)->Dir(), "D:\\B");

    // A node's stop is its owner's, and only Stop sets it.
    THL_HalvoraProject owned(&q);
    owned.AddDirectory("D:\\X")->SetStop(true);
    EXPECT_TRUE(q.Stop);
    EXPECT_TRUE(owned.IsStopped());
    EXPECT_FALSE(owned.Stop);
    owned.SetStop(false);
    EXPECT_TRUE(q.Stop);
}

TEST(ProjectModel, NodeFollowsTheProjectUntilGivenItsOwnRules) {
    THL_HalvoraProject p;
    THL_Directory* node = p.AddDirectory("D:\\Lib");
    p.IncludeAllFiles = false;
    p.AddExtension("PAS");
    EXPECT_EQ(node->CheckFile("D:\\Lib\\a.pas"), 1);
    p.Extensions().Clear();
    p.AddExtension("DPR");
    EXPECT_EQ(node->CheckFile("D:\\Lib\\a.pas"), 2);
    node->SetProjectProperties(false);
    node->IncludeAllFiles = true;
    EXPECT_EQ(node->CheckFile("D:\\Lib\\a.pas"), 1);
}

TEST_F(ProjectTree, BareNamesGoToTheProjectsDirectory) {
    THL_HalvoraProject p;
    p.FileName = "Docs.hlj";
    EXPECT_EQ(p.GetFileName(), "D:\\Projects\\Docs.hlj");
    EXPECT_EQ(p.FileName, "D:\\Projects\\Docs.hlj");
    p.FileName = "sub\\Other.hlj";
    EXPECT_EQ(p.GetFileName(), "D:\\Projects\\Other.hlj");
    p.FileName = "E:\\Keep\\Mine.hlj";
    EXPECT_EQ(p.GetFileName(), "E:\\Keep\\Mine.hlj");
}

TEST(ArcFileName, FromNameArchiverAndCompression) {
    struct Row {
        const char* name;
        std::string arcName;
        uint8_t arcType, compressType;
        std::string expected;  // path, or the error text
    } rows[] = {
        {"StarStemTakesTheProjectStem", "*.ARJ", 2, 2, "E:\\Save\\Docs.ARJ"},
        {"NoExtensionTakesTheArchiversOwn", "Backup", 4, 2, "E:\\Save\\Backup.RAR"},
        {"HlaGivesWayToTheArchiver", "Backup.hla", 2, 2, "E:\\Save\\Backup.ARJ"},
        {"HlaStaysForTheInternalPacker", "Backup.HLA", 1, 2, "E:\\Save\\Backup.hla"},
        {"StemEndsAtTheFirstDot", "a.b.ZIP", 3, 2, "E:\\Save\\a.ZIP"},
        {"SelfExtractingIsExe", "", 2, 3, "E:\\Save\\Docs.EXE"},
        {"DirectoryPartIsDropped", "C:\\Old\\Keep.zip", 3, 2, "E:\\Save\\Keep.zip"},
        {"UnknownArchiver", "Backup", 7, 2, "Неизвесный тип архиватора"_a},
        {"UndefinedArchiver", "", 0, 0, "Неизвесный тип архиватора"_a},
    };
    for (const Row& r : rows) {
        THL_HalvoraProject p;
        p.FileName = "D:\\Projects\\Docs.hlj";
        p.SavePlaces().Add("E:\\Save");
        p.SetArcName(r.arcName);
        p.ArcType = r.arcType;
        p.CompressType = r.compressType;
        EXPECT_EQ(ErrorOf([&] { throw Exception(p.GetArcFileName()); }), r.expected) << r.name;
    }
}

TEST(ArcFileName, NeedsAStoragePlaceAndFollowsItsInputs) {
    THL_HalvoraProject p;
    p.FileName = "D:\\Projects\\Docs.hlj";
    p.ArcType = 2;
    EXPECT_EQ(ErrorOf([&] { p.GetArcFileName(); }), "Не определены пути сохранения"_a);
    p.SavePlaces().Add("E:\\Save\\");
    EXPECT_EQ(p.GetArcFileName(), "E:\\Save\\Docs.ARJ");
    EXPECT_EQ(p.ArcPath(), "E:\\Save\\Docs.ARJ");
    // A stale path would send the archive to the old place.
    p.SavePlaces().Put(0, "F:\\New");
    p.ArcType = 3;
    EXPECT_EQ(p.GetArcFileName(), "F:\\New\\Docs.ZIP");
    // A name of the project's own stem is stored as "*".
    p.SetArcName("X:\\Any\\DOCS.rar");
    EXPECT_EQ(p.ArcName(), "*.rar");
    p.SetArcName("Other.rar");
    EXPECT_EQ(p.ArcName(), "Other.rar");
}

TEST(VolumeBytes, Table) {
    // 1 to 4 are the diskette sizes the template test shows for 1.
    const std::pair<int, int32_t> rows[] = {{0, THL_HalvoraProject::kNoVolumeLimit},
                                            {-3, THL_HalvoraProject::kNoVolumeLimit},
                                            {50000, THL_HalvoraProject::kNoVolumeLimit},
                                            {50001, 50001}};
    THL_HalvoraProject p;
    for (const auto& [volumeSize, bytes] : rows) {
        p.SetVolumeSize(volumeSize);
        EXPECT_EQ(p.GetVolumeBytes(), bytes) << volumeSize;
    }
    for (int bad : {5, 49999}) {
        p.SetVolumeSize(bad);
        EXPECT_EQ(ErrorOf([&] { p.GetVolumeBytes(); }),
                  "Ошибка в размере тома архива: "_a + std::to_string(bad));
    }
}

// ---- file selection ------------------------------------------------------------------

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
